// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <cerrno>
#include <unistd.h>

// Reading the little-endian records of a zip file straight from its descriptor, for the
// checks that look at an archive's bytes without libzip.
namespace kelmar::zipbytes {

// The records' signatures, and the end record's fixed size and longest comment.
constexpr quint32 kLocalSignature = 0x04034b50;
constexpr quint32 kCentralSignature = 0x02014b50;
constexpr quint32 kEndSignature = 0x06054b50;
constexpr quint32 kZip64EndSignature = 0x06064b50;
constexpr quint32 kZip64LocatorSignature = 0x07064b50;
constexpr qint64 kEndSize = 22;
constexpr qint64 kMaxComment = 0xFFFF;

inline quint16 le16(const unsigned char* p)
{
    return quint16(p[0] | (p[1] << 8));
}

inline quint32 le32(const unsigned char* p)
{
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

inline quint64 le64(const unsigned char* p)
{
    return quint64(le32(p)) | (quint64(le32(p + 4)) << 32);
}

// Reads exactly n bytes at offset; a short read means the file changed under us.
inline bool readAt(int fd, unsigned char* into, qint64 n, qint64 offset)
{
    while (n > 0) {
        const ssize_t got = ::pread(fd, into, size_t(n), off_t(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        into += got;
        n -= got;
        offset += got;
    }
    return true;
}

} // namespace kelmar::zipbytes
