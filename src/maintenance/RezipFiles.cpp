#include "maintenance/RezipFiles.h"

#include "archive/ArchiveRebuilder.h"
#include "archive/ZipComponent.h"
#include "maintenance/ArchiveEvents.h"
#include "maintenance/BatchHost.h"
#include "maintenance/PoolBatch.h"
#include "names/basMain.h"

#include <vector>

namespace kelmar {

RebuildReport rezip_files(BatchHost& host, ZipComponent& zip,
                          const std::function<void(int, int, const QString&)>& onArchive)
{
    RebuildReport report;
    const Options options = host.options();
    ArchiveEvents events(host, zip);
    int total = 0;
    for (int i = 0; i < host.fileCount(); ++i)
        total += host.isSelectedArchive(i) ? 1 : 0;
    events.setTotalFileCount(total);
    events.setCurrentFileNumber(0);
    host.protect_form();
    events.setOperationKind(ArchiveEvents::RezipBatch);
    host.clear_log();

    RebuildPlan plan;
    plan.kind = RebuildPlan::Kind::Recompress;
    plan.level = options.sliCompression;
    plan.readPassword = options.unzipPassword();
    plan.writePassword = options.zipPassword();
    std::vector<int> positions;
    for (int i = 0; i < host.fileCount(); ++i) {
        if (host.isSelectedArchive(i))
            positions.push_back(i);
    }
    const bool nothingSelected = positions.empty();
    zip.setLevel(plan.level);
    zip.setPassword(plan.readPassword);

    removeLeftoverTemps(host, positions);

    // Archives are rebuilt several at once, each by its own rebuilder; the status counts the
    // archives finished, whichever archive reports.
    FinishedCount finished;
    PoolBatchResults<RebuildReport::Archive> run = runOnPool<RebuildReport::Archive>(
        host, positions,
        [&](BatchHost& serial, int, const QString& path) {
            ZipComponent mine;
            ArchiveEvents events(serial, mine);
            events.setTotalFileCount(total);
            events.shareFinishedCount(&finished);
            events.setOperationKind(ArchiveEvents::RezipBatch);
            ArchiveRebuilder rebuilder(plan);
            rebuilder.onProgress = [&events](const QString& name, int percent) {
                events.fileProgress(name, percent);
            };
            events.fileProgress(path, 0);
            const RebuildReport::Archive archive =
                rebuildAndLog(serial, rebuilder, path, QStringLiteral("Error when rezipping "));
            events.archiveFinished();
            events.setOperationKind(ArchiveEvents::NoBatch);
            return archive;
        },
        onArchive);
    report.archives = std::move(run.results);
    report.stopped = run.stopped;
    host.release_form();
    host.showCreditLine();
    host.refresh();
    if (nothingSelected)
        host.messageBox(QStringLiteral("You didn't select any files to ReZip!"),
                        QStringLiteral("Whoops!"), MsgIcon::Exclamation, MsgButtons::Ok);
    if (Options::isSet(options.chkSound))
        host.beep();
    events.setOperationKind(ArchiveEvents::NoBatch);
    report.nothingSelected = nothingSelected;
    return report;
}

} // namespace kelmar
