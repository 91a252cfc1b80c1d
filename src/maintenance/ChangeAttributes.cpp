// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/ChangeAttributes.h"

#include "archive/ArchiveRebuilder.h"
#include "maintenance/PoolBatch.h"
#include "names/basMain.h"

namespace kelmar {

BatchReport change_attributes(const RebuildRequest& request, ProgressSink& sink,
                              BatchQuestions& questions, const RebuildTaken& onArchive)
{
    BatchReport report;
    if (request.files.empty()) {
        report.end = BatchEnd::NothingSelected;
        return report;
    }
    // The log holds only this batch's failures, so they are not mistaken for older lines.
    sink.clear_log();
    RebuildPlan plan;
    plan.kind = RebuildPlan::Kind::Recompress;
    plan.level = request.level;
    plan.readPassword = request.readPassword;
    plan.attributes = request.attributes & (AttrReadOnly | AttrHidden | AttrArchive);
    plan.blockThreads = request.workers > 0 ? request.workers : ArchivePool::defaultWorkers();
    removeLeftoverTemps(request.files);
    PoolBatchResults<ItemOutcome> run = runOnPool<ItemOutcome>(
        request.files, request.workers, sink, questions,
        [&](SerialProgress& serial, int, const QString& path) {
            if (!basMain::IsListedFile(path))
                return ItemOutcome(); // gone since the list was read: left out below
            ArchiveRebuilder rebuilder(plan);
            return rebuildAndLog(serial, rebuilder, path,
                                 QStringLiteral("Error changing attributes in "));
        },
        [&](int number, int count, const QString& path) {
            sink.setStatusText(QStringLiteral("Updating Attributes: ") +
                               basMain::GetFileName(path) +
                               QStringLiteral(" (%1 of %2)").arg(number).arg(count));
            if (onArchive)
                onArchive(number, count, path);
        },
        QStringLiteral("Updating"));
    for (ItemOutcome& item : run.results) {
        if (!item.path.isEmpty())
            report.items.push_back(std::move(item));
    }
    if (run.stopped)
        report.end = BatchEnd::Stopped;
    sink.showCreditLine();
    return report;
}

} // namespace kelmar
