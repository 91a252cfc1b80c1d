// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace kelmar::catalogue {

// What a catalogue says of a dump: good, known bad, or never dumped (no hashes to check).
enum class DumpStatus : quint8 { Good, BadDump, NoDump, Verified };

using Md5 = std::array<quint8, 16>;
using Sha1 = std::array<quint8, 20>;

// One file a good copy of a set holds. size is -1 when the catalogue gives none; each hash
// is there only when its has* flag says so.
struct Rom
{
    QString name;
    QString merge; // the parent's name of a ROM a clone shares with its parent; often empty
    qint64 size = -1;
    quint32 crc = 0;
    Md5 md5{};
    Sha1 sha1{};
    bool hasCrc = false;
    bool hasMd5 = false;
    bool hasSha1 = false;
    DumpStatus status = DumpStatus::Good;
};

// A disk image of a set (a CHD): listed, never looked for.
struct Disk
{
    QString name;
    QString merge;
    Md5 md5{};
    Sha1 sha1{};
    bool hasMd5 = false;
    bool hasSha1 = false;
    DumpStatus status = DumpStatus::Good;
};

// One entry of the catalogue: a game, a machine or a resource.
struct CatalogueSet
{
    QString name;
    QString description;
    QString cloneOf;
    QString romOf;
    bool isBios = false;
    std::vector<Rom> roms;
    std::vector<Disk> disks;
};

struct CatalogueHeader
{
    QString name;
    QString description;
    QString version;
};

// Where a ROM is in its catalogue.
struct RomRef
{
    quint32 set = 0;
    quint32 rom = 0;
};

// A catalogue as read: its header and its sets in the file's order, with indexes to find a
// ROM by its size and CRC-32 or by its SHA-1. Build the indexes (index()) after the sets
// are complete; the readers do.
class Catalogue
{
public:
    CatalogueHeader header;
    std::vector<CatalogueSet> sets;

    int romCount() const { return m_roms; }
    int diskCount() const { return m_disks; }

    // Sorts the indexes and counts; call once the sets are in.
    void index();
    // The ROMs of this size and CRC-32 (nodump ones have neither).
    std::vector<RomRef> findByCrc(qint64 size, quint32 crc) const;
    // The ROMs with this SHA-1.
    std::vector<RomRef> findBySha1(const Sha1& sha1) const;
    bool hasCrc(qint64 size, quint32 crc) const;
    bool hasSha1(const Sha1& sha1) const;
    // The set of this name (exact), or -1.
    int findSet(const QString& name) const;

    const Rom& rom(RomRef ref) const { return sets[ref.set].roms[ref.rom]; }

private:
    struct CrcKey
    {
        qint64 size;
        quint32 crc;
        RomRef ref;
    };
    struct Sha1Key
    {
        Sha1 sha1;
        RomRef ref;
    };
    struct NameKey
    {
        size_t hash;
        quint32 set;
    };
    std::vector<CrcKey> m_byCrc;
    std::vector<Sha1Key> m_bySha1;
    std::vector<NameKey> m_byName;
    int m_roms = 0;
    int m_disks = 0;
};

// "good", "baddump", "nodump", "verified".
QString dumpStatusName(DumpStatus status);

// Hex text (either case, 2 digits a byte) into bytes; false when it is not exactly that.
bool parseHex(const char* text, int length, quint8* out, int bytes);
QString hexText(const quint8* bytes, int count);
QString crcText(quint32 crc); // 8 lower-case hex digits

} // namespace kelmar::catalogue
