#include "archive/CentralDirectory.h"

#include "archive/ZipBytes.h"
#include "fs/FdGuard.h"
#include "fs/NativeName.h"
#include "fs/Path.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace kelmar {

namespace {

using namespace zipbytes;

constexpr quint32 kEndSignature = 0x06054b50;
constexpr quint32 kZip64LocatorSignature = 0x07064b50;
constexpr quint32 kCentralSignature = 0x02014b50;
constexpr qint64 kEndSize = 22;
constexpr qint64 kLocatorSize = 20;
constexpr qint64 kCentralSize = 46;
constexpr qint64 kTailSize = 4096;
// A directory this large belongs to an archive of about a million entries; such an archive
// is read by libzip, which has to hold it all anyway, rather than by a second copy here.
constexpr qint64 kMaxDirectory = qint64(64) << 20;
constexpr quint16 kUnicodePathField = 0x7075;
constexpr quint16 kAesField = 0x9901;
constexpr quint16 kAesMethod = 99;
constexpr quint16 kMax16 = 0xFFFF;
constexpr quint32 kMax32 = 0xFFFFFFFF;

// The bytes libzip's encoding guess counts as ASCII and hands back unchanged. Any other byte,
// a control character as much as one of 0x80 and above, makes it guess UTF-8 or convert from
// CP437, or refuse the archive when the entry is flagged UTF-8.
bool isPlain(const unsigned char* text, quint32 length)
{
    for (quint32 i = 0; i < length; ++i) {
        const unsigned char c = text[i];
        if ((c < 32 || c > 127) && c != '\r' && c != '\n' && c != '\t')
            return false;
    }
    return true;
}

// Walks the entry's extra field as libzip parses it when it opens the archive. False when
// libzip would refuse the archive or change what it reports for the entry: a field running
// past the end or bytes left over, the Info-ZIP Unicode path field (its name replaces the
// stored one), or an AES entry whose field libzip does not accept.
bool acceptExtraField(const unsigned char* extra, quint32 length, quint16 method)
{
    bool aesSeen = false;
    quint32 at = 0;
    while (length - at >= 4) {
        const quint16 id = le16(extra + at);
        const quint16 size = le16(extra + at + 2);
        at += 4;
        if (size > length - at)
            return false;
        if (id == kUnicodePathField)
            return false;
        // libzip looks at the first AES field only.
        if (id == kAesField && method == kAesMethod && !aesSeen) {
            aesSeen = true;
            const unsigned char* field = extra + at;
            const quint16 version = size == 7 ? le16(field) : 0;
            if (size != 7 || (version != 1 && version != 2) || field[2] != 'A' || field[3] != 'E' ||
                field[4] < 1 || field[4] > 3)
                return false;
        }
        at += size;
    }
    return at == length && (method != kAesMethod || aesSeen);
}

} // namespace

std::optional<std::vector<ListedEntry>> readCentralDirectory(const QString& path)
{
    const fs::FdGuard file(::open(fs::nativeName(path).constData(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0)
        return std::nullopt;
    struct stat info;
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    const qint64 fileSize = qint64(info.st_size);
    if (fileSize < kEndSize)
        return std::nullopt;

    // The end record, and before it the place of a zip64 locator: libzip takes the zip64
    // record whenever the locator's signature stands there. The read takes in a few KiB more,
    // which hold the whole directory of a typical ROM archive: a read saved per archive.
    unsigned char tail[kTailSize];
    const qint64 tailSize = qMin<qint64>(fileSize, kTailSize);
    if (!readAt(file.get(), tail, tailSize, fileSize - tailSize))
        return std::nullopt;
    const unsigned char* end = tail + tailSize - kEndSize;
    if (le32(end) != kEndSignature)
        return std::nullopt;
    if (tailSize >= kEndSize + kLocatorSize && le32(end - kLocatorSize) == kZip64LocatorSignature)
        return std::nullopt;
    const quint16 disk = le16(end + 4);
    const quint16 directoryDisk = le16(end + 6);
    const quint16 entriesOnDisk = le16(end + 8);
    const quint16 entries = le16(end + 10);
    const quint32 directorySize = le32(end + 12);
    const quint32 directoryOffset = le32(end + 16);
    const quint16 commentLength = le16(end + 20);
    if (commentLength != 0 || disk != 0 || directoryDisk != 0 || entriesOnDisk != entries ||
        entries == kMax16 || directorySize == kMax32 || directoryOffset == kMax32)
        return std::nullopt;
    // Data before the archive (a self-extractor) or between directory and end record is
    // libzip's to judge.
    if (qint64(directoryOffset) + qint64(directorySize) != fileSize - kEndSize ||
        qint64(directorySize) > kMaxDirectory)
        return std::nullopt;

    const unsigned char* data = nullptr;
    std::vector<unsigned char> directory;
    if (qint64(directorySize) <= tailSize - kEndSize) {
        data = end - directorySize;
    } else {
        directory.resize(directorySize);
        if (!readAt(file.get(), directory.data(), directorySize, qint64(directoryOffset)))
            return std::nullopt;
        data = directory.data();
    }

    std::vector<ListedEntry> listed;
    listed.reserve(entries);
    quint32 at = 0;
    while (at < directorySize) {
        if (listed.size() == entries || directorySize - at < kCentralSize)
            return std::nullopt;
        const unsigned char* header = data + at;
        if (le32(header) != kCentralSignature)
            return std::nullopt;
        const quint16 method = le16(header + 10);
        const quint32 compressedSize = le32(header + 20);
        const quint32 size = le32(header + 24);
        const quint16 nameLength = le16(header + 28);
        const quint16 extraLength = le16(header + 30);
        const quint16 entryCommentLength = le16(header + 32);
        const quint32 localOffset = le32(header + 42);
        // Sizes or offset that continue in a zip64 field.
        if (size == kMax32 || compressedSize == kMax32 || localOffset == kMax32)
            return std::nullopt;
        const quint32 variable = quint32(nameLength) + extraLength + entryCommentLength;
        if (directorySize - at - kCentralSize < variable)
            return std::nullopt;
        const unsigned char* name = header + kCentralSize;
        const unsigned char* extra = name + nameLength;
        const unsigned char* comment = extra + extraLength;
        if (!isPlain(name, nameLength) || !isPlain(comment, entryCommentLength) ||
            !acceptExtraField(extra, extraLength, method))
            return std::nullopt;
        // Plain bytes are ASCII, where Latin-1 and UTF-8 agree.
        listed.push_back(
            {QString::fromLatin1(reinterpret_cast<const char*>(name), nameLength), qint64(size)});
        at += quint32(kCentralSize) + variable;
    }
    if (listed.size() != entries)
        return std::nullopt;
    return listed;
}

} // namespace kelmar
