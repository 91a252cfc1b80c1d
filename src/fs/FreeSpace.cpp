#include "fs/FreeSpace.h"

#include "fs/NativeName.h"
#include "fs/Path.h"

#include <QDir>
#include <QFileInfo>

#include <sys/statvfs.h>

namespace kelmar::fs {

qint64 freeSpaceOf(const QString& folder)
{
    QString path = folder;
    while (!path.isEmpty() && !QFileInfo::exists(path)) {
        const QString parent = QFileInfo(QDir::cleanPath(path)).path();
        if (parent == path)
            break;
        path = parent;
    }
    struct statvfs vfs;
    if (path.isEmpty() || ::statvfs(nativeName(path).constData(), &vfs) != 0)
        return -1;
    return qint64(vfs.f_bavail) * qint64(vfs.f_frsize);
}

} // namespace kelmar::fs
