// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/FakeHost.h"
#include "maintenance/BatchProgress.h"
#include "names/basMain.h"

namespace kelmar::test {

// The files a front end would hand a batch from host's list: the selected names in list
// order (only those named like an archive with archivesOnly).
inline BatchFiles selectedOf(const FakeHost& host, bool archivesOnly = false)
{
    BatchFiles files;
    files.folder = host.folder();
    for (int i = 0; i < host.fileCount(); ++i) {
        if (host.isSelected(i) && (!archivesOnly || basMain::HasZipExtension(host.fileName(i))))
            files.names.append(host.fileName(i));
    }
    return files;
}

inline BatchFiles archivesOf(const FakeHost& host)
{
    return selectedOf(host, true);
}

} // namespace kelmar::test
