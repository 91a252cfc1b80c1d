// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archive/DeflatedFile.h"

#include <QByteArray>
#include <QString>

#include <zip.h>

#include <functional>
#include <memory>

namespace kelmar {

class BlockDeflater;
class DeflateAhead;
class EntryReader;

// One entry of an archive being rebuilt, and what was read of it for the new copy.
struct RebuildEntry
{
    zip_uint64_t index = 0;
    QString name;
    QByteArray leaf; // the stored name without folders, as stored
    zip_stat_t st;
    bool read = false; // read to its checked end
    quint32 crc = 0;
    qint64 size = 0;
};

// Feeds libzip one entry of the old archive (decrypted, its CRC checked) while it writes the
// new one. An entry up to BufferBudget::kEntryCap is read whole and deflated by libdeflate,
// which libzip copies as it is (stored when deflate does not shrink it); a larger one is
// deflated in blocks on blockThreads threads (BlockDeflater) and copied the same way; one to
// be stored, or of a size the directory does not give, streams through libzip. No exception leaves the callback (libzip is C).
struct RebuildSource
{
    zip_t* archive = nullptr; // the old archive
    RebuildEntry* entry = nullptr;
    QByteArray password;
    // The new archive and the entry's index there; level 1 to 9 deflates whole.
    zip_t* target = nullptr;
    zip_uint64_t targetIndex = 0;
    int level = 0;
    int blockThreads = 1;
    // Deflated on another thread already (DeflateAhead), as slot; -1 when not.
    DeflateAhead* ahead = nullptr;
    int slot = -1;
    std::function<void(int code, const QString& detail)> onFailure;
    std::function<void(const QString& name, int percent)> onProgress;
    // Asked while an entry too large to deflate whole is deflated: true gives up the rebuild.
    std::function<bool()> cancelled;

    std::unique_ptr<EntryReader> reader;
    int lastPercent = -1;
    bool wholeTried = false;
    bool whole = false;
    qint64 served = 0;
    DeflatedFile own;
    DeflatedFile* packed = &own; // own, or the slot's
    bool inBlocks = false;
    std::unique_ptr<BlockDeflater> blocks;
    bool blocksEnded = false;
    zip_error_t error;

    RebuildSource();
    ~RebuildSource();
    RebuildSource(const RebuildSource&) = delete;
    RebuildSource& operator=(const RebuildSource&) = delete;

    // A libzip source over a new RebuildSource, which the source owns; null on failure.
    static zip_source_t* create(RebuildSource* state, zip_error_t* error);

private:
    static zip_int64_t callback(void* state, void* data, zip_uint64_t len,
                                zip_source_cmd_t cmd) noexcept;
    zip_int64_t handle(void* data, zip_uint64_t len, zip_source_cmd_t cmd);
    zip_int64_t failed(int code, const QString& detail);
    zip_int64_t readerFailed();
    void report(int percent);
    void ended(quint32 crc, qint64 size);
    zip_int64_t deflateWhole();
    zip_int64_t packedWhole();
    void releasePacked();
    zip_int64_t open();
    zip_int64_t readBlocks(void* data, zip_uint64_t len);
    zip_int64_t stat(void* data, zip_uint64_t len);
};

} // namespace kelmar
