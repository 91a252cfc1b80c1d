// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shell/frmKelmar.h"

namespace kelmar {

// The window's side of "ZIP Files": from the list's selection and the "ZIP Settings" tab it
// makes the batch's request, asking first where to write (the save dialog for one archive,
// the folder picker unless "Save ZIPs in Same Folder" is ticked). A nothing to zip gets
// "Whoops!" and no dialog. Each call makes a prepare of its own, which remembers the name
// last chosen in its save dialog and offers it the next time.
frmKelmar::Prepare zipFilesPrepare();

// The window's side of "Convert Sub Folders to Zips": the folder tree's folder, a notice
// when it has no sub-folders, else the question whether to delete the folders afterwards
// (Cancel does nothing).
std::optional<frmKelmar::BatchJob> prepareFoldersToZips(frmKelmar& window,
                                                        const BatchSnapshot& snapshot);

} // namespace kelmar
