// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

namespace kelmar {

// The orders of the window's file list by name. Plain: alphabetical without regard to case.
// Natural: the same, but a run of digits counts as the number it spells, so "Rev 2" comes
// before "Rev 10". Ties are broken by exact comparison either way, so the order never depends
// on the order the file system returned the names in.
enum class NameOrder { Plain, Natural };

// Negative when a comes before b, 0 when they are the same name, positive after.
int compareNames(const QString& a, const QString& b, NameOrder order);

void sortFileNames(QStringList& names, NameOrder order = NameOrder::Plain);

} // namespace kelmar
