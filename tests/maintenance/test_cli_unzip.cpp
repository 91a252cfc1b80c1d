// SPDX-License-Identifier: GPL-3.0-or-later
// kelmar-cli unzip, space and delete, run as a program on real folders.
#include "common/Tools.h"
#include "maintenance/CliRun.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace kelmar::test;

namespace {

void zipFolder(const QString& sources, const QString& archive)
{
    ASSERT_EQ(runTool(QStringLiteral("zip"), {QStringLiteral("-qr"), archive, QStringLiteral(".")},
                      sources)
                  .exitCode,
              0);
}

QStringList filesBelow(const QString& folder)
{
    QStringList names;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        names << QDir(folder).relativeFilePath(it.next());
    names.sort();
    return names;
}

} // namespace

TEST(CliUnzip, OptionsOfTheUnzipTabAsFlagsAndExitStatusByFailures)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    QTemporaryDir home, dir;
    writeFile(dir.filePath(QStringLiteral("src/roms/Game.NES")), textBytes(20000, 1));
    writeFile(dir.filePath(QStringLiteral("src/readme.txt")), "read me");
    const QString zips = dir.filePath(QStringLiteral("zips"));
    QDir().mkpath(zips);
    zipFolder(dir.filePath(QStringLiteral("src")), zips + QStringLiteral("/Super Game.zip"));
    const QString out = dir.filePath(QStringLiteral("out"));
    CliRun run =
        cli({QStringLiteral("unzip"), QStringLiteral("--to"), out, QStringLiteral("--folders"),
             QStringLiteral("--ignore-folders"), QStringLiteral("--rom-filter"),
             QStringLiteral("*.nes"), QStringLiteral("--delete-archives"),
             QStringLiteral("--rename"), QStringLiteral("upper"), zips},
            home.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const QString archive = QDir::cleanPath(zips) + QStringLiteral("/Super Game.zip");
    EXPECT_EQ(run.out, QStringLiteral("Unzipped ") + archive + QStringLiteral("\nDeleted ") +
                           archive + QStringLiteral("\nUnzipped 1 archive (1 deleted)\n"));
    EXPECT_EQ(filesBelow(out), QStringList{QStringLiteral("Super Game/SUPER GAME.NES")});
    EXPECT_TRUE(run.err.contains(QStringLiteral("1 files renamed"))) << run.err;

    // Without switches the stored folders are kept and nothing is deleted or renamed.
    zipFolder(dir.filePath(QStringLiteral("src")), zips + QStringLiteral("/b.zip"));
    writeFile(zips + QStringLiteral("/c.zip"), "no archive at all");
    run = cli({QStringLiteral("unzip"), QStringLiteral("--same-folder"), zips}, home.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.contains(QStringLiteral("Error unzipping ") + QDir::cleanPath(zips) +
                                 QStringLiteral("/c.zip\n")))
        << run.out;
    EXPECT_EQ(filesBelow(zips),
              (QStringList{QStringLiteral("b.zip"), QStringLiteral("c.zip"),
                           QStringLiteral("readme.txt"), QStringLiteral("roms/Game.NES")}));
}

// Renamed upper case: a change of case alone is made, and a name that differs only in case
// from a file already there is not taken (the two would be one name on a FAT or exFAT card).
TEST(CliUnzip, RenamesChangeCaseAloneButNeverToAnotherFilesNameInAnotherCase)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    QTemporaryDir home, dir;
    const QString zips = dir.filePath(QStringLiteral("zips"));
    writeFile(dir.filePath(QStringLiteral("g1/g1.rom")), "g1");
    writeFile(dir.filePath(QStringLiteral("game/a.nes")), "a");
    writeFile(dir.filePath(QStringLiteral("game/game.nes")), "game");
    QDir().mkpath(zips);
    zipFolder(dir.filePath(QStringLiteral("g1")), zips + QStringLiteral("/g1.zip"));
    zipFolder(dir.filePath(QStringLiteral("game")), zips + QStringLiteral("/game.zip"));
    const QString out = dir.filePath(QStringLiteral("out"));
    const CliRun run = cli({QStringLiteral("unzip"), QStringLiteral("--to"), out,
                            QStringLiteral("--rename"), QStringLiteral("upper"), zips},
                           home.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(filesBelow(out), (QStringList{QStringLiteral("G1.ROM"), QStringLiteral("GAME.NES"),
                                            QStringLiteral("a.nes")}));
    EXPECT_EQ(readFile(out + QStringLiteral("/GAME.NES")), "game");
    EXPECT_TRUE(run.out.contains(QStringLiteral("Error renaming ") + out +
                                 QStringLiteral("/a.nes! ") + out +
                                 QStringLiteral("/GAME.NES would differ only in case from ") + out +
                                 QStringLiteral("/game.nes")) ||
                run.out.contains(QStringLiteral("/a.nes! ") + out +
                                 QStringLiteral("/GAME.NES already exists.")))
        << run.out;
    EXPECT_TRUE(run.err.contains(QStringLiteral("2 files renamed"))) << run.err;
}

// An archive whose name without ".zip" is "." or ".." has no folder of its own: it fails,
// and nothing is written, in the destination's parent least of all.
TEST(CliUnzip, AnArchiveNamedLikeDotsGetsNoFolderOfItsOwn)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    const struct
    {
        const char* escape;
        QString archive;
        QStringList where; // "@" for the temporary folder
        QString reason;
    } cases[] = {
        {"three dots into the destination's parent",
         QStringLiteral("...zip"),
         {QStringLiteral("--to"), QStringLiteral("@/out")},
         QStringLiteral("\"..\"")},
        {"two dots into the destination itself",
         QStringLiteral("..zip"),
         {QStringLiteral("--to"), QStringLiteral("@/out")},
         QStringLiteral("\".\"")},
        {"three dots beside the archive, into its folder's parent",
         QStringLiteral("...zip"),
         {QStringLiteral("--same-folder")},
         QStringLiteral("\"..\"")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.escape);
        QTemporaryDir home, dir;
        const QString root = QDir::cleanPath(dir.path());
        writeFile(root + QStringLiteral("/src/game.nes"), "game");
        QDir().mkpath(root + QStringLiteral("/zips/out"));
        const QString archive = root + QStringLiteral("/zips/") + c.archive;
        zipFolder(root + QStringLiteral("/src"), archive);
        const QStringList before = filesBelow(root);
        QStringList args{QStringLiteral("unzip"), QStringLiteral("--folders"),
                         QStringLiteral("--delete-archives")};
        args += c.where;
        args.replaceInStrings(QStringLiteral("@"), root + QStringLiteral("/zips"));
        const CliRun run = cli(args << archive, home.path());
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_TRUE(run.out.startsWith(QStringLiteral("Error unzipping ") + archive +
                                       QStringLiteral("\n    its folder would be ") + c.reason))
            << run.out;
        EXPECT_EQ(filesBelow(root), before);
        EXPECT_TRUE(QDir(root + QStringLiteral("/zips/out")).isEmpty());
    }
}

TEST(CliUnzip, UsageErrors)
{
    QTemporaryDir home, dir;
    writeFile(dir.filePath(QStringLiteral("a.zip")), "x");
    writeFile(dir.filePath(QStringLiteral("a.txt")), "x");
    const QString a = dir.filePath(QStringLiteral("a.zip"));
    for (const QStringList& args :
         {QStringList{QStringLiteral("unzip"), a},
          QStringList{QStringLiteral("unzip"), QStringLiteral("--same-folder"),
                      QStringLiteral("--to"), dir.path(), a},
          QStringList{QStringLiteral("unzip"), QStringLiteral("--same-folder"),
                      QStringLiteral("--rename"), QStringLiteral("title"), a},
          QStringList{QStringLiteral("unzip"), QStringLiteral("--same-folder"),
                      dir.filePath(QStringLiteral("a.txt"))},
          QStringList{QStringLiteral("space")},
          QStringList{QStringLiteral("delete"), QStringLiteral("--yes"), dir.path()}}) {
        EXPECT_EQ(cli(args, home.path()).exitCode, 2) << args.join(u' ');
    }
    const CliRun help = cli({QStringLiteral("--help")}, home.path());
    for (const char* word : {"unzip", "--same-folder", "--rename", "space", "delete", "--yes"})
        EXPECT_TRUE(help.out.contains(QLatin1String(word))) << word;
}

TEST(CliSpace, OneTotalForAllFoldersAsZipinfoCountsIt)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    QTemporaryDir home, dir;
    writeFile(dir.filePath(QStringLiteral("src/a.nes")), textBytes(1500000, 1));
    QDir(dir.path()).mkpath(QStringLiteral("one"));
    QDir(dir.path()).mkpath(QStringLiteral("two"));
    zipFolder(dir.filePath(QStringLiteral("src")), dir.filePath(QStringLiteral("one/a.zip")));
    zipFolder(dir.filePath(QStringLiteral("src")), dir.filePath(QStringLiteral("two/b.zip")));
    const CliRun run = cli({QStringLiteral("space"), dir.filePath(QStringLiteral("one")),
                            dir.filePath(QStringLiteral("two/b.zip"))},
                           home.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, QStringLiteral("3,000,000 unzipped bytes in 2 files\n"
                                      "Listed 2 archives: 3,000,000 bytes unzipped\n"));
}

TEST(CliDelete, AsksOnATerminalRefusesOtherwiseAndDeletesWithYes)
{
    QTemporaryDir home, dir;
    writeFile(dir.filePath(QStringLiteral("a.nes")), "x");
    writeFile(dir.filePath(QStringLiteral("b.zip")), "x");
    const QStringList files{dir.filePath(QStringLiteral("b.zip")),
                            dir.filePath(QStringLiteral("a.nes"))};
    CliRun run = cli(QStringList{QStringLiteral("delete")} + files, home.path());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2);
    run = cli(QStringList{QStringLiteral("delete"), QStringLiteral("--yes")} + files, home.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, QStringLiteral("Deleted ") + files[0] + QStringLiteral("\nDeleted ") +
                           files[1] + QStringLiteral("\nDeleted 2 files\n"));
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

TEST(CliUnzip, EntriesSharingTheirDataAreRefusedBeforeAnythingIsWritten)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    // Twenty directory records of one name, all pointing at the one entry: a small archive
    // that would unpack into twenty times its entry.
    QTemporaryDir home, dir;
    const QString archive = dir.filePath(QStringLiteral("zips/bomb.zip"));
    QDir().mkpath(dir.filePath(QStringLiteral("zips")));
    ASSERT_EQ(runTool(QStringLiteral("python3"), {QStringLiteral("-c"), QStringLiteral(R"PY(
import struct, sys, zipfile
z = zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED)
z.writestr('big.nes', bytes(4 << 20))
z.close()
b = open(sys.argv[1], 'rb').read()
end = b.rfind(b'PK\5\6')
cd = struct.unpack_from('<I', b, end + 16)[0]
record = b[cd:end]
open(sys.argv[1], 'wb').write(b[:cd] + record * 20 +
    struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, 20, 20, len(record) * 20, cd, 0))
)PY"),
                                                  archive})
                  .exitCode,
              0);
    const QString out = dir.filePath(QStringLiteral("out"));
    const CliRun run = cli({QStringLiteral("unzip"), QStringLiteral("--to"), out,
                            QStringLiteral("--delete-archives"), archive},
                           home.path());
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_TRUE(run.out.contains(QStringLiteral("shares its data"))) << run.out;
    EXPECT_TRUE(filesBelow(out).isEmpty()) << filesBelow(out).join(u' ');
    EXPECT_TRUE(QFileInfo::exists(archive));
}
