#include "maintenance/CalculateSpace.h"

#include "archive/ZipComponent.h"
#include "fs/Path.h"
#include "maintenance/BatchHost.h"
#include "maintenance/PoolBatch.h"
#include "names/basMain.h"

#include <QLocale>

namespace kelmar {

QString spaceMessage(quint64 bytes, int archives)
{
    QLocale locale;
    // The C locale leaves out group separators unless told otherwise.
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale.toString(qulonglong(bytes)) + QStringLiteral(" unzipped bytes in ") +
           QString::number(archives) + QStringLiteral(" file") +
           (archives == 1 ? QString() : QStringLiteral("s"));
}

SpaceReport calculate_space(BatchHost& host, ZipComponent& /*each archive has its own*/)
{
    SpaceReport report;
    const QString folder = fs::withSeparator(host.folder());
    host.clear_log();
    host.protect_form();

    std::vector<int> positions;
    for (int i = 0; i < host.fileCount(); ++i) {
        if (host.isSelectedArchive(i))
            positions.push_back(i);
    }
    // Archives are listed several at once (on a cold disk the reads overlap), each by a
    // component of its own.
    struct Listed
    {
        quint64 bytes = 0;
        bool readable = true;
    };
    PoolBatchResults<Listed> run = runOnPool<Listed>(
        host, positions,
        [](BatchHost& serial, int, const QString& path) {
            Listed listed;
            ZipComponent mine;
            // The sizes are summed as integers: exact at any size.
            QObject::connect(
                &mine, &ZipComponent::entryListed, &mine,
                [&](const QString&, qint64 size) {
                    listed.bytes += quint64(qMax<qint64>(size, 0));
                },
                Qt::DirectConnection);
            mine.setArchivePath(path);
            const int result = mine.list();
            if (result != ZipOk) {
                listed.readable = false;
                const QString detail = mine.lastErrorDetail();
                serial.write_log(basMain::GetFileName(path) +
                                 QStringLiteral(" could not be read (") + zipErrorMessage(result) +
                                 (detail.isEmpty() ? QString() : QStringLiteral(": ") + detail) +
                                 u')');
            }
            return listed;
        },
        {});
    quint64 total = 0;
    for (size_t i = 0; i < run.results.size(); ++i) {
        total += run.results[i].bytes;
        if (!run.results[i].readable)
            report.unreadable.append(folder + host.fileName(positions[i]));
    }
    report.archives = int(run.results.size());
    report.stopped = run.stopped;
    report.bytes = total;
    if (report.archives != 0) {
        report.message = spaceMessage(total, report.archives);
        host.messageBox(report.message, QStringLiteral("Information"), MsgIcon::Information,
                        MsgButtons::Ok);
    } else {
        report.message = QStringLiteral("You didn't select any Zip files to calculate!");
        host.messageBox(report.message, QStringLiteral("Whoops!"), MsgIcon::Exclamation,
                        MsgButtons::Ok);
    }
    host.release_form();
    if (Options::isSet(host.options().chkSound))
        host.beep();
    host.refresh(); // re-reads the list and recounts
    return report;
}

} // namespace kelmar
