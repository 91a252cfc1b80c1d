// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <zip.h>

namespace kelmar {

// The name of an archive's entry as Kelmar uses it: a name flagged as UTF-8 (or carried in an
// Info-ZIP Unicode path field) is UTF-8. A name without the flag is read, as Info-ZIP's unzip
// reads it, by the system that wrote the entry: a Unix host stores the bytes of the file's own
// name, so they come back exactly (fs::nameFromNative keeps a byte that is not UTF-8); a DOS or
// Windows host stores its OEM code page, read as CP437 where it is not UTF-8.
QString entryNameOf(zip_t* archive, zip_uint64_t index);

// The bytes and flags zip_file_add takes for name: UTF-8 when it is, and otherwise the very
// bytes of the file's name, without the UTF-8 flag (libzip then writes no Unicode path field
// either). Such an entry must be marked as written on Unix for entryNameOf to read it back.
QByteArray entryNameBytes(const QString& name, zip_flags_t* encoding);

} // namespace kelmar
