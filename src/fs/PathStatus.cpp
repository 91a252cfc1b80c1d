// SPDX-License-Identifier: GPL-3.0-or-later
#include "fs/PathStatus.h"

#include "fs/NativeName.h"

#include <sys/stat.h>

namespace kelmar::fs {

namespace {

PathStatus statusOf(const struct stat& st)
{
    PathStatus status;
    status.kind = S_ISREG(st.st_mode)   ? FileKind::File
                  : S_ISDIR(st.st_mode) ? FileKind::Folder
                  : S_ISLNK(st.st_mode) ? FileKind::Link
                                        : FileKind::Other;
    status.size = qint64(st.st_size);
    status.permissions = st.st_mode & 07777;
    status.owner = st.st_uid;
    status.group = st.st_gid;
    status.identity = FileIdentity::fromStat(st);
    return status;
}

} // namespace

std::optional<PathStatus> statOfNative(const QByteArray& nativePath, Links links)
{
    struct stat st;
    const int r = links == Links::Follow ? ::stat(nativePath.constData(), &st)
                                         : ::lstat(nativePath.constData(), &st);
    if (r != 0)
        return std::nullopt;
    return statusOf(st);
}

std::optional<PathStatus> statOf(const QString& path, Links links)
{
    return statOfNative(nativeName(path), links);
}

std::optional<PathStatus> statOfFd(int fd)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return std::nullopt;
    return statusOf(st);
}

bool isDirectory(const QString& path, Links links)
{
    const std::optional<PathStatus> status = statOf(path, links);
    return status && status->kind == FileKind::Folder;
}

bool isRegularFile(const QString& path, Links links)
{
    const std::optional<PathStatus> status = statOf(path, links);
    return status && status->kind == FileKind::File;
}

} // namespace kelmar::fs
