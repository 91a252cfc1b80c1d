// SPDX-License-Identifier: GPL-3.0-or-later
#include "fs/AddModeBits.h"

#include "fs/NativeName.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace kelmar::fs {

bool addModeBits(const QString& path, mode_t bits)
{
    const QByteArray native = nativeName(path);
    struct stat st;
    if (::lstat(native.constData(), &st) != 0)
        return false;
    if (S_ISLNK(st.st_mode) || (st.st_mode & bits) == bits)
        return true;
    // The no-follow flag also covers a link put in the file's place since the lstat: the call
    // then refuses to change it, and the target stays as it was.
    if (::fchmodat(AT_FDCWD, native.constData(), (st.st_mode & 07777) | bits,
                   AT_SYMLINK_NOFOLLOW) == 0)
        return true;
    if (errno == EOPNOTSUPP || errno == ENOTSUP)
        return true;
    return false;
}

} // namespace kelmar::fs
