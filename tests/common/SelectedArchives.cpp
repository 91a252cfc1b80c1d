#include "common/SelectedArchives.h"

#include "maintenance/BatchHost.h"

namespace kelmar::test {

BatchFiles selectedArchives(const BatchHost& host)
{
    BatchFiles files;
    files.folder = host.folder();
    for (int i = 0; i < host.fileCount(); ++i) {
        if (host.isSelectedArchive(i))
            files.names.append(host.fileName(i));
    }
    return files;
}

UnzipRequest unzipRequestFor(const BatchHost& host, const QString& destination)
{
    UnzipRequest request = unzipRequestFromOptions(host.options(), selectedArchives(host));
    request.destination = destination;
    return request;
}

} // namespace kelmar::test
