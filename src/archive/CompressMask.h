// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archive/ZipSource.h"

#include <QString>

#include <vector>

namespace kelmar {

// The files a compress fileMask names, as exact sources: lines separated by carriage returns;
// a full path of a file; a folder followed by "/*" (or a wildcard pattern as its last
// component) for the files in it, and with processSubfolders in its sub-folders too; "<" lines
// exclude by pattern. Here "*" and "?" are wildcards: the mask is for patterns the program
// sets, never for a file the user picked (those go to compress as sources).
//
// Names that clash are kept apart (OnClash::Rename). The archive itself is left out. Returns a
// result code; on failure *detail names the line.
int expandCompressMask(const QString& mask, bool keepFolderNames, bool processSubfolders,
                       const QString& archivePath, std::vector<ZipSource>* sources,
                       QString* detail);

} // namespace kelmar
