// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "maintenance/BatchProgress.h"
#include "maintenance/BatchSnapshot.h"

namespace kelmar {

// The selected names of the snapshot's list, in its order, as a batch's files.
BatchFiles selectedFiles(const BatchSnapshot& snapshot);
// Those of them named like an archive (basMain::HasZipExtension).
BatchFiles selectedArchives(const BatchSnapshot& snapshot);

} // namespace kelmar
