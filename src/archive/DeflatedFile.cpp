// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/DeflatedFile.h"

#include <libdeflate.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace kelmar {

namespace {

struct CompressorFree
{
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

// One compressor per thread and level: allocating one costs more than deflating a small file.
libdeflate_compressor* compressorFor(int level)
{
    thread_local std::unique_ptr<libdeflate_compressor, CompressorFree> compressors[13];
    std::unique_ptr<libdeflate_compressor, CompressorFree>& slot = compressors[level];
    if (!slot)
        slot.reset(libdeflate_alloc_compressor(level));
    return slot.get();
}

constexpr qint64 kFitSlack = 256 * 1024;

} // namespace

int DeflatedFile::load(int fd, qint64 size, int level, BufferLoan* loan)
{
    unsigned char* input = prepare(size, loan);
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, input + done, size_t(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int err = errno;
            release();
            return err;
        }
        if (n == 0)
            break;
        done += n;
    }
    return pack(done, level);
}

unsigned char* DeflatedFile::prepare(qint64 size, BufferLoan* loan)
{
    release();
    size = std::max<qint64>(size, 0);
    if (loan && loan->bytes() >= std::min(2 * size, BufferBudget::kTotal)) {
        m_loan = std::move(*loan);
        m_loan.shrink(2 * size);
    } else {
        if (loan)
            loan->reset(); // never wait for the budget while holding part of it
        m_loan = BufferLoan(2 * size);
    }
    m_input.reset(new unsigned char[size_t(std::max<qint64>(size, 1))]);
    m_capacity = size;
    return m_input.get();
}

int DeflatedFile::pack(qint64 filled, int level)
{
    // libdeflate's levels search less than zlib's of the same number: one up packs ROM-like
    // data a little tighter than zlib (and Info-ZIP) at the level asked for, still at about 1.5
    // times the speed. Its 9 packs tighter than zip -9 already; 10 to 12 turn to a parser that
    // takes 3 to 10 times as long for at most 0.07% (bench/README.md).
    static constexpr int kLibdeflateLevel[10] = {0, 2, 3, 4, 5, 6, 7, 8, 9, 9};
    level = kLibdeflateLevel[std::clamp(level, 1, 9)];
    const qint64 done = std::clamp<qint64>(filled, 0, m_capacity);
    std::unique_ptr<unsigned char[]> input = std::move(m_input);
    m_size = done;
    m_crc = quint32(libdeflate_crc32(0, input.get(), size_t(done)));

    // Only output smaller than the input is of use, so the output buffer need be no larger.
    size_t packed = 0;
    if (done > 1) {
        libdeflate_compressor* compressor = compressorFor(level);
        if (!compressor) {
            release();
            return ENOMEM;
        }
        m_data.reset(new unsigned char[size_t(done - 1)]);
        packed = libdeflate_deflate_compress(compressor, input.get(), size_t(done), m_data.get(),
                                             size_t(done - 1));
    }
    m_stored = packed == 0;
    if (m_stored) {
        m_data = std::move(input);
        m_packedSize = done;
        m_loan.shrink(m_capacity);
    } else {
        m_packedSize = qint64(packed);
        input.reset();
        // Entries deflated ahead of the writer wait in memory: there they take only what they
        // hold, so that more of them fit in the budget. A copy costs little next to deflate.
        if (done - 1 - m_packedSize > kFitSlack) {
            std::unique_ptr<unsigned char[]> fitted(new unsigned char[size_t(m_packedSize)]);
            std::memcpy(fitted.get(), m_data.get(), size_t(m_packedSize));
            m_data = std::move(fitted);
            m_loan.shrink(m_packedSize);
        } else {
            m_loan.shrink(done);
        }
    }
    m_offset = 0;
    return 0;
}

qint64 DeflatedFile::read(void* out, qint64 max)
{
    const qint64 n = std::min(max, m_packedSize - m_offset);
    if (n <= 0 || !m_data)
        return 0;
    std::memcpy(out, m_data.get() + m_offset, size_t(n));
    m_offset += n;
    return n;
}

void DeflatedFile::release()
{
    m_data.reset();
    m_input.reset();
    m_capacity = 0;
    m_loan.reset();
    m_offset = 0;
}

} // namespace kelmar
