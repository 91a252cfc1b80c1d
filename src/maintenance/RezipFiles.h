// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "maintenance/RebuildArchive.h"

namespace kelmar {

// "ReZip": rebuilds every archive of the request at its level, from its file entries at the
// top level (folder names dropped), read with readPassword and written with writePassword
// (AES-256; none when empty).
//
// Each archive is rebuilt beside itself and replaces the old one only once the new one has
// been read back whole (ArchiveRebuilder); an archive that cannot be rebuilt is logged as
// "Error when rezipping PATH", with the reason on the next line, and stays as it was.
// Entries keep their modification times and attributes. Clears the log first. Status panel 1
// shows "Rezipping File k of n [bar]", and the credit line at the end; Stop ends the batch
// after the archives in hand. With no archive it says "Whoops!" and ends as NothingSelected.
//
// With torrentZip each archive is written in the TorrentZip layout instead (the same entries,
// under the same names); one already exactly so is left as it is, Unchanged, and logged as
// "PATH: already TorrentZip". Where there are fewer archives than workers, the entries of an
// archive are deflated on several.
BatchReport rezip_files(const RebuildRequest& request, ProgressSink& sink,
                        BatchQuestions& questions, const RebuildTaken& onArchive = {});

} // namespace kelmar
