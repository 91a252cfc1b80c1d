// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The shared path and file-name procedures. They hold no state. The separator is the
// platform's (QDir::separator()); no other character separates path components.
// Positions count from the start of the text; comparisons of single characters are exact.
namespace basMain {

// The path without its extension and without the dot: "a.b.c" -> "a.b", ".cfg" -> "",
// "/roms/dir.old/readme" -> the whole path.
QString StripExtension(const QString& path);

// The extension with its dot: "game.zip" -> ".zip", "name." -> ".", "/roms/readme" -> "",
// and a bare name without a dot counts as all extension: "readme" -> "readme".
QString GetExtension(const QString& path);

// The text after the last separator; the whole path when there is none.
QString GetFileName(const QString& path);
// folder with one separator at its end, as the operations join names to it.
QString WithSeparator(const QString& folder);

// A free name "~temp<n>.tmp" (n = 1 to 999) in folder, as a full path, or the empty text
// when all 999 are taken. Appends the separator to folder when it is missing.
QString MakeTempName(QString& folder);

// Deletes every \ / : * ? < > | and double quote from name, in place. Returns the empty text.
QString RemoveInvalidChars(QString& name);
// True when name holds a character RemoveInvalidChars would remove.
bool HoldsInvalidChars(const QString& name);

// True when a listing of the path finds at least one ordinary file. Wildcards in the last
// component are honoured (matched without regard to case); hidden files and folders are not
// seen.
bool FileExists(const QString& pathOrPattern);

// True when the name's last four characters, lower-cased, are ".zip": what the operations
// take for an archive.
bool HasZipExtension(const QString& name);

// True when a plain listing shows this very path as a file: an ordinary file (or a link to
// one) whose name does not start with a dot. No wildcards.
bool IsListedFile(const QString& path);

// True when anything at all bears this name: a file, a folder, a link (even a broken one),
// hidden or not. What a rename must not replace.
bool NameTaken(const QString& path);

} // namespace basMain
