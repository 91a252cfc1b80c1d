// SPDX-License-Identifier: GPL-3.0-or-later
// The TorrentZip writer and check: archives whose bytes the layout fixes, judged by reading
// them field by field and by the usual tools.
#include "archive/TorrentZip.h"

#include "common/Tools.h"
#include "fs/FdGuard.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fcntl.h>
#include <zlib.h>

using namespace kelmar;
using namespace kelmar::test;

namespace {

quint32 le(const QByteArray& b, qsizetype at, int bytes)
{
    quint32 v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | quint8(b[at + i]);
    return v;
}

// Entries over fixed contents; a name ending in '/' is a folder.
std::vector<torrentzip::Entry> entriesOf(const std::vector<std::pair<QByteArray, QByteArray>>& files)
{
    std::vector<torrentzip::Entry> entries;
    for (const auto& [name, content] : files) {
        torrentzip::Entry e{name, content.size(), {}};
        if (!name.endsWith('/')) {
            e.read = [content = content](const torrentzip::Sink& sink) {
                // Uneven pieces: the stream must not depend on how the content comes.
                for (qsizetype at = 0; at < content.size(); at += 7777) {
                    const int r = sink(content.constData() + at, qMin<qsizetype>(7777, content.size() - at));
                    if (r != 0)
                        return r;
                }
                return 0;
            };
        }
        entries.push_back(std::move(e));
    }
    return entries;
}

QByteArray writeLayout(const QString& path, std::vector<torrentzip::Entry> entries, int threads)
{
    EXPECT_TRUE(torrentzip::sortEntries(entries, nullptr));
    {
        const fs::FdGuard fd(::open(path.toUtf8().constData(), O_RDWR | O_CREAT | O_TRUNC, 0644));
        QString detail;
        EXPECT_EQ(torrentzip::writeArchive(fd.get(), entries, threads, nullptr, &detail), 0)
            << detail;
    }
    return readFile(path);
}

} // namespace

TEST(TorrentZip, OneEntryFieldByField)
{
    QTemporaryDir dir;
    const QByteArray content = textBytes(5000, 3);
    const QByteArray zip = writeLayout(dir.filePath("one.zip"), entriesOf({{"Game.nes", content}}), 1);
    const quint32 crc = quint32(crc32(0, reinterpret_cast<const Bytef*>(content.constData()),
                                      uInt(content.size())));
    const quint32 packed = le(zip, 18, 4);
    // Local header: signature, needed 20, flag 2, deflate, 23:32 24 Dec 1996, CRC, sizes,
    // name, no extra field.
    const std::vector<std::pair<qsizetype, quint32>> local = {
        {0, 0x04034b50}, {4, 20}, {6, 2}, {8, 8}, {10, 48128}, {12, 8600}, {22, 5000},
        {26, 8}, {28, 0}};
    for (const auto& [at, value] : local)
        EXPECT_EQ(le(zip, at, at == 0 || at == 14 || at == 18 || at == 22 ? 4 : 2), value) << at;
    EXPECT_EQ(le(zip, 14, 4), crc);
    EXPECT_EQ(zip.mid(30, 8), "Game.nes");
    const qsizetype dir0 = 38 + qsizetype(packed);
    // Central header: made by 0, the same fields, no comment, attributes 0, offset 0.
    const std::vector<std::tuple<qsizetype, int, quint32>> central = {
        {0, 4, 0x02014b50}, {4, 2, 0},  {6, 2, 20},  {8, 2, 2},   {10, 2, 8},
        {12, 2, 48128},     {14, 2, 8600}, {16, 4, crc}, {20, 4, packed}, {24, 4, 5000},
        {28, 2, 8},         {30, 2, 0},  {32, 2, 0},  {34, 2, 0},  {36, 2, 0},
        {38, 4, 0},         {42, 4, 0}};
    for (const auto& [at, bytes, value] : central)
        EXPECT_EQ(le(zip, dir0 + at, bytes), value) << at;
    // End record: one entry, the directory's size and place, the comment naming its CRC.
    const qsizetype end = dir0 + 54;
    ASSERT_EQ(zip.size(), end + 22 + 22);
    const QByteArray directory = zip.mid(dir0, 54);
    const quint32 dirCrc = quint32(
        crc32(0, reinterpret_cast<const Bytef*>(directory.constData()), uInt(directory.size())));
    EXPECT_EQ(le(zip, end, 4), 0x06054b50u);
    EXPECT_EQ(le(zip, end + 8, 2), 1u);
    EXPECT_EQ(le(zip, end + 12, 4), 54u);
    EXPECT_EQ(le(zip, end + 16, 4), quint32(dir0));
    EXPECT_EQ(le(zip, end + 20, 2), 22u);
    EXPECT_EQ(zip.mid(end + 22),
              "TORRENTZIPPED-" + QByteArray::number(dirCrc, 16).toUpper().rightJustified(8, '0'));
    EXPECT_TRUE(torrentzip::isTorrentZipFile(dir.filePath("one.zip")));
}

// Mixed case, spaces, brackets, folders, an empty folder, an empty file and a UTF-8 name:
// sorted by ASCII lower case, the same bytes on one thread or two, and read by every tool.
TEST(TorrentZip, SortedLayoutReadByEveryTool)
{
    QTemporaryDir dir;
    const auto files = entriesOf({{"b [!].rom", noiseBytes(300000, 1)},
                                  {"Sub/", {}},
                                  {"sub/Zeta (USA).nes", textBytes(400000, 2)},
                                  {"empty folder/", {}},
                                  {"A b.txt", textBytes(10, 3)},
                                  {"empty.bin", {}},
                                  {"caf\xc3\xa9.gb", textBytes(999, 4)}});
    const QByteArray one = writeLayout(dir.filePath("one.zip"), files, 1);
    EXPECT_EQ(writeLayout(dir.filePath("two.zip"), files, 2), one);
    std::vector<QByteArray> names;
    ASSERT_TRUE(torrentzip::isTorrentZipFile(dir.filePath("one.zip"), &names));
    const std::vector<QByteArray> sorted = {"A b.txt", "b [!].rom", "caf\xc3\xa9.gb",
                                            "empty folder/", "empty.bin", "Sub/",
                                            "sub/Zeta (USA).nes"};
    EXPECT_EQ(names, sorted);
    // Names the same but for case are one name to the layout.
    auto clash = entriesOf({{"x.rom", "1"}, {"X.ROM", "2"}});
    QByteArray which;
    EXPECT_FALSE(torrentzip::sortEntries(clash, &which));

    for (const char* tool : {"python3", "unzip", "7zz", "bsdtar"})
        KELMAR_REQUIRE_TOOL(QString::fromLatin1(tool));
    const QString zip = dir.filePath("one.zip");
    EXPECT_EQ(runTool("unzip", {"-t", zip}).exitCode, 0);
    EXPECT_EQ(runTool("7zz", {"t", zip}).exitCode, 0);
    EXPECT_EQ(runTool("bsdtar", {"-tf", zip}).exitCode, 0);
    // Python reads every entry, and each one's data is zlib's own level-9 raw stream.
    const ToolRun py = runTool(
        "python3", {"-c",
                    "import sys, zipfile, zlib\n"
                    "z = zipfile.ZipFile(sys.argv[1])\n"
                    "raw = open(sys.argv[1], 'rb').read()\n"
                    "for i in z.infolist():\n"
                    "    c = zlib.compressobj(9, zlib.DEFLATED, -15, 8, 0)\n"
                    "    want = c.compress(z.read(i)) + c.flush()\n"
                    "    at = i.header_offset + 30 + len(i.filename.encode()) \n"
                    "    assert raw[at:at + i.compress_size] == want, i.filename\n"
                    "    assert i.flag_bits == (0x802 if not i.filename.isascii() else 2)\n"
                    "print(len(z.infolist()))\n",
                    zip});
    EXPECT_EQ(py.exitCode, 0) << py.output.constData();
    EXPECT_EQ(py.output.trimmed(), "7");
}

// Any one field off the layout, and the archive is not TorrentZip.
TEST(TorrentZip, CheckRefusesEachFault)
{
    QTemporaryDir dir;
    const QByteArray good =
        writeLayout(dir.filePath("good.zip"), entriesOf({{"a.rom", "AAAA"}, {"b.rom", "B"}}), 1);
    const qsizetype cd = good.indexOf("PK\x01\x02");
    const qsizetype end = good.indexOf("PK\x05\x06");
    const std::vector<std::pair<const char*, qsizetype>> faults = {
        {"local time", 10},     {"local flag", 6},     {"local CRC", 14},
        {"made by", cd + 4},    {"central date", cd + 14}, {"external attributes", cd + 38},
        {"second offset", good.indexOf("PK\x01\x02", cd + 1) + 42},
        {"comment digit", good.size() - 1}, {"entry count", end + 8}};
    for (const auto& [what, at] : faults) {
        QByteArray bad = good;
        bad[at] = char(bad[at] ^ 0x01);
        const QString path = dir.filePath("bad.zip");
        writeFile(path, bad);
        EXPECT_FALSE(torrentzip::isTorrentZipFile(path)) << what;
    }
    writeFile(dir.filePath("tail.zip"), good + "x");
    EXPECT_FALSE(torrentzip::isTorrentZipFile(dir.filePath("tail.zip")));
    EXPECT_TRUE(torrentzip::isTorrentZipFile(dir.filePath("good.zip")));
}
