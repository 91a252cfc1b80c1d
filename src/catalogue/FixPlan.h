// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalogue/Catalogue.h"
#include "catalogue/CollectionScan.h"
#include "catalogue/Verification.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace kelmar::catalogue {

// An entry renamed inside the archive being rebuilt.
struct EntryRename
{
    quint32 index = 0;
    QString from;
    QString to;
};

// A ROM copied into the archive being rebuilt: from another archive's entry (its compressed
// bytes as they are), or from a loose file (deflated).
struct EntryCopy
{
    QString source;      // the archive or the loose file
    bool fromArchive = true;
    quint32 index = 0;   // the entry in source
    QString sourceName;  // the entry's (or the file's) name
    QString to;          // its name in the set's archive
    qint64 size = 0;
    quint32 crc = 0;
};

// One step of a fix, in the order they run.
struct FixStep
{
    enum class Kind {
        RenameArchive, // archive -> target, in the same folder; nothing replaced
        UpdateArchive, // rebuild archive with renames and copies (safe rebuild)
        CreateArchive, // write target anew from copies
    };
    Kind kind = Kind::UpdateArchive;
    int set = -1;   // the catalogue's set it is for
    QString archive; // the archive as it is now (empty for CreateArchive)
    QString target;  // the archive's new path (RenameArchive, CreateArchive)
    std::vector<EntryRename> renames;
    std::vector<EntryCopy> copies;
};

struct FixPlan
{
    std::vector<FixStep> steps;
    QStringList notes; // what a fix leaves as it is, and why
};

// What a fix would do: archives named after no set, holding ROMs of one set without an
// archive, are renamed to it; misnamed entries get their ROM's name; ROMs found elsewhere
// are copied into their set's archive (made in the folder of the first ROM found when it has
// none). Nothing is ever deleted or replaced: an entry or archive name that is taken is
// noted and left alone, and the copied ROM stays where it was too.
FixPlan planFix(const Catalogue& catalogue, const std::vector<ScannedItem>& scan,
                const Verification& verification);

// The plan as the lines --dry-run prints, one a change.
QStringList describePlan(const FixPlan& plan);

// Carries out one step through the safe rebuild: the new archive is written beside the old
// one under a temporary name, flushed and read back in full (every entry there, CRCs and
// sizes as expected), then renamed over it (or, for a new archive, to its name only while
// nothing bears it). A result code (ZipError.h); *detail says why on failure.
int runFixStep(const FixStep& step, QString* detail);

} // namespace kelmar::catalogue
