// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fs/FdGuard.h"

#include <QByteArray>
#include <QString>

#include <sys/types.h>

namespace kelmar::fs {

// Kelmar's temporary files, made beside what they become (an extracted file, the new copy of
// an archive) so that the rename that ends them is atomic.
//
// Each is named ".kelmar-" and six letters or digits, and its owner holds an exclusive flock
// on it from before the name exists until the file is renamed to its final name or removed.
// A rebuilt archive's new copy is written under that name + ".new" (libzip's own temporary
// file for it is that + ".new." and six letters or digits), while the claim itself stays
// locked beside it. A killed Kelmar (kill -9, a crash, a power cut) leaves such files behind;
// a file of these names that nobody locks belongs to no running Kelmar.

// Creates an empty temporary file in folder (a native path), opened for reading and writing
// and already locked; its native path goes into *path. The file is created as 0666, so the
// kernel applies the umask (or the folder's default ACL); that mode goes into *createdMode,
// and the file itself is kept to its owner (0600) until it is given its final mode. On
// failure the guard holds no descriptor and errno says why.
FdGuard createLockedTemp(const QByteArray& folder, QByteArray* path, mode_t* createdMode = nullptr);

// The name a claim's dependent work file is written under.
QByteArray workFileOf(const QByteArray& claimPath);

// Removes from folder the temporary files an earlier, killed Kelmar left there: only names of
// exactly the forms above, only regular files (never a link, never through one), and only
// those no running Kelmar holds (a claim's lock taken without waiting). Returns how many
// files it removed.
int removeStaleTemps(const QString& folder);

} // namespace kelmar::fs
