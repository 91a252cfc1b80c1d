// SPDX-License-Identifier: GPL-3.0-or-later
#include "fs/RenameNoReplace.h"

#include "fs/NativeName.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelmar::fs {

bool renameNoReplace(const QString& from, const QString& to, QString* error)
{
    const QByteArray a = nativeName(from);
    const QByteArray b = nativeName(to);
    if (::renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), RENAME_NOREPLACE) == 0)
        return true;
    int err = errno;
    if (err == EINVAL || err == ENOSYS) {
        // File systems without the flag: a hard link fails on an existing name just the same.
        if (::link(a.constData(), b.constData()) == 0) {
            ::unlink(a.constData());
            return true;
        }
        err = errno;
        // Nor hard links (FAT on a memory card): look, then rename. Only another program
        // creating that very name in between could be replaced.
        if (err == EPERM || err == EOPNOTSUPP || err == ENOSYS) {
            struct stat st;
            if (::lstat(b.constData(), &st) == 0) {
                err = EEXIST;
            } else if (::rename(a.constData(), b.constData()) == 0) {
                return true;
            } else {
                err = errno;
            }
        }
    }
    if (error)
        *error = QString::fromLocal8Bit(std::strerror(err));
    errno = err;
    return false;
}

} // namespace kelmar::fs
