#include "maintenance/RebuildReport.h"

#include "archive/ArchiveRebuilder.h"
#include "archive/ZipError.h"
#include "fs/KelmarTemp.h"
#include "maintenance/BatchHost.h"

namespace kelmar {

void removeLeftoverTemps(const BatchHost& host, const std::vector<int>& positions)
{
    if (!positions.empty() && !host.folder().isEmpty())
        fs::removeStaleTemps(host.folder());
}

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
