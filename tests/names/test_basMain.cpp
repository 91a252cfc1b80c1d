// SPDX-License-Identifier: GPL-3.0-or-later
#include "names/basMain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace basMain;

namespace {

void touch(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write("x");
}

void makeLink(const QString& target, const QString& linkPath)
{
    ASSERT_TRUE(QFile::link(target, linkPath)) << linkPath.toStdString();
}

// A scratch folder with an empty sub-folder "d" to work in.
struct Scratch
{
    QTemporaryDir tmp;
    QString d = tmp.path() + QStringLiteral("/d");
    Scratch() { QDir().mkpath(d); }
};

} // namespace

TEST(basMain, SplittersScanOnlyForTheSlashAndTreatBackslashAsOrdinary)
{
    EXPECT_EQ(StripExtension("a.b.c"), "a.b");
    EXPECT_EQ(StripExtension(".cfg"), "");
    EXPECT_EQ(StripExtension("/roms/dir.old/readme"), "/roms/dir.old/readme");
    EXPECT_EQ(StripExtension("x.y\\readme"), "x");
    EXPECT_EQ(StripExtension(""), "");

    EXPECT_EQ(GetExtension("game.zip"), ".zip");
    EXPECT_EQ(GetExtension("name."), ".");
    EXPECT_EQ(GetExtension("/roms/readme"), "");
    EXPECT_EQ(GetExtension("/roms.d/readme"), "");
    EXPECT_EQ(GetExtension("readme"), "readme");
    EXPECT_EQ(GetExtension("x.y\\readme"), ".y\\readme");
    EXPECT_EQ(GetExtension(""), "");

    EXPECT_EQ(GetFileName("/roms/a.zip"), "a.zip");
    EXPECT_EQ(GetFileName("/roms/"), "");
    EXPECT_EQ(GetFileName("a.zip"), "a.zip");
    EXPECT_EQ(GetFileName("C:\\roms\\a.zip"), "C:\\roms\\a.zip");
}

TEST(basMain, RemoveInvalidCharsCleansInPlaceAndReturnsEmpty)
{
    QString name = "a:b?<c>.zip";
    EXPECT_EQ(RemoveInvalidChars(name), "");
    EXPECT_EQ(name, "abc.zip");
    name = "\\/:*?<>|\"ok [1] ~.zip";
    RemoveInvalidChars(name);
    EXPECT_EQ(name, "ok [1] ~.zip");
}

TEST(basMain, MakeTempNameSkipsTakenFilesButNotFoldersOrOtherCase)
{
    Scratch s;
    QString folder = s.d;
    EXPECT_EQ(MakeTempName(folder), s.d + "/~temp1.tmp");
    EXPECT_EQ(folder, s.d + "/");
    EXPECT_EQ(MakeTempName(folder), s.d + "/~temp1.tmp"); // no second separator

    touch(folder + "~temp1.tmp");
    makeLink(folder + "~temp1.tmp", folder + "~temp2.tmp");
    QDir().mkdir(folder + "~temp3.tmp");
    touch(folder + "~TEMP3.TMP");
    EXPECT_EQ(MakeTempName(folder), folder + "~temp3.tmp");
}

TEST(basMain, MakeTempNameIsEmptyWhenAll999AreTaken)
{
    Scratch s;
    for (int n = 1; n <= 999; ++n)
        touch(s.d + QStringLiteral("/~temp%1.tmp").arg(n));
    QString folder = s.d + "/";
    EXPECT_EQ(MakeTempName(folder), "");
    QFile::remove(s.d + "/~temp10.tmp");
    EXPECT_EQ(MakeTempName(folder), s.d + "/~temp10.tmp");
}

TEST(basMain, FileExistsSeesOnlyVisibleFilesByExactName)
{
    Scratch s;
    touch(s.d + "/Game.zip");
    touch(s.d + "/.hidden");
    makeLink(s.d + "/Game.zip", s.d + "/linkfile");
    makeLink(s.d + "/sub", s.d + "/linkdir");
    makeLink(s.d + "/nowhere", s.d + "/dangling");
    QDir().mkdir(s.d + "/sub");

    EXPECT_TRUE(FileExists(s.d + "/Game.zip"));
    EXPECT_FALSE(FileExists(s.d + "/game.zip"));
    EXPECT_TRUE(FileExists(s.d + "/linkfile"));
    for (const char* name : {"/sub", "/sub/", "/linkdir", "/dangling", "/.hidden", "/missing"})
        EXPECT_FALSE(FileExists(s.d + name)) << name;
    EXPECT_FALSE(FileExists(s.d));
    EXPECT_FALSE(FileExists(""));
}

TEST(basMain, FileExistsPatternNeedsAVisibleFile)
{
    Scratch s;
    EXPECT_FALSE(FileExists(s.d + "/*")); // empty folder
    touch(s.d + "/.hidden");
    EXPECT_FALSE(FileExists(s.d + "/*"));
    EXPECT_FALSE(FileExists(s.d + "/.*"));
    QDir().mkdir(s.d + "/sub");
    makeLink(s.d + "/sub", s.d + "/linkdir");
    EXPECT_FALSE(FileExists(s.d + "/*"));
    makeLink(s.d + "/sub/f.nes", s.d + "/linkfile");
    EXPECT_FALSE(FileExists(s.d + "/*")); // only a dangling link so far
    touch(s.d + "/sub/f.nes");
    EXPECT_TRUE(FileExists(s.d + "/*"));
    EXPECT_TRUE(FileExists(s.d + "/sub/*.NES"));
    EXPECT_TRUE(FileExists(s.d + "/sub/?.nes"));
    EXPECT_FALSE(FileExists(s.d + "/sub/??.nes"));
}

// The one test of what counts as an archive, for the window, the command line and the batches.
TEST(basMain, AnArchiveIsANameEndingInZipInAnyCase)
{
    for (const char* name : {"GAME.ZIP", "game.zip", "x.Zip", "/roms/a b.zIp"})
        EXPECT_TRUE(HasZipExtension(QString::fromUtf8(name))) << name;
    for (const char* name : {"game.zip.bak", "gamezip", "zip", "game.7z", ""})
        EXPECT_FALSE(HasZipExtension(QString::fromUtf8(name))) << name;
}

TEST(basMain, FileExistsPatternTakesBracketsAndFolderWildcardsLiterally)
{
    Scratch s;
    touch(s.d + "/a.zip");
    touch(s.d + "/[b] x.zip");
    EXPECT_FALSE(FileExists(s.d + "/[ab].zip"));
    EXPECT_TRUE(FileExists(s.d + "/[B]*"));

    EXPECT_FALSE(FileExists(s.tmp.path() + "/?/*.zip"));
    EXPECT_FALSE(FileExists(s.tmp.path() + "/missing/*"));
    EXPECT_FALSE(FileExists(s.d + "/a.zip/*")); // folder part is a file
    QDir().mkdir(s.tmp.path() + "/?");
    touch(s.tmp.path() + "/?/c.zip");
    EXPECT_TRUE(FileExists(s.tmp.path() + "/?/*.zip"));
}
