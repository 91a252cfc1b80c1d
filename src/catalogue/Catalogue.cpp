// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/Catalogue.h"

#include <QHashFunctions>

#include <algorithm>
#include <tuple>

namespace kelmar::catalogue {

namespace {

// The value of each byte as a hex digit, or -1.
struct HexTable
{
    qint8 value[256];
    constexpr HexTable() : value()
    {
        for (int i = 0; i < 256; ++i)
            value[i] = -1;
        for (int i = 0; i < 10; ++i)
            value['0' + i] = qint8(i);
        for (int i = 0; i < 6; ++i) {
            value['a' + i] = qint8(10 + i);
            value['A' + i] = qint8(10 + i);
        }
    }
};
constexpr HexTable kHex;

int hexDigit(char c)
{
    return kHex.value[quint8(c)];
}

} // namespace

bool parseHex(const char* text, int length, quint8* out, int bytes)
{
    if (length != bytes * 2)
        return false;
    for (int i = 0; i < bytes; ++i) {
        const int hi = hexDigit(text[2 * i]);
        const int lo = hexDigit(text[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out[i] = quint8(hi << 4 | lo);
    }
    return true;
}

QString hexText(const quint8* bytes, int count)
{
    static const char digits[] = "0123456789abcdef";
    QString text(count * 2, Qt::Uninitialized);
    for (int i = 0; i < count; ++i) {
        text[2 * i] = QLatin1Char(digits[bytes[i] >> 4]);
        text[2 * i + 1] = QLatin1Char(digits[bytes[i] & 15]);
    }
    return text;
}

QString crcText(quint32 crc)
{
    return QStringLiteral("%1").arg(crc, 8, 16, QLatin1Char('0'));
}

QString dumpStatusName(DumpStatus status)
{
    switch (status) {
    case DumpStatus::Good:
        return QStringLiteral("good");
    case DumpStatus::BadDump:
        return QStringLiteral("baddump");
    case DumpStatus::NoDump:
        return QStringLiteral("nodump");
    case DumpStatus::Verified:
        return QStringLiteral("verified");
    }
    return QString();
}

void Catalogue::index()
{
    m_byCrc.clear();
    m_bySha1.clear();
    m_byName.clear();
    m_roms = 0;
    m_disks = 0;
    m_byName.reserve(sets.size());
    for (quint32 s = 0; s < sets.size(); ++s) {
        const CatalogueSet& set = sets[s];
        m_byName.push_back({qHash(set.name), s});
        m_roms += int(set.roms.size());
        m_disks += int(set.disks.size());
        for (quint32 r = 0; r < set.roms.size(); ++r) {
            const Rom& rom = set.roms[r];
            if (rom.status == DumpStatus::NoDump)
                continue;
            if (rom.hasCrc)
                m_byCrc.push_back({rom.size, rom.crc, {s, r}});
            if (rom.hasSha1)
                m_bySha1.push_back({rom.sha1, {s, r}});
        }
    }
    const auto crcLess = [](const CrcKey& a, const CrcKey& b) {
        return std::tie(a.size, a.crc) < std::tie(b.size, b.crc);
    };
    std::sort(m_byCrc.begin(), m_byCrc.end(), crcLess);
    std::sort(m_bySha1.begin(), m_bySha1.end(),
              [](const Sha1Key& a, const Sha1Key& b) { return a.sha1 < b.sha1; });
    std::stable_sort(m_byName.begin(), m_byName.end(),
                     [](const NameKey& a, const NameKey& b) { return a.hash < b.hash; });
}

std::vector<RomRef> Catalogue::findByCrc(qint64 size, quint32 crc) const
{
    std::vector<RomRef> found;
    const CrcKey key{size, crc, {}};
    auto range = std::equal_range(m_byCrc.begin(), m_byCrc.end(), key,
                                  [](const CrcKey& a, const CrcKey& b) {
                                      return std::tie(a.size, a.crc) < std::tie(b.size, b.crc);
                                  });
    for (auto it = range.first; it != range.second; ++it)
        found.push_back(it->ref);
    return found;
}

std::vector<RomRef> Catalogue::findBySha1(const Sha1& sha1) const
{
    std::vector<RomRef> found;
    const Sha1Key key{sha1, {}};
    auto range = std::equal_range(m_bySha1.begin(), m_bySha1.end(), key,
                                  [](const Sha1Key& a, const Sha1Key& b) { return a.sha1 < b.sha1; });
    for (auto it = range.first; it != range.second; ++it)
        found.push_back(it->ref);
    return found;
}

bool Catalogue::hasCrc(qint64 size, quint32 crc) const
{
    const CrcKey key{size, crc, {}};
    return std::binary_search(m_byCrc.begin(), m_byCrc.end(), key,
                              [](const CrcKey& a, const CrcKey& b) {
                                  return std::tie(a.size, a.crc) < std::tie(b.size, b.crc);
                              });
}

bool Catalogue::hasSha1(const Sha1& sha1) const
{
    const Sha1Key key{sha1, {}};
    return std::binary_search(m_bySha1.begin(), m_bySha1.end(), key,
                              [](const Sha1Key& a, const Sha1Key& b) { return a.sha1 < b.sha1; });
}

int Catalogue::findSet(const QString& name) const
{
    const NameKey key{qHash(name), 0};
    auto range = std::equal_range(m_byName.begin(), m_byName.end(), key,
                                  [](const NameKey& a, const NameKey& b) { return a.hash < b.hash; });
    for (auto it = range.first; it != range.second; ++it) {
        if (sets[it->set].name == name)
            return int(it->set);
    }
    return -1;
}

} // namespace kelmar::catalogue
