// SPDX-License-Identifier: GPL-3.0-or-later
#include "fs/FreeSpace.h"

#include "fs/NativeName.h"
#include "fs/Path.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>
#include <sys/statvfs.h>

namespace kelmar::fs {

qint64 freeSpaceOf(const QString& folder)
{
    QString path = folder;
    struct stat st;
    // By its bytes: Qt would ask about another name where a folder's is not UTF-8.
    while (!path.isEmpty() && ::stat(nativeName(path).constData(), &st) != 0) {
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
