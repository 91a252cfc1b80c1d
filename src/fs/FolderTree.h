// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fs/FileIdentity.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace kelmar::fs {

// Everything below a folder, found without following any link, with the first thing that
// could not be read. A listing that silently skipped an unreadable sub-folder would let its
// files be taken for stored and deleted with the folder.
struct FolderTree
{
    enum class Kind { File, Folder, Link, Other };
    struct Entry
    {
        QByteArray nativeRelative; // the bytes of the name below the folder, "/"-separated
        QString relative;          // the same, for the user and for entry names
        Kind kind = Kind::Other;
        FileIdentity identity;
    };

    std::vector<Entry> entries; // parents before their content
    QString error;              // empty when every folder could be read

    static FolderTree read(const QByteArray& nativeRoot);
};

} // namespace kelmar::fs
