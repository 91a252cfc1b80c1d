// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/LocalHeaderCheck.h"

#include "archive/ZipBytes.h"
#include "fs/FdGuard.h"
#include "fs/NativeName.h"
#include "fs/PathStatus.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace kelmar {

namespace {

using namespace zipbytes;

constexpr quint16 kZip64Field = 0x0001;
constexpr quint16 kDataDescriptorFlag = 0x0008;
constexpr quint32 kMax32 = 0xFFFFFFFF;
constexpr qint64 kMaxDirectory = qint64(256) << 20;

// Where the central directory starts and how long it is, and by how much bytes before the
// archive (a self-extractor) shift every stored offset. Found: located. NotFound: not a
// directory this reader follows (left to libzip). Broken: *fault says what is wrong with the
// end records, which 7-Zip and UnZip refuse alike.
enum class Located { Found, NotFound, Broken };

Located locateDirectory(int fd, qint64 fileSize, qint64* offset, qint64* size, qint64* shift,
                        QString* fault)
{
    const qint64 tailSize = qMin(fileSize, kEndSize + kMaxComment);
    std::vector<unsigned char> tail(static_cast<std::size_t>(tailSize));
    if (tailSize < kEndSize || !readAt(fd, tail.data(), tailSize, fileSize - tailSize))
        return Located::NotFound;
    for (qint64 at = tailSize - kEndSize; at >= 0; --at) {
        const unsigned char* end = tail.data() + at;
        if (le32(end) != kEndSignature || at + kEndSize + le16(end + 20) != tailSize)
            continue;
        *offset = le32(end + 16);
        *size = le32(end + 12);
        const qint64 endAt = fileSize - tailSize + at;
        // What the directory must reach: the end record, or the zip64 one before it.
        qint64 directoryEnd = endAt;
        unsigned char locator[20];
        if (endAt >= 20 && readAt(fd, locator, 20, endAt - 20) &&
            le32(locator) == kZip64LocatorSignature) {
            unsigned char record[56];
            const qint64 recordAt = qint64(le64(locator + 8));
            if (recordAt < 0 || recordAt > endAt - 20 - 56 || !readAt(fd, record, 56, recordAt) ||
                le32(record) != kZip64EndSignature)
                return Located::NotFound;
            // The record runs up to its locator; it and the directory sit on disk 0.
            if (recordAt + 12 + qint64(le64(record + 4)) != endAt - 20 || le32(record + 16) != 0 ||
                le32(record + 20) != 0) {
                *fault = QStringLiteral("broken zip64 end of central directory record");
                return Located::Broken;
            }
            *size = qint64(le64(record + 40));
            *offset = qint64(le64(record + 48));
            directoryEnd = recordAt;
        }
        if (*offset < 0 || *size < 0 || *size > kMaxDirectory || *offset + *size > directoryEnd)
            return Located::NotFound;
        *shift = directoryEnd - (*offset + *size);
        // Bytes before the archive move the directory with everything else; bytes after the
        // directory, with the directory where the end record says, are a contradiction.
        unsigned char signature[4];
        if (*shift > 0 && readAt(fd, signature, 4, *offset) &&
            le32(signature) == kCentralSignature) {
            *fault = QStringLiteral("bytes between the central directory and its end record");
            return Located::Broken;
        }
        *offset += *shift;
        return Located::Found;
    }
    return Located::NotFound;
}

QString text(const unsigned char* name, quint16 length)
{
    return fs::nameFromNative(reinterpret_cast<const char*>(name), length);
}

// The first zip64 field among extra records, or null. Bytes at the end that do not make a
// whole record are padding (aligning writers leave it; 7-Zip and UnZip read past it).
const unsigned char* zip64Field(const unsigned char* extra, quint32 length, quint16* fieldLength)
{
    for (quint32 at = 0; at + 4 <= length;) {
        const quint16 id = le16(extra + at);
        const quint16 size = le16(extra + at + 2);
        if (at + 4 + size > length)
            return nullptr;
        if (id == kZip64Field) {
            *fieldLength = size;
            return extra + at + 4;
        }
        at += 4 + size;
    }
    return nullptr;
}

// An entry's sizes and offset with the zip64 field applied: it holds, in order, those of
// size, compressed size and offset that did not fit. False when it is missing or too short
// for them; values it holds beyond those needed are ignored, as 7-Zip and UnZip ignore them.
bool resolveZip64(const unsigned char* extra, quint32 extraLength, quint64* size, quint64* packed,
                  quint64* offset)
{
    quint64* values[] = {size, packed, offset};
    quint16 fieldLength = 0;
    const unsigned char* field = nullptr;
    quint32 used = 0;
    for (quint64* value : values) {
        if (!value || *value != kMax32)
            continue;
        if (!field && !(field = zip64Field(extra, extraLength, &fieldLength)))
            return false;
        if (used + 8 > fieldLength)
            return false;
        *value = le64(field + used);
        used += 8;
    }
    return true;
}

struct Span
{
    quint64 from;
    quint64 to;
    QString name;
};

// What the central directory says of one entry.
struct CentralEntry
{
    const unsigned char* name = nullptr;
    quint16 nameLength = 0;
    quint16 method = 0;
    quint32 crc = 0;
    quint64 packed = 0;
    quint64 size = 0;
    quint64 offset = 0; // of its local header
};

// Compares the entry's local header with its directory entry: the contradiction, or an empty
// text with *span set to where its header and data lie. local is a buffer to reuse.
QString checkLocalHeader(int fd, qint64 fileSize, qint64 directoryAt, const CentralEntry& e,
                         std::vector<unsigned char>& local, Span* span)
{
    unsigned char header[30];
    const QString shown = text(e.name, e.nameLength);
    if (e.offset > quint64(fileSize) || !readAt(fd, header, 30, qint64(e.offset)) ||
        le32(header) != kLocalSignature)
        return shown + QStringLiteral(": no local header where the directory points");
    const quint16 localNameLength = le16(header + 26);
    const quint16 localExtraLength = le16(header + 28);
    local.resize(std::size_t(localNameLength) + localExtraLength);
    if (!readAt(fd, local.data(), qint64(local.size()), qint64(e.offset) + 30))
        return shown + QStringLiteral(": local header cut short");
    // An empty local name only leaves the name to the directory, and both 7-Zip and UnZip
    // take it from there.
    if (localNameLength != 0 &&
        (localNameLength != e.nameLength ||
         !std::equal(local.begin(), local.begin() + localNameLength, e.name)))
        return shown + QStringLiteral(": local header names ") +
               text(local.data(), localNameLength);
    if (le16(header + 8) != e.method)
        return shown + QStringLiteral(": local header gives another compression method");
    const bool descriptor = (le16(header + 6) & kDataDescriptorFlag) != 0;
    const quint32 localCrc = le32(header + 14);
    if ((!descriptor || localCrc != 0) && localCrc != e.crc)
        return shown + QStringLiteral(": local header gives another CRC");
    if (!descriptor) {
        // A local zip64 field holds both sizes, whichever of them did not fit.
        quint64 localPacked = le32(header + 18);
        quint64 localSize = le32(header + 22);
        quint16 fieldLength = 0;
        const unsigned char* field =
            localPacked == kMax32 || localSize == kMax32
                ? zip64Field(local.data() + localNameLength, localExtraLength, &fieldLength)
                : nullptr;
        if (field && fieldLength >= 16) {
            localSize = le64(field);
            localPacked = le64(field + 8);
        } else if (field) {
            resolveZip64(local.data() + localNameLength, localExtraLength, &localSize, &localPacked,
                         nullptr);
        }
        if (localPacked != e.packed || localSize != e.size)
            return shown + QStringLiteral(": local header gives another size");
    }
    const quint64 from = e.offset;
    const quint64 to = e.offset + 30 + local.size() + e.packed;
    if (to < from || to > quint64(directoryAt))
        return shown + QStringLiteral(": data runs past the end of its place");
    *span = Span{from, to, shown};
    return QString();
}

} // namespace

QString localHeaderContradiction(const QString& archivePath)
{
    const fs::FdGuard file(::open(fs::nativeName(archivePath).constData(), O_RDONLY | O_CLOEXEC));
    return localHeaderContradictionOf(file.get());
}

QString localHeaderContradictionOf(int fd)
{
    const std::optional<fs::PathStatus> st = fd < 0 ? std::nullopt : fs::statOfFd(fd);
    if (!st)
        return QString();
    qint64 directoryAt = 0;
    qint64 directorySize = 0;
    qint64 shift = 0;
    QString fault;
    switch (locateDirectory(fd, st->size, &directoryAt, &directorySize, &shift, &fault)) {
    case Located::NotFound:
        return QString();
    case Located::Broken:
        return fault;
    case Located::Found:
        break;
    }
    std::vector<unsigned char> directory(static_cast<std::size_t>(directorySize));
    if (!readAt(fd, directory.data(), directorySize, directoryAt))
        return QString();

    const unsigned char* p = directory.data();
    const unsigned char* end = p + directorySize;
    std::vector<unsigned char> local;
    // Where each entry's header and data lie: no two entries may share bytes, nor an entry
    // the directory's, or a small archive unpacks into any size at all.
    std::vector<Span> spans;
    while (end - p >= 46 && le32(p) == kCentralSignature) {
        const quint16 method = le16(p + 10);
        const quint32 crc = le32(p + 16);
        const quint16 nameLength = le16(p + 28);
        const quint16 extraLength = le16(p + 30);
        const quint16 commentLength = le16(p + 32);
        if (end - p < 46 + nameLength + extraLength + commentLength)
            return QString();
        const unsigned char* name = p + 46;
        quint64 packed = le32(p + 20);
        quint64 size = le32(p + 24);
        quint64 offset = le32(p + 42);
        if (!resolveZip64(name + nameLength, extraLength, &size, &packed, &offset))
            return QString();
        p += 46 + nameLength + extraLength + commentLength;
        offset += quint64(shift);

        CentralEntry entry{name, nameLength, method, crc, packed, size, offset};
        Span span;
        const QString contradiction =
            checkLocalHeader(fd, st->size, directoryAt, entry, local, &span);
        if (!contradiction.isEmpty())
            return contradiction;
        spans.push_back(span);
    }
    std::sort(spans.begin(), spans.end(),
              [](const Span& a, const Span& b) { return a.from < b.from; });
    for (std::size_t i = 1; i < spans.size(); ++i) {
        if (spans[i].from < spans[i - 1].to)
            return spans[i].name + QStringLiteral(": shares its data with ") + spans[i - 1].name;
    }
    return QString();
}

} // namespace kelmar
