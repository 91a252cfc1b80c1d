// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archive/ZipHandles.h"
#include "fs/FdGuard.h"
#include "fs/FileIdentity.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace kelmar {

// One entry of an archive, as its central directory gives it.
struct ArchiveEntry
{
    quint64 index = 0;
    QString name;    // as extraction would read it (EntryName.h)
    qint64 size = 0; // uncompressed
};

// A file an extraction left on disk for an entry: written by it, or already there with the
// entry's bytes. identity is the file as it was right after (nothing when it could not be
// examined).
struct ExtractedFile
{
    QString path;
    QString entry;
    qint64 size = 0;
    std::optional<fs::FileIdentity> identity;
};

// What one extraction left on disk, in the order the files were completed.
struct ExtractManifest
{
    std::vector<ExtractedFile> files;
};

// How to extract: where, which entries (EntryMask text), with or without their folder names,
// what stops it and where its progress goes (target, percent: below 100 while the file is
// written, 100 once it is complete).
struct ExtractSettings
{
    QString destination;
    QString fileMask;
    bool keepFolderNames = true;
    std::function<bool()> cancelled;
    std::function<void(const QString& target, int percent)> progress;
};

// An archive opened once for reading, and everything read from it: its listing, its test,
// its extraction, all from the one handle, which is let go of with the reader.
//
// Result codes are ZipError.h's; detail() says what went wrong in words fit for a log line
// (the first thing that went wrong since the last operation began).
class ArchiveReader
{
public:
    ArchiveReader(const QString& path, const QString& password);
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // Opens the archive; an archive already open stays as it is, and one that could not be
    // opened is not tried again.
    int open();
    bool isOpen() const { return bool(m_archive); }
    const QString& path() const { return m_path; }
    // The archive file as it was just before it was opened (nothing when it could not be
    // examined): only that file, unchanged, is the one that was read.
    const std::optional<fs::FileIdentity>& identityBeforeOpen() const { return m_before; }

    // Every entry, in the directory's order; on a failure, those before it.
    int list(std::vector<ArchiveEntry>* entries);
    // Reads every entry in full, checking CRCs, AES authentication and the archive's
    // structure.
    int test();
    // Extracts the entries settings select (ZipExtractor.h); what it left on disk goes into
    // *manifest, also when it fails part way.
    int extract(const ExtractSettings& settings, ExtractManifest* manifest);

    const QString& detail() const { return m_detail; }

    // For the extracting half: reads one entry to its end through the reader's buffer,
    // handing each piece to sink (which returns a result code), and checks CRC,
    // authentication and size.
    int readEntry(quint64 index, const std::function<int(const char*, qint64)>& sink);
    // Keeps detail (unless one is kept already) and returns code.
    int fail(int code, const QString& detail);
    // The result code of a libzip error, kept as fail does.
    int resultOf(const zip_error_t* error, const QString& what);
    zip_t* handle() const { return m_archive.get(); }
    qsizetype bufferSize() const { return qsizetype(m_buffer.size()); }

    // How many archives readers have opened in this process (tests count them).
    static int opens();

private:
    // Opens the archive and compares its local headers with its directory: what test and
    // extract both need before they read an entry.
    int openChecked();
    ZipArchivePtr openStream(int* result);
    int failOpening(int code, const QString& detail);

    QString m_path;
    QByteArray m_password;
    // The archive as it was opened: libzip reads a descriptor of its own on it, the checks
    // of its headers read this one.
    fs::FdGuard m_file;
    ZipArchivePtr m_archive;
    int m_openResult = 0;
    std::optional<fs::FileIdentity> m_before;
    QString m_detail;
    std::vector<char> m_buffer;
};

} // namespace kelmar
