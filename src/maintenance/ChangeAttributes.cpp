#include "maintenance/ChangeAttributes.h"

#include "archive/ArchiveRebuilder.h"
#include "archive/ZipComponent.h"
#include "maintenance/BatchHost.h"
#include "maintenance/PoolBatch.h"
#include "names/basMain.h"

#include <QFileInfo>

namespace kelmar {

RebuildReport change_attributes(BatchHost& host, ZipComponent& /*each archive has its own*/,
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
    // The log holds only this batch's failures, so they are not mistaken for older lines.
    host.clear_log();
    host.protect_form();

    RebuildPlan plan;
    plan.kind = RebuildPlan::Kind::Recompress;
    plan.level = options.sliCompression;
    plan.readPassword = options.unzipPassword();
    plan.attributes = chosen & (AttrReadOnly | AttrHidden | AttrArchive);
    std::vector<int> positions;
    for (int i = 0; i < host.fileCount(); ++i) {
        if (host.isSelectedArchive(i))
            positions.push_back(i);
    }
    removeLeftoverTemps(host, positions);
    PoolBatchResults<RebuildReport::Archive> run = runOnPool<RebuildReport::Archive>(
        host, positions,
        [&](BatchHost& serial, int, const QString& path) {
            if (!basMain::IsListedFile(path))
                return RebuildReport::Archive(); // gone since the list was read: left out below
            ArchiveRebuilder rebuilder(plan);
            return rebuildAndLog(serial, rebuilder, path,
                                 QStringLiteral("Error changing attributes in "));
        },
        [&](int number, int count, const QString& path) {
            host.setStatusText(QStringLiteral("Updating Attributes: ") +
                               basMain::GetFileName(path) +
                               QStringLiteral(" (%1 of %2)").arg(number).arg(count));
            if (onArchive)
                onArchive(number, count, path);
        });
    for (RebuildReport::Archive& archive : run.results) {
        if (!archive.path.isEmpty())
            report.archives.push_back(std::move(archive));
    }
    report.stopped = run.stopped;
    host.release_form();
    host.showCreditLine();
    return report;
}

} // namespace kelmar
