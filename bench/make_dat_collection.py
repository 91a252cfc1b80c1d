#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes a DAT catalogue (Logiqx XML) and a collection of zip archives judged against it,
with sets in every state: complete, fixable (an entry or the archive under another name, a
ROM in another archive), incomplete, missing, and archives that match nothing.

Usage: make_dat_collection.py FOLDER [SETS]
Writes FOLDER/collection.dat and FOLDER/roms/*.zip (SETS sets, 400 by default).
"""
import os
import random
import sys
import zipfile
import zlib
from xml.sax.saxutils import quoteattr

REGIONS = ["USA", "Europe", "Japan", "World", "USA, Europe"]
WORDS = ["Super", "Mega", "Star", "Dragon", "Quest", "Racer", "Ninja", "Castle", "Space",
         "Hero", "Puzzle", "Soccer", "Tennis", "Golf", "Battle", "Legend", "Island", "Turbo"]


def main():
    folder = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 400
    rng = random.Random(24)
    roms_folder = os.path.join(folder, "roms")
    os.makedirs(roms_folder, exist_ok=True)

    sets = []
    names = set()
    while len(sets) < count:
        title = " ".join(rng.sample(WORDS, rng.randint(1, 3)))
        name = f"{title} ({rng.choice(REGIONS)})"
        if rng.random() < 0.1:
            name += f" (Rev {rng.randint(1, 3)})"
        if name in names:
            continue
        names.add(name)
        roms = []
        for k in range(rng.choice([1, 1, 1, 2, 2, 4])):
            data = rng.randbytes(rng.choice([2048, 4096, 8192, 16384]))
            ext = "bin" if k else "nes"
            roms.append((f"{name}.{ext}" if k == 0 else f"{name} (Track {k}).{ext}", data))
        sets.append((name, roms))

    with open(os.path.join(folder, "collection.dat"), "w", encoding="utf-8") as dat:
        dat.write('<?xml version="1.0"?>\n<datafile>\n\t<header>\n\t\t<name>Made System</name>\n'
                  '\t\t<description>Made System (a made catalogue)</description>\n'
                  '\t\t<version>20261208</version>\n\t</header>\n')
        for name, roms in sets:
            dat.write(f"\t<game name={quoteattr(name)}>\n\t\t<description>{name}</description>\n")
            for rom, data in roms:
                crc = zlib.crc32(data) & 0xFFFFFFFF
                dat.write(f"\t\t<rom name={quoteattr(rom)} size=\"{len(data)}\" crc=\"{crc:08x}\"/>\n")
            dat.write("\t</game>\n")
        dat.write("</datafile>\n")

    def write_zip(path, entries):
        with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
            for entry, data in entries:
                z.writestr(entry, data)

    orphans = []  # ROMs of sets without an archive, held by another archive
    for i, (name, roms) in enumerate(sets):
        roll = rng.random()
        path = os.path.join(roms_folder, name + ".zip")
        if roll < 0.70:  # complete
            write_zip(path, roms)
        elif roll < 0.74:  # an entry under another name
            write_zip(path, [(("renamed " + roms[0][0]), roms[0][1])] + roms[1:])
        elif roll < 0.77:  # the archive under another name
            write_zip(os.path.join(roms_folder, name.lower().replace(" ", "_") + ".zip"), roms)
        elif roll < 0.80 and len(roms) > 1:  # incomplete
            write_zip(path, roms[:-1])
        elif roll < 0.82:  # its one ROM in another archive
            orphans.append(roms[0])
        else:  # missing
            pass
    if orphans:
        write_zip(os.path.join(roms_folder, "misc pack.zip"), orphans)
    for k in range(6):
        write_zip(os.path.join(roms_folder, f"homebrew {k}.zip"),
                  [(f"homebrew {k}.nes", rng.randbytes(3000)), ("readme.txt", b"made\n")])


if __name__ == "__main__":
    main()
