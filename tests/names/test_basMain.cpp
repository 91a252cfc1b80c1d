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

TEST(basMain, TrimAtNullGivesEmptyTextWithoutNul)
{
    EXPECT_EQ(TrimAtNull(QStringLiteral("abc") + QChar(0) + "xyz"), "abc");
    EXPECT_EQ(TrimAtNull(QString(QChar(0))), "");
    EXPECT_EQ(TrimAtNull("abc"), "");
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

TEST(basMain, GetShortPathIsThePathWhenItExists)
{
    Scratch s;
    touch(s.d + "/f.zip");
    EXPECT_EQ(GetShortPath(s.d + "/f.zip"), s.d + "/f.zip");
    EXPECT_EQ(GetShortPath(s.d), s.d);
    EXPECT_EQ(GetShortPath(s.d + "/missing"), "");
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

TEST(basMain, DeleteFolderTreeRemovesNestedFoldersAndRefusesMissingOnes)
{
    Scratch s;
    QDir().mkpath(s.d + "/a/b/c");
    touch(s.d + "/top.zip");
    touch(s.d + "/a/b/c/deep.nes");
    touch(s.d + "/a/mid.nes");
    QString error;
    EXPECT_TRUE(DeleteFolderTree(s.d + "/", &error)) << error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(s.d));

    EXPECT_FALSE(DeleteFolderTree(s.d, &error));
    EXPECT_FALSE(error.isEmpty());
    touch(s.tmp.path() + "/plain");
    EXPECT_FALSE(DeleteFolderTree(s.tmp.path() + "/plain", &error));
    EXPECT_TRUE(QFileInfo::exists(s.tmp.path() + "/plain"));
}

TEST(basMain, DeleteFolderTreeRemovesLinksButNeverTheirTargets)
{
    Scratch s;
    const QString outside = s.tmp.path() + "/outside";
    QDir().mkpath(outside + "/keep");
    touch(outside + "/keep/precious.nes");
    touch(outside + "/file.zip");
    QDir().mkdir(s.d + "/sub");
    makeLink(outside + "/keep", s.d + "/sub/dirlink");
    makeLink(outside + "/file.zip", s.d + "/filelink");
    makeLink(s.d + "/nowhere", s.d + "/dangling");

    QString error;
    EXPECT_TRUE(DeleteFolderTree(s.d, &error)) << error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(s.d));
    EXPECT_TRUE(QFileInfo::exists(outside + "/keep/precious.nes"));
    EXPECT_TRUE(QFileInfo::exists(outside + "/file.zip"));

    // The folder argument itself being a link: only the link goes.
    makeLink(outside + "/keep", s.tmp.path() + "/toplink");
    EXPECT_TRUE(DeleteFolderTree(s.tmp.path() + "/toplink/", &error)) << error.toStdString();
    EXPECT_FALSE(QFileInfo(s.tmp.path() + "/toplink").isSymLink());
    EXPECT_TRUE(QFileInfo::exists(outside + "/keep/precious.nes"));
}

TEST(basMain, DeleteFolderTreeLeavesHiddenFilesAndFails)
{
    Scratch s;
    QDir().mkpath(s.d + "/sub");
    touch(s.d + "/sub/.keep");
    touch(s.d + "/sub/gone.nes");
    QString error;
    EXPECT_FALSE(DeleteFolderTree(s.d, &error));
    EXPECT_TRUE(error.contains("sub")) << error.toStdString();
    EXPECT_TRUE(QFileInfo::exists(s.d + "/sub/.keep"));
    EXPECT_FALSE(QFileInfo::exists(s.d + "/sub/gone.nes"));
}

TEST(basMain, DeleteFolderTreeStopsAtReadOnlyFileEvenForRoot)
{
    Scratch s;
    const QString file = s.d + "/locked.zip";
    touch(file);
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0444), 0);
    QString error;
    EXPECT_FALSE(DeleteFolderTree(s.d, &error));
    EXPECT_TRUE(error.contains("locked.zip")) << error.toStdString();
    EXPECT_TRUE(QFileInfo::exists(file));
    ::chmod(QFile::encodeName(file).constData(), 0644);
}
