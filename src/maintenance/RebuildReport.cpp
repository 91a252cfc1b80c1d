#include "maintenance/RebuildReport.h"

#include "archive/ArchiveRebuilder.h"
#include "archive/ZipError.h"
#include "maintenance/BatchHost.h"

namespace kelmar {

RebuildReport::Archive rebuildAndLog(BatchHost& host, ArchiveRebuilder& rebuilder,
                                     const QString& path, const QString& failureLead)
{
    RebuildReport::Archive archive;
    archive.path = path;
    archive.result = rebuilder.rebuild(path);
    archive.changed = rebuilder.changed();
    archive.removed = rebuilder.removedCount();
    if (archive.result != 0) {
        archive.reason =
            zipErrorMessage(archive.result) + QStringLiteral(": ") + rebuilder.lastErrorDetail();
        host.write_log(failureLead + path);
        host.write_log(QStringLiteral("    ") + archive.reason);
    }
    return archive;
}

} // namespace kelmar
