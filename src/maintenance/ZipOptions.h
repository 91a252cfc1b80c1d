// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "maintenance/FoldersToZips.h"
#include "maintenance/ZipFiles.h"
#include "settings/Options.h"

namespace kelmar {

// The "ZIP Settings" options as the settings of the zip batches' requests: what the window
// and the command line start from before they add the files and where to write.
//
// The info file counts only when its box is ticked and the file is there. The per-file
// mode's target folder is left empty (beside the files): with "Save ZIPs in Same Folder"
// clear the front end asks for one.
ZipRequest zipRequestFrom(const Options& options);
// Any state of a box but clear counts here, as it always has for this batch.
FoldersToZipsRequest foldersToZipsRequestFrom(const Options& options);

} // namespace kelmar
