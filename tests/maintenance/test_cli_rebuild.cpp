// SPDX-License-Identifier: GPL-3.0-or-later
// kelmar-cli rezip, remove-non-roms and attributes, run as a program on real archives.
#include "common/Tools.h"
#include "maintenance/CliRun.h"
#include "maintenance/RebuildFixture.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace kelmar::test;

TEST(CliRebuild, EachCommandWithItsFlagsAndAFullDisk)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("7zz"));
    QTemporaryDir home, dir;
    writeFile(dir.filePath("work/a/game.nes"), noiseBytes(200000, 1));
    writeFile(dir.filePath("work/b/notes.txt"), textBytes(3000, 2));
    const QString archive = dir.filePath("set.zip");
    ASSERT_EQ(runTool("zip", {"-qr", archive, "a", "b"}, dir.filePath("work")).exitCode, 0);
    const QByteArray before = readFile(archive);

    // A file-size limit: nothing changes, and the exit status says so. There is space to be
    // had, so it is a write error, as when zipping.
    CliRun run = cli({"rezip", "--level", "9", dir.path()}, home.path(), 100);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(run.out.startsWith("Error when rezipping " + archive + "\n    Write error"))
        << run.out;
    EXPECT_TRUE(run.out.contains("File too large")) << run.out;
    EXPECT_EQ(readFile(archive), before);

    run = cli({"rezip", "--level", "9", "--password", "pw", archive}, home.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(runTool("7zz", {"t", "-ppw", archive}).exitCode, 0);

    run = cli({"remove-non-roms", "--rom-filter", "*.nes", archive}, home.path());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains("--yes")) << run.err;
    run = cli({"remove-non-roms", "--yes", "--rom-filter", "*.nes", archive}, home.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Removed 1 entries from " + archive +
                           "\nRemoved non-ROM files from 1 archive\n");

    run = cli({"attributes", "--read-only", "--archive", "--unzip-password", "pw", archive},
              home.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const QList<ListedEntry> entries = listEntries(archive);
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].name, QStringLiteral("game.nes"));
    EXPECT_EQ(entries[0].external & 0xFF, 0x21u);

    run = cli({"attributes", "--system", archive}, home.path());
    EXPECT_EQ(run.exitCode, 2);
}

TEST(CliRebuild, RemoveNonRomsNamesTwoEntriesOfOneName)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    QTemporaryDir home, dir;
    const QString archive = dir.filePath("twice.zip");
    ASSERT_EQ(runTool("python3", {"-W", "ignore", "-c",
                                  "import sys, zipfile\n"
                                  "z = zipfile.ZipFile(sys.argv[1], 'w')\n"
                                  "z.writestr('game.nes', b'one')\n"
                                  "z.writestr('game.nes', b'two')\n"
                                  "z.writestr('notes.txt', b'text')\n",
                                  archive})
                  .exitCode,
              0);
    const QByteArray before = readFile(archive);
    const CliRun run =
        cli({"remove-non-roms", "--yes", "--rom-filter", "*.nes", archive}, home.path());
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(run.out.contains("game.nes and game.nes would both be stored as game.nes"))
        << run.out;
    EXPECT_EQ(readFile(archive), before);
}
