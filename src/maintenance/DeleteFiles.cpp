#include "maintenance/DeleteFiles.h"

#include "fs/NativeName.h"
#include "fs/Path.h"
#include "maintenance/BatchHost.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace kelmar {

DeleteReport delete_files(BatchHost& host)
{
    DeleteReport report;
    if (host.messageBox(QStringLiteral("Are you sure you want to delete the selected files?"),
                        QStringLiteral("Confirmation"), MsgIcon::Question, MsgButtons::YesNo,
                        Question::ConfirmDelete) != MsgAnswer::Yes)
        return report;
    report.confirmed = true;
    QString folder = fs::withSeparator(host.folder());
    host.clear_log();

    for (int position = 0; position < host.fileCount(); ++position) {
        if (!host.isSelected(position))
            continue;
        const QString name = host.fileName(position);
        if (name.startsWith(u'.'))
            continue; // hidden: the list would not show it
        const QString path = folder + name;
        const QByteArray native = fs::nativeName(path);
        // What a listing shows: a file, or a link that leads to one (a broken link, or a
        // link to a folder, is not seen).
        struct stat st;
        if (::stat(native.constData(), &st) != 0 || S_ISDIR(st.st_mode))
            continue;
        // Unlinking needs no write permission on the file, so a read-only file goes without
        // changing its mode, and a link goes without touching what it points to.
        if (::unlink(native.constData()) == 0) {
            report.deleted.append(path);
            host.write_log(QStringLiteral("Deleted ") + path);
        } else {
            report.failed.append(path);
            host.write_log(QStringLiteral("Could not delete ") + path + QStringLiteral(": ") +
                           QString::fromLocal8Bit(std::strerror(errno)));
        }
    }
    host.refresh(); // re-reads the list and recounts
    return report;
}

} // namespace kelmar
