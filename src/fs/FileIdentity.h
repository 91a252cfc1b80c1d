// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>
#include <sys/types.h>

struct stat;

namespace kelmar::fs {

// Which file a path named, and in which state: device, inode, size, and modification and
// status-change times (to the nanosecond). Taken when a file is read and again before it is
// deleted, it tells whether the file on disk is still the one that was read: a file replaced by
// a rename has another inode, one written in place another size or time. A program can set a
// file's modification time back after writing it, never its status-change time.
struct FileIdentity
{
    dev_t device = 0;
    ino_t inode = 0;
    qint64 size = -1;
    qint64 mtimeNs = 0;
    qint64 ctimeNs = 0;
    bool regular = false; // an ordinary file (not a folder, link, pipe or device)

    // The file at nativePath, or nothing when it cannot be examined. Without followLinks a
    // symbolic link is described as the link itself, never as its target.
    static std::optional<FileIdentity> ofPath(const QByteArray& nativePath,
                                              bool followLinks = false);
    // The file open on fd, as it is now.
    static std::optional<FileIdentity> ofFd(int fd);
    static FileIdentity fromStat(const struct stat& st);

    // The same file in the same state.
    bool operator==(const FileIdentity& other) const
    {
        return device == other.device && inode == other.inode && size == other.size &&
               mtimeNs == other.mtimeNs && ctimeNs == other.ctimeNs && regular == other.regular;
    }
    bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

} // namespace kelmar::fs
