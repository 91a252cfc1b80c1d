#include "archive/LocalHeaderCheck.h"

#include "archive/ZipBytes.h"
#include "fs/FdGuard.h"
#include "fs/NativeName.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace kelmar {

namespace {

using namespace zipbytes;

constexpr quint32 kLocalSignature = 0x04034b50;
constexpr quint32 kCentralSignature = 0x02014b50;
constexpr quint32 kEndSignature = 0x06054b50;
constexpr quint32 kZip64EndSignature = 0x06064b50;
constexpr quint32 kZip64LocatorSignature = 0x07064b50;
constexpr qint64 kEndSize = 22;
constexpr qint64 kMaxComment = 0xFFFF;
constexpr quint16 kZip64Field = 0x0001;
constexpr quint16 kDataDescriptorFlag = 0x0008;
constexpr quint32 kMax32 = 0xFFFFFFFF;
constexpr qint64 kMaxDirectory = qint64(256) << 20;

// Where the central directory starts and how long it is, and by how much bytes before the
// archive (a self-extractor) shift every stored offset; false when not found.
bool locateDirectory(int fd, qint64 fileSize, qint64* offset, qint64* size, qint64* shift)
{
    const qint64 tailSize = qMin(fileSize, kEndSize + kMaxComment);
    std::vector<unsigned char> tail(static_cast<std::size_t>(tailSize));
    if (tailSize < kEndSize || !readAt(fd, tail.data(), tailSize, fileSize - tailSize))
        return false;
    for (qint64 at = tailSize - kEndSize; at >= 0; --at) {
        const unsigned char* end = tail.data() + at;
        if (le32(end) != kEndSignature || at + kEndSize + le16(end + 20) != tailSize)
            continue;
        *offset = le32(end + 16);
        *size = le32(end + 12);
        const qint64 endAt = fileSize - tailSize + at;
        unsigned char locator[20];
        if (endAt >= 20 && readAt(fd, locator, 20, endAt - 20) &&
            le32(locator) == kZip64LocatorSignature) {
            unsigned char record[56];
            if (!readAt(fd, record, 56, qint64(le64(locator + 8))) ||
                le32(record) != kZip64EndSignature)
                return false;
            *size = qint64(le64(record + 40));
            *offset = qint64(le64(record + 48));
        }
        *shift = endAt - (*offset + *size);
        if (*shift < 0 || *size > kMaxDirectory)
            return false;
        *offset += *shift;
        return true;
    }
    return false;
}

QString text(const unsigned char* name, quint16 length)
{
    return fs::nameFromNative(reinterpret_cast<const char*>(name), length);
}

} // namespace

QString localHeaderContradiction(const QString& archivePath)
{
    const fs::FdGuard file(::open(fs::nativeName(archivePath).constData(), O_RDONLY | O_CLOEXEC));
    struct stat st;
    if (file.get() < 0 || ::fstat(file.get(), &st) != 0)
        return QString();
    qint64 directoryAt = 0;
    qint64 directorySize = 0;
    qint64 shift = 0;
    if (!locateDirectory(file.get(), st.st_size, &directoryAt, &directorySize, &shift))
        return QString();
    std::vector<unsigned char> directory(static_cast<std::size_t>(directorySize));
    if (!readAt(file.get(), directory.data(), directorySize, directoryAt))
        return QString();

    const unsigned char* p = directory.data();
    const unsigned char* end = p + directorySize;
    std::vector<unsigned char> local;
    while (end - p >= 46 && le32(p) == kCentralSignature) {
        const quint16 method = le16(p + 10);
        const quint32 crc = le32(p + 16);
        const quint16 nameLength = le16(p + 28);
        const quint16 extraLength = le16(p + 30);
        const quint16 commentLength = le16(p + 32);
        if (end - p < 46 + nameLength + extraLength + commentLength)
            return QString();
        const unsigned char* name = p + 46;
        qint64 offset = le32(p + 42);
        if (offset == kMax32) {
            // The zip64 field holds, in order, those of size, compressed size and offset
            // that did not fit.
            const unsigned char* extra = name + nameLength;
            for (quint32 at = 0; at + 4 <= extraLength;) {
                const quint16 id = le16(extra + at);
                const quint16 length = le16(extra + at + 2);
                if (id == kZip64Field) {
                    quint32 field = at + 4;
                    if (le32(p + 24) == kMax32)
                        field += 8;
                    if (le32(p + 20) == kMax32)
                        field += 8;
                    if (field + 8 > at + 4 + length)
                        return QString();
                    offset = qint64(le64(extra + field));
                    break;
                }
                at += 4 + length;
            }
        }
        p += 46 + nameLength + extraLength + commentLength;
        offset += shift;

        unsigned char header[30];
        const QString shown = text(name, nameLength);
        if (!readAt(file.get(), header, 30, offset) || le32(header) != kLocalSignature)
            return shown + QStringLiteral(": no local header where the directory points");
        const quint16 localNameLength = le16(header + 26);
        local.resize(localNameLength);
        if (!readAt(file.get(), local.data(), localNameLength, offset + 30))
            return shown + QStringLiteral(": local header cut short");
        if (localNameLength != nameLength ||
            !std::equal(local.begin(), local.end(), name, name + nameLength))
            return shown + QStringLiteral(": local header names ") +
                   text(local.data(), localNameLength);
        if (le16(header + 8) != method)
            return shown + QStringLiteral(": local header gives another compression method");
        const bool descriptor = (le16(header + 6) & kDataDescriptorFlag) != 0;
        const quint32 localCrc = le32(header + 14);
        if ((!descriptor || localCrc != 0) && localCrc != crc)
            return shown + QStringLiteral(": local header gives another CRC");
    }
    return QString();
}

} // namespace kelmar
