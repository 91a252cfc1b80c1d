// SPDX-License-Identifier: GPL-3.0-or-later
// The check that an archive holds exactly the TorrentZip layout (TorrentZip.h), from its
// records alone.
#include "archive/TorrentZip.h"

#include "archive/ZipBytes.h"
#include "fs/FdGuard.h"
#include "fs/NativeName.h"

#include <zlib.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace kelmar::torrentzip {

namespace {

using namespace zipbytes;

constexpr quint64 kMax32 = 0xFFFFFFFFu;
// A directory larger than this is not read whole for a check.
constexpr quint64 kLargestDirectory = 256ull << 20;

// Where the end records put the directory.
struct Directory
{
    quint64 count = 0;
    quint64 offset = 0;
    quint64 size = 0;
    quint64 end = 0; // where what follows the directory begins
    quint32 crc = 0; // the comment's
};

bool commentCrc(const unsigned char* c, quint32* crc)
{
    if (QByteArray(reinterpret_cast<const char*>(c), 14) != "TORRENTZIPPED-")
        return false;
    const QByteArray hex(reinterpret_cast<const char*>(c + 14), 8);
    for (const char h : hex) {
        if (!((h >= '0' && h <= '9') || (h >= 'A' && h <= 'F')))
            return false;
    }
    *crc = hex.toUInt(nullptr, 16);
    return true;
}

// The end record (and the zip64 ones exactly when they are needed).
bool readEnd(int fd, quint64 fileSize, Directory* dir)
{
    const quint64 endSize = quint64(kEndSize) + kCommentLength;
    if (fileSize < endSize)
        return false;
    unsigned char e[kEndSize + kCommentLength];
    const quint64 at = fileSize - endSize;
    if (!readAt(fd, e, qint64(endSize), qint64(at)) || le32(e) != kEndSignature ||
        le32(e + 4) != 0 || le16(e + 8) != le16(e + 10) || le16(e + 20) != kCommentLength ||
        !commentCrc(e + 22, &dir->crc))
        return false;
    dir->count = le16(e + 10);
    dir->size = le32(e + 12);
    dir->offset = le32(e + 16);
    dir->end = at;
    const bool needs64 = dir->count == 0xFFFF || dir->size == kMax32 || dir->offset == kMax32;
    unsigned char z[56 + 20];
    const bool has64 = at >= sizeof z && readAt(fd, z, sizeof z, qint64(at - sizeof z)) &&
                       le32(z) == kZip64EndSignature && le32(z + 56) == kZip64LocatorSignature;
    if (has64 != needs64)
        return false;
    if (!has64)
        return true;
    if (le64(z + 4) != 44 || le16(z + 12) != 45 || le32(z + 16) != 0 || le32(z + 20) != 0 ||
        le64(z + 24) != le64(z + 32) || le32(z + 60) != 0 || le64(z + 64) != at - sizeof z ||
        le32(z + 72) != 1)
        return false;
    dir->count = le64(z + 24);
    dir->size = le64(z + 40);
    dir->offset = le64(z + 48);
    dir->end = at - sizeof z;
    return true;
}

// One central header, as far as the layout fixes it.
struct Header
{
    quint16 version = 0;
    quint16 flags = 0;
    quint32 crc = 0;
    quint64 packed = 0;
    quint64 size = 0;
    quint64 offset = 0;
    QByteArray name;
    bool zip64 = false; // the sizes are in zip64's field
};

// The central header at d, its length in *used; false when it breaks the layout.
bool readCentral(const unsigned char* d, quint64 left, Header* h, quint64* used)
{
    if (left < 46 || le32(d) != kCentralSignature || le16(d + 4) != 0 || le16(d + 10) != 8 ||
        le16(d + 12) != kDosTime || le16(d + 14) != kDosDate || le16(d + 32) != 0 ||
        le16(d + 34) != 0 || le16(d + 36) != 0 || le32(d + 38) != 0)
        return false;
    const quint64 nameLength = le16(d + 28);
    const quint64 extraLength = le16(d + 30);
    if (left < 46 + nameLength + extraLength)
        return false;
    h->version = le16(d + 6);
    h->flags = le16(d + 8);
    h->crc = le32(d + 16);
    h->packed = le32(d + 20);
    h->size = le32(d + 24);
    h->offset = le32(d + 42);
    h->name = QByteArray(reinterpret_cast<const char*>(d + 46), qsizetype(nameLength));
    *used = 46 + nameLength + extraLength;
    h->zip64 = h->size == kMax32 && h->packed == kMax32;
    if (h->size == kMax32 && !h->zip64)
        return false; // only both sizes go to zip64
    if (h->packed == kMax32 && !h->zip64)
        return false;
    const unsigned char* x = d + 46 + nameLength;
    quint64 fields = (h->zip64 ? 2 : 0) + (h->offset == kMax32 ? 1 : 0);
    if (extraLength != (fields ? 4 + 8 * fields : 0))
        return false;
    if (fields) {
        if (le16(x) != 1 || le16(x + 2) != 8 * fields)
            return false;
        x += 4;
        if (h->zip64) {
            h->size = le64(x);
            h->packed = le64(x + 8);
            x += 16;
            if (!(h->size >= kMax32 || h->packed >= kMax32))
                return false;
        }
        if (h->offset == kMax32 && (h->offset = le64(x)) < kMax32)
            return false;
    }
    const quint16 flags = isUtf8Name(h->name) ? 0x0802 : 0x0002;
    return h->flags == flags && h->version == (h->zip64 ? 45 : 20);
}

// The local header of h: the same fields, zip64's sizes exactly when the central one has
// them; its length in *used.
bool sameLocal(int fd, const Header& h, quint64* used)
{
    const qint64 fixed = 30;
    QByteArray b(fixed + h.name.size() + (h.zip64 ? 20 : 0), '\0');
    auto* p = reinterpret_cast<unsigned char*>(b.data());
    if (!readAt(fd, p, b.size(), qint64(h.offset)) || le32(p) != kLocalSignature ||
        le16(p + 4) != h.version || le16(p + 6) != h.flags || le16(p + 8) != 8 ||
        le16(p + 10) != kDosTime || le16(p + 12) != kDosDate || le32(p + 14) != h.crc ||
        le16(p + 26) != quint64(h.name.size()) || le16(p + 28) != (h.zip64 ? 20 : 0) ||
        b.mid(fixed, h.name.size()) != h.name)
        return false;
    if (h.zip64) {
        const unsigned char* x = p + fixed + h.name.size();
        if (le32(p + 18) != kMax32 || le32(p + 22) != kMax32 || le16(x) != 1 ||
            le16(x + 2) != 16 || le64(x + 4) != h.size || le64(x + 12) != h.packed)
            return false;
    } else if (le32(p + 18) != h.packed || le32(p + 22) != h.size) {
        return false;
    }
    *used = quint64(b.size());
    return true;
}

} // namespace

bool isTorrentZip(int fd, std::vector<QByteArray>* names)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return false;
    Directory dir;
    if (!readEnd(fd, quint64(st.st_size), &dir) || dir.offset + dir.size != dir.end ||
        dir.size > kLargestDirectory || dir.size > dir.end)
        return false;
    QByteArray bytes(qsizetype(dir.size), '\0');
    auto* d = reinterpret_cast<const unsigned char*>(bytes.constData());
    if (!readAt(fd, reinterpret_cast<unsigned char*>(bytes.data()), bytes.size(),
                qint64(dir.offset)) ||
        quint32(crc32_z(0, d, size_t(bytes.size()))) != dir.crc)
        return false;
    std::vector<QByteArray> found;
    quint64 at = 0;
    quint64 next = 0; // where the next local header must begin
    for (quint64 i = 0; i < dir.count; ++i) {
        Header h;
        quint64 used = 0;
        quint64 local = 0;
        if (!readCentral(d + at, dir.size - at, &h, &used) || h.offset != next ||
            (!found.empty() && !nameBefore(found.back(), h.name)) || !sameLocal(fd, h, &local))
            return false;
        at += used;
        next = h.offset + local + h.packed;
        found.push_back(h.name);
    }
    if (at != dir.size || next != dir.offset)
        return false;
    if (names)
        *names = std::move(found);
    return true;
}

bool isTorrentZipFile(const QString& path, std::vector<QByteArray>* names)
{
    const fs::FdGuard fd(::open(fs::nativeName(path).constData(), O_RDONLY | O_CLOEXEC));
    return fd.get() >= 0 && isTorrentZip(fd.get(), names);
}

} // namespace kelmar::torrentzip
