// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace kelmar {

// The result codes of the archive operations. The numbers are stable: they appear in logs,
// in message boxes ("Error " + number) and in scripts that read the command line's output.
//
//   0    success
//   1    file not found          the archive, or a file named for compress, does not exist
//   2    not a zip archive       no zip directory found (also an empty or truncated file)
//   3    damaged data            CRC error, invalid compressed data, inconsistent directory
//   4    wrong or missing password
//   5    unsupported method      a compression or encryption method this build cannot read
//   6    read error              the system could not read a file
//   7    write error             a file or folder could not be created, written or renamed
//   8    disk full               no space left (or quota exceeded) while writing
//   9    unsafe entry refused    a name leading outside the destination, or a symbolic link
//   10   archive would be empty  remove refused to delete every entry of an archive
//   11   cannot open             the archive exists but could not be opened for reading
//   12   entry name taken        a file would replace another's entry (same name, any case)
//   13   exists and differs      extracting would replace a different file of that name
//   190  stopped                the user pressed Stop
//
// Codes 4, 5 and 11 say that the archive could not be judged, not that it is damaged.
enum ZipResult : int {
    ZipOk = 0,
    ZipFileNotFound = 1,
    ZipNotAZip = 2,
    ZipDamaged = 3,
    ZipPassword = 4,
    ZipUnsupported = 5,
    ZipReadError = 6,
    ZipWriteError = 7,
    ZipDiskFull = 8,
    ZipUnsafeEntry = 9,
    ZipWouldBeEmpty = 10,
    ZipCannotOpen = 11,
    ZipNameTaken = 12,
    ZipExistsAndDiffers = 13,
    ZipAborted = 190,
};

// The short message of a result code, e.g. "Damaged data or CRC error".
QString zipErrorMessage(int code);

// The result code of a write the system refused, by its errno: ZipDiskFull when there is
// no space left or the quota is used up, ZipWriteError for anything else, a file-size limit
// (EFBIG) included: there is space to be had, and the file was not written. Every writer of
// the archive layer maps system errors through this one function (fs::writeFaultOf).
int zipResultOfWrite(int systemError);

// True for the codes that mean the archive could not be judged (password, method, an
// archive that could not be opened).
inline bool zipResultIsUnjudged(int code)
{
    return code == ZipPassword || code == ZipUnsupported || code == ZipCannotOpen;
}

} // namespace kelmar
