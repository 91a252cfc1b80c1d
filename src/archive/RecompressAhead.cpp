// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/RecompressAhead.h"

#include "archive/BufferBudget.h"
#include "archive/RebuildSource.h"
#include "archive/WholeEntryCheck.h"

#include <cerrno>
#include <cstring>

namespace kelmar {

RecompressAhead::RecompressAhead(const QByteArray& nativePath, int threads) : m_ahead(threads)
{
    int code = 0;
    m_archive.reset(zip_open(nativePath.constData(), ZIP_RDONLY, &code));
}

int RecompressAhead::add(const RebuildEntry& entry, int level)
{
    const zip_stat_t st = entry.st;
    constexpr zip_uint64_t needed = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_ENCRYPTION_METHOD;
    if (!usable() || level <= 0 || (st.valid & needed) != needed ||
        st.encryption_method != ZIP_EM_NONE || qint64(st.size) > BufferBudget::kEntryCap ||
        qint64(st.comp_size) > BufferBudget::kEntryCap)
        return -1;
    const zip_uint64_t index = entry.index;
    // The entry's copy and its packed bytes (DeflatedFile), and the raw bytes on the way.
    const qint64 budget = 2 * qint64(st.size) + qint64(st.comp_size);
    return m_ahead.add(
        [this, st, index, level](DeflatedFile& into, BufferLoan* loan) -> int {
            bool copied = false;
            {
                std::lock_guard<std::mutex> lock(m_reading);
                withWholeEntry(
                    m_archive.get(), index, st,
                    [&](const char* data, qint64 n) {
                        std::memcpy(into.prepare(n, loan), data, size_t(n));
                        copied = true;
                    },
                    QByteArray(), false);
            }
            return copied ? into.pack(qint64(st.size), level) : EIO;
        },
        budget);
}

} // namespace kelmar
