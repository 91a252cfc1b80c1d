// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalogue/Catalogue.h"
#include "catalogue/CollectionScan.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace kelmar::catalogue {

enum class SetStatus {
    Complete,   // every ROM in the archive named after the set, under its own name
    Fixable,    // every ROM found, some under another name or in another archive
    Incomplete, // some ROMs missing (or damaged)
    Missing,    // none found
};

enum class RomState {
    Ok,        // in the set's archive under its name
    Misnamed,  // in the set's archive under another name
    Elsewhere, // in another archive, or loose
    Missing,   // nowhere
    Damaged,   // under its name in the set's archive with its size but another CRC
    NoDump,    // never dumped: nothing to look for (left out of counts and JSON)
};

// A file of the scan: scan[item].files[file]; file -1 is the item as a whole.
struct FileRef
{
    int item = -1;
    int file = -1;
    bool valid() const { return item >= 0; }
};

struct RomCheck
{
    RomState state = RomState::Missing;
    FileRef found; // where it was found (for Damaged: the damaged file)
};

struct SetCheck
{
    SetStatus status = SetStatus::Missing;
    std::vector<int> homes;      // the scan's items named after the set (its archives)
    std::vector<RomCheck> roms;  // one per ROM of the set, in the catalogue's order
};

struct StatusCounts
{
    int complete = 0;
    int fixable = 0;
    int incomplete = 0;
    int missing = 0;
    int unknown = 0;
};

// A collection judged against a catalogue.
struct Verification
{
    std::vector<SetCheck> sets;   // one per set of the catalogue
    std::vector<FileRef> unknown; // what matches no ROM: whole items, or entries of archives
    std::vector<int> unreadable;  // items that could not be read
    StatusCounts counts;
    bool allComplete() const { return counts.fixable + counts.incomplete + counts.missing == 0; }
};

Verification verifyCollection(const Catalogue& catalogue, const std::vector<ScannedItem>& scan,
                              MatchHash hash);

// The path a file of the scan is shown by: a loose file's or an archive's own path, an
// archive's entry as "ARCHIVE/ENTRY".
QString foundPath(const std::vector<ScannedItem>& scan, FileRef ref);

QString setStatusName(SetStatus status);   // "complete", "fixable", "incomplete", "missing"
QString romStateName(RomState state);      // "ok", "misnamed", "elsewhere", "missing", ...

// {"summary": {...}, "sets": [{"name", "status", "roms": [{"name", "state", "found"}]}],
//  "unknown": [PATH...]}, keys in that order, one set a line, UTF-8; paths and names as the
// terminal shows them.
QByteArray verificationJson(const Catalogue& catalogue, const std::vector<ScannedItem>& scan,
                            const Verification& verification);
// text as a JSON string, quotes included.
QByteArray jsonString(const QString& text);

} // namespace kelmar::catalogue
