#include "maintenance/ChangeAttributes.h"

#include "archive/ArchiveRebuilder.h"
#include "archive/ZipComponent.h"
#include "maintenance/BatchHost.h"
#include "names/basMain.h"

#include <QFileInfo>

namespace kelmar {

RebuildReport change_attributes(BatchHost& host, ZipComponent& zip,
                                const std::function<int()>& chooseAttributes,
                                const std::function<void(int, int, const QString&)>& onArchive)
{
    RebuildReport report;
    int total = 0;
    for (int i = 0; i < host.fileCount(); ++i)
        total += host.isSelectedArchive(i) ? 1 : 0;
    if (total == 0) {
        report.nothingSelected = true;
        host.messageBox(QStringLiteral("You didn't select any zips to process!"),
                        QStringLiteral("Whoops!"), MsgIcon::Exclamation, MsgButtons::Ok);
        return report;
    }
    const int chosen = chooseAttributes ? chooseAttributes() : -1;
    if (chosen < 0) {
        report.cancelled = true;
        return report;
    }
    const Options options = host.options();
    const QString folder = basMain::WithSeparator(host.folder());
    // The log holds only this batch's failures, so they are not mistaken for older lines.
    host.clear_log();
    host.protect_form();

    RebuildPlan plan;
    plan.kind = RebuildPlan::Kind::Recompress;
    plan.level = options.sliCompression;
    plan.readPassword = options.unzipPassword();
    plan.attributes = chosen & (AttrReadOnly | AttrHidden | AttrArchive);
    ArchiveRebuilder rebuilder(plan);
    int number = 0;
    for (int position = 0; position < host.fileCount(); ++position) {
        if (host.stopRequested()) {
            report.stopped = true;
            break;
        }
        if (!host.isSelectedArchive(position))
            continue;
        ++number;
        const QString name = host.fileName(position);
        const QString path = folder + name;
        host.setStatusText(QStringLiteral("Updating Attributes: ") + name +
                           QStringLiteral(" (%1 of %2)").arg(number).arg(total));
        if (onArchive)
            onArchive(number, total, path);
        if (!basMain::IsListedFile(path))
            continue; // gone since the list was read
        zip.setKeepFolderNames(false);
        zip.setLevel(plan.level);
        zip.setArchivePath(path);
        RebuildReport::Archive archive;
        archive.path = path;
        archive.result = rebuilder.rebuild(path);
        archive.changed = rebuilder.changed();
        if (archive.result != 0) {
            archive.reason = zipErrorMessage(archive.result) + QStringLiteral(": ") +
                             rebuilder.lastErrorDetail();
            host.write_log(QStringLiteral("Error changing attributes in ") + path);
            host.write_log(QStringLiteral("    ") + archive.reason);
        }
        report.archives.push_back(archive);
    }
    host.release_form();
    host.showCreditLine();
    return report;
}

} // namespace kelmar
