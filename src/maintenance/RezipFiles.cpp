#include "maintenance/RezipFiles.h"

#include "archive/ArchiveRebuilder.h"
#include "archive/ZipComponent.h"
#include "maintenance/ArchiveEvents.h"
#include "maintenance/BatchHost.h"
#include "names/basMain.h"

namespace kelmar {

RebuildReport rezip_files(BatchHost& host, ZipComponent& zip,
                          const std::function<void(int, int, const QString&)>& onArchive)
{
    RebuildReport report;
    const QString folder = basMain::WithSeparator(host.folder());
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
    ArchiveRebuilder rebuilder(plan);
    rebuilder.onProgress = [&events](const QString& name, int percent) {
        events.fileProgress(name, percent);
    };
    bool nothingSelected = true;
    for (int position = 0; position < host.fileCount(); ++position) {
        if (host.isSelectedArchive(position)) {
            nothingSelected = false;
            events.setCurrentFileNumber(events.currentFileNumber() + 1);
            const QString path = folder + host.fileName(position);
            if (onArchive)
                onArchive(events.currentFileNumber(), total, path);
            zip.setLevel(plan.level);
            zip.setArchivePath(path);
            zip.setPassword(plan.readPassword);
            events.fileProgress(path, 0);
            RebuildReport::Archive archive;
            archive.path = path;
            archive.result = rebuilder.rebuild(path);
            archive.changed = rebuilder.changed();
            if (archive.result != 0) {
                archive.reason = zipErrorMessage(archive.result) + QStringLiteral(": ") +
                                 rebuilder.lastErrorDetail();
                host.write_log(QStringLiteral("Error when rezipping ") + path);
                host.write_log(QStringLiteral("    ") + archive.reason);
            }
            report.archives.push_back(archive);
        }
        if (host.stopRequested()) {
            report.stopped = position + 1 < host.fileCount();
            break;
        }
    }
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
