// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/SelectedFiles.h"

#include "names/basMain.h"

namespace kelmar {

namespace {

BatchFiles selected(const BatchSnapshot& snapshot, bool archivesOnly)
{
    BatchFiles files;
    files.folder = snapshot.folder;
    for (qsizetype i = 0; i < snapshot.names.size(); ++i) {
        const bool on = size_t(i) < snapshot.selected.size() && snapshot.selected[size_t(i)];
        if (on && (!archivesOnly || basMain::HasZipExtension(snapshot.names.at(i))))
            files.names.append(snapshot.names.at(i));
    }
    return files;
}

} // namespace

BatchFiles selectedFiles(const BatchSnapshot& snapshot)
{
    return selected(snapshot, false);
}

BatchFiles selectedArchives(const BatchSnapshot& snapshot)
{
    return selected(snapshot, true);
}

} // namespace kelmar
