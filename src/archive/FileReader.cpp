// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/FileReader.h"

#include "archive/BlockDeflater.h"
#include "archive/DeflateAhead.h"
#include "archive/DeflatedFile.h"

#include "archive/ZipComponent.h"
#include "archive/ZipWriter.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kelmar {

FileReader::FileReader()
{
    zip_error_init(&error);
}

FileReader::~FileReader()
{
    zip_error_fini(&error);
}

zip_int64_t FileReader::callback(void* state, void* data, zip_uint64_t len,
                                 zip_source_cmd_t cmd) noexcept
{
    auto* self = static_cast<FileReader*>(state);
    try {
        return self->handle(data, len, cmd);
    } catch (...) {
        zip_error_set(&self->error, ZIP_ER_INTERNAL, 0);
        return -1;
    }
}

zip_int64_t FileReader::handle(void* data, zip_uint64_t len, zip_source_cmd_t cmd)
{
    switch (cmd) {
    case ZIP_SOURCE_OPEN:
        return openSource();
    case ZIP_SOURCE_READ:
        return readSource(data, len);
    case ZIP_SOURCE_CLOSE:
        return closeSource();
    case ZIP_SOURCE_STAT:
        return statSource(data, len);
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&error, data, len);
    case ZIP_SOURCE_FREE:
        blocks.reset();
        fd.reset();
        releaseWhole();
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return ZIP_SOURCE_SUPPORTS_READABLE;
    default:
        zip_error_set(&error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

zip_int64_t FileReader::openSource()
{
    if (whole) {
        deflated->rewind();
        done = 0;
        lastPercent = -1;
        complete = false;
        return 0;
    }
    fd.reset(::open(nativePath.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!fd)
        return failed(ZIP_ER_OPEN, errno, QStringLiteral("cannot be read"));
    const std::optional<fs::FileIdentity> id = fs::FileIdentity::ofFd(fd.get());
    if (!id)
        return failed(ZIP_ER_READ, errno, QStringLiteral("cannot be read"));
    opened = *id;
    done = 0;
    lastPercent = -1;
    complete = false;
    blocksEnded = false;
    if (blockLevel > 0)
        blocks = std::make_unique<BlockDeflater>(
            blockThreads, blockLevel, [this](unsigned char* to, qint64 max) -> qint64 {
                return readFile(to, zip_uint64_t(max));
            });
    return 0;
}

zip_int64_t FileReader::readSource(void* data, zip_uint64_t len)
{
    if (whole) {
        const qint64 n = deflated->read(data, qint64(len));
        done += n;
        if (done < deflated->packedSize())
            zip->reportProgress(path, done, deflated->packedSize(), &lastPercent);
        return n;
    }
    return blocks ? readBlocks(data, len) : readFile(data, len);
}

zip_int64_t FileReader::readFile(void* data, zip_uint64_t len)
{
    ssize_t n;
    do {
        n = ::read(fd.get(), data, len);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return failed(ZIP_ER_READ, errno, QStringLiteral("cannot be read"));
    done += n;
    if (done < opened.size)
        zip->reportProgress(path, done, opened.size, &lastPercent);
    return n;
}

zip_int64_t FileReader::readBlocks(void* data, zip_uint64_t len)
{
    const qint64 n = blocks->read(data, qint64(len), [this] { return zip->cancelled(); });
    if (n == BlockDeflater::Cancelled) {
        zip_error_set(&error, ZIP_ER_CANCELLED, 0);
        return -1;
    }
    if (n == BlockDeflater::OutOfMemory)
        return failed(ZIP_ER_MEMORY, ENOMEM, QStringLiteral("cannot be deflated"));
    if (n < 0)
        return -1; // readFile said why
    if (n == 0 && blocks->ended()) {
        blocksEnded = true;
        blocksCrc = blocks->crc();
        blocksSize = blocks->size();
    }
    return n;
}

// The file is stored as it was read only when it was read to its end and did not change.
zip_int64_t FileReader::closeSource()
{
    if (whole) {
        const bool wasComplete = complete;
        complete = wholeComplete && done == deflated->packedSize();
        releaseWhole();
        if (complete && !wasComplete)
            emit zip->fileProgress(path, 100);
        return 0;
    }
    blocks.reset();
    const std::optional<fs::FileIdentity> now = fs::FileIdentity::ofFd(fd.get());
    fd.reset();
    const bool wasComplete = complete;
    complete = now && *now == opened && done == opened.size;
    if (complete && !wasComplete)
        emit zip->fileProgress(path, 100);
    return 0;
}

zip_int64_t FileReader::statSource(void* data, zip_uint64_t len)
{
    zip_stat_t* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, len, &error);
    if (!st)
        return -1;
    zip_stat_init(st);
    if (!wholeTried && ahead && slot >= 0) {
        wholeTried = true;
        if (deflateWhole() < 0)
            return -1;
    }
    if (whole) {
        st->size = zip_uint64_t(deflated->size());
        st->comp_size = zip_uint64_t(deflated->packedSize());
        st->crc = deflated->crc();
        st->comp_method = deflated->stored() ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
        st->mtime = plannedMtime;
        st->valid |= ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC | ZIP_STAT_COMP_METHOD |
                     ZIP_STAT_MTIME;
        return sizeof(*st);
    }
    st->size = zip_uint64_t(plannedSize);
    st->mtime = plannedMtime;
    st->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
    if (blockLevel > 0) {
        // Deflated here: libzip copies the stream and learns size and CRC once it is read.
        st->comp_method = ZIP_CM_DEFLATE;
        st->valid |= ZIP_STAT_COMP_METHOD;
        if (blocksEnded) {
            st->size = zip_uint64_t(blocksSize);
            st->crc = blocksCrc;
            st->valid |= ZIP_STAT_CRC;
        }
    }
    return sizeof(*st);
}

// The file read and deflated whole, when libzip first asks about it, which it does right before
// it copies the data; by then it may have been deflated on another thread. A file that turned
// out larger than planned, or not an ordinary file, goes the streaming way.
zip_int64_t FileReader::deflateWhole()
{
    const DeflateAhead::Outcome outcome = ahead->take(slot, [this] { return zip->cancelled(); });
    if (outcome.cancelled) {
        zip_error_set(&error, ZIP_ER_CANCELLED, 0);
        return -1;
    }
    if (outcome.error != 0)
        return failed(outcome.opening ? ZIP_ER_OPEN : ZIP_ER_READ, outcome.error,
                      QStringLiteral("cannot be read"));
    if (!outcome.whole)
        return 0;
    deflated = outcome.data;
    opened = outcome.before;
    wholeComplete = outcome.unchanged;
    whole = true;
    // libzip looks at the entry's method only after this answer: an entry that deflate does
    // not shrink is stored, as other zip tools do.
    if (deflated->stored() && zip_set_file_compression(archive, index, ZIP_CM_STORE, 0) != 0) {
        releaseWhole();
        whole = false;
        deflated = nullptr;
    }
    return 0;
}

// The buffers go back to the budget as soon as libzip is done with them.
void FileReader::releaseWhole()
{
    if (whole && ahead)
        ahead->release(slot);
}

zip_int64_t FileReader::failed(int zipError, int err, const QString& what)
{
    zip_error_set(&error, zipError, err);
    zip->fail(zipError == ZIP_ER_OPEN && err == ENOENT ? ZipFileNotFound : ZipReadError,
              path + QStringLiteral(": ") + what + QStringLiteral(": ") +
                  QString::fromLocal8Bit(std::strerror(err)));
    return -1;
}

} // namespace kelmar
