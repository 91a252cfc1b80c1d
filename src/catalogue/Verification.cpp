// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/Verification.h"

#include "fs/NativeName.h"

#include <QSet>

#include <algorithm>
#include <tuple>

namespace kelmar::catalogue {

namespace {

struct CrcFile
{
    qint64 size;
    quint32 crc;
    FileRef ref;
    bool operator<(const CrcFile& o) const { return std::tie(size, crc) < std::tie(o.size, o.crc); }
};

struct Sha1File
{
    Sha1 sha1;
    FileRef ref;
    bool operator<(const Sha1File& o) const { return sha1 < o.sha1; }
};

bool fileMatches(const FoundFile& f, const Rom& r, MatchHash hash)
{
    if (hash == MatchHash::Sha1 && r.hasSha1 && f.hasSha1)
        return f.sha1 == r.sha1;
    if (r.hasCrc)
        return f.hasCrc && f.crc == r.crc && (r.size < 0 || f.size == r.size);
    if (r.hasSha1 && f.hasSha1)
        return f.sha1 == r.sha1;
    return false;
}

// The collection's files by size and CRC, and by SHA-1, for finding a ROM's copies.
class FileIndex
{
public:
    explicit FileIndex(const std::vector<ScannedItem>& scan) : m_scan(scan)
    {
        for (int i = 0; i < int(scan.size()); ++i) {
            for (int j = 0; j < int(scan[size_t(i)].files.size()); ++j) {
                const FoundFile& f = scan[size_t(i)].files[size_t(j)];
                if (f.hasCrc)
                    m_byCrc.push_back({f.size, f.crc, {i, j}});
                if (f.hasSha1)
                    m_bySha1.push_back({f.sha1, {i, j}});
            }
        }
        std::sort(m_byCrc.begin(), m_byCrc.end());
        std::sort(m_bySha1.begin(), m_bySha1.end());
    }

    // A copy of rom outside the items skipped, an archive's entry before a loose file.
    FileRef findElsewhere(const Rom& rom, MatchHash hash, const std::vector<int>& skipped) const
    {
        FileRef best;
        const auto consider = [&](FileRef ref) {
            if (std::find(skipped.begin(), skipped.end(), ref.item) != skipped.end())
                return;
            const ScannedItem& item = m_scan[size_t(ref.item)];
            if (!fileMatches(item.files[size_t(ref.file)], rom, hash))
                return;
            if (!best.valid() || (item.archive && !m_scan[size_t(best.item)].archive))
                best = ref;
        };
        if (hash == MatchHash::Sha1 && rom.hasSha1) {
            const Sha1File key{rom.sha1, {}};
            auto range = std::equal_range(m_bySha1.begin(), m_bySha1.end(), key);
            for (auto it = range.first; it != range.second; ++it)
                consider(it->ref);
        }
        if (rom.hasCrc && !best.valid()) {
            const CrcFile key{rom.size, rom.crc, {}};
            auto range = std::equal_range(m_byCrc.begin(), m_byCrc.end(), key);
            for (auto it = range.first; it != range.second; ++it)
                consider(it->ref);
        }
        return best;
    }

private:
    const std::vector<ScannedItem>& m_scan;
    std::vector<CrcFile> m_byCrc;
    std::vector<Sha1File> m_bySha1;
};

// Where one ROM of a set is, the set's own archives (homes) first.
RomCheck checkRom(const Rom& rom, const std::vector<int>& homes,
                  const std::vector<ScannedItem>& scan, const FileIndex& index, MatchHash hash)
{
    if (rom.status == DumpStatus::NoDump)
        return {RomState::NoDump, {}};
    const bool hashed = rom.hasCrc || rom.hasSha1;
    FileRef misnamed;
    FileRef damaged;
    for (int h : homes) {
        const std::vector<FoundFile>& files = scan[size_t(h)].files;
        for (int j = 0; j < int(files.size()); ++j) {
            const FoundFile& f = files[size_t(j)];
            const bool sameName = f.name == rom.name;
            const bool matches = hashed ? fileMatches(f, rom, hash)
                                        : sameName && (rom.size < 0 || f.size == rom.size);
            if (matches && sameName)
                return {RomState::Ok, {h, j}};
            if (matches && !misnamed.valid())
                misnamed = {h, j};
            else if (sameName && !matches && f.size == rom.size && !damaged.valid())
                damaged = {h, j};
        }
    }
    if (misnamed.valid())
        return {RomState::Misnamed, misnamed};
    if (hashed) {
        const FileRef elsewhere = index.findElsewhere(rom, hash, homes);
        if (elsewhere.valid())
            return {RomState::Elsewhere, elsewhere};
    }
    if (damaged.valid())
        return {RomState::Damaged, damaged};
    return {RomState::Missing, {}};
}

SetStatus statusOf(const SetCheck& check)
{
    int checked = 0, ok = 0, missing = 0, absent = 0;
    for (const RomCheck& r : check.roms) {
        if (r.state == RomState::NoDump)
            continue;
        ++checked;
        ok += r.state == RomState::Ok;
        missing += r.state == RomState::Missing;
        absent += r.state == RomState::Missing || r.state == RomState::Damaged;
    }
    if (ok == checked)
        return SetStatus::Complete;
    if (absent == 0)
        return SetStatus::Fixable;
    return missing == checked ? SetStatus::Missing : SetStatus::Incomplete;
}

bool knownFile(const Catalogue& catalogue, const FoundFile& f)
{
    return (f.hasCrc && catalogue.hasCrc(f.size, f.crc)) || (f.hasSha1 && catalogue.hasSha1(f.sha1));
}

void findUnknown(const Catalogue& catalogue, const std::vector<ScannedItem>& scan,
                 Verification& v)
{
    QSet<quint64> accounted; // damaged copies: files that stand for a ROM all the same
    for (const SetCheck& s : v.sets) {
        for (const RomCheck& r : s.roms) {
            if (r.found.valid())
                accounted.insert(quint64(r.found.item) << 32 | quint32(r.found.file));
        }
    }
    for (int i = 0; i < int(scan.size()); ++i) {
        const ScannedItem& item = scan[size_t(i)];
        if (!item.readable()) {
            v.unreadable.push_back(i);
            continue;
        }
        std::vector<FileRef> unknown;
        for (int j = 0; j < int(item.files.size()); ++j) {
            if (!knownFile(catalogue, item.files[size_t(j)]) &&
                !accounted.contains(quint64(i) << 32 | quint32(j)))
                unknown.push_back({i, j});
        }
        if (unknown.size() == item.files.size())
            v.unknown.push_back({i, -1});
        else
            v.unknown.insert(v.unknown.end(), unknown.begin(), unknown.end());
    }
}

} // namespace

Verification verifyCollection(const Catalogue& catalogue, const std::vector<ScannedItem>& scan,
                              MatchHash hash)
{
    Verification v;
    v.sets.resize(catalogue.sets.size());
    for (int i = 0; i < int(scan.size()); ++i) {
        if (!scan[size_t(i)].readable())
            continue;
        const int set = catalogue.findSet(scan[size_t(i)].containerName());
        if (set >= 0)
            v.sets[size_t(set)].homes.push_back(i);
    }
    const FileIndex index(scan);
    for (size_t s = 0; s < catalogue.sets.size(); ++s) {
        SetCheck& check = v.sets[s];
        check.roms.reserve(catalogue.sets[s].roms.size());
        for (const Rom& rom : catalogue.sets[s].roms)
            check.roms.push_back(checkRom(rom, check.homes, scan, index, hash));
        check.status = statusOf(check);
        switch (check.status) {
        case SetStatus::Complete:
            ++v.counts.complete;
            break;
        case SetStatus::Fixable:
            ++v.counts.fixable;
            break;
        case SetStatus::Incomplete:
            ++v.counts.incomplete;
            break;
        case SetStatus::Missing:
            ++v.counts.missing;
            break;
        }
    }
    findUnknown(catalogue, scan, v);
    v.counts.unknown = int(v.unknown.size());
    return v;
}

QString foundPath(const std::vector<ScannedItem>& scan, FileRef ref)
{
    if (!ref.valid())
        return QString();
    const ScannedItem& item = scan[size_t(ref.item)];
    if (ref.file < 0 || !item.archive)
        return item.path;
    return item.path + u'/' + item.files[size_t(ref.file)].name;
}

QString setStatusName(SetStatus status)
{
    switch (status) {
    case SetStatus::Complete:
        return QStringLiteral("complete");
    case SetStatus::Fixable:
        return QStringLiteral("fixable");
    case SetStatus::Incomplete:
        return QStringLiteral("incomplete");
    case SetStatus::Missing:
        return QStringLiteral("missing");
    }
    return QString();
}

QString romStateName(RomState state)
{
    switch (state) {
    case RomState::Ok:
        return QStringLiteral("ok");
    case RomState::Misnamed:
        return QStringLiteral("misnamed");
    case RomState::Elsewhere:
        return QStringLiteral("elsewhere");
    case RomState::Missing:
        return QStringLiteral("missing");
    case RomState::Damaged:
        return QStringLiteral("damaged");
    case RomState::NoDump:
        return QStringLiteral("nodump");
    }
    return QString();
}

QByteArray jsonString(const QString& text)
{
    QByteArray out;
    out.reserve(text.size() + 2);
    out.append('"');
    for (const char c : text.toUtf8()) {
        if (c == '"' || c == '\\') {
            out.append('\\').append(c);
        } else if (quint8(c) < 0x20) {
            static const char digits[] = "0123456789abcdef";
            out.append("\\u00").append(digits[quint8(c) >> 4]).append(digits[c & 15]);
        } else {
            out.append(c);
        }
    }
    out.append('"');
    return out;
}

QByteArray verificationJson(const Catalogue& catalogue, const std::vector<ScannedItem>& scan,
                            const Verification& v)
{
    QByteArray out;
    out.append("{\n    \"summary\": {\"complete\": ").append(QByteArray::number(v.counts.complete));
    out.append(", \"fixable\": ").append(QByteArray::number(v.counts.fixable));
    out.append(", \"incomplete\": ").append(QByteArray::number(v.counts.incomplete));
    out.append(", \"missing\": ").append(QByteArray::number(v.counts.missing));
    out.append(", \"unknown\": ").append(QByteArray::number(v.counts.unknown));
    out.append("},\n    \"sets\": [");
    for (size_t s = 0; s < catalogue.sets.size(); ++s) {
        const CatalogueSet& set = catalogue.sets[s];
        out.append(s == 0 ? "\n        {\"name\": " : ",\n        {\"name\": ");
        out.append(jsonString(set.name)).append(", \"status\": \"");
        out.append(setStatusName(v.sets[s].status).toLatin1()).append("\", \"roms\": [");
        bool first = true;
        for (size_t r = 0; r < set.roms.size(); ++r) {
            const RomCheck& check = v.sets[s].roms[r];
            if (check.state == RomState::NoDump)
                continue;
            out.append(first ? "{\"name\": " : ", {\"name\": ").append(jsonString(set.roms[r].name));
            out.append(", \"state\": \"").append(romStateName(check.state).toLatin1());
            out.append("\", \"found\": ");
            out.append(check.found.valid() ? jsonString(fs::displayName(foundPath(scan, check.found)))
                                           : QByteArray("null"));
            out.append('}');
            first = false;
        }
        out.append("]}");
    }
    out.append(catalogue.sets.empty() ? "],\n    \"unknown\": [" : "\n    ],\n    \"unknown\": [");
    for (size_t i = 0; i < v.unknown.size(); ++i) {
        out.append(i == 0 ? "\n        " : ",\n        ");
        out.append(jsonString(fs::displayName(foundPath(scan, v.unknown[i]))));
    }
    out.append(v.unknown.empty() ? "]\n}\n" : "\n    ]\n}\n");
    return out;
}

} // namespace kelmar::catalogue
