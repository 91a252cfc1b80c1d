#pragma once

#include <QStringList>

namespace kelmar {

// The one order in which file names are listed, in the window and on the command line
// alike: alphabetical by the user's locale without regard to case, ties (names that differ
// only in case) broken by exact comparison, so the order never depends on the order the file
// system returned them in. It decides which archive is unzipped first, and so which file
// wins a name when extracted files are renamed.
void sortFileNames(QStringList& names);

} // namespace kelmar
