// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/RezipFiles.h"

#include "archive/ArchiveRebuilder.h"
#include "archive/ZipComponent.h"
#include "maintenance/ArchiveEvents.h"
#include "maintenance/ArchivePool.h"
#include "maintenance/PoolBatch.h"

#include <algorithm>
#include <atomic>

namespace kelmar {

namespace {

// Rebuilds one archive, its progress shown by the archive events as the batch's number.
ItemOutcome rezipOne(SerialProgress& serial, std::atomic<bool>& stop, const RebuildPlan& plan,
                     FinishedCount& finished, int total, const QString& path)
{
    ZipComponent mine;
    ArchiveEvents events(serial, serial, &stop, mine);
    events.setTotalFileCount(total);
    events.shareFinishedCount(&finished);
    events.setOperationKind(ArchiveEvents::RezipBatch);
    ArchiveRebuilder rebuilder(plan);
    rebuilder.onProgress = [&events](const QString& name, int percent) {
        events.fileProgress(name, percent);
    };
    rebuilder.cancelled = [&serial, &stop] { return stop.load() || serial.stopRequested(); };
    events.fileProgress(path, 0);
    ItemOutcome item =
        rebuildAndLog(serial, rebuilder, path, QStringLiteral("Error when rezipping "));
    if (rebuilder.alreadyTorrentZip()) {
        item.notes.append(QStringLiteral("already TorrentZip"));
        serial.write_log(path + QStringLiteral(": already TorrentZip"));
    }
    events.archiveFinished();
    events.setOperationKind(ArchiveEvents::NoBatch);
    return item;
}

} // namespace

BatchReport rezip_files(const RebuildRequest& request, ProgressSink& sink,
                        BatchQuestions& questions, const RebuildTaken& onArchive)
{
    BatchReport report;
    sink.clear_log();
    RebuildPlan plan;
    plan.kind = request.torrentZip ? RebuildPlan::Kind::TorrentZip
                                   : RebuildPlan::Kind::Recompress;
    plan.level = request.level;
    plan.readPassword = request.readPassword;
    plan.writePassword = request.writePassword;
    removeLeftoverTemps(request.files);
    // Archives are spread over the workers first; what is left over deflates entries.
    const int workers = request.workers > 0 ? request.workers : ArchivePool::defaultWorkers();
    const int archives = qMax(1, int(request.files.size()));
    plan.threads = qMax(1, workers / qMin(workers, archives));
    plan.blockThreads = workers;

    // Archives are rebuilt several at once, each by its own rebuilder; the status counts the
    // archives finished, whichever archive reports. No to "try to continue?" from any of
    // them stops the batch.
    std::atomic<bool> stop{false};
    FinishedCount finished;
    const int total = request.files.size();
    PoolBatchResults<ItemOutcome> run = runOnPool<ItemOutcome>(
        request.files, request.workers, sink, questions,
        [&](SerialProgress& serial, int, const QString& path) {
            return rezipOne(serial, stop, plan, finished, total, path);
        },
        onArchive, QStringLiteral("Rezipping"), &stop);
    report.items = std::move(run.results);
    // A Stop may also have given up an archive in hand (one with a disc image).
    const bool cancelled =
        std::any_of(report.items.begin(), report.items.end(),
                    [](const ItemOutcome& item) { return item.code == ZipAborted; });
    if (run.stopped || cancelled)
        report.end = BatchEnd::Stopped;
    sink.showCreditLine();
    if (request.files.empty()) {
        report.end = BatchEnd::NothingSelected;
        questions.messageBox(QStringLiteral("You didn't select any files to ReZip!"),
                             QStringLiteral("Whoops!"), MsgIcon::Exclamation, MsgButtons::Ok);
    }
    return report;
}

} // namespace kelmar
