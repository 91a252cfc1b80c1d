// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/RebuildSource.h"

#include "archive/BlockDeflater.h"
#include "archive/BufferBudget.h"
#include "archive/DeflateAhead.h"
#include "archive/EntryReader.h"
#include "archive/WholeEntryCheck.h"
#include "archive/ZipError.h"

#include <cstring>

namespace kelmar {

RebuildSource::RebuildSource()
{
    zip_error_init(&error);
}

RebuildSource::~RebuildSource()
{
    zip_error_fini(&error);
}

zip_source_t* RebuildSource::create(RebuildSource* state, zip_error_t* error)
{
    zip_source_t* source = zip_source_function_create(&RebuildSource::callback, state, error);
    if (!source)
        delete state;
    return source;
}

zip_int64_t RebuildSource::callback(void* state, void* data, zip_uint64_t len,
                                    zip_source_cmd_t cmd) noexcept
{
    auto* self = static_cast<RebuildSource*>(state);
    if (cmd == ZIP_SOURCE_FREE) {
        delete self;
        return 0;
    }
    try {
        return self->handle(data, len, cmd);
    } catch (...) {
        return self->failed(ZipReadError, self->entry->name + QStringLiteral(": out of memory"));
    }
}

void RebuildSource::report(int percent)
{
    if (percent != lastPercent && onProgress)
        onProgress(entry->name, percent);
    lastPercent = percent;
}

void RebuildSource::ended(quint32 crc, qint64 size)
{
    entry->read = true;
    entry->crc = crc;
    entry->size = size;
    report(100);
}

zip_int64_t RebuildSource::failed(int code, const QString& detail)
{
    if (onFailure)
        onFailure(code, detail);
    zip_error_set(&error, ZIP_ER_READ, 0);
    return -1;
}

zip_int64_t RebuildSource::readerFailed()
{
    return failed(reader->result(), reader->detail());
}

// The entry read whole, checked, and deflated, when libzip first asks about it (right before
// it copies the data). An entry whose size the directory does not give streams. 0, or -1
// when the failure has been reported.
zip_int64_t RebuildSource::deflateWhole()
{
    const qint64 size = qint64(entry->st.size);
    if (level <= 0 || !(entry->st.valid & ZIP_STAT_SIZE))
        return 0;
    if (size > BufferBudget::kEntryCap) {
        inBlocks = true;
        return 0;
    }
    // Deflated on another thread already, unless something about it was in doubt.
    if (ahead && slot >= 0) {
        const DeflateAhead::Outcome outcome = ahead->take(slot);
        if (outcome.whole) {
            packed = outcome.data;
            return packedWhole();
        }
        ahead->release(slot);
    }
    // A sound entry is read raw and inflated by libdeflate, quicker than through libzip. The
    // memory for its packed copy is taken only when free now: waiting for it while holding
    // the entry's could wait for ever. Anything in doubt goes through EntryReader below, which
    // words what is wrong.
    bool raw = false;
    withWholeEntry(archive, entry->index, entry->st, [&](const char* data, qint64 n) {
        BufferLoan loan;
        if (!BufferLoan::tryTake(2 * n, &loan))
            return;
        std::memcpy(own.prepare(n, &loan), data, size_t(n));
        raw = own.pack(n, level) == 0;
    }, password);
    if (raw)
        return packedWhole();
    reader = std::make_unique<EntryReader>(archive, entry->index, password);
    // libdeflate computes the CRC of the whole entry faster than zlib does piece by piece.
    reader->setComputeCrc(false);
    if (reader->open() != ZipOk)
        return readerFailed();
    unsigned char* bytes = own.prepare(size);
    qint64 done = 0;
    for (;;) {
        // One read past the directory's size reaches the checked end; data there is damage.
        char spare[64];
        const bool full = done == size;
        const qint64 n = full ? reader->read(spare, qint64(sizeof(spare)))
                              : reader->read(reinterpret_cast<char*>(bytes) + done, size - done);
        if (n < 0)
            return readerFailed();
        if (n == 0)
            break;
        if (full)
            return failed(ZipDamaged,
                          entry->name + QStringLiteral(": size differs from directory"));
        done += n;
    }
    reader.reset();
    if (own.pack(done, level) != 0)
        return failed(ZipReadError, entry->name + QStringLiteral(": out of memory"));
    return packedWhole();
}

// The packed bytes go back to the budget as soon as libzip is done with them.
void RebuildSource::releasePacked()
{
    if (packed == &own)
        own.release();
    else
        ahead->release(slot);
}

zip_int64_t RebuildSource::packedWhole()
{
    // libzip looks at the entry's method only after this answer: an entry that deflate does
    // not shrink is stored.
    if (packed->stored() && zip_set_file_compression(target, targetIndex, ZIP_CM_STORE, 0) != 0) {
        releasePacked();
        return 0;
    }
    whole = true;
    return 0;
}

zip_int64_t RebuildSource::open()
{
    lastPercent = -1;
    served = 0;
    if (whole) {
        packed->rewind();
        return 0;
    }
    reader = std::make_unique<EntryReader>(archive, entry->index, password);
    if (reader->open() != ZipOk)
        return readerFailed();
    if (inBlocks) {
        blocksEnded = false;
        const qint64 total = qint64(entry->st.size);
        blocks = std::make_unique<BlockDeflater>(
            blockThreads, level, [this, total](unsigned char* to, qint64 max) -> qint64 {
                const qint64 n = reader->read(reinterpret_cast<char*>(to), max);
                if (n < 0)
                    return readerFailed();
                if (n > 0 && total > 0)
                    report(int(qMin<qint64>(99, reader->done() * 100 / total)));
                return n;
            });
    }
    return 0;
}

zip_int64_t RebuildSource::readBlocks(void* data, zip_uint64_t len)
{
    const qint64 n = blocks->read(data, qint64(len), cancelled);
    if (n == BlockDeflater::Cancelled) {
        zip_error_set(&error, ZIP_ER_CANCELLED, 0);
        return -1;
    }
    if (n == BlockDeflater::OutOfMemory)
        return failed(ZipReadError, entry->name + QStringLiteral(": out of memory"));
    if (n < 0)
        return -1; // reported as the entry was read
    if (n == 0 && blocks->ended() && !blocksEnded) {
        blocksEnded = true;
        ended(reader->crc(), reader->done());
    }
    return n;
}

zip_int64_t RebuildSource::stat(void* data, zip_uint64_t len)
{
    zip_stat_t* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, len, &error);
    if (!st)
        return -1;
    if (!wholeTried) {
        wholeTried = true;
        if (deflateWhole() < 0)
            return -1;
    }
    zip_stat_init(st);
    st->mtime = entry->st.mtime;
    st->valid |= ZIP_STAT_MTIME | ZIP_STAT_SIZE;
    if (inBlocks) {
        // Deflated here: libzip copies the stream and learns size and CRC once it is read.
        st->size = blocksEnded ? zip_uint64_t(entry->size) : entry->st.size;
        st->crc = entry->crc;
        st->comp_method = ZIP_CM_DEFLATE;
        st->valid |= ZIP_STAT_COMP_METHOD | (blocksEnded ? ZIP_STAT_CRC : 0);
        return sizeof(*st);
    }
    if (!whole) {
        st->size = entry->st.size;
        return sizeof(*st);
    }
    st->size = zip_uint64_t(packed->size());
    st->comp_size = zip_uint64_t(packed->packedSize());
    st->crc = packed->crc();
    st->comp_method = packed->stored() ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
    st->valid |= ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC | ZIP_STAT_COMP_METHOD;
    return sizeof(*st);
}

zip_int64_t RebuildSource::handle(void* data, zip_uint64_t len, zip_source_cmd_t cmd)
{
    switch (cmd) {
    case ZIP_SOURCE_OPEN:
        return open();
    case ZIP_SOURCE_READ: {
        if (blocks)
            return readBlocks(data, len);
        const qint64 total = qint64(entry->st.size);
        if (whole) {
            const qint64 n = packed->read(data, qint64(len));
            served += n;
            if (n == 0)
                ended(packed->crc(), packed->size());
            else if (packed->packedSize() > 0)
                report(int(qMin<qint64>(99, served * 100 / packed->packedSize())));
            return n;
        }
        const qint64 n = reader->read(static_cast<char*>(data), qint64(len));
        if (n < 0)
            return readerFailed();
        if (n == 0)
            ended(reader->crc(), reader->done());
        else if (total > 0)
            report(int(qMin<qint64>(99, reader->done() * 100 / total)));
        return n;
    }
    case ZIP_SOURCE_CLOSE:
        blocks.reset();
        if (whole)
            releasePacked();
        if (reader)
            reader->close();
        return 0;
    case ZIP_SOURCE_STAT:
        return stat(data, len);
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&error, data, len);
    case ZIP_SOURCE_SUPPORTS:
        return ZIP_SOURCE_SUPPORTS_READABLE;
    default:
        zip_error_set(&error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

} // namespace kelmar
