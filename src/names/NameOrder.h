#pragma once

#include <QStringList>

namespace kelmar {

// The order of the window's file list: alphabetical without regard to case, ties broken by
// exact comparison, so the order never depends on the order the file system returned them in.
void sortFileNames(QStringList& names);

} // namespace kelmar
