// SPDX-License-Identifier: GPL-3.0-or-later
// The memory a verify holds for a large collection, without making it on disk: dat_memory
// [SETS [ARCHIVES]] builds a catalogue of SETS sets (default 40,000) of 1 to 4 ROMs with every
// hash, and the scan of ARCHIVES archives (default 100,000) holding 1 to 4 entries each, as
// scanFile would return them, judges one against the other, and prints the peak memory.
#include "catalogue/Verification.h"

#include <QCoreApplication>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>

using namespace kelmar::catalogue;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int sets = argc > 1 ? std::atoi(argv[1]) : 40000;
    const int archives = argc > 2 ? std::atoi(argv[2]) : 100000;
    Catalogue c;
    c.sets.reserve(size_t(sets));
    for (int s = 0; s < sets; ++s) {
        CatalogueSet set;
        set.name = QStringLiteral("Some Game Title %1 (USA, Europe) (Rev %2)").arg(s).arg(s % 3);
        set.description = set.name;
        for (int r = 0; r < 1 + s % 4; ++r) {
            Rom rom;
            rom.name = set.name + QStringLiteral(" (Track %1).bin").arg(r);
            rom.size = 1 << (16 + r);
            rom.crc = quint32(s * 7919 + r);
            rom.hasCrc = rom.hasMd5 = rom.hasSha1 = true;
            rom.sha1[0] = quint8(s);
            set.roms.push_back(rom);
        }
        c.sets.push_back(std::move(set));
    }
    c.index();
    std::vector<ScannedItem> scan;
    scan.resize(size_t(archives));
    for (int a = 0; a < archives; ++a) {
        const int s = a % sets;
        ScannedItem& item = scan[size_t(a)];
        item.archive = true;
        item.path = QStringLiteral("/home/user/roms/system/") + c.sets[size_t(s)].name +
                    (a < sets ? QString() : QString::number(a)) + QStringLiteral(".zip");
        for (const Rom& rom : c.sets[size_t(s)].roms)
            item.files.push_back({rom.name, rom.size, rom.crc, {}, true, false, 0});
    }
    const Verification v = verifyCollection(c, scan, MatchHash::Crc);
    struct rusage usage;
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("%d sets, %d ROMs, %d archives: %d complete; peak %.1f MB\n", sets, c.romCount(),
                archives, v.counts.complete, double(usage.ru_maxrss) / 1024.0);
    return 0;
}
