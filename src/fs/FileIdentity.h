#pragma once

#include <QString>

#include <sys/types.h>

namespace kelmar::fs {

// Which file a name stands for at one moment: a name that now leads to another file (the
// old one replaced or renamed away) compares unequal.
struct FileIdentity
{
    dev_t device = 0;
    ino_t inode = 0;
    bool valid = false;

    bool operator==(const FileIdentity& other) const
    {
        return valid && other.valid && device == other.device && inode == other.inode;
    }
    bool operator!=(const FileIdentity& other) const { return !(*this == other); }

    // The file the name itself stands for (a link is not followed); invalid when the name
    // does not exist.
    static FileIdentity of(const QString& path);
};

} // namespace kelmar::fs
