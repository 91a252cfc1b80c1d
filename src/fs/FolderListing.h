// SPDX-License-Identifier: GPL-3.0-or-later
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

// The same for the folder's sub-folders: real folders only (a link to one is not its
// content), hidden ones (starting with ".") left out.
bool listSubFolders(const QString& folder, QStringList* names, int* error = nullptr);

// The files of folder and of every folder below it, as paths relative to folder
// ("snes/Game.zip"), in no set order. Hidden files and folders are left out, and a link to a
// folder is not followed (it could lead back up, or anywhere). A sub-folder that cannot be
// read goes into *unreadable (its full path) and the rest is listed all the same; false,
// with errno's value in *error, when folder itself cannot be read.
bool listFilesBelow(const QString& folder, QStringList* names, QStringList* unreadable,
                    int* error = nullptr);

// Every name in the folder, hidden ones, folders and links (broken ones too) included: what
// bears a name that another file would take.
bool listFolderNames(const QString& folder, QStringList* names, int* error = nullptr);

} // namespace kelmar::fs
