// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "maintenance/RebuildArchive.h"

namespace kelmar {

// The confirmation a front end asks before anything is removed, with the ROM filter it names.
QString removeNonRomsQuestion(const QString& romFilter);

// True when romFilter names no ROM extension ("", ";", "*."): every entry would go.
bool romFilterIsEmpty(const QString& romFilter);
// The refusal a front end shows instead of the confirmation when the ROM filter is empty.
QString emptyRomFilterMessage();

// "Remove Non-ROMs From Zips", once the front end has confirmed it: removes from every
// archive of the request each entry that romFilter does not mark as a ROM. The entries kept
// are copied as they are, never recompressed (encrypted ones too, read with readPassword);
// the archive is replaced only once its new copy has been read back (ArchiveRebuilder). Each
// archive gets "Removed N entries from PATH", or "Error removing non-ROMs from PATH" with the
// reason on the next line, in which case it stays as it was. An archive left without entries
// stays a valid, empty archive. Clears the log first; Stop ends the batch after the archives
// in hand. With no archive it says "Whoops!" and ends as NothingSelected. An empty filter
// would empty every archive: the batch then touches nothing and ends as Cancelled (front ends
// refuse before, with emptyRomFilterMessage).
BatchReport remove_non_roms_from_zips(const RebuildRequest& request, ProgressSink& sink,
                                      BatchQuestions& questions,
                                      const RebuildTaken& onArchive = {});

} // namespace kelmar
