// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/SelectedArchives.h"

#include "common/FakeHost.h"

namespace kelmar::test {

BatchFiles selectedArchives(const FakeHost& host)
{
    BatchFiles files;
    files.folder = host.folder();
    for (int i = 0; i < host.fileCount(); ++i) {
        if (host.isSelectedArchive(i))
            files.names.append(host.fileName(i));
    }
    return files;
}

UnzipRequest unzipRequestFor(const FakeHost& host, const QString& destination)
{
    UnzipRequest request = unzipRequestFromOptions(host.options(), selectedArchives(host));
    request.destination = destination;
    request.workers = host.workers;
    return request;
}

} // namespace kelmar::test
