// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/PaddedExtraSource.h"

#include "archive/ZipBytes.h"
#include "fs/PathStatus.h"

#include <zip.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace kelmar {

namespace {

using namespace zipbytes;

// The file up to its central directory, then the directory as rewritten and the end record.
struct Patched
{
    int fd = -1;
    qint64 head = 0; // bytes read from the file as they are
    QByteArray tail; // the rewritten directory and end record
    qint64 position = 0;
    time_t mtime = 0;
    zip_error_t error;
};

// The length of the whole records at the start of an extra area.
quint16 wholeRecords(const unsigned char* extra, quint16 length)
{
    quint32 at = 0;
    while (at + 4 <= length) {
        const quint32 next = at + 4 + le16(extra + at + 2);
        if (next > length)
            break;
        at = next;
    }
    return quint16(at);
}

zip_int64_t callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command)
{
    auto* p = static_cast<Patched*>(state);
    const qint64 total = p->head + p->tail.size();
    switch (command) {
    case ZIP_SOURCE_OPEN:
        p->position = 0;
        return 0;
    case ZIP_SOURCE_READ: {
        const qint64 n =
            qMin<qint64>(qint64(qMin<zip_uint64_t>(length, 1 << 30)), total - p->position);
        if (n <= 0)
            return 0;
        auto* into = static_cast<unsigned char*>(data);
        qint64 done = 0;
        if (p->position < p->head) {
            const qint64 fromFile = qMin(n, p->head - p->position);
            if (!readAt(p->fd, into, fromFile, p->position)) {
                zip_error_set(&p->error, ZIP_ER_READ, errno);
                return -1;
            }
            done = fromFile;
        }
        if (done < n)
            std::memcpy(into + done, p->tail.constData() + (p->position + done - p->head),
                        size_t(n - done));
        p->position += n;
        return n;
    }
    case ZIP_SOURCE_CLOSE:
        return 0;
    case ZIP_SOURCE_STAT: {
        auto* st = static_cast<zip_stat_t*>(data);
        zip_stat_init(st);
        st->size = zip_uint64_t(total);
        st->mtime = p->mtime;
        st->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_SEEK: {
        const zip_int64_t to = zip_source_seek_compute_offset(
            zip_uint64_t(p->position), zip_uint64_t(total), data, length, &p->error);
        if (to < 0)
            return -1;
        p->position = to;
        return 0;
    }
    case ZIP_SOURCE_TELL:
        return p->position;
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&p->error, data, length);
    case ZIP_SOURCE_FREE:
        ::close(p->fd);
        zip_error_fini(&p->error);
        delete p;
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(
            ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR,
            ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, ZIP_SOURCE_SUPPORTS, -1);
    default:
        zip_error_set(&p->error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

} // namespace

zip_source_t* paddedExtraSource(int fd, zip_error_t* error)
{
    const std::optional<fs::PathStatus> st = fs::statOfFd(fd);
    if (!st)
        return nullptr;
    const qint64 fileSize = st->size;
    const qint64 tailSize = qMin(fileSize, kEndSize + kMaxComment);
    std::vector<unsigned char> tail(static_cast<std::size_t>(tailSize));
    if (tailSize < kEndSize || !readAt(fd, tail.data(), tailSize, fileSize - tailSize))
        return nullptr;
    qint64 endAt = -1;
    for (qint64 at = tailSize - kEndSize; at >= 0; --at) {
        if (le32(tail.data() + at) == kEndSignature &&
            at + kEndSize + le16(tail.data() + at + 20) == tailSize) {
            endAt = fileSize - tailSize + at;
            break;
        }
    }
    unsigned char locator[4];
    if (endAt < 0 || (endAt >= 20 && readAt(fd, locator, 4, endAt - 20) &&
                      le32(locator) == kZip64LocatorSignature))
        return nullptr;
    const unsigned char* end = tail.data() + (endAt - (fileSize - tailSize));
    const qint64 directoryAt = le32(end + 16);
    const qint64 directorySize = le32(end + 12);
    if (directoryAt + directorySize != endAt)
        return nullptr;
    std::vector<unsigned char> directory(static_cast<std::size_t>(directorySize));
    if (!readAt(fd, directory.data(), directorySize, directoryAt))
        return nullptr;

    QByteArray rewritten;
    rewritten.reserve(int(directorySize));
    bool trimmed = false;
    const unsigned char* p = directory.data();
    const unsigned char* last = p + directorySize;
    while (last - p >= 46 && le32(p) == kCentralSignature) {
        const quint16 nameLength = le16(p + 28);
        const quint16 extraLength = le16(p + 30);
        const quint16 commentLength = le16(p + 32);
        if (last - p < 46 + nameLength + extraLength + commentLength)
            return nullptr;
        const quint16 kept = wholeRecords(p + 46 + nameLength, extraLength);
        // Fewer bytes than a record's header are padding; more are a record that runs past
        // its area, which UnZip refuses, and libzip's verdict stands.
        if (extraLength - kept >= 4)
            return nullptr;
        trimmed = trimmed || kept != extraLength;
        QByteArray record(reinterpret_cast<const char*>(p), 46 + nameLength + kept);
        record[30] = char(kept & 0xFF);
        record[31] = char(kept >> 8);
        rewritten += record;
        rewritten.append(reinterpret_cast<const char*>(p + 46 + nameLength + extraLength),
                         commentLength);
        p += 46 + nameLength + extraLength + commentLength;
    }
    if (!trimmed || p != last)
        return nullptr;
    QByteArray endRecord(reinterpret_cast<const char*>(end), int(fileSize - endAt));
    const quint32 size = quint32(rewritten.size());
    for (int i = 0; i < 4; ++i)
        endRecord[12 + i] = char((size >> (8 * i)) & 0xFF);

    auto* state = new Patched;
    state->fd = fd;
    state->head = directoryAt;
    state->tail = rewritten + endRecord;
    state->mtime = time_t(st->identity.mtimeNs / 1000000000);
    zip_error_init(&state->error);
    zip_source_t* source = zip_source_function_create(callback, state, error);
    if (!source) {
        zip_error_fini(&state->error);
        delete state;
    }
    return source;
}

} // namespace kelmar
