// SPDX-License-Identifier: GPL-3.0-or-later
#include "fs/FileIdentity.h"

#include <sys/stat.h>

namespace kelmar::fs {

FileIdentity FileIdentity::fromStat(const struct stat& st)
{
    FileIdentity id;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.size = qint64(st.st_size);
    id.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + qint64(st.st_mtim.tv_nsec);
    id.ctimeNs = qint64(st.st_ctim.tv_sec) * 1000000000 + qint64(st.st_ctim.tv_nsec);
    id.regular = S_ISREG(st.st_mode);
    return id;
}

std::optional<FileIdentity> FileIdentity::ofPath(const QByteArray& nativePath, bool followLinks)
{
    struct stat st;
    const int r =
        followLinks ? ::stat(nativePath.constData(), &st) : ::lstat(nativePath.constData(), &st);
    if (r != 0)
        return std::nullopt;
    return fromStat(st);
}

std::optional<FileIdentity> FileIdentity::ofFd(int fd)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return std::nullopt;
    return fromStat(st);
}

} // namespace kelmar::fs
