// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace kelmar::fs {

// Questions about a path asked of the system through nativeName, so that names that are not
// UTF-8 get the same answers as any other (Qt's own file classes would look up a different,
// lossily decoded name). Links are followed.
bool isFolderPath(const QString& path);
bool isFilePath(const QString& path);
// True when anything at all bears the path's name (a link is not followed).
bool pathExists(const QString& path);
// The path made absolute against the working folder and cleaned of "." and "..", without
// resolving links or asking whether it exists. Qt's own would decode the working folder lossily.
QString absolutePath(const QString& path);
// The path with every link and "." or ".." resolved; empty when it does not exist.
QString canonicalPath(const QString& path);
// Creates the folder and any missing parents; true when it exists as a folder afterwards.
bool makeFolders(const QString& path);
// Creates this one folder, its parent being there already, with the mode the umask leaves
// of 0777. 0, or errno: EEXIST when anything at all bears the name.
int makeFolder(const QString& path);

} // namespace kelmar::fs
