#pragma once

#include <QString>
#include <QStringList>

namespace kelmar::fs {

// The names of the files in folder, read with the system's own calls: Qt's directory
// iterator skips names that are not UTF-8, and a file the list cannot show is a file no
// operation can reach. Names come through nameFromNative, so each one opens again.
//
// Files are ordinary files and links to them; hidden names (starting with ".") are left out
// unless includeHidden. The order is the system's. Returns false, with errno's value in
// *error when given, when the folder cannot be read.
bool listFolderFiles(const QString& folder, QStringList* names, bool includeHidden = false,
                     int* error = nullptr);

} // namespace kelmar::fs
