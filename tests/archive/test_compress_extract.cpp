// SPDX-License-Identifier: GPL-3.0-or-later
// Archives written by compress, read back by real tools; extraction read back from disk.
#include "CorpusFixture.h"
#include "archive/ZipComponent.h"
#include "common/Scoped.h"
#include "common/Tools.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMap>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace kelmar;
using namespace kelmar::test;

namespace {

// Names and sizes as zipinfo lists them (files only).
QMap<QString, qint64> zipinfoListing(const QString& archive)
{
    QMap<QString, qint64> result;
    const ToolRun run = runTool(QStringLiteral("zipinfo"), {QStringLiteral("-l"), archive});
    for (const QByteArray& line : run.output.split('\n')) {
        // -rw-r--r--  6.3 unx   307200 bx   123456 defN 24-Jan-01 12:00 name with spaces
        const QList<QByteArray> parts = line.simplified().split(' ');
        if (parts.size() < 10 || !(line.startsWith('-') || line.startsWith('?')))
            continue;
        const qsizetype at = line.indexOf(parts.at(8)) + parts.at(8).size() + 1;
        result.insert(QString::fromUtf8(line.mid(at)), parts.at(3).toLongLong());
    }
    return result;
}

QMap<QString, qint64> sourceListing(const CorpusFixture& fixture)
{
    QMap<QString, qint64> result;
    for (const QString& name : CorpusFixture::sourceNames())
        result.insert(name, QFileInfo(fixture.sources() + u'/' + name).size());
    return result;
}

int compressFolder(ZipComponent& zip, const QString& folder, const QString& archive, int level,
                   const QString& password = QString())
{
    zip.setArchivePath(archive);
    zip.setFileMask(folder + QStringLiteral("/*"));
    zip.setProcessSubfolders(true);
    zip.setKeepFolderNames(true);
    zip.setLevel(level);
    zip.setPassword(password);
    return zip.compress(0);
}

// Every file below folder, relative, with its bytes.
QMap<QString, QByteArray> tree(const QString& folder)
{
    QMap<QString, QByteArray> result;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        result.insert(QDir(folder).relativeFilePath(path), readFile(path));
    }
    return result;
}

// Makes an archive with Python, entries given as (name, content, unix mode).
bool craftArchive(const QString& archive,
                  const QList<std::tuple<QString, QByteArray, int>>& entries)
{
    QString script = QStringLiteral("import sys, zipfile\n"
                                    "z = zipfile.ZipFile(sys.argv[1], 'w')\n");
    for (const auto& [name, content, mode] : entries) {
        script += QStringLiteral("i = zipfile.ZipInfo(bytes.fromhex('%1').decode())\n"
                                 "i.create_system = 3\n"
                                 "i.external_attr = 0o%2 << 16\n"
                                 "z.writestr(i, bytes.fromhex('%3'))\n")
                      .arg(QString::fromLatin1(name.toUtf8().toHex()))
                      .arg(mode, 0, 8)
                      .arg(QString::fromLatin1(content.toHex()));
    }
    script += QStringLiteral("z.close()\n");
    return runTool(QStringLiteral("python3"), {QStringLiteral("-c"), script, archive}).exitCode ==
           0;
}

} // namespace

TEST(Compress, ArchivesPassUnzipAndSevenZipAndListLikeZipinfoAtEveryLevel)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("unzip"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("7zz"));
    CorpusFixture fixture;
    for (int level : {0, 1, 6, 9}) {
        SCOPED_TRACE(level);
        const QString archive = fixture.path(QStringLiteral("level%1.zip").arg(level));
        ZipComponent zip;
        ASSERT_EQ(compressFolder(zip, fixture.sources(), archive, level), ZipOk)
            << zip.lastErrorDetail();
        const ToolRun unzip = runTool(QStringLiteral("unzip"), {QStringLiteral("-t"), archive});
        EXPECT_EQ(unzip.exitCode, 0) << unzip.output.toStdString();
        const ToolRun seven = runTool(QStringLiteral("7zz"),
                                      {QStringLiteral("t"), QStringLiteral("-pnone"), archive});
        EXPECT_EQ(seven.exitCode, 0) << seven.output.toStdString();
        EXPECT_EQ(zipinfoListing(archive), sourceListing(fixture));
        const ToolRun info = runTool(QStringLiteral("zipinfo"), {archive});
        // Level 0 stores everything; otherwise only what deflate does not shrink is stored.
        EXPECT_EQ(info.output.contains(" def"), level != 0) << info.output.toStdString();
    }
}

TEST(Compress, FolderMaskWithoutSubfoldersTakesTopLevelFilesLessExclusions)
{
    CorpusFixture fixture;
    ZipComponent zip;
    zip.setArchivePath(fixture.path(QStringLiteral("top.zip")));
    zip.setFileMask(fixture.sources() + QStringLiteral("/*\r<*.TXT"));
    zip.setProcessSubfolders(false);
    zip.setKeepFolderNames(true);
    ASSERT_EQ(zip.compress(0), ZipOk) << zip.lastErrorDetail();
    QStringList names;
    QObject::connect(&zip, &ZipComponent::entryListed,
                     [&](const QString& name, qint64) { names.append(name); });
    ASSERT_EQ(zip.list(), ZipOk);
    names.sort();
    EXPECT_EQ(names,
              (QStringList{QStringLiteral("Super Game (USA).nes"), QStringLiteral("noise.bin"),
                           QStringLiteral(u"Ärger ゲーム.sfc")}));
}

TEST(Compress, PasswordEncryptsWithAes256ThatSevenZipAcceptsAndKelmarReads)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("7zz"));
    CorpusFixture fixture;
    const QString archive = fixture.path(QStringLiteral("secret.zip"));
    ZipComponent zip;
    ASSERT_EQ(compressFolder(zip, fixture.sources(), archive, 6, QStringLiteral("pässword")),
              ZipOk);
    const ToolRun tech =
        runTool(QStringLiteral("7zz"),
                {QStringLiteral("l"), QStringLiteral("-slt"), QStringLiteral("-pnone"), archive});
    EXPECT_TRUE(tech.output.contains("AES-256")) << tech.output.toStdString();
    EXPECT_EQ(
        runTool(QStringLiteral("7zz"), {QStringLiteral("t"), QStringLiteral("-ppässword"), archive})
            .exitCode,
        0);
    EXPECT_NE(
        runTool(QStringLiteral("7zz"), {QStringLiteral("t"), QStringLiteral("-pwrong"), archive})
            .exitCode,
        0);
    QMap<QString, qint64> expected = sourceListing(fixture);
    EXPECT_EQ(zipinfoListing(archive), expected);
    zip.setPassword(QString());
    EXPECT_EQ(zip.test(), ZipPassword);
    zip.setPassword(QStringLiteral("pässword"));
    EXPECT_EQ(zip.test(), ZipOk) << zip.lastErrorDetail();
    zip.setExtractFolder(fixture.path(QStringLiteral("out")));
    zip.setFileMask(QString());
    EXPECT_EQ(zip.extract(0), ZipOk) << zip.lastErrorDetail();
    EXPECT_EQ(tree(fixture.path(QStringLiteral("out"))), tree(fixture.sources()));
}

TEST(Compress, AddsToAnArchiveMadeByZipAndKeepsAnEntryOfTheSameNameApart)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("unzip"));
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("a.nes")), "old a");
    writeFile(dir.filePath(QStringLiteral("b.nes")), "bbb");
    ASSERT_EQ(runTool(QStringLiteral("zip"),
                      {QStringLiteral("-q"), QStringLiteral("set.zip"), QStringLiteral("a.nes"),
                       QStringLiteral("b.nes")},
                      dir.path())
                  .exitCode,
              0);
    writeFile(dir.filePath(QStringLiteral("new/A.NES")), textBytes(5000, 3));
    writeFile(dir.filePath(QStringLiteral("new/c.nes")), "ccc");
    ZipComponent zip;
    zip.setArchivePath(dir.filePath(QStringLiteral("set.zip")));
    zip.setFileMask(dir.filePath(QStringLiteral("new/c.nes")) + u'\r' +
                    dir.filePath(QStringLiteral("new/A.NES")));
    zip.setKeepFolderNames(false);
    zip.setLevel(9);
    zip.setPassword(QString());
    ASSERT_EQ(zip.compress(0), ZipOk) << zip.lastErrorDetail();
    const QMap<QString, qint64> listing = zipinfoListing(dir.filePath(QStringLiteral("set.zip")));
    EXPECT_EQ(listing.value(QStringLiteral("b.nes")), 3);
    EXPECT_EQ(listing.value(QStringLiteral("c.nes")), 3);
    EXPECT_EQ(listing.value(QStringLiteral("a.nes")), 5);
    EXPECT_EQ(listing.value(QStringLiteral("A (2).NES")), 5000)
        << "a name differing only in case must not replace the entry it would shadow";
    EXPECT_EQ(runTool(QStringLiteral("unzip"), {QStringLiteral("-t"), QStringLiteral("set.zip")},
                      dir.path())
                  .exitCode,
              0);
}

TEST(Compress, ExistingFileThatIsNotAnArchiveIsLeftUntouched)
{
    QTemporaryDir dir;
    const QByteArray notes = "my notes, not a zip";
    writeFile(dir.filePath(QStringLiteral("notes.zip")), notes);
    writeFile(dir.filePath(QStringLiteral("a.nes")), "aaa");
    ZipComponent zip;
    zip.setArchivePath(dir.filePath(QStringLiteral("notes.zip")));
    zip.setFileMask(dir.filePath(QStringLiteral("a.nes")));
    EXPECT_EQ(zip.compress(0), ZipNotAZip);
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("notes.zip"))), notes);
}

TEST(Compress, MissingSourceIsReportedNotSilentlySkipped)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("a.nes")), "aaa");
    ZipComponent zip;
    zip.setArchivePath(dir.filePath(QStringLiteral("out.zip")));
    zip.setFileMask(dir.filePath(QStringLiteral("a.nes")) + u'\r' +
                    dir.filePath(QStringLiteral("gone.nes")));
    EXPECT_EQ(zip.compress(0), ZipFileNotFound);
    EXPECT_TRUE(zip.lastErrorDetail().contains(QStringLiteral("gone.nes")));
}

TEST(Compress, WriteFailureOrStopLeavesTheArchiveAsItWasAndNoTemporaryFile)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("small.nes")), "small");
    writeFile(dir.filePath(QStringLiteral("big.bin")), noiseBytes(3 * 1024 * 1024, 7));
    ZipComponent zip;
    zip.setArchivePath(dir.filePath(QStringLiteral("set.zip")));
    zip.setFileMask(dir.filePath(QStringLiteral("small.nes")));
    zip.setLevel(6);
    ASSERT_EQ(zip.compress(0), ZipOk);
    const QByteArray before = readFile(dir.filePath(QStringLiteral("set.zip")));

    // A file-size limit makes the write fail part way, as a full disk would.
    zip.setFileMask(dir.filePath(QStringLiteral("big.bin")));
    const int result = [&] {
        const ScopedRlimit limit(RLIMIT_FSIZE, 1024 * 1024);
        return zip.compress(0);
    }();
    EXPECT_EQ(result, ZipWriteError) << zip.lastErrorDetail();
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("set.zip"))), before);

    bool committed = true;
    QObject::connect(&zip, &ZipComponent::archiveWritten, [&](bool c) { committed = c; });
    zip.setCancelCheck([] { return true; });
    EXPECT_EQ(zip.compress(0), ZipAborted);
    EXPECT_FALSE(committed);
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("set.zip"))), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{QStringLiteral("big.bin"), QStringLiteral("set.zip"),
                           QStringLiteral("small.nes")}));
}

TEST(Compress, SourceRemovedBeforeItIsReadFailsTheWholeArchiveAndAddsNothing)
{
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("first.nes"));
    const QString second = dir.filePath(QStringLiteral("second.nes"));
    writeFile(first, textBytes(20000, 1));
    writeFile(second, textBytes(20000, 2));
    ZipComponent zip;
    zip.setArchivePath(dir.filePath(QStringLiteral("set.zip")));
    zip.setFileMask(first);
    ASSERT_EQ(zip.compress(0), ZipOk);
    const QByteArray before = readFile(dir.filePath(QStringLiteral("set.zip")));

    // libzip reads the sources while it writes; the second vanishes once the first is read.
    QObject::connect(&zip, &ZipComponent::fileProgress, [&](const QString& name, int percent) {
        if (name == first && percent == 100)
            QFile::remove(second);
    });
    zip.setFileMask(first + u'\r' + second);
    EXPECT_EQ(zip.compress(0), ZipFileNotFound) << zip.lastErrorDetail();
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("set.zip"))), before);
}

TEST(Compress, ProgressIsPerFileAndEndsWithOneHundredForEach)
{
    CorpusFixture fixture;
    ZipComponent zip;
    QMap<QString, QList<int>> seen;
    QObject::connect(&zip, &ZipComponent::fileProgress,
                     [&](const QString& name, int percent) { seen[name].append(percent); });
    ASSERT_EQ(compressFolder(zip, fixture.sources(), fixture.path(QStringLiteral("p.zip")), 6),
              ZipOk);
    ASSERT_EQ(seen.size(), CorpusFixture::sourceNames().size());
    for (auto it = seen.cbegin(); it != seen.cend(); ++it) {
        SCOPED_TRACE(it.key().toStdString());
        EXPECT_TRUE(QFileInfo(it.key()).isAbsolute());
        EXPECT_EQ(it.value().count(100), 1);
        EXPECT_EQ(it.value().last(), 100);
        EXPECT_TRUE(std::is_sorted(it.value().begin(), it.value().end()));
    }
}

TEST(Extract, RoundTripRestoresEveryFileByteForByteWithOrWithoutFolders)
{
    CorpusFixture fixture;
    ZipComponent zip;
    ASSERT_EQ(compressFolder(zip, fixture.sources(), fixture.path(QStringLiteral("r.zip")), 9),
              ZipOk);
    QStringList written;
    QObject::connect(&zip, &ZipComponent::fileProgress, [&](const QString& name, int percent) {
        if (percent == 100)
            written.append(name);
    });
    zip.setExtractFolder(fixture.path(QStringLiteral("with")));
    zip.setFileMask(QStringLiteral("*"));
    zip.setKeepFolderNames(true);
    ASSERT_EQ(zip.extract(0), ZipOk) << zip.lastErrorDetail();
    EXPECT_EQ(tree(fixture.path(QStringLiteral("with"))), tree(fixture.sources()));
    EXPECT_EQ(written.size(), CorpusFixture::sourceNames().size());
    EXPECT_TRUE(written.contains(fixture.path(QStringLiteral("with/sub/deeper/level.rom"))));
    // Written files get the usual mode (not the private mode of a temporary file) and the
    // entry's time.
    const mode_t mask = ::umask(022);
    ::umask(mask);
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(written.first()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
    const QString source = fixture.sources() + QStringLiteral("/noise.bin");
    EXPECT_LE(qAbs(QFileInfo(fixture.path(QStringLiteral("with/noise.bin")))
                       .lastModified()
                       .secsTo(QFileInfo(source).lastModified())),
              2); // DOS times have two-second steps

    zip.setExtractFolder(fixture.path(QStringLiteral("flat")));
    zip.setKeepFolderNames(false);
    zip.setFileMask(QStringLiteral("*.ROM\r*.nes"));
    ASSERT_EQ(zip.extract(0), ZipOk);
    EXPECT_EQ(QDir(fixture.path(QStringLiteral("flat")))
                  .entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                             QDir::Name | QDir::IgnoreCase),
              (QStringList{QStringLiteral("level.rom"), QStringLiteral("Super Game (USA).nes")}));

    zip.setExtractFolder(fixture.path(QStringLiteral("excl")));
    zip.setFileMask(QStringLiteral("*\r<*.txt\r<*.BIN"));
    ASSERT_EQ(zip.extract(0), ZipOk);
    EXPECT_EQ(QDir(fixture.path(QStringLiteral("excl"))).entryList(QDir::Files).size(), 3);
}

TEST(Extract, EncryptedArchivesFromInfoZipAndSevenZipRestoreEveryFile)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("7zz"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    CorpusFixture fixture;
    const struct
    {
        const char* name;
        QString program;
        QStringList args;
    } makers[] = {
        {"7zz AES-256",
         QStringLiteral("7zz"),
         {QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-pk"),
          QStringLiteral("-mem=AES256")}},
        {"zip ZipCrypto",
         QStringLiteral("zip"),
         {QStringLiteral("-q"), QStringLiteral("-r"), QStringLiteral("-P"), QStringLiteral("k")}},
    };
    int n = 0;
    for (const auto& maker : makers) {
        SCOPED_TRACE(maker.name);
        const QString archive = fixture.path(QStringLiteral("s%1.zip").arg(n));
        const QString out = fixture.path(QStringLiteral("out%1").arg(n++));
        ASSERT_EQ(runTool(maker.program, maker.args + QStringList{archive, QStringLiteral(".")},
                          fixture.sources())
                      .exitCode,
                  0);
        ZipComponent zip;
        zip.setArchivePath(archive);
        zip.setKeepFolderNames(true);
        zip.setFileMask(QString());
        zip.setExtractFolder(out);
        EXPECT_EQ(zip.extract(0), ZipPassword) << "no password given";
        zip.setPassword(QStringLiteral("k"));
        ASSERT_EQ(zip.extract(0), ZipOk) << zip.lastErrorDetail();
        EXPECT_EQ(tree(out), tree(fixture.sources()));
    }
}

TEST(Extract, DamagedEntryNeverReplacesTheExistingFileAndLeavesNoPartialFile)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("src/game.nes")), textBytes(200000, 4));
    ASSERT_EQ(
        runTool(QStringLiteral("zip"),
                {QStringLiteral("-q"), QStringLiteral("../g.zip"), QStringLiteral("game.nes")},
                dir.filePath(QStringLiteral("src")))
            .exitCode,
        0);
    ASSERT_TRUE(CorpusFixture::flipDataByte(dir.filePath(QStringLiteral("g.zip"))));
    writeFile(dir.filePath(QStringLiteral("out/game.nes")), "the user's own copy");
    ZipComponent zip;
    zip.setArchivePath(dir.filePath(QStringLiteral("g.zip")));
    zip.setExtractFolder(dir.filePath(QStringLiteral("out")));
    zip.setFileMask(QString());
    EXPECT_EQ(zip.extract(0), ZipExistsAndDiffers);
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("out/game.nes"))), "the user's own copy");
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("game.nes")});
    zip.setExtractFolder(dir.filePath(QStringLiteral("empty")));
    EXPECT_EQ(zip.extract(0), ZipDamaged);
    EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("empty")))
                    .entryList(QDir::Files | QDir::Hidden)
                    .isEmpty());
}

TEST(Extract, NothingLandsOutsideTheDestinationFolder)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    QTemporaryDir dir;
    const QString archive = dir.filePath(QStringLiteral("evil.zip"));
    ASSERT_TRUE(craftArchive(
        archive, {{QStringLiteral("../escaped-up.txt"), "x", 0100644},
                  {QStringLiteral("a/../../escaped-middle.txt"), "x", 0100644},
                  {QStringLiteral("..\\escaped-backslash.txt"), "x", 0100644},
                  {dir.filePath(QStringLiteral("escaped-absolute.txt")), "abs", 0100644},
                  {QStringLiteral("C:\\drive\\file.txt"), "drive", 0100644},
                  {QStringLiteral("."), "dot", 0100644},
                  {QStringLiteral("link"), dir.path().toUtf8(), 0120777},
                  {QStringLiteral("link/through-link.txt"), "x", 0100644},
                  {QStringLiteral("good/ok.nes"), "fine", 0100644}}));
    const QString out = dir.filePath(QStringLiteral("out"));
    ZipComponent zip;
    zip.setArchivePath(archive);
    zip.setExtractFolder(out);
    zip.setKeepFolderNames(true);
    zip.setFileMask(QString());
    EXPECT_EQ(zip.extract(0), ZipUnsafeEntry);

    // Only the archive and the destination folder are in the parent folder.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{QStringLiteral("evil.zip"), QStringLiteral("out")}));
    QStringList inside;
    QDirIterator it(out, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        EXPECT_FALSE(QFileInfo(path).isSymLink()) << path;
        inside.append(QDir(out).relativeFilePath(path));
    }
    // Absolute and drive-letter names are reduced to relative ones below the folder; the
    // safe entry is there; the link entry is not (the folder "link" is made by the file).
    const QString reducedAbsolute = dir.filePath(QStringLiteral("escaped-absolute.txt")).mid(1);
    for (const QString& expected : {QStringLiteral("good/ok.nes"), QStringLiteral("drive/file.txt"),
                                    reducedAbsolute, QStringLiteral("link/through-link.txt")})
        EXPECT_TRUE(inside.contains(expected)) << expected << " in " << inside.join(u' ');
    EXPECT_TRUE(QFileInfo(out + QStringLiteral("/link")).isDir());
    for (const QString& name : inside)
        EXPECT_FALSE(name.contains(QStringLiteral("escaped-up")) ||
                     name.contains(QStringLiteral("escaped-middle")) ||
                     name.contains(QStringLiteral("escaped-backslash")) || name == u".")
            << name;
    EXPECT_TRUE(zip.lastErrorDetail().contains(QStringLiteral("escaped-up")))
        << zip.lastErrorDetail();
}

TEST(Extract, ExistingSymbolicLinkInTheDestinationIsNotFollowedOutward)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("out")));
    QDir().mkpath(dir.filePath(QStringLiteral("elsewhere")));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("elsewhere")),
                            dir.filePath(QStringLiteral("out/sub"))));
    const QString archive = dir.filePath(QStringLiteral("a.zip"));
    ASSERT_TRUE(craftArchive(archive, {{QStringLiteral("sub/x.nes"), "x", 0100644},
                                       {QStringLiteral("sub/newdir/"), "", 040755},
                                       {QStringLiteral("sub/deeper/y.nes"), "y", 0100644},
                                       {QStringLiteral("fine/z.nes"), "z", 0100644}}));
    ZipComponent zip;
    zip.setArchivePath(archive);
    zip.setExtractFolder(dir.filePath(QStringLiteral("out")));
    zip.setKeepFolderNames(true);
    zip.setFileMask(QString());
    EXPECT_EQ(zip.extract(0), ZipUnsafeEntry);
    EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("elsewhere"))).isEmpty())
        << "not even an empty folder is made through the link";
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("out/fine/z.nes"))), "z");
}

TEST(Remove, DeletesSelectedEntriesButNeverEmptiesAnArchive)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("unzip"));
    CorpusFixture fixture;
    const QString archive = fixture.path(QStringLiteral("r.zip"));
    ZipComponent zip;
    ASSERT_EQ(compressFolder(zip, fixture.sources(), archive, 6), ZipOk);
    zip.setFileMask(QStringLiteral("*.txt\r*.bin"));
    EXPECT_EQ(zip.remove(), ZipOk);
    EXPECT_EQ(zipinfoListing(archive).keys(), (QStringList{QStringLiteral("Super Game (USA).nes"),
                                                           QStringLiteral("sub/deeper/level.rom"),
                                                           QStringLiteral(u"Ärger ゲーム.sfc")}));
    EXPECT_EQ(runTool(QStringLiteral("unzip"), {QStringLiteral("-t"), archive}).exitCode, 0);
    const QByteArray before = readFile(archive);
    zip.setFileMask(QStringLiteral("*"));
    EXPECT_EQ(zip.remove(), ZipWouldBeEmpty);
    EXPECT_EQ(readFile(archive), before);
}
