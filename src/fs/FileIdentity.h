#pragma once

#include <QString>

#include <sys/types.h>

namespace kelmar::fs {

// Which file a name stands for: two names are the same file when device and inode agree,
// whatever their spelling (a file system that ignores case, a hard link).
struct FileId
{
    dev_t dev = 0;
    ino_t ino = 0;
    bool valid = false;

    bool sameFileAs(const FileId& other) const
    {
        return valid && other.valid && dev == other.dev && ino == other.ino;
    }
};

// The identity of the name itself (a link is not followed); invalid when nothing bears it.
FileId idOf(const QString& path);

} // namespace kelmar::fs
