// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalogue/Catalogue.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace kelmar::catalogue {

enum class CatalogueFormat { LogiqxXml, ClrMamePro };

// Reads a catalogue file, Logiqx XML or the clrmamepro text form, told apart by its first
// character that is not white space ('<' for XML). Nothing on failure, with *error saying
// why: the file's name, the line (and for XML the column) and what is wrong there.
//
// XML is read streaming, in the encoding its declaration names (UTF-8 without one). The
// text form is read as UTF-8, or as Latin-1 when its bytes are not valid UTF-8.
std::optional<Catalogue> loadCatalogue(const QString& path, QString* error);

// The same over bytes in memory; errors name lines only.
std::optional<Catalogue> parseCatalogue(const QByteArray& bytes, QString* error);
std::optional<Catalogue> parseLogiqxXml(const QByteArray& bytes, QString* error);
std::optional<Catalogue> parseClrMamePro(const QByteArray& bytes, QString* error);

CatalogueFormat detectFormat(const QByteArray& bytes);

} // namespace kelmar::catalogue
