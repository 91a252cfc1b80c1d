// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archive/TorrentZip.h"

#include <QString>

#include <zip.h>

#include <functional>
#include <vector>

namespace kelmar {

class ArchiveReplacement;
class RecompressAhead;
struct RebuildEntry;

// What a rebuild does to each entry of an archive.
struct RebuildPlan
{
    enum class Kind {
        // Every file entry is read in full (decrypted with readPassword, its CRC checked) and
        // written anew under its name without folders, at level, and encrypted with
        // writePassword (AES-256) when that is not empty. Folder entries are dropped.
        Recompress,
        // The entries that removeMask selects (EntryMask) are dropped; the others are
        // copied byte for byte, never recompressed, encrypted ones included.
        RemoveEntries,
        // The archive is written anew in the TorrentZip layout (TorrentZip.h), its entries
        // read with readPassword: with keepFolderNames every entry under its own name, folders
        // included, otherwise the file entries under their names without folders, as
        // Recompress takes them. An archive already exactly so is left as it is. level,
        // writePassword and attributes do not apply: the layout fixes them.
        TorrentZip,
    };
    Kind kind = Kind::Recompress;
    int level = 6;
    QString readPassword;
    QString writePassword;
    // Recompress only: the DOS attributes every entry gets (read-only 1, hidden 2, archive
    // 32), or -1 to keep each entry's own.
    int attributes = -1;
    QString removeMask;
    // TorrentZip only, as said there.
    bool keepFolderNames = false;
    // TorrentZip only: how many threads may deflate the entries of one archive at once.
    int threads = 1;
    // Recompress: how many threads deflate the blocks of an entry too large to deflate whole.
    int blockThreads = 1;
};

// Rebuilds an archive without ever putting its content at risk.
//
// The new archive is written beside the old one under a hidden temporary name, flushed to
// disk, and read back in full: every entry must be there with the content it had (same CRC
// and size, or for copied entries the same bytes). Only then is it renamed over the old
// archive, which until that moment is never written to. On any failure the old archive is
// left exactly as it was, the temporary file is removed, and lastErrorDetail() says why.
// An archive that was changed by someone else while it was being rebuilt is left alone too.
//
// Entry names that would become one when their folders are dropped ("a/x.rom" and
// "b/x.rom", or names differing only in case) leave the archive as it was.
class ArchiveRebuilder
{
public:
    explicit ArchiveRebuilder(RebuildPlan plan);

    // A result code (ZipError.h). ZipOk also when there was nothing to change (no entry to
    // remove, no file entry to recompress); changed() tells.
    int rebuild(const QString& archivePath);

    // TorrentZip: whether the archive's entries could be laid out (no two names the layout
    // takes for one), without writing anything. A result code; lastErrorDetail() says why.
    int checkTorrentZipNames(const QString& archivePath);

    const QString& lastErrorDetail() const { return m_detail; }
    bool changed() const { return m_changed; }
    // Entries dropped by the last RemoveEntries rebuild.
    int removedCount() const { return m_removed; }
    // The last TorrentZip rebuild found the archive exactly in the layout already.
    bool alreadyTorrentZip() const { return m_alreadyTorrentZip; }

    // Called while each entry is read: its name and how much of it is done (100 at its end).
    std::function<void(const QString& name, int percent)> onProgress;
    // Asked while an entry too large to deflate whole (a disc image) is recompressed: true
    // gives up the rebuild (ZipAborted), the archive left as it was. Smaller entries finish.
    std::function<bool()> cancelled;

private:
    int fail(int code, const QString& detail);
    int recompress(ArchiveReplacement& replacement);
    int planRecompress(zip_t* source, const QString& path, std::vector<RebuildEntry>& planned);
    int writeRecompressed(zip_t* source, const QString& path, const QByteArray& temp,
                          std::vector<RebuildEntry>& planned);
    int statEntry(zip_t* source, const QString& path, zip_uint64_t index, RebuildEntry* p);
    int addRecompressed(zip_t* source, zip_t* target, RebuildEntry& p, RecompressAhead* ahead);
    int verifyRecompressed(const QByteArray& temp, const std::vector<RebuildEntry>& planned);
    int removeEntries(ArchiveReplacement& replacement);
    int writeThinned(zip_t* source, const QString& path, const QByteArray& temp,
                     const std::vector<zip_uint64_t>& kept,
                     const std::vector<zip_uint64_t>& removed);
    int verifyThinned(zip_t* source, const QByteArray& temp, const std::vector<zip_uint64_t>& kept);
    // TorrentZipRebuild.cpp
    int torrentZip(ArchiveReplacement& replacement);
    int planTorrentZip(zip_t* source, const QString& path, std::vector<RebuildEntry>& planned,
                       std::vector<QByteArray>& names);
    int readForTorrentZip(zip_t* source, const RebuildEntry& p,
                          const std::function<int(const char*, qint64)>& sink);
    int writeTorrentZip(zip_t* source, const QByteArray& temp,
                        const std::vector<RebuildEntry>& planned,
                        const std::vector<QByteArray>& names);
    int verifyTorrentZip(const QByteArray& temp);

    RebuildPlan m_plan;
    QString m_detail;
    bool m_changed = false;
    int m_removed = 0;
    bool m_alreadyTorrentZip = false;
    // What the TorrentZip copy was written with: each entry's name, CRC and size, in order.
    std::vector<torrentzip::Written> m_written;
};

} // namespace kelmar
