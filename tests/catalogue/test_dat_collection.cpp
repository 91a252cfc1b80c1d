// SPDX-License-Identifier: GPL-3.0-or-later
// A collection with every state a set and a ROM can be in, verified, fixed and reported.
#include "catalogue/CatalogueReader.h"
#include "catalogue/CollectionScan.h"
#include "catalogue/FixPlan.h"
#include "catalogue/Fixdat.h"
#include "catalogue/Verification.h"
#include "common/DatCollection.h"
#include "common/Tools.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <zip.h>

using namespace kelmar::catalogue;
using namespace kelmar::test;

namespace {

QByteArray rom(const char* tag, int size = 600) { return textBytes(size, qHash(QByteArray(tag))); }

QString romLine(const char* name, const QByteArray& bytes)
{
    return QStringLiteral("rom ( name \"%1\" size %2 crc %3 sha1 %4 ) ")
        .arg(QLatin1String(name))
        .arg(bytes.size())
        .arg(crcHex(bytes).toUpper(), sha1Hex(bytes));
}

// The collection and its catalogue: one set for each state.
struct Collection
{
    QTemporaryDir dir;
    Catalogue catalogue;
    std::vector<QByteArray> roms; // every ROM's bytes the collection holds

    Collection()
    {
        const QString d = dir.path() + u'/';
        const QByteArray c1 = rom("c1"), m1 = rom("m1"), g1 = rom("g1"), g2 = rom("g2", 5000),
                         r1 = rom("r1"), r2 = rom("r2"), l1 = rom("l1"), i1 = rom("i1"),
                         i2 = rom("i2"), d1 = rom("d1"), x1 = rom("x1"), b1 = rom("b1"),
                         k1 = rom("k1");
        QByteArray damaged = d1;
        damaged[10] = char(damaged[10] ^ 1);
        QDir().mkpath(d + QStringLiteral("sub"));
        QDir().mkpath(d + QStringLiteral("kept"));
        writeFile(d + QStringLiteral("kept/k1.bin"), k1); // a set's ROMs loose in its folder
        EXPECT_TRUE(makeZip(d + QStringLiteral("complete.zip"),
                            {{QStringLiteral("c1.bin"), c1}, {QStringLiteral("g2.bin"), g2, true},
                             {QStringLiteral("readme.txt"), "not a rom"}}));
        EXPECT_TRUE(makeZip(d + QStringLiteral("misnamed.zip"), {{QStringLiteral("wrong name.bin"), m1}}));
        EXPECT_TRUE(makeZip(d + QStringLiteral("sub/gather.zip"), {{QStringLiteral("g1.bin"), g1}}));
        EXPECT_TRUE(makeZip(d + QStringLiteral("sub/Renamed (draft).zip"),
                            {{QStringLiteral("r1.bin"), r1}, {QStringLiteral("r2 old.bin"), r2}}));
        writeFile(d + QStringLiteral("sub/l1.bin"), l1);
        EXPECT_TRUE(makeZip(d + QStringLiteral("incomplete.zip"), {{QStringLiteral("i1.bin"), i1}}));
        EXPECT_TRUE(makeZip(d + QStringLiteral("damaged.zip"), {{QStringLiteral("d1.bin"), damaged}}));
        EXPECT_TRUE(makeZip(d + QStringLiteral("junk.zip"), {{QStringLiteral("junk.bin"), "junk"}}));
        EXPECT_TRUE(makeZip(d + QStringLiteral("other blocked.zip"), {{QStringLiteral("b1.bin"), b1}}));
        writeFile(d + QStringLiteral("blocked.zip"), "not an archive");
        writeFile(d + QStringLiteral("notes.txt"), "notes");
        roms = {c1, m1, g1, g2, r1, r2, l1, i1, b1, k1};
        const QString text =
            QStringLiteral("clrmamepro ( name \"Every State\" version 1 )\n") +
            QStringLiteral("game ( name complete ") + romLine("c1.bin", c1) + ")\n" +
            QStringLiteral("game ( name misnamed ") + romLine("m1.bin", m1) + ")\n" +
            QStringLiteral("game ( name gather ") + romLine("g1.bin", g1) + romLine("g2.bin", g2) + ")\n" +
            QStringLiteral("game ( name renamed ") + romLine("r1.bin", r1) + romLine("r2.bin", r2) + ")\n" +
            QStringLiteral("game ( name loose ") + romLine("l1.bin", l1) + ")\n" +
            QStringLiteral("game ( name incomplete ") + romLine("i1.bin", i1) + romLine("i2.bin", i2) +
            QStringLiteral("rom ( name i3.bin size 9 flags nodump ) )\n") +
            QStringLiteral("game ( name damaged ") + romLine("d1.bin", d1) + ")\n" +
            QStringLiteral("game ( name missing ") + romLine("x1.bin", x1) +
            QStringLiteral("disk ( name hd sha1 0000000000000000000000000000000000000000 ) )\n") +
            QStringLiteral("game ( name diskonly disk ( name cd ) )\n") +
            QStringLiteral("game ( name blocked ") + romLine("b1.bin", b1) + ")\n" +
            QStringLiteral("game ( name kept ") + romLine("k1.bin", k1) + ")\n";
        QString error;
        std::optional<Catalogue> c = parseCatalogue(text.toUtf8(), &error);
        EXPECT_TRUE(c) << error;
        if (c)
            catalogue = std::move(*c);
    }

    std::vector<ScannedItem> scan(MatchHash hash = MatchHash::Crc) const
    {
        QStringList missing;
        std::vector<ScannedItem> items;
        for (const QString& f : collectionFiles({dir.path()}, &missing))
            items.push_back(scanFile(f, hash));
        return items;
    }

    QString statusOf(const Verification& v, const char* set) const
    {
        return setStatusName(v.sets[size_t(catalogue.findSet(QLatin1String(set)))].status);
    }
    QString statesOf(const Verification& v, const char* set) const
    {
        QStringList states;
        for (const RomCheck& r : v.sets[size_t(catalogue.findSet(QLatin1String(set)))].roms)
            states.append(romStateName(r.state));
        return states.join(u',');
    }
};

} // namespace

TEST(DatCollection, EverySetAndRomStateIsTold)
{
    Collection c;
    for (MatchHash hash : {MatchHash::Crc, MatchHash::Sha1}) {
        const std::vector<ScannedItem> scan = c.scan(hash);
        const Verification v = verifyCollection(c.catalogue, scan, hash);
        struct Row
        {
            const char* set;
            const char* status;
            const char* states;
        } rows[] = {
            {"complete", "complete", "ok"},
            {"misnamed", "fixable", "misnamed"},
            {"gather", "fixable", "ok,elsewhere"},
            {"renamed", "fixable", "elsewhere,elsewhere"},
            {"loose", "fixable", "elsewhere"},
            {"incomplete", "incomplete", "ok,missing,nodump"},
            {"damaged", "incomplete", "damaged"},
            {"missing", "missing", "missing"},
            {"diskonly", "complete", ""},
            {"blocked", "fixable", "elsewhere"},
            {"kept", "complete", "ok"},
        };
        for (const Row& r : rows) {
            EXPECT_EQ(c.statusOf(v, r.set), QLatin1String(r.status)) << r.set;
            EXPECT_EQ(c.statesOf(v, r.set), QLatin1String(r.states)) << r.set;
        }
        EXPECT_EQ(v.counts.complete, 3);
        EXPECT_EQ(v.counts.fixable, 5);
        EXPECT_EQ(v.counts.incomplete, 2);
        EXPECT_EQ(v.counts.missing, 1);
        QStringList unknown;
        for (const FileRef& ref : v.unknown)
            unknown.append(foundPath(scan, ref).mid(c.dir.path().size() + 1));
        EXPECT_EQ(unknown.join(u'|'), QStringLiteral("complete.zip/readme.txt|junk.zip|notes.txt"));
        ASSERT_EQ(v.unreadable.size(), 1u);
        EXPECT_TRUE(scan[size_t(v.unreadable[0])].path.endsWith(QLatin1String("/blocked.zip")));
    }
}

// By SHA-1, a ROM whose CRC matches but whose SHA-1 does not is no longer that ROM.
TEST(DatCollection, Sha1DecidesWhereTheCatalogueGivesOne)
{
    QTemporaryDir dir;
    const QByteArray bytes = rom("s1");
    ASSERT_TRUE(makeZip(dir.filePath(QStringLiteral("s.zip")), {{QStringLiteral("s1.bin"), bytes}}));
    const QString text = QStringLiteral("game ( name s rom ( name s1.bin size %1 crc %2 sha1 %3 ) )")
                             .arg(bytes.size())
                             .arg(crcHex(bytes), sha1Hex("something else"));
    QString error;
    const std::optional<Catalogue> cat = parseCatalogue(text.toUtf8(), &error);
    ASSERT_TRUE(cat) << error;
    struct Row
    {
        MatchHash hash;
        RomState state;
    } rows[] = {{MatchHash::Crc, RomState::Ok}, {MatchHash::Sha1, RomState::Damaged}};
    for (const Row& r : rows) {
        const std::vector<ScannedItem> scan{scanFile(dir.filePath(QStringLiteral("s.zip")), r.hash)};
        EXPECT_EQ(verifyCollection(*cat, scan, r.hash).sets[0].roms[0].state, r.state);
    }
}

TEST(DatCollection, FixRenamesGathersAndLosesNothing)
{
    Collection c;
    const std::vector<QByteArray> before = contentsUnder(c.dir.path());
    const std::vector<ScannedItem> scan = c.scan();
    const Verification v = verifyCollection(c.catalogue, scan, MatchHash::Crc);
    const FixPlan plan = planFix(c.catalogue, scan, v);
    const QStringList lines = describePlan(plan);
    const QString d = c.dir.path() + u'/';
    EXPECT_TRUE(lines.contains(QStringLiteral("rename %1sub/Renamed (draft).zip to renamed.zip").arg(d)));
    EXPECT_TRUE(lines.contains(QStringLiteral("rename %1misnamed.zip/wrong name.bin to m1.bin").arg(d)));
    EXPECT_TRUE(lines.contains(QStringLiteral("copy %1complete.zip/g2.bin to %1sub/gather.zip/g2.bin").arg(d)));
    EXPECT_TRUE(lines.contains(QStringLiteral("create %1sub/loose.zip").arg(d)));
    EXPECT_TRUE(plan.notes.join(u'\n').contains(QStringLiteral("blocked.zip")));
    for (const FixStep& step : plan.steps) {
        QString detail;
        EXPECT_EQ(runFixStep(step, &detail), 0) << detail;
        EXPECT_TRUE(allPresent(c.dir.path(), c.roms));
    }
    EXPECT_TRUE(allPresent(c.dir.path(), before)); // nothing at all was lost
    EXPECT_EQ(readFile(d + QStringLiteral("blocked.zip")), QByteArray("not an archive"));

    const std::vector<ScannedItem> after = c.scan();
    const Verification w = verifyCollection(c.catalogue, after, MatchHash::Crc);
    for (const char* set : {"complete", "misnamed", "gather", "renamed", "loose", "diskonly", "kept"})
        EXPECT_EQ(c.statusOf(w, set), QStringLiteral("complete")) << set;
    EXPECT_EQ(c.statusOf(w, "damaged"), QStringLiteral("incomplete"));
    EXPECT_EQ(c.statusOf(w, "blocked"), QStringLiteral("fixable"));
    EXPECT_TRUE(planFix(c.catalogue, after, w).steps.empty()) << describePlan(planFix(c.catalogue, after, w)).join(u'\n');

    // The gathered ROM came as its stored bytes, not recompressed.
    zip_t* gather = zip_open(QFile::encodeName(d + QStringLiteral("sub/gather.zip")).constData(), ZIP_RDONLY, nullptr);
    ASSERT_TRUE(gather);
    zip_stat_t st;
    ASSERT_EQ(zip_stat(gather, "g2.bin", 0, &st), 0);
    EXPECT_EQ(st.comp_method, ZIP_CM_STORE);
    EXPECT_EQ(st.comp_size, 5000u);
    zip_discard(gather);
}

TEST(DatCollection, FixedArchivesPassOtherTools)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("unzip"));
    Collection c;
    const std::vector<ScannedItem> scan = c.scan();
    const FixPlan plan = planFix(c.catalogue, scan, verifyCollection(c.catalogue, scan, MatchHash::Crc));
    for (const FixStep& step : plan.steps) {
        QString detail;
        ASSERT_EQ(runFixStep(step, &detail), 0) << detail;
    }
    for (const char* archive : {"misnamed.zip", "sub/gather.zip", "sub/renamed.zip", "sub/loose.zip"}) {
        const ToolRun run = runTool(QStringLiteral("unzip"),
                                    {QStringLiteral("-t"), c.dir.filePath(QLatin1String(archive))});
        EXPECT_EQ(run.exitCode, 0) << archive << run.output.constData();
    }
}

TEST(DatCollection, FixdatListsExactlyWhatIsLackingAndNeverReplaces)
{
    Collection c;
    const std::vector<ScannedItem> scan = c.scan();
    const Verification v = verifyCollection(c.catalogue, scan, MatchHash::Crc);
    const QString out = c.dir.filePath(QStringLiteral("fix.xml"));
    ASSERT_EQ(writeNewFile(out, fixdatXml(c.catalogue, v)), 0);
    EXPECT_EQ(writeNewFile(out, "other"), EEXIST);
    QString error;
    const std::optional<Catalogue> fix = loadCatalogue(out, &error);
    ASSERT_TRUE(fix) << error;
    QStringList listed;
    for (const CatalogueSet& s : fix->sets) {
        for (const Rom& r : s.roms)
            listed.append(s.name + u'/' + r.name + u'/' + crcText(r.crc));
    }
    const auto crcOf = [&](const char* set, int r) {
        return crcText(c.catalogue.sets[size_t(c.catalogue.findSet(QLatin1String(set)))].roms[size_t(r)].crc);
    };
    EXPECT_EQ(listed.join(u' '), QStringLiteral("incomplete/i2.bin/%1 damaged/d1.bin/%2 missing/x1.bin/%3")
                                     .arg(crcOf("incomplete", 1), crcOf("damaged", 0), crcOf("missing", 0)));
    EXPECT_EQ(fix->header.name, QStringLiteral("Every State (fixdat)"));
}

TEST(DatCollection, FixdatIsXmlToPython)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    Collection c;
    const std::vector<ScannedItem> scan = c.scan();
    const QString out = c.dir.filePath(QStringLiteral("fix.xml"));
    ASSERT_EQ(writeNewFile(out, fixdatXml(c.catalogue, verifyCollection(c.catalogue, scan, MatchHash::Crc))), 0);
    const ToolRun run = runTool(
        QStringLiteral("python3"),
        {QStringLiteral("-c"),
         QStringLiteral("import sys, xml.etree.ElementTree as E; r = E.parse(sys.argv[1]).getroot(); "
                        "print(len(r.findall('game')), len(r.findall('game/rom')))"),
         out});
    EXPECT_EQ(run.output, QByteArray("3 3\n"));
}

// Sub-folders are searched, links to folders and hidden files are not.
TEST(DatCollection, ScanSkipsLinkedFoldersAndHiddenFiles)
{
    QTemporaryDir dir, outside;
    writeFile(dir.filePath(QStringLiteral("a/b/deep.bin")), "deep");
    writeFile(dir.filePath(QStringLiteral(".hidden.bin")), "hidden");
    writeFile(outside.filePath(QStringLiteral("far.bin")), "far");
    ASSERT_TRUE(QFile::link(outside.path(), dir.filePath(QStringLiteral("link"))));
    QStringList missing;
    const QStringList files =
        collectionFiles({dir.path(), dir.filePath(QStringLiteral("none"))}, &missing);
    EXPECT_EQ(files, QStringList{dir.filePath(QStringLiteral("a/b/deep.bin"))});
    EXPECT_EQ(missing, QStringList{dir.filePath(QStringLiteral("none"))});
    const ScannedItem item = scanFile(files.first(), MatchHash::Sha1);
    ASSERT_EQ(item.files.size(), 1u);
    EXPECT_EQ(crcText(item.files[0].crc), crcHex("deep"));
    EXPECT_EQ(hexText(item.files[0].sha1.data(), 20), sha1Hex("deep"));
    EXPECT_EQ(item.containerName(), QStringLiteral("b"));
}
