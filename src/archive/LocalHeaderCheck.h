// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace kelmar {

// Compares each entry's local header with its central directory entry, as far as the format
// makes them agree: the same name (or none), the same compression method and, where the
// local header gives them, the same CRC and sizes. Sizes and CRC may be left to a data
// descriptor (streaming writers: `zip` to a pipe, bsdtar, Python on an unseekable file),
// extra fields may differ or end in padding, and names may repeat; none of that is a fault.
// libzip's own consistency check refuses all of these, so good archives from those tools
// were called damaged. Also checked: the end records (a broken zip64 one, bytes between the
// directory and its end record), and that no two entries share their data, which would let
// a small archive unpack into any size at all.
//
// Returns a sentence naming the first contradiction ("game.nes: local header names
// other.nes"), or an empty text when there is none, or when the directory is not one this
// reader follows (libzip has opened it, and every entry's data is still checked when read).
QString localHeaderContradiction(const QString& archivePath);
// The same over an archive open for reading on fd (read with pread: its offset stays).
QString localHeaderContradictionOf(int fd);

} // namespace kelmar
