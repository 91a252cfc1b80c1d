// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fs/FdGuard.h"
#include "fs/FileIdentity.h"

#include <QByteArray>
#include <QString>

#include <zip.h>

#include <ctime>
#include <memory>

namespace kelmar {

class BlockDeflater;
class DeflateAhead;
class DeflatedFile;
class ZipComponent;
struct ZipSource;

// One source file as libzip reads it at zip_close, through zip_source_function_create. No
// exception leaves the callback: libzip is C, and one thrown through it would skip its
// clean-up. complete says afterwards whether the file was read to its end and unchanged from
// open to close: only then is it stored as it was read.
struct FileReader
{
    ZipComponent* zip = nullptr; // whose progress, stop check and error detail it reports to
    const ZipSource* source = nullptr;
    QString path;
    QByteArray nativePath;
    QString entryName;
    qint64 plannedSize = 0;
    time_t plannedMtime = 0;
    fs::FdGuard fd;
    fs::FileIdentity opened;
    qint64 done = 0;
    int lastPercent = -1;
    bool complete = false; // read to its end, unchanged from open to close
    // Deflated whole (by ahead, as file slot) before libzip asks for it: libzip then copies the
    // packed bytes as they are. Without a slot the file is streamed through libzip.
    DeflateAhead* ahead = nullptr;
    int slot = -1;
    zip_t* archive = nullptr;
    zip_uint64_t index = 0;
    bool wholeTried = false;
    bool whole = false;
    bool wholeComplete = false;
    DeflatedFile* deflated = nullptr;
    // A file too large to deflate whole: with blockLevel set it is deflated in blocks on
    // blockThreads threads (BlockDeflater) and libzip copies the stream as it is.
    int blockLevel = 0;
    int blockThreads = 1;
    std::unique_ptr<BlockDeflater> blocks;
    bool blocksEnded = false;
    quint32 blocksCrc = 0;
    qint64 blocksSize = 0;
    zip_error_t error;

    FileReader();
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    static zip_int64_t callback(void* state, void* data, zip_uint64_t len,
                                zip_source_cmd_t cmd) noexcept;

private:
    zip_int64_t handle(void* data, zip_uint64_t len, zip_source_cmd_t cmd);
    zip_int64_t openSource();
    zip_int64_t readSource(void* data, zip_uint64_t len);
    zip_int64_t readFile(void* data, zip_uint64_t len);
    zip_int64_t readBlocks(void* data, zip_uint64_t len);
    zip_int64_t closeSource();
    zip_int64_t statSource(void* data, zip_uint64_t len);
    zip_int64_t deflateWhole();
    void releaseWhole();
    zip_int64_t failed(int zipError, int err, const QString& what);
};

} // namespace kelmar
