// SPDX-License-Identifier: GPL-3.0-or-later
// kelmar-cli zip and folders-to-zips, run as a program on real folders.
#include "common/Tools.h"
#include "maintenance/CliRun.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace kelmar::test;

namespace {

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

TEST(CliZip, PerFileAndSingleArchivesWithTheirFlags)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("unzip"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("7zz"));
    QTemporaryDir home, dir;
    const QString roms = dir.filePath(QStringLiteral("roms"));
    const QString out = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(out);
    writeFile(roms + QStringLiteral("/Pac Man.nes"), textBytes(30000, 1));
    writeFile(roms + QStringLiteral("/tetris.gb"), textBytes(20000, 2));
    writeFile(dir.filePath(QStringLiteral("info.nfo")), "from us");

    CliRun run = cli({"zip", "--to", out, "--case", "upper", "--original-extensions", "--info-file",
                      dir.filePath("info.nfo"), roms},
                     home.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.split(u'\n', Qt::SkipEmptyParts),
              QStringList({"Individually Zipping the Following Files to " + out + "/",
                           roms + "/Pac Man.nes", dir.filePath("info.nfo"), roms + "/tetris.gb",
                           dir.filePath("info.nfo"), "Zipped 2 files into 2 archives"}));
    EXPECT_EQ(filesIn(out), QStringList({"PAC MAN.NES.ZIP", "TETRIS.GB.ZIP"}));
    EXPECT_EQ(runTool("unzip", {"-tqq", out + "/TETRIS.GB.ZIP"}).exitCode, 0);
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("info.nfo"))), QByteArray("from us"));

    run = cli({"zip", "--single", out + "/all.zip", "--password", "pw", "--level", "9",
               "--delete-originals", roms + "/tetris.gb", roms + "/Pac Man.nes"},
              home.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.out.startsWith("Zipping files: " + roms + "/tetris.gb\n")) << run.out;
    EXPECT_EQ(runTool("7zz", {"t", "-ppw", out + "/all.zip"}).exitCode, 0);
    EXPECT_TRUE(filesIn(roms).isEmpty());

    // Usage errors.
    EXPECT_EQ(cli({"zip", out}, home.path()).exitCode, 2);
    EXPECT_EQ(cli({"zip", "--level", "11", "--same-folder", out}, home.path()).exitCode, 2);
    // A file where the folder should be is refused; a missing folder is made.
    EXPECT_EQ(cli({"zip", "--to", out + "/all.zip", out}, home.path()).exitCode, 2);
    EXPECT_EQ(
        cli({"zip", "--to", dir.filePath("made/here"), out + "/all.zip"}, home.path()).exitCode, 0);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("made/here/all.zip")));
}

TEST(CliZip, AFileSizeLimitFailsTheLargeArchiveKeepsItsSourceAndExitsOne)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("bash"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("unzip"));
    QTemporaryDir home, dir;
    const QString roms = dir.filePath(QStringLiteral("roms"));
    writeFile(roms + QStringLiteral("/a.nes"), noiseBytes(20000, 1));
    writeFile(roms + QStringLiteral("/big.iso"), noiseBytes(400000, 2));
    writeFile(roms + QStringLiteral("/c.nes"), noiseBytes(20000, 3));
    const CliRun run = cli({"zip", "--same-folder", "--delete-originals", roms}, home.path(), 200);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(run.err.contains(roms + QStringLiteral("/big.zip: error 7"))) << run.err;
    EXPECT_EQ(filesIn(roms), QStringList({"a.zip", "big.iso", "c.zip"}));
    EXPECT_EQ(readFile(roms + QStringLiteral("/big.iso")), noiseBytes(400000, 2));
    EXPECT_EQ(runTool("unzip", {"-tqq", roms + "/c.zip"}).exitCode, 0);
}

TEST(CliZip, FoldersToZipsKeepsFoldersUnlessAskedAndReportsEach)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zipinfo"));
    QTemporaryDir home, dir;
    const QString sets = dir.filePath(QStringLiteral("sets"));
    writeFile(sets + QStringLiteral("/One/a.rom"), textBytes(5000, 1));
    writeFile(sets + QStringLiteral("/Two/Disc/b.rom"), textBytes(5000, 2));

    CliRun run = cli({"folders-to-zips", sets}, home.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, sets + "/One -> " + sets + "/One.zip\n" + sets + "/Two -> " + sets +
                           "/Two.zip\nZipped 2 folders into archives\n");
    EXPECT_EQ(filesIn(sets), QStringList({"One", "One.zip", "Two", "Two.zip"}));

    QFile::remove(sets + QStringLiteral("/Two.zip"));
    run = cli({"folders-to-zips", "--delete-folders", "--keep-paths", sets}, home.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.out.contains(QStringLiteral("/Two.zip (folder deleted)"))) << run.out;
    EXPECT_EQ(filesIn(sets), QStringList({"One.zip", "Two.zip"}));
    const ToolRun names = runTool("zipinfo", {"-1", sets + "/Two.zip"});
    EXPECT_EQ(QString::fromUtf8(names.output), QStringLiteral("Disc/b.rom\n"));

    EXPECT_EQ(cli({"folders-to-zips"}, home.path()).exitCode, 2);

    // The folders are gone: the window's notice, and nothing to do.
    run = cli({"folders-to-zips", "--delete-folders", sets}, home.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.out.isEmpty()) << run.out;
    EXPECT_TRUE(run.err.contains(QStringLiteral("Whoops!: This folder has no sub folders to zip!")))
        << run.err;
}
