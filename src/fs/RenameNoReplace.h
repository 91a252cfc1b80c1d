#pragma once

#include <QString>

namespace kelmar::fs {

// Renames from to to unless something of that name exists, hidden files and links included:
// the check and the rename are one step, so nothing that appears meanwhile is replaced either.
// Paths go through nativeName. On failure returns false and says why in *error when given.
bool renameNoReplace(const QString& from, const QString& to, QString* error = nullptr);

} // namespace kelmar::fs
