// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace kelmar::fs {

// Renames from to to unless something of that name exists, hidden files, folders and links
// included: the check and the rename are one step, so nothing that appears meanwhile is
// replaced either. On failure returns false, says why in *error when given, and leaves the
// reason in errno (EEXIST when the name was taken).
bool renameNoReplace(const QString& from, const QString& to, QString* error = nullptr);

} // namespace kelmar::fs
