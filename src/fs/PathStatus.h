// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fs/FileIdentity.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <sys/types.h>

namespace kelmar::fs {

// What a path names, asked of the system by the path's bytes (nativeName), so that a name
// that is not UTF-8 gets the same answer as any other. Callers above fs ask here instead of
// calling stat themselves.
enum class FileKind { File, Folder, Link, Other };
enum class Links { Follow, DoNotFollow };

struct PathStatus
{
    FileKind kind = FileKind::Other;
    qint64 size = -1;
    mode_t permissions = 0; // the 07777 bits
    uid_t owner = 0;
    gid_t group = 0;
    FileIdentity identity;
};

// The status of the path, or nothing with errno set (ENOENT when nothing bears the name).
// With Links::DoNotFollow a symbolic link is described as the link itself.
std::optional<PathStatus> statOf(const QString& path, Links links);
std::optional<PathStatus> statOfNative(const QByteArray& nativePath, Links links);
// The status of the file open on fd.
std::optional<PathStatus> statOfFd(int fd);

// True when the path names a folder, or an ordinary file; false also when it cannot be
// examined.
bool isDirectory(const QString& path, Links links = Links::Follow);
bool isRegularFile(const QString& path, Links links = Links::Follow);

} // namespace kelmar::fs
