// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

typedef struct zip_source zip_source_t;
typedef struct zip_error zip_error_t;

namespace kelmar {

// libzip refuses, as inconsistent, an archive whose central directory records end their
// extra fields with bytes that do not make a whole record (one to three padding bytes that
// are not zero). 7-Zip and UnZip read past such padding, and so must Kelmar. For such an archive this
// gives a read-only source that shows libzip the file with that padding left out of the
// directory: every entry's header and data are read from the file as they are.
//
// Null when the archive has no such padding, or a directory this does not follow (a zip64
// one): libzip's own verdict then stands. Takes over fd (closing it) only when it succeeds.
zip_source_t* paddedExtraSource(int fd, zip_error_t* error);

} // namespace kelmar
