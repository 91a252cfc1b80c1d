#include "maintenance/RezipFiles.h"

#include "archive/ArchiveRebuilder.h"
#include "archive/ZipComponent.h"
#include "maintenance/ArchiveEvents.h"
#include "maintenance/ArchivePool.h"
#include "maintenance/BatchHost.h"
#include "maintenance/SerialHost.h"
#include "names/basMain.h"

#include <mutex>
#include <vector>

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
    std::vector<int> positions;
    for (int i = 0; i < host.fileCount(); ++i) {
        if (host.isSelectedArchive(i))
            positions.push_back(i);
    }
    const bool nothingSelected = positions.empty();
    zip.setLevel(plan.level);
    zip.setPassword(plan.readPassword);

    // Archives are rebuilt several at once, each by its own rebuilder; the status shows the
    // number of the archive taken up last, and the log lines come in list order.
    std::mutex hostLock;
    std::vector<RebuildReport::Archive> results(positions.size());
    std::vector<QStringList> logs(positions.size());
    std::vector<int> numbers(positions.size(), 0);
    std::vector<ArchivePool::Task> tasks;
    for (size_t i = 0; i < positions.size(); ++i) {
        const QString path = folder + host.fileName(positions[i]);
        ArchivePool::Task task;
        task.keys = QStringList{path.toCaseFolded()};
        task.work = [&, i, path] {
            SerialHost serial(host, hostLock, &logs[i]);
            ZipComponent mine;
            ArchiveEvents events(serial, mine);
            events.setTotalFileCount(total);
            events.setCurrentFileNumber(numbers[i]);
            events.setOperationKind(ArchiveEvents::RezipBatch);
            ArchiveRebuilder rebuilder(plan);
            rebuilder.onProgress = [&events](const QString& name, int percent) {
                events.fileProgress(name, percent);
            };
            events.fileProgress(path, 0);
            RebuildReport::Archive& archive = results[i];
            archive.path = path;
            archive.result = rebuilder.rebuild(path);
            archive.changed = rebuilder.changed();
            if (archive.result != 0) {
                archive.reason = zipErrorMessage(archive.result) + QStringLiteral(": ") +
                                 rebuilder.lastErrorDetail();
                serial.write_log(QStringLiteral("Error when rezipping ") + path);
                serial.write_log(QStringLiteral("    ") + archive.reason);
            }
            events.setOperationKind(ArchiveEvents::NoBatch);
        };
        task.finish = [&, i] { SerialHost::writeHeldLog(host, hostLock, logs[i]); };
        tasks.push_back(std::move(task));
    }
    const int started = ArchivePool::run(
        tasks, [&] { return SerialHost::stopRequestedUnder(host, hostLock); },
        [&](int i) {
            numbers[size_t(i)] = i + 1;
            if (!onArchive)
                return;
            std::lock_guard<std::mutex> lock(hostLock);
            onArchive(i + 1, total, folder + host.fileName(positions[size_t(i)]));
        });
    for (int i = 0; i < started; ++i)
        report.archives.push_back(results[size_t(i)]);
    if (started < total)
        report.stopped = true;
    else if (started > 0 && host.stopRequested())
        report.stopped = positions[size_t(started - 1)] + 1 < host.fileCount();
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
