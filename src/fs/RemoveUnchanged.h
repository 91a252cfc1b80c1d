// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fs/FileIdentity.h"

#include <QByteArray>
#include <QString>

namespace kelmar::fs {

// Deletes the file at nativePath, but only while it is still the file `read` describes: the
// same device, inode, size and modification time as when it was read (through a link: its
// target's). Returns an empty text when it was deleted, else why it was not, for the log.
// A link is removed as a link; nothing is ever done to its target, and no mode is changed.
QString removeIfUnchanged(const QByteArray& nativePath, const FileIdentity& read);

} // namespace kelmar::fs
