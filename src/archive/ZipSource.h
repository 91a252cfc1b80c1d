// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fs/FileIdentity.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace kelmar {

// One file to add to an archive, named exactly: no character of either name is special.
struct ZipSource
{
    // What happens when entryName is taken in the archive (by an entry there already or by
    // another source of the same call), exactly or in another case. A name that unzip would
    // refuse (one holding a control character) is never stored: with Fail the archive fails,
    // otherwise the file is left out.
    enum class OnClash {
        Fail,   // the whole archive fails and is left as it was
        Rename, // stored as "name (2).ext", "name (3).ext", ...
        Skip,   // left out (for the info file: the archive holds one already)
    };

    QString path;          // the file as the user sees it (log lines, progress)
    QByteArray nativePath; // the bytes the system opens; from path when empty
    QString entryName;     // "/" separates stored folders
    OnClash onClash = OnClash::Fail;

    static ZipSource file(const QString& path, const QString& entryName,
                          OnClash onClash = OnClash::Fail);
};

// A file the archive now holds as it was read: its identity when it was opened, unchanged
// until it was read to its end. An entry that was there already with the same size and CRC
// counts too. Only such a file may be deleted, and only while it is still that file.
struct StoredSource
{
    QString path;
    QByteArray nativePath;
    QString entryName; // the name it is stored under (after a rename of a clash)
    fs::FileIdentity identity;
};

// What one compress did besides its result: what it stored, and what it stored differently
// from what it was asked (a renamed or left-out entry), in words for the log.
struct CompressOutcome
{
    std::vector<StoredSource> stored;
    QStringList notes;
    // Files that went into the archive but changed (or vanished) while they were read: the
    // archive holds what was read, and the file is no longer that.
    QStringList changedWhileRead;

    const StoredSource* find(const QString& path) const;
};

} // namespace kelmar
