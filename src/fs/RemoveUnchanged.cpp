// SPDX-License-Identifier: GPL-3.0-or-later
#include "fs/RemoveUnchanged.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace kelmar::fs {

QString removeIfUnchanged(const QByteArray& nativePath, const FileIdentity& read)
{
    const std::optional<FileIdentity> now = FileIdentity::ofPath(nativePath, true);
    if (!now)
        return QStringLiteral("it is no longer there");
    if (now->device != read.device || now->inode != read.inode)
        return QStringLiteral("another file took its place after it was read");
    if (*now != read)
        return QStringLiteral("it changed after it was read");
    if (::unlink(nativePath.constData()) != 0)
        return QStringLiteral("it could not be deleted: ") +
               QString::fromLocal8Bit(std::strerror(errno));
    return QString();
}

} // namespace kelmar::fs
