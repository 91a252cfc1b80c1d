// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/RemoveNonRoms.h"

#include "archive/ArchiveRebuilder.h"
#include "maintenance/PoolBatch.h"
#include "names/RomFilter.h"

namespace kelmar {

QString removeNonRomsQuestion(const QString& romFilter)
{
    return QStringLiteral("This will delete files NOT marked as ROMs from the Zips you selected.") +
           u'\r' + QStringLiteral("The current ROM filter is ") + romFilter + u'.' + u'\r' +
           QStringLiteral("Do you wish to proceed?");
}

bool romFilterIsEmpty(const QString& romFilter)
{
    for (const QString& entry : RomFilter::toEntries(romFilter)) {
        if (!entry.trimmed().isEmpty())
            return false;
    }
    return true;
}

QString emptyRomFilterMessage()
{
    return QStringLiteral("The ROM filter is empty, so every file would be removed from the "
                          "Zips you selected.") +
           u'\r' +
           QStringLiteral("Add the extensions of your ROMs to the ROM filter on the Other "
                          "Settings tab first.");
}

BatchReport remove_non_roms_from_zips(const RebuildRequest& request, ProgressSink& sink,
                                      BatchQuestions& questions, const RebuildTaken& onArchive)
{
    BatchReport report;
    // An empty filter marks nothing as a ROM: going on would empty every archive.
    if (romFilterIsEmpty(request.romFilter)) {
        report.end = BatchEnd::Cancelled;
        return report;
    }
    sink.clear_log();
    removeLeftoverTemps(request.files);
    RebuildPlan plan;
    plan.kind = RebuildPlan::Kind::RemoveEntries;
    plan.removeMask = RomFilter::removeMask(request.romFilter);
    plan.readPassword = request.readPassword;
    PoolBatchResults<ItemOutcome> run = runOnPool<ItemOutcome>(
        request.files, request.workers, sink, questions,
        [&](SerialProgress& serial, int, const QString& path) {
            ArchiveRebuilder rebuilder(plan);
            ItemOutcome item = rebuildAndLog(serial, rebuilder, path,
                                             QStringLiteral("Error removing non-ROMs from "));
            if (item.result != ItemResult::Failed) {
                item.notes.append(
                    QStringLiteral("Removed %1 entries from ").arg(rebuilder.removedCount()) +
                    path);
                serial.write_log(item.notes.last());
            }
            return item;
        },
        onArchive, QStringLiteral("Cleaning"));
    report.items = std::move(run.results);
    if (run.stopped)
        report.end = BatchEnd::Stopped;
    if (request.files.empty()) {
        report.end = BatchEnd::NothingSelected;
        questions.messageBox(
            QStringLiteral("You didn't select any zip files to remove non-ROMs from!"),
            QStringLiteral("Whoops!"), MsgIcon::Exclamation, MsgButtons::Ok);
    }
    return report;
}

} // namespace kelmar
