// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archive/ArchiveReader.h"
#include "fs/FileIdentity.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace kelmar {

class EntryMask;

// The case "Rename Files after ZIP" gives the new names.
enum class UnzipCase { Lower, Upper, Original };

// What one entry of an archive becomes on disk.
struct PlannedFile
{
    QString entry;
    QString path;
    qint64 size = 0;
};

// What unzipping one archive is to write, made from its listing before a byte is written:
// its size goes against the free space, its names against the batch's archives and against
// what archives running beside it write.
struct UnzipPlan
{
    QString archive;
    QString target; // the folder its entries go into, with its separator
    std::vector<PlannedFile> files;
    qint64 needed = 0;
    // The first file it would write over an archive of the batch; empty when none.
    QString overBatchArchive;

    // The archive's path and every planned path, case-folded: what it must not share with an
    // archive running beside it.
    QStringList keys() const;
};

// The plan for archive's entries extracted into target (with or without their folder names)
// by mask. batchArchives: the case-folded paths of the batch's archives.
UnzipPlan planUnzip(const QString& archive, const QString& target,
                    const std::vector<ArchiveEntry>& entries, bool keepFolderNames,
                    const EntryMask& mask, const QSet<QString>& batchArchives);

// --- steps over what an extraction left on disk (its manifest)

// The file at a path as it is now; nothing when it cannot be examined.
using IdentityOf = std::function<std::optional<fs::FileIdentity>(const QString& path)>;

// Why the plan is not all on disk as the manifest says it was written, or an empty text: every
// planned file was extracted and is still that very file, an ordinary one, at its size.
QString missingFromDisk(const UnzipPlan& plan, const ExtractManifest& manifest,
                        const IdentityOf& identityOf);

// What is known when an extracted archive is to be deleted.
struct DeletionFacts
{
    std::optional<fs::FileIdentity> before; // the archive just before it was opened
    std::optional<fs::FileIdentity> now;    // the archive now
    QString missing;                        // missingFromDisk's answer
    bool synced = true;                     // what was extracted is flushed to disk
    int flushError = 0;                     // errno when not synced
};

// Whether the archive may go; when it may not, the log line that says why.
struct DeletionVerdict
{
    bool remove = false;
    QString line;
};
DeletionVerdict judgeDeletion(const DeletionFacts& facts);

// One rename of "Rename Files after ZIP": the extracted file at from, to its archive's name
// (plus its own extension) in the chosen case, in the folder it was extracted to.
struct RenamePair
{
    QString from;
    QString to;
    std::optional<fs::FileIdentity> identity; // the file as it was extracted
};
std::vector<RenamePair> renamesOf(const ExtractManifest& manifest, const QString& archive,
                                  const QString& folder, UnzipCase nameCase);

} // namespace kelmar
