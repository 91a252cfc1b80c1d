// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace kelmar::test {

// Zips every file below sources into archive with Python's zipfile, compressed with method:
// "lzma", "bzip2", or "zstd". This Python cannot compress Zstandard itself: the zstd tool
// makes each stream and zipfile writes the archive around it, as for a method it knew.
bool pythonZip(const QString& sources, const QString& archive, const QString& method);

} // namespace kelmar::test
