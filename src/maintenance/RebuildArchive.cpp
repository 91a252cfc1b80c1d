// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/RebuildArchive.h"

#include "archive/ArchiveRebuilder.h"
#include "archive/ZipError.h"
#include "fs/KelmarTemp.h"

namespace kelmar {

QString torrentZipPasswordNotice()
{
    return QStringLiteral("TorrentZip archives cannot be encrypted: clear the ZIP password "
                          "or TorrentZip.");
}

void removeLeftoverTemps(const BatchFiles& files)
{
    if (!files.empty() && !files.folder.isEmpty())
        fs::removeStaleTemps(files.folder);
}

ItemOutcome rebuildAndLog(ProgressSink& log, ArchiveRebuilder& rebuilder, const QString& path,
                          const QString& failureLead)
{
    ItemOutcome item;
    item.path = path;
    item.code = rebuilder.rebuild(path);
    if (item.code == ZipAborted) {
        // Stopped in the middle of a large entry: the archive is as it was.
        item.result = ItemResult::Skipped;
        item.reason = zipErrorMessage(item.code);
    } else if (item.code != 0) {
        item.result = ItemResult::Failed;
        item.reason =
            zipErrorMessage(item.code) + QStringLiteral(": ") + rebuilder.lastErrorDetail();
        log.write_log(failureLead + path);
        log.write_log(QStringLiteral("    ") + item.reason);
    } else {
        item.result = rebuilder.changed() ? ItemResult::Done : ItemResult::Unchanged;
    }
    return item;
}

} // namespace kelmar
