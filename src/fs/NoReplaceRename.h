#pragma once

#include <QString>

namespace kelmar::fs {

// Renames from to to unless something of that name exists, hidden files and broken links
// included: the check and the rename are one step, so nothing that appears meanwhile is
// replaced either. On failure *error (when given) says why in the system's words.
bool renameNoReplace(const QString& from, const QString& to, QString* error = nullptr);

} // namespace kelmar::fs
