// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The ROM filter: the extensions that count as ROM files, held as one text
// "*.ZIP;*.NES" that the file list, unzip and remove-non-ROMs read.
namespace kelmar::RomFilter {

// "*." + each entry, joined by ";"; the empty text for no entries.
QString fromEntries(const QStringList& entries);

// The entries of a stored filter text: ";" ends an entry (an empty one too), "." and "*"
// are dropped, so "*.tar.gz" gives "targz" and ";;" an empty entry.
QStringList toEntries(const QString& filter);

// What may be typed as an entry: A-Z and 0-9, upper-cased; everything else is dropped.
QString cleanTyped(const QString& typed);

// The filter as the archive component's mask: one pattern per line (character 13).
QString extractMask(const QString& filter);

// Every entry but the ROMs: "*", then each pattern as an exclusion ("<*.NES").
QString removeMask(const QString& filter);

} // namespace kelmar::RomFilter
