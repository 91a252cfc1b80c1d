// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

namespace kelmar {

namespace fs {
class SafeOutput;
}

class ArchiveReader;
struct ExtractManifest;
struct ExtractSettings;

// The extracting half of ArchiveReader::extract: writes the entries settings.fileMask selects
// below settings.destination, with or without their folder names, from the reader's open
// archive, and notes each file it leaves on disk in the manifest.
//
// A name that would lead outside the destination (".." or a link on the way) or that holds a
// control character is refused, and so is a symbolic link entry. Each file is written to a
// temporary file in its folder and takes its name only when complete and checked, and only
// while the name is free: an existing file is never replaced. When it holds the entry's bytes
// the entry counts as extracted; otherwise the entry fails with ZipExistsAndDiffers.
class ZipExtractor
{
public:
    ZipExtractor(ArchiveReader& reader, const ExtractSettings& settings, ExtractManifest& manifest);

    int extract();

    // Where extract writes the file entry entryName below destination, with or without its
    // folder names; empty for a folder entry or a name it refuses.
    static QString extractedPath(const QString& destination, const QString& entryName,
                                 bool keepFolderNames);

private:
    // The file entry's path below the destination, its folders made; empty with *result set
    // when the entry is refused, or with ZipOk when there is nothing to write.
    QString prepareEntry(quint64 index, const QString& name, int* result);
    int extractEntry(quint64 index, qint64 size, qint64 mtime, const QString& entryName,
                     const QString& target);
    // The entry's bytes through output's descriptor, no more than size of them.
    int writeEntry(quint64 index, qint64 size, const QString& entryName,
                   const fs::SafeOutput& output);
    // A failed write to target, worded and coded from the system's error.
    int writeFailure(const QString& target, int systemError);
    // existingSize: the size of the file in the way, -1 when it is not an ordinary file.
    int matchExisting(quint64 index, qint64 size, const QString& entryName, const QString& target,
                      qint64 existingSize);
    bool cancelled() const;
    int stopped();
    void completed(const QString& target, const QString& entryName, qint64 size);

    ArchiveReader& m_reader;
    const ExtractSettings& m_settings;
    ExtractManifest& m_manifest;
    QString m_root; // the destination, resolved
};

} // namespace kelmar
