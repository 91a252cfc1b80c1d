// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

namespace kelmar::fs {

// File names here are bytes, and collections copied from old Windows machines and FAT media
// hold names that are not UTF-8 (a Latin-1 "caf\xe9.zip"). Qt decodes such a name lossily,
// so it can neither show nor open the file again. These functions keep every byte:
//
// nameFromNative decodes UTF-8 and maps each byte that is not part of valid UTF-8 to a lone
// surrogate U+DC80..U+DCFF (as Python's "surrogateescape" does); nativeName turns such a
// text back into exactly the bytes it came from. Any other text encodes as UTF-8, so a path
// that was typed or built from valid names encodes as QFile::encodeName would.
//
// Paths that reach a system call (open, stat, rename, unlink, mkdir, zip_open) go through
// nativeName; names read from a folder come through nameFromNative.
QString nameFromNative(const char* bytes, qsizetype size);
QString nameFromNative(const QByteArray& bytes);
QByteArray nativeName(const QString& name);

// The name as the window and the log show it: each byte that was not UTF-8 becomes U+FFFD.
QString displayName(const QString& name);

// The name for a line of the log: as displayName, and each control character (a line feed,
// say, which would break the line or hide what follows) as "\x0a".
QString printableName(const QString& name);

// The name without regard to case, for comparing names as FAT, NTFS or macOS do: each character
// case-folded on its own. QString::toCaseFolded turns a byte that was not UTF-8 into U+FFFD once
// a character before it changed, and two names would then compare wrongly.
QString foldedName(const QString& name);

// True when the name holds a byte that was not UTF-8.
bool hasForeignBytes(const QString& name);

} // namespace kelmar::fs
