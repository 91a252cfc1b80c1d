#pragma once

#include <QString>

namespace kelmar::fs {

// Flushes a file that was just written and renamed into place, and the folder that holds its
// name, to disk: until then a crash may leave the name without the bytes. Returns 0 or errno.
int flushFileAndFolder(const QString& path);

} // namespace kelmar::fs
