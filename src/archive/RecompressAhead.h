// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archive/DeflateAhead.h"
#include "archive/ZipHandles.h"

#include <QByteArray>

#include <mutex>

namespace kelmar {

struct RebuildEntry;

// The entries of one archive being rebuilt, read and deflated on other threads while libzip
// writes the new copy in order. The helpers read through a second handle on the old archive,
// one thread at a time (a libzip handle is not to be shared), raw, inflated by libdeflate and
// checked against the entry's CRC; anything in doubt is left to the writer, which reads the
// entry its own way and words what is wrong. Each entry is deflated exactly as the writer
// would, so the archive is the same whatever the number of threads.
class RecompressAhead
{
public:
    RecompressAhead(const QByteArray& nativePath, int threads);
    // Whether the second handle opened; without it nothing is deflated ahead.
    bool usable() const { return bool(m_archive); }
    // The entry's slot in ahead(), or -1 for one the writer reads itself (encrypted, too
    // large to deflate whole, of unknown size).
    int add(const RebuildEntry& entry, int level);
    DeflateAhead& ahead() { return m_ahead; }

private:
    ZipArchivePtr m_archive;
    std::mutex m_reading;
    DeflateAhead m_ahead; // last: its threads end before the handle closes
};

} // namespace kelmar
