#pragma once

#include "maintenance/RebuildReport.h"

#include <functional>

namespace kelmar {

class BatchHost;
class ZipComponent;

// The confirmation asked before anything is removed, with the ROM filter it names.
QString removeNonRomsQuestion(const QString& romFilter);

// True when romFilter names no ROM extension ("", ";", "*."): every entry would go.
bool romFilterIsEmpty(const QString& romFilter);
// The refusal shown instead of the confirmation when the ROM filter is empty.
QString emptyRomFilterMessage();

// "Remove Non-ROMs From Zips": with an empty ROM filter it refuses (emptyRomFilterMessage, and
// report.cancelled), since it would empty every archive. Otherwise, after one confirmation,
// removes from every selected archive of
// the host's file list each entry that the ROM filter does not mark as a ROM. The entries
// kept are copied as they are, never recompressed (encrypted ones too); the archive is
// replaced only once its new copy has been read back (ArchiveRebuilder). Each archive gets
// "Removed N entries from PATH", or "Error removing non-ROMs from PATH" with the reason on
// the next line, in which case it stays as it was. An archive left without entries stays a
// valid, empty archive. Stop ends the batch after the archive in hand.
RebuildReport remove_non_roms_from_zips(
    BatchHost& host, ZipComponent& zip,
    const std::function<void(int number, int total, const QString& path)>& onArchive = {});

} // namespace kelmar
