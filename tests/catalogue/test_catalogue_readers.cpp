// SPDX-License-Identifier: GPL-3.0-or-later
// Reading DAT catalogues: both forms, odd ones, and broken ones.
#include "catalogue/CatalogueReader.h"
#include "common/Tools.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace kelmar::catalogue;
using namespace kelmar::test;

namespace {

const char* const kText = R"DAT(clrmamepro (
	name "Odd System"
	description "Odd \"quoted\" System"
	version 20240101
	comment "ignored (with parentheses)"
)

game (
	name "Game \"One\" (USA)"
	description "Game One"
	year 1990
	rom ( name "one (a).bin" size 16 crc 1A2b3C4d md5 0123456789ABCDEF0123456789abcdef sha1 0123456789abcdef0123456789ABCDEF01234567 )
	rom ( name bare.bin size 4 crc 00ff00ff )
)

game (
	name "Game One (Europe)"
	cloneof "Game \"One\" (USA)"
	romof "Game \"One\" (USA)"
	rom ( name "one (a).bin" merge "one (a).bin" size 16 crc 1a2b3c4d )
	rom ( name "never.bin" size 8 flags nodump )
	rom ( name short.bin size 2 crc ff )
)

resource ( name bios rom ( name bios.rom size 1 crc 12345678 ) )

machine ( name disked rom ( name boot.bin size 3 crc 0BADF00D ) disk ( name hd1 sha1 89abcdef0123456789abcdef0123456789abcdef ) )
)DAT";

const char* const kXml = R"XML(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE datafile PUBLIC "-//Logiqx//DTD ROM Management Datafile//EN" "http://www.logiqx.com/Dats/datafile.dtd">
<datafile>
	<header>
		<name>Odd System</name>
		<description>Odd &quot;quoted&quot; System</description>
		<version>20240101</version>
	</header>
	<game name="Game &quot;One&quot; (USA)">
		<description>Game One</description>
		<rom name="one (a).bin" size="16" crc="1A2b3C4d" md5="0123456789ABCDEF0123456789abcdef" sha1="0123456789abcdef0123456789ABCDEF01234567"/>
		<rom name="bare.bin" size="4" crc="00ff00ff"/>
	</game>
	<game name="Game One (Europe)" cloneof="Game &quot;One&quot; (USA)" romof="Game &quot;One&quot; (USA)">
		<rom name="one (a).bin" merge="one (a).bin" size="16" crc="1a2b3c4d"/>
		<rom name="never.bin" size="8" status="nodump"/>
		<rom name="short.bin" size="2" crc="ff"/>
	</game>
	<game name="bios" isbios="yes"><rom name="bios.rom" size="1" crc="12345678"/></game>
	<machine name="disked"><rom name="boot.bin" size="3" crc="0BADF00D"/><disk name="hd1" sha1="89abcdef0123456789abcdef0123456789abcdef"/></machine>
</datafile>
)XML";

} // namespace

// The same catalogue in both forms reads the same, whichever way it is written.
TEST(CatalogueReaders, BothFormsReadTheSameOddCatalogue)
{
    for (const char* source : {kText, kXml}) {
        QString error;
        const std::optional<Catalogue> c = parseCatalogue(QByteArray(source), &error);
        ASSERT_TRUE(c) << error;
        EXPECT_EQ(c->header.name, QStringLiteral("Odd System"));
        EXPECT_EQ(c->header.description, QStringLiteral("Odd \"quoted\" System"));
        EXPECT_EQ(c->header.version, QStringLiteral("20240101"));
        ASSERT_EQ(c->sets.size(), 4u);
        EXPECT_EQ(c->romCount(), 7);
        EXPECT_EQ(c->diskCount(), 1);
        const CatalogueSet& one = c->sets[0];
        EXPECT_EQ(one.name, QStringLiteral("Game \"One\" (USA)"));
        EXPECT_EQ(one.description, QStringLiteral("Game One"));
        const Rom& a = one.roms[0];
        EXPECT_EQ(a.name, QStringLiteral("one (a).bin"));
        EXPECT_EQ(a.size, 16);
        EXPECT_EQ(a.crc, 0x1a2b3c4du);
        EXPECT_TRUE(a.hasMd5 && a.hasSha1);
        EXPECT_EQ(hexText(a.md5.data(), 16), QStringLiteral("0123456789abcdef0123456789abcdef"));
        EXPECT_EQ(hexText(a.sha1.data(), 20), QStringLiteral("0123456789abcdef0123456789abcdef01234567"));
        EXPECT_FALSE(one.roms[1].hasSha1);
        const CatalogueSet& clone = c->sets[1];
        EXPECT_EQ(clone.cloneOf, one.name);
        EXPECT_EQ(clone.romOf, one.name);
        EXPECT_EQ(clone.roms[0].merge, QStringLiteral("one (a).bin"));
        EXPECT_EQ(clone.roms[1].status, DumpStatus::NoDump);
        EXPECT_FALSE(clone.roms[1].hasCrc);
        EXPECT_EQ(clone.roms[2].crc, 0xffu);
        EXPECT_TRUE(c->sets[2].isBios);
        EXPECT_EQ(c->sets[3].disks[0].name, QStringLiteral("hd1"));
        EXPECT_EQ(c->findByCrc(16, 0x1a2b3c4d).size(), 2u);
        EXPECT_EQ(c->findSet(QStringLiteral("Game One (Europe)")), 1);
        EXPECT_EQ(c->findSet(QStringLiteral("game one (europe)")), -1);
    }
}

// Names in another encoding: the text form in Latin-1 (its bytes are not UTF-8), XML in the
// encoding its declaration names, from a file.
TEST(CatalogueReaders, EncodingsAreHonoured)
{
    QTemporaryDir dir;
    struct Case
    {
        const char* file;
        QByteArray bytes;
    } cases[] = {
        {"latin1.dat", QByteArray("game ( name \"Caf\xe9\" rom ( name \"\xe9t\xe9.bin\" size 1 crc 1 ) )\n")},
        {"utf8.dat", QByteArray("game ( name \"Caf\xc3\xa9\" rom ( name \"\xc3\xa9t\xc3\xa9.bin\" size 1 crc 1 ) )\n")},
        {"latin1.xml", QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<datafile><game "
                                  "name=\"Caf\xe9\"><rom name=\"\xe9t\xe9.bin\" size=\"1\" crc=\"1\"/>"
                                  "</game></datafile>\n")},
    };
    for (const Case& c : cases) {
        const QString path = dir.filePath(QLatin1String(c.file));
        writeFile(path, c.bytes);
        QString error;
        const std::optional<Catalogue> cat = loadCatalogue(path, &error);
        ASSERT_TRUE(cat) << c.file << ": " << error;
        EXPECT_EQ(cat->sets[0].name, QStringLiteral("Caf\u00e9")) << c.file;
        EXPECT_EQ(cat->sets[0].roms[0].name, QStringLiteral("\u00e9t\u00e9.bin")) << c.file;
    }
}

// A broken catalogue is refused with the line (and for XML the column) that is wrong.
TEST(CatalogueReaders, BrokenCataloguesNameTheirLine)
{
    struct Case
    {
        const char* bytes;
        const char* error;
    } cases[] = {
        {"game ( name a\n rom ( name b size 1 crc 1 )\n", "line 3: the file ends inside the 'game' block begun on line 1"},
        {"game ( name a\n rom ( name \"b size 1 )\n)\n", "line 2: a quoted text is not closed on its line"},
        {"game ( name a\n rom ( name b size 1 crc xyz )\n)\n", "line 2: crc 'xyz' is not a hex number"},
        {"game ( name a\n rom ( name b size -3 )\n)\n", "line 2: size '-3' is not a number"},
        {"game ( name a\n rom ( name b sha1 abc )\n)\n", "line 2: sha1 'abc' is not 40 hex digits"},
        {"game name a )\n", "line 1: '(' expected after 'game'"},
        {"\n\ngame ( rom ( name b ) )\n", "line 3: a set without a name"},
        {"", "no catalogue"},
        {"<datafile>\n<game name=\"a\">\n<rom name=\"b\" size=\"1\"/>\n", "line 4, column 1: "},
        {"<datafile>\n<game name=\"a\">\n<rom name=\"b\" size=\"x1\"/></game></datafile>", "line 3, column "},
        {"<datafile>\n<game name=\"a\"><rom name=\"b\" crc=\"123456789\"/></game>\n</datafile>",
         "crc '123456789' is not a hex number"},
        {"<datafile>\n<game><rom name=\"b\"/></game></datafile>", "line 2, column 7: a game without a name"},
    };
    for (const Case& c : cases) {
        QString error;
        EXPECT_FALSE(parseCatalogue(QByteArray(c.bytes), &error)) << c.bytes;
        EXPECT_TRUE(error.contains(QLatin1String(c.error))) << c.bytes << " gave: " << error;
    }
}

TEST(CatalogueReaders, FileErrorsNameTheFile)
{
    QTemporaryDir dir;
    QString error;
    EXPECT_FALSE(loadCatalogue(dir.filePath(QStringLiteral("none.dat")), &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("none.dat: "))) << error;
    writeFile(dir.filePath(QStringLiteral("cut.xml")), QByteArray("<datafile><game name=\"a\">"));
    EXPECT_FALSE(loadCatalogue(dir.filePath(QStringLiteral("cut.xml")), &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("cut.xml: line 1, column"))) << error;
}
