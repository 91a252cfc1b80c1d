#include "maintenance/RemoveNonRoms.h"

#include "archive/ArchiveRebuilder.h"
#include "archive/ZipComponent.h"
#include "maintenance/BatchHost.h"
#include "maintenance/PoolBatch.h"
#include "names/RomFilter.h"
#include "names/basMain.h"

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

RebuildReport
remove_non_roms_from_zips(BatchHost& host, ZipComponent& /*each archive has its own*/,
                          const std::function<void(int, int, const QString&)>& onArchive)
{
    RebuildReport report;
    const Options options = host.options();
    // An empty filter marks nothing as a ROM: going on would empty every archive.
    if (romFilterIsEmpty(options.lblROMFilter)) {
        host.messageBox(emptyRomFilterMessage(), QStringLiteral("Whoops!"), MsgIcon::Exclamation,
                        MsgButtons::Ok);
        report.cancelled = true;
        return report;
    }
    if (host.messageBox(removeNonRomsQuestion(options.lblROMFilter),
                        QStringLiteral("Are you sure?"), MsgIcon::Question, MsgButtons::YesNo,
                        Question::ConfirmRemoveNonRoms) != MsgAnswer::Yes) {
        report.cancelled = true;
        return report;
    }
    host.clear_log();
    host.protect_form();

    std::vector<int> positions;
    for (int i = 0; i < host.fileCount(); ++i) {
        if (host.isSelectedArchive(i))
            positions.push_back(i);
    }
    const int candidates = int(positions.size());
    removeLeftoverTemps(host, positions);
    PoolBatchResults<RebuildReport::Archive> run = runOnPool<RebuildReport::Archive>(
        host, positions,
        [&](BatchHost& serial, int, const QString& path) {
            RebuildPlan plan;
            plan.kind = RebuildPlan::Kind::RemoveEntries;
            // The filter is read again for each archive, as it stands now.
            plan.removeMask = RomFilter::removeMask(serial.options().lblROMFilter);
            plan.readPassword = options.unzipPassword();
            ArchiveRebuilder rebuilder(plan);
            const RebuildReport::Archive archive = rebuildAndLog(
                serial, rebuilder, path, QStringLiteral("Error removing non-ROMs from "));
            if (archive.result == 0)
                serial.write_log(QStringLiteral("Removed %1 entries from ").arg(archive.removed) +
                                 path);
            return archive;
        },
        onArchive);
    report.archives = std::move(run.results);
    report.stopped = run.stopped;
    if (candidates == 0) {
        report.nothingSelected = true;
        host.messageBox(QStringLiteral("You didn't select any zip files to remove non-ROMs from!"),
                        QStringLiteral("Whoops!"), MsgIcon::Exclamation, MsgButtons::Ok);
    }
    host.release_form();
    if (Options::isSet(options.chkSound))
        host.beep();
    host.refresh();
    return report;
}

} // namespace kelmar
