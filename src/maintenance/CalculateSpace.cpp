#include "maintenance/CalculateSpace.h"

#include "archive/ZipComponent.h"
#include "fs/Path.h"
#include "maintenance/ArchiveEvents.h"
#include "maintenance/BatchHost.h"

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

SpaceReport calculate_space(BatchHost& host, ZipComponent& zip)
{
    SpaceReport report;
    const QString folder = fs::withSeparator(host.folder());
    host.clear_log();
    host.protect_form();

    ArchiveEvents events(host, zip);
    // The sizes are summed as integers: exact at any size.
    quint64 total = 0;
    QObject::connect(
        &zip, &ZipComponent::entryListed, &events,
        [&](const QString&, qint64 size) { total += quint64(qMax<qint64>(size, 0)); },
        Qt::DirectConnection);

    for (int position = 0; position < host.fileCount(); ++position) {
        if (host.isSelectedArchive(position)) {
            const QString name = host.fileName(position);
            ++report.archives;
            zip.setArchivePath(folder + name);
            const int result = zip.list();
            // The names are not needed here; a large batch must not pile them up.
            events.listedNames().clear();
            if (result != ZipOk) {
                report.unreadable.append(folder + name);
                const QString detail = zip.lastErrorDetail();
                host.write_log(
                    name + QStringLiteral(" could not be read (") + zipErrorMessage(result) +
                    (detail.isEmpty() ? QString() : QStringLiteral(": ") + detail) + u')');
            }
        }
        if (host.stopRequested()) {
            report.stopped = position + 1 < host.fileCount();
            break;
        }
    }
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
