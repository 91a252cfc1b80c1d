#include "maintenance/RemoveNonRoms.h"

#include "archive/ArchiveRebuilder.h"
#include "archive/ZipComponent.h"
#include "maintenance/BatchHost.h"
#include "names/RomFilter.h"
#include "names/basMain.h"

namespace kelmar {

QString removeNonRomsQuestion(const QString& romFilter)
{
    return QStringLiteral("This will delete files NOT marked as ROMs from the Zips you selected.") +
           u'\r' + QStringLiteral("The current ROM filter is ") + romFilter + u'.' + u'\r' +
           QStringLiteral("Do you wish to proceed?");
}

RebuildReport
remove_non_roms_from_zips(BatchHost& host, ZipComponent& zip,
                          const std::function<void(int, int, const QString&)>& onArchive)
{
    RebuildReport report;
    const Options options = host.options();
    if (host.messageBox(removeNonRomsQuestion(options.lblROMFilter),
                        QStringLiteral("Are you sure?"), MsgIcon::Question, MsgButtons::YesNo,
                        Question::ConfirmRemoveNonRoms) != MsgAnswer::Yes) {
        report.cancelled = true;
        return report;
    }
    const QString folder = basMain::WithSeparator(host.folder());
    host.clear_log();
    host.protect_form();

    int total = 0;
    for (int i = 0; i < host.fileCount(); ++i)
        total += host.isSelectedArchive(i) ? 1 : 0;
    int candidates = 0;
    for (int position = 0; position < host.fileCount(); ++position) {
        if (host.isSelectedArchive(position)) {
            ++candidates;
            const QString path = folder + host.fileName(position);
            if (onArchive)
                onArchive(candidates, total, path);
            RebuildPlan plan;
            plan.kind = RebuildPlan::Kind::RemoveEntries;
            // The filter is read again for each archive, as it stands now.
            plan.removeMask = RomFilter::removeMask(host.options().lblROMFilter);
            plan.readPassword = options.unzipPassword();
            zip.setFileMask(plan.removeMask);
            zip.setArchivePath(path);
            ArchiveRebuilder rebuilder(plan);
            RebuildReport::Archive archive;
            archive.path = path;
            archive.result = rebuilder.rebuild(path);
            archive.changed = rebuilder.changed();
            archive.removed = rebuilder.removedCount();
            if (archive.result == 0) {
                host.write_log(QStringLiteral("Removed %1 entries from ").arg(archive.removed) +
                               path);
            } else {
                archive.reason = zipErrorMessage(archive.result) + QStringLiteral(": ") +
                                 rebuilder.lastErrorDetail();
                host.write_log(QStringLiteral("Error removing non-ROMs from ") + path);
                host.write_log(QStringLiteral("    ") + archive.reason);
            }
            report.archives.push_back(archive);
        }
        if (host.stopRequested()) {
            report.stopped = position + 1 < host.fileCount();
            break;
        }
    }
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
