#pragma once

#include <QtGlobal>

#include <cerrno>
#include <unistd.h>

// Reading the little-endian records of a zip file straight from its descriptor, for the
// checks that look at an archive's bytes without libzip.
namespace kelmar::zipbytes {

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
