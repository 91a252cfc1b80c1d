// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "maintenance/RebuildArchive.h"

namespace kelmar {

// The DOS attribute bits the attributes dialog offers.
enum AttributeBits { AttrReadOnly = 1, AttrHidden = 2, AttrArchive = 32 };

// "Change Zipped Files' Attributes", once the front end has chosen the attributes (the
// dialog, or the command line's flags): gives every entry of each archive of the request
// the request's attributes, stored in the archive: the DOS bits in the low byte of its
// external attributes and, where the entry carries a Unix mode, no write permission when
// read-only. Each archive is rebuilt as Rezip rebuilds it (folder names dropped, at the
// request's level, read with readPassword, written without one) and replaced only once the
// new copy has been read back; one that cannot be rebuilt is logged ("Error changing
// attributes in PATH", the reason on the next line) and stays as it was. An archive gone
// since the list was read is left out of the report. Clears the log first. Status panel 1
// shows "Updating Attributes: NAME (k of n)", and the credit line at the end. Stop ends the
// batch after the archives in hand. With no archive it does nothing and ends as
// NothingSelected (the front end said "Whoops!" before asking for the attributes).
BatchReport change_attributes(const RebuildRequest& request, ProgressSink& sink,
                              BatchQuestions& questions, const RebuildTaken& onArchive = {});

} // namespace kelmar
