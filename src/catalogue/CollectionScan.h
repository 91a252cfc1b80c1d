// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalogue/Catalogue.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace kelmar::catalogue {

// How files are matched with ROMs: by size and CRC-32 (read from the archives' central
// directories, nothing inflated), or by SHA-1 where the catalogue gives one (every entry
// read in full and hashed; size and CRC-32 where it gives none).
enum class MatchHash { Crc, Sha1 };

// One file found: an entry of an archive, or a loose file (name is then its file name).
struct FoundFile
{
    QString name;
    qint64 size = 0;
    quint32 crc = 0;
    Sha1 sha1{};
    bool hasCrc = false;
    bool hasSha1 = false;
    quint32 index = 0; // the entry's index in its archive
};

// One archive, or one loose file, of the collection, and what it holds.
struct ScannedItem
{
    QString path;
    bool archive = false; // a ".zip"; else a loose file, one FoundFile
    std::vector<FoundFile> files;
    int code = 0;  // ZipError.h's result code; not ZipOk when it could not be read
    QString error; // why, for a log line
    // The name that ties the item to a set: the archive's name without ".zip"; for a loose
    // file, the name of its folder.
    QString containerName() const;
    bool readable() const { return code == 0; }
};

// Every file under roots (files stand for themselves; folders with their sub-folders, links
// to folders not followed), hidden ones left out, in a stable order: each folder's files by
// name, then its sub-folders. A root that does not exist goes into *missing.
QStringList collectionFiles(const QStringList& roots, QStringList* missing);

// Reads one file of the collection: an archive's central directory (names, sizes, CRC-32;
// with MatchHash::Sha1 every entry inflated and hashed too), or a loose file's bytes.
ScannedItem scanFile(const QString& path, MatchHash hash);

// True for names ending in ".zip" in any case.
bool isArchiveName(const QString& path);

} // namespace kelmar::catalogue
