// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <sys/types.h>

namespace kelmar::fs {

// Adds bits (S_IRUSR, S_IWUSR, ...) to the mode of the file at path itself. A symbolic link
// is never followed: its target may lie anywhere, outside the folder a batch was given, and
// a link has no mode of its own on Linux, so it is left as it is. True when nothing needed
// doing or the mode was set; false with errno set otherwise.
bool addModeBits(const QString& path, mode_t bits);

} // namespace kelmar::fs
