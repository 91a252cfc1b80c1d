// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/BlockDeflater.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace kelmar {

namespace {

constexpr qint64 kWindow = 32 * 1024;
// After the last block's sync flush: a final, empty block of fixed codes (BFINAL 1, BTYPE 01,
// end-of-block code 0000000), what zlib itself writes on Z_FINISH with no data left.
constexpr unsigned char kFinalBlock[2] = {0x03, 0x00};

// One raw deflate stream per thread and level, reset between blocks: setting one up costs
// more than a reset.
struct Stream
{
    z_stream z{};
    bool ready = false;
    ~Stream()
    {
        if (ready)
            deflateEnd(&z);
    }
};

z_stream* streamFor(int level)
{
    thread_local Stream streams[10];
    Stream& stream = streams[level];
    if (stream.ready) {
        deflateReset(&stream.z);
    } else {
        if (deflateInit2(&stream.z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
            Z_OK)
            return nullptr;
        stream.ready = true;
    }
    return &stream.z;
}

// Deflates length bytes at data + dictionary, primed with the dictionary bytes before them,
// into packed, ending on a byte boundary. False when zlib could not (no memory).
bool packBlock(const unsigned char* data, qint64 dictionary, qint64 length, int level,
               std::vector<unsigned char>* packed)
{
    z_stream* z = streamFor(level);
    if (!z)
        return false;
    if (dictionary > 0 && deflateSetDictionary(z, data, uInt(dictionary)) != Z_OK)
        return false;
    packed->resize(deflateBound(z, uLong(length)) + 64);
    z->next_in = const_cast<Bytef*>(data + dictionary);
    z->avail_in = uInt(length);
    size_t produced = 0;
    for (;;) {
        z->next_out = packed->data() + produced;
        z->avail_out = uInt(packed->size() - produced);
        const int r = deflate(z, Z_SYNC_FLUSH);
        produced = packed->size() - z->avail_out;
        if (r != Z_OK && r != Z_BUF_ERROR)
            return false;
        // The flush is complete once all input is taken and room was left over.
        if (z->avail_in == 0 && z->avail_out > 0)
            break;
        packed->resize(packed->size() * 2);
    }
    packed->resize(produced);
    return true;
}

} // namespace

BlockDeflater::BlockDeflater(int threads, int level, Input input)
    : m_threads(std::max(1, threads)), m_level(std::clamp(level, 1, 9)), m_input(std::move(input))
{
    for (int i = 1; i < m_threads; ++i)
        m_helpers.emplace_back([this] { helper(); });
}

BlockDeflater::~BlockDeflater()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopped = true;
    }
    m_changed.notify_all();
    for (std::thread& t : m_helpers)
        t.join();
}

// Reads blocks until a few per thread wait or are ready. 0, or InputFailed.
int BlockDeflater::fill(std::unique_lock<std::mutex>& lock)
{
    const size_t ahead = size_t(2 * m_threads);
    while (!m_inputEnded && m_blocks.size() < ahead) {
        auto block = std::make_unique<Block>();
        block->dictionary = qint64(m_tail.size());
        block->data.resize(m_tail.size() + size_t(kBlock));
        if (!m_tail.empty())
            std::memcpy(block->data.data(), m_tail.data(), m_tail.size());
        lock.unlock();
        qint64 got = 0;
        qint64 n = 1;
        while (got < kBlock && n > 0) {
            n = m_input(block->data.data() + block->dictionary + got, kBlock - got);
            got += std::max<qint64>(n, 0);
        }
        lock.lock();
        if (n < 0)
            return int(InputFailed);
        m_inputEnded = got < kBlock;
        if (got == 0)
            break;
        block->length = got;
        block->data.resize(size_t(block->dictionary + got));
        const size_t keep = size_t(std::min<qint64>(kWindow, qint64(block->data.size())));
        m_tail.assign(block->data.end() - qint64(keep), block->data.end());
        m_size += got;
        m_blocks.push_back(std::move(block));
        m_changed.notify_one();
    }
    return 0;
}

BlockDeflater::Block* BlockDeflater::waiting()
{
    for (const std::unique_ptr<Block>& block : m_blocks) {
        if (block->state == Block::State::Waiting)
            return block.get();
    }
    return nullptr;
}

void BlockDeflater::deflate(Block* block, std::unique_lock<std::mutex>& lock)
{
    block->state = Block::State::Working;
    lock.unlock();
    const unsigned char* data = block->data.data();
    block->crc = quint32(libdeflate_crc32(0, data + block->dictionary, size_t(block->length)));
    block->failed = !packBlock(data, block->dictionary, block->length, m_level, &block->packed);
    std::vector<unsigned char>().swap(block->data);
    lock.lock();
    block->state = Block::State::Done;
    m_changed.notify_all();
}

void BlockDeflater::helper()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (m_stopped)
            return;
        if (Block* block = waiting())
            deflate(block, lock);
        else
            m_changed.wait(lock);
    }
}

qint64 BlockDeflater::read(void* out, qint64 max, const std::function<bool()>& cancelled)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (m_stopped || (cancelled && cancelled())) {
            m_stopped = true; // nothing is begun any more
            m_changed.notify_all();
            return Cancelled;
        }
        if (fill(lock) != 0)
            return InputFailed;
        if (m_blocks.empty()) {
            const qint64 n = std::min<qint64>(max, qint64(sizeof(kFinalBlock)) - m_closing);
            std::memcpy(out, kFinalBlock + m_closing, size_t(std::max<qint64>(n, 0)));
            m_closing += int(std::max<qint64>(n, 0));
            m_ended = n <= 0;
            return std::max<qint64>(n, 0);
        }
        Block& head = *m_blocks.front();
        if (head.state == Block::State::Done) {
            if (head.failed)
                return OutOfMemory;
            if (head.served == 0)
                m_crc = quint32(crc32_combine(m_crc, head.crc, z_off_t(head.length)));
            const qint64 n = std::min<qint64>(max, qint64(head.packed.size() - head.served));
            std::memcpy(out, head.packed.data() + head.served, size_t(n));
            head.served += size_t(n);
            if (head.served == head.packed.size())
                m_blocks.pop_front();
            return n;
        }
        if (Block* block = waiting())
            deflate(block, lock);
        else
            m_changed.wait(lock);
    }
}

} // namespace kelmar
