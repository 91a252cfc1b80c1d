// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace kelmar::fs {

// Free space, in bytes, of the file system that holds folder (or its nearest existing
// parent, for a folder still to be made); negative when it cannot be told.
qint64 freeSpaceOf(const QString& folder);

} // namespace kelmar::fs
