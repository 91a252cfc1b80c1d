// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archive/BufferBudget.h"

#include <QtGlobal>

#include <memory>

namespace kelmar {

// A file read whole and deflated in memory with libdeflate, for libzip to copy into an archive
// as it is. libdeflate works on whole buffers only, so this is for files up to
// BufferBudget::kEntryCap; the buffers are borrowed from the process's budget and given back
// by release().
class DeflatedFile
{
public:
    // Reads size bytes from fd (at its start) and deflates them at zlib's level (1 to 9). Returns
    // 0, or errno when reading failed. A file that ends early keeps what was there; one that grew
    // keeps its first size bytes (the caller sees either from the file's identity).
    // With a loan, its memory is used (it must cover the size) instead of waiting for the budget.
    int load(int fd, qint64 size, int level, BufferLoan* loan = nullptr);

    // The same in two steps, for data that does not come from a file: prepare() borrows the
    // memory for size bytes and their packed copy and returns where to put the bytes; pack()
    // deflates the first filled of them. pack returns 0, or ENOMEM.
    unsigned char* prepare(qint64 size, BufferLoan* loan = nullptr);
    int pack(qint64 filled, int level);

    // Deflate did not make it smaller: the bytes are kept as they are, to be stored.
    bool stored() const { return m_stored; }
    quint32 crc() const { return m_crc; }
    qint64 size() const { return m_size; }
    qint64 packedSize() const { return m_packedSize; }

    // The packed bytes in order, from the start after rewind().
    void rewind() { m_offset = 0; }
    qint64 read(void* out, qint64 max);
    // Lets go of the buffers; the figures stay.
    void release();

private:
    // Not zeroed first: every byte used is written.
    std::unique_ptr<unsigned char[]> m_data;
    std::unique_ptr<unsigned char[]> m_input; // between prepare and pack
    qint64 m_capacity = 0;
    BufferLoan m_loan;
    bool m_stored = false;
    quint32 m_crc = 0;
    qint64 m_size = 0;
    qint64 m_packedSize = 0;
    qint64 m_offset = 0;
};

} // namespace kelmar
