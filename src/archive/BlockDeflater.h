// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace kelmar {

// One deflate stream of a large entry, made on several threads.
//
// The data is cut into blocks of kBlock bytes. Each block is deflated by zlib on its own,
// primed with the 32 KiB before it (a preset dictionary, so matches reach back across the
// cut) and ended with a sync flush, which leaves it on a byte boundary; the blocks joined in
// order and closed by an empty final block are one valid deflate stream. A block's bytes
// depend only on its data, the 32 KiB before it and the level, so the stream is the same
// whatever the number of threads. The CRC-32 is combined from the blocks' own.
//
// The input is read on the thread that calls read() (so it may be a libzip entry, which is
// not to be read from several threads), at most a few blocks ahead per thread: memory stays
// bounded whatever the entry's size. While the block it needs next is not ready, the reader
// deflates a waiting block itself rather than sit idle.
class BlockDeflater
{
public:
    static constexpr qint64 kBlock = 1024 * 1024;

    // Fills at most max bytes; returns how many, 0 at the end, or -1 on failure (the input
    // keeps its own account of why).
    using Input = std::function<qint64(unsigned char* to, qint64 max)>;

    // threads: how many deflate at once, the reader included; level: zlib's 1 to 9.
    BlockDeflater(int threads, int level, Input input);
    ~BlockDeflater();
    BlockDeflater(const BlockDeflater&) = delete;
    BlockDeflater& operator=(const BlockDeflater&) = delete;

    enum : qint64 { InputFailed = -1, Cancelled = -2, OutOfMemory = -3 };
    // The next packed bytes in order: how many, 0 at the end of the stream, or one of the
    // values above. cancelled is asked while waiting; once it says true nothing more is read.
    qint64 read(void* out, qint64 max, const std::function<bool()>& cancelled = {});

    // Once read() returned 0: the data's size and CRC-32.
    bool ended() const { return m_ended; }
    qint64 size() const { return m_size; }
    quint32 crc() const { return m_crc; }

private:
    struct Block
    {
        std::vector<unsigned char> data; // the dictionary's bytes, then the block's
        qint64 dictionary = 0;
        qint64 length = 0;
        enum class State { Waiting, Working, Done } state = State::Waiting;
        std::vector<unsigned char> packed;
        quint32 crc = 0;
        bool failed = false;
        size_t served = 0;
    };

    int fill(std::unique_lock<std::mutex>& lock);
    Block* waiting();
    void deflate(Block* block, std::unique_lock<std::mutex>& lock);
    void helper();

    const int m_threads;
    const int m_level;
    Input m_input;
    std::deque<std::unique_ptr<Block>> m_blocks; // in stream order, the next to serve first
    std::vector<unsigned char> m_tail;           // the last 32 KiB read, for the next block
    bool m_inputEnded = false;
    bool m_ended = false;
    bool m_stopped = false;
    int m_closing = 0; // bytes of the final empty block already served
    qint64 m_size = 0;
    quint32 m_crc = 0;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::thread> m_helpers;
};

} // namespace kelmar
