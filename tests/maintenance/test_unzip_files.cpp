// SPDX-License-Identifier: GPL-3.0-or-later
// Unzip over real archives made by zip, 7zz and Python, compared with what unzip and 7zz
// extract from the same archives.
#include "archive/ArchiveReader.h"
#include "archive/ZipError.h"
#include "common/FakeHost.h"
#include "common/SelectedArchives.h"
#include "common/Tools.h"
#include "fs/FreeSpace.h"
#include "maintenance/UnzipFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <stdexcept>
#include <unistd.h>

using namespace kelmar;
using namespace kelmar::test;

namespace {

const QString kPassword = QStringLiteral("Secret 1");

// Relative path -> content ("<dir>" for folders) of everything below folder.
QMap<QString, QByteArray> treeOf(const QString& folder)
{
    QMap<QString, QByteArray> tree;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    const QDir root(folder);
    while (it.hasNext()) {
        const QString path = it.next();
        tree.insert(root.relativeFilePath(path),
                    it.fileInfo().isDir() ? QByteArray("<dir>") : readFile(path));
    }
    return tree;
}

QStringList namesIn(const QString& folder)
{
    return treeOf(folder).keys();
}

// The files every archive of the comparison holds: folders, mixed case, data of both kinds.
void writeSources(const QString& folder)
{
    writeFile(folder + QStringLiteral("/Game (USA).nes"), textBytes(70000, 1));
    writeFile(folder + QStringLiteral("/sub/Level.SFC"), noiseBytes(40000, 2));
    writeFile(folder + QStringLiteral("/sub/deep/readme.txt"), "read me\n");
    writeFile(folder + QStringLiteral("/empty.bin"), QByteArray());
}

void run(const QString& program, const QStringList& args, const QString& folder = {})
{
    const ToolRun r = runTool(program, args, folder);
    ASSERT_EQ(r.exitCode, 0) << program << ' ' << args.join(u' ') << '\n' << r.output.toStdString();
}

// A zip archive of the sources, written by maker ("zip", "7zz" or "python"), encrypted with
// "zipcrypto" or "aes" or not at all.
void makeArchive(const QString& sources, const QString& archive, const QString& maker,
                 const QString& encryption)
{
    if (maker == u"zip") {
        QStringList args{QStringLiteral("-qr")};
        if (encryption == u"zipcrypto")
            args << QStringLiteral("-P") << kPassword;
        run(QStringLiteral("zip"), args << archive << QStringLiteral("."), sources);
    } else if (maker == u"7zz") {
        QStringList args{QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-bd")};
        if (!encryption.isEmpty())
            args << QStringLiteral("-p") + kPassword
                 << (encryption == u"aes" ? QStringLiteral("-mem=AES256")
                                          : QStringLiteral("-mem=ZipCrypto"));
        run(QStringLiteral("7zz"), args << archive << QStringLiteral("."), sources);
    } else {
        run(QStringLiteral("python3"),
            {QStringLiteral("-c"),
             QStringLiteral("import os,sys,zipfile\n"
                            "with zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED) as z:\n"
                            "  for d,ds,fs in sorted(os.walk('.')):\n"
                            "    for f in sorted(fs): z.write(os.path.join(d,f))\n"),
             archive},
            sources);
    }
}

// A zip whose entries are written with exactly these names (Python keeps them as given).
void makeRawArchive(const QString& archive, const QStringList& names)
{
    QString script = QStringLiteral("import sys,zipfile\n"
                                    "with zipfile.ZipFile(sys.argv[1],'w') as z:\n");
    for (const QString& n : names)
        script += QStringLiteral("  z.writestr(zipfile.ZipInfo(%1), b'data of '+%1.encode())\n")
                      .arg(u'\'' + n + u'\'');
    run(QStringLiteral("python3"), {QStringLiteral("-c"), script, archive});
}

// What the old report said of an archive, read from its item.
int codeOf(const BatchReport& report, size_t i)
{
    return report.items.at(i).code;
}

bool deletedIn(const BatchReport& report, size_t i)
{
    return report.items.at(i).result == ItemResult::Done;
}

int renamesIn(const BatchReport& report)
{
    int n = 0;
    for (const ItemOutcome& item : report.items)
        n += int(item.notes.size());
    return n;
}

bool abortedIn(const BatchReport& report)
{
    for (const ItemOutcome& item : report.items) {
        if (item.code == ZipAborted)
            return true;
    }
    return false;
}

Options quietOptions()
{
    Options o;
    o.chkSound = Check::Clear;
    o.chkExtractROMs = Check::Clear;
    o.chkIgnoreFolders = Check::Clear;
    return o;
}

} // namespace

// The extracted trees equal unzip's and 7zz's, for archives of three makers, encrypted and
// not, with the stored folders and without them; each archive in its own folder.
TEST(UnzipFiles, ExtractsWhatUnzipAnd7zzExtract)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("unzip"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("7zz"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    QTemporaryDir dir;
    const QString sources = dir.filePath(QStringLiteral("sources"));
    const QString zips = dir.filePath(QStringLiteral("zips"));
    writeSources(sources);
    QDir().mkpath(zips);
    struct Case
    {
        const char* maker;
        const char* encryption;
    };
    const Case cases[] = {{"zip", ""},    {"zip", "zipcrypto"}, {"7zz", ""},
                          {"7zz", "aes"}, {"7zz", "zipcrypto"}, {"python", ""}};
    QStringList archives;
    for (const Case& c : cases) {
        const QString name =
            QStringLiteral("%1-%2.zip").arg(QLatin1String(c.maker), QLatin1String(c.encryption));
        makeArchive(sources, zips + u'/' + name, QLatin1String(c.maker),
                    QLatin1String(c.encryption));
        archives << name;
    }

    for (const bool ignoreFolders : {false, true}) {
        SCOPED_TRACE(ignoreFolders ? "Ignore Folders" : "with folders");
        const QString out =
            dir.filePath(ignoreFolders ? QStringLiteral("flat") : QStringLiteral("deep"));
        QDir().mkpath(out);
        FakeHost host;
        host.opts = quietOptions();
        host.opts.chkIgnoreFolders = ignoreFolders ? Check::Ticked : Check::Clear;
        host.opts.chkZIPsToFolders = Check::Ticked;
        host.opts.chkUnzipPassword = Check::Ticked;
        host.opts.txtUnzipPassword = kPassword;
        host.listFolder(zips);
        const BatchReport report = unzip_files(unzipRequestFor(host, out), host, host);
        EXPECT_EQ(report.failedCount(), 0) << host.log.join(u'\n');
        EXPECT_FALSE(report.stopped());

        for (const QString& name : archives) {
            SCOPED_TRACE(name.toStdString());
            const QString base = name.chopped(4);
            const QMap<QString, QByteArray> ours = treeOf(out + u'/' + base);
            ASSERT_EQ(ours.value(ignoreFolders ? QStringLiteral("Level.SFC")
                                               : QStringLiteral("sub/Level.SFC")),
                      noiseBytes(40000, 2));
            const QString suffix =
                ignoreFolders ? QStringLiteral("-flat") : QStringLiteral("-deep");
            const QString by7zz = dir.filePath(QStringLiteral("7zz-") + base + suffix);
            run(QStringLiteral("7zz"),
                {ignoreFolders ? QStringLiteral("e") : QStringLiteral("x"), QStringLiteral("-bd"),
                 QStringLiteral("-y"), QStringLiteral("-p") + kPassword,
                 QStringLiteral("-o") + by7zz, zips + u'/' + name});
            QMap<QString, QByteArray> theirs = treeOf(by7zz);
            if (ignoreFolders) {
                // 7zz e still makes the archive's folder entries, flattened and empty.
                theirs.removeIf([](const auto& item) { return item.value() == "<dir>"; });
            }
            EXPECT_EQ(ours, theirs);
            if (name.contains(QStringLiteral("aes")))
                continue; // UnZip 6 cannot decrypt AES
            const QString byUnzip = dir.filePath(QStringLiteral("unzip-") + base + suffix);
            QStringList args{QStringLiteral("-qq"), QStringLiteral("-o"), QStringLiteral("-P"),
                             kPassword};
            if (ignoreFolders)
                args << QStringLiteral("-j");
            run(QStringLiteral("unzip"),
                args << zips + u'/' + name << QStringLiteral("-d") << byUnzip);
            EXPECT_EQ(ours, treeOf(byUnzip));
        }
    }
}

TEST(UnzipFiles, OnlyRomsExtractsTheEntriesTheFilterNamesInAnyCaseAndAllWhenItIsEmpty)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    QTemporaryDir dir;
    const QString zips = dir.filePath(QStringLiteral("zips"));
    QDir().mkpath(zips);
    makeRawArchive(zips + QStringLiteral("/set.zip"),
                   {QStringLiteral("a.NES"), QStringLiteral("b.nes"), QStringLiteral("notes.txt"),
                    QStringLiteral("gfx/c.Sfc"), QStringLiteral("c.sfc.bak"),
                    QStringLiteral("nes")});

    FakeHost host;
    host.opts = quietOptions();
    host.opts.chkExtractROMs = Check::Ticked;
    host.opts.chkIgnoreFolders = Check::Ticked;
    host.opts.chkUnziptoSameFolder = Check::Clear;
    host.opts.lblROMFilter = QStringLiteral("*.nes;*.SFC");
    host.listFolder(zips);
    QDir().mkpath(dir.filePath(QStringLiteral("roms")));
    unzip_files(unzipRequestFor(host, dir.filePath(QStringLiteral("roms"))), host, host);
    EXPECT_EQ(
        namesIn(dir.filePath(QStringLiteral("roms"))),
        (QStringList{QStringLiteral("a.NES"), QStringLiteral("b.nes"), QStringLiteral("c.Sfc")}));

    // An empty filter makes an empty mask, which selects every entry.
    host.opts.lblROMFilter.clear();
    host.listFolder(zips);
    QDir().mkpath(dir.filePath(QStringLiteral("all")));
    unzip_files(unzipRequestFor(host, dir.filePath(QStringLiteral("all"))), host, host);
    EXPECT_EQ(namesIn(dir.filePath(QStringLiteral("all"))).size(), 6);
    EXPECT_EQ(host.log,
              QStringList{QStringLiteral("Unzipped ") + zips + QStringLiteral("/set.zip")});
}

// Only an archive extracted without error is deleted; read-only ones too. Damaged archives,
// wrong passwords and hostile names all leave the archive where it was.
TEST(UnzipFiles, DeleteZipFilesDeletesOnlyCleanlyExtractedArchives)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    QTemporaryDir dir;
    const QString zips = dir.filePath(QStringLiteral("zips"));
    const QString sources = dir.filePath(QStringLiteral("src"));
    writeFile(sources + QStringLiteral("/one.nes"), textBytes(60000, 3));
    QDir().mkpath(zips);
    run(QStringLiteral("zip"),
        {QStringLiteral("-q"), zips + QStringLiteral("/a-good.zip"), QStringLiteral("one.nes")},
        sources);
    QFile::copy(zips + QStringLiteral("/a-good.zip"), zips + QStringLiteral("/b-readonly.zip"));
    QFile::setPermissions(zips + QStringLiteral("/b-readonly.zip"), QFile::ReadOwner);
    QByteArray bytes = readFile(zips + QStringLiteral("/a-good.zip"));
    bytes[bytes.size() / 3] = char(bytes[bytes.size() / 3] ^ 0x21);
    writeFile(zips + QStringLiteral("/c-damaged.zip"), bytes);
    run(QStringLiteral("zip"),
        {QStringLiteral("-q"), QStringLiteral("-P"), QStringLiteral("other"),
         zips + QStringLiteral("/d-locked.zip"), QStringLiteral("one.nes")},
        sources);
    makeRawArchive(zips + QStringLiteral("/e-hostile.zip"),
                   {QStringLiteral("fine.nes"), QStringLiteral("../../escaped.nes")});

    const QString out = dir.filePath(QStringLiteral("out/inner"));
    QDir().mkpath(out);
    FakeHost host;
    host.opts = quietOptions();
    host.opts.chkDeleteZIPFiles = Check::Ticked;
    host.opts.chkZIPsToFolders = Check::Ticked;
    host.listFolder(zips);
    const BatchReport report = unzip_files(unzipRequestFor(host, out), host, host);

    EXPECT_EQ(QDir(zips).entryList(QDir::Files),
              (QStringList{QStringLiteral("c-damaged.zip"), QStringLiteral("d-locked.zip"),
                           QStringLiteral("e-hostile.zip")}));
    const QString z = zips + u'/';
    const QStringList firstLines{QStringLiteral("Unzipped ") + z + QStringLiteral("a-good.zip"),
                                 QStringLiteral("Deleted ") + z + QStringLiteral("a-good.zip"),
                                 QStringLiteral("Unzipped ") + z + QStringLiteral("b-readonly.zip"),
                                 QStringLiteral("Deleted ") + z + QStringLiteral("b-readonly.zip"),
                                 QStringLiteral("Error unzipping ") + z +
                                     QStringLiteral("c-damaged.zip")};
    ASSERT_GE(host.log.size(), 5);
    EXPECT_EQ(host.log.mid(0, 5), firstLines);
    EXPECT_TRUE(
        host.log.contains(QStringLiteral("Error unzipping ") + z + QStringLiteral("d-locked.zip")));
    EXPECT_TRUE(host.log.contains(QStringLiteral("Error unzipping ") + z +
                                  QStringLiteral("e-hostile.zip")));
    EXPECT_EQ(report.failedCount(), 3);
    // The hostile entry was not written anywhere; its harmless neighbour was.
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("escaped.nes"))));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("out/escaped.nes"))));
    EXPECT_EQ(readFile(out + QStringLiteral("/e-hostile/fine.nes")), "data of fine.nes");
    // The damaged entry left no file, neither under its name nor as a temporary one.
    EXPECT_TRUE(namesIn(out + QStringLiteral("/c-damaged")).isEmpty());
    EXPECT_EQ(readFile(out + QStringLiteral("/b-readonly/one.nes")), textBytes(60000, 3));
}

// Two archives into one folder that hold a file of the same name: once the first archive is
// deleted its copy is the only one, and the second may not replace it.
TEST(UnzipFiles, NeverReplacesTheOnlyCopyOfADeletedArchivesFile)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    QTemporaryDir dir;
    makeRawArchive(dir.filePath(QStringLiteral("a.zip")), {QStringLiteral("game.nes")});
    run(QStringLiteral("python3"),
        {QStringLiteral("-c"),
         QStringLiteral("import sys,zipfile\n"
                        "with zipfile.ZipFile(sys.argv[1],'w') as z: z.writestr('game.nes','B')"),
         dir.filePath(QStringLiteral("b.zip"))});
    // An archive that holds a file of its own name must not extract it over itself.
    makeRawArchive(dir.filePath(QStringLiteral("self.zip")), {QStringLiteral("self.zip")});
    FakeHost host;
    host.opts = quietOptions();
    host.opts.chkDeleteZIPFiles = Check::Ticked;
    host.opts.chkUnziptoSameFolder = Check::Ticked;
    host.listFolder(dir.path());
    const BatchReport report = unzip_files(unzipRequestFor(host), host, host);
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("game.nes"))), "data of game.nes");
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("b.zip"))));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("a.zip"))));
    EXPECT_TRUE(readFile(dir.filePath(QStringLiteral("self.zip"))).startsWith("PK"));
    ASSERT_EQ(report.items.size(), 3u);
    EXPECT_EQ(codeOf(report, 1), ZipExistsAndDiffers);
    EXPECT_TRUE(report.items[1].reason.contains(QStringLiteral("game.nes")));
    EXPECT_EQ(codeOf(report, 2), ZipExistsAndDiffers);
    EXPECT_FALSE(deletedIn(report, 2));
}

TEST(UnzipFiles, AnArchiveTooLargeForTheFreeSpaceFailsWithoutWriting)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    QTemporaryDir dir;
    makeRawArchive(dir.filePath(QStringLiteral("big.zip")),
                   {QStringLiteral("a.nes"), QStringLiteral("b.nes")});
    makeRawArchive(dir.filePath(QStringLiteral("small.zip")), {QStringLiteral("c.nes")});
    FakeHost host;
    host.opts = quietOptions();
    host.opts.chkDeleteZIPFiles = Check::Ticked;
    host.listFolder(dir.path());
    QStringList asked;
    UnzipHooks hooks;
    // "data of a.nes" and "data of b.nes" need 26 bytes; "data of c.nes" fits.
    hooks.freeSpace = [&](const QString& folder) {
        asked << folder;
        return qint64(20);
    };
    const BatchReport report =
        unzip_files(unzipRequestFor(host, dir.filePath(QStringLiteral("out"))), host, host, hooks);
    ASSERT_EQ(report.items.size(), 2u);
    EXPECT_EQ(codeOf(report, 0), ZipDiskFull);
    EXPECT_EQ(host.log.at(0), QStringLiteral("Error unzipping ") + dir.filePath("big.zip"));
    EXPECT_TRUE(host.log.at(1).contains(QStringLiteral("it needs 26 bytes")));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("big.zip"))));
    EXPECT_EQ(namesIn(dir.filePath(QStringLiteral("out"))), QStringList{QStringLiteral("c.nes")});
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("small.zip"))));
    EXPECT_EQ(asked.size(), 2);
    EXPECT_GT(fs::freeSpaceOf(dir.filePath(QStringLiteral("not/yet/made"))), 0);
}

// Renames after the batch: the first file to claim a name wins, an existing file (hidden
// too) is never replaced, a change of case alone is made, and each archive's files go to the
// folder they were extracted to.
TEST(UnzipFiles, RenamesAfterTheArchiveFirstOneWinsAndNothingIsReplaced)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    QTemporaryDir dir;
    const QString zips = dir.filePath(QStringLiteral("zips"));
    QDir().mkpath(zips);
    makeRawArchive(
        zips + QStringLiteral("/Pac Man.zip"),
        {QStringLiteral("pm1.nes"), QStringLiteral("pm2.nes"), QStringLiteral("Info.TXT")});
    makeRawArchive(zips + QStringLiteral("/Zelda.nes.zip"), {QStringLiteral("z.nes")});
    makeRawArchive(zips + QStringLiteral("/mario.zip"), {QStringLiteral("MARIO.nes")});
    makeRawArchive(zips + QStringLiteral("/Taken.zip"), {QStringLiteral("t.nes")});
    const QString out = dir.filePath(QStringLiteral("Out"));
    FakeHost host;
    host.opts = quietOptions();
    host.opts.chkZIPsToFolders = Check::Ticked;
    host.opts.chkRenameFiles = Check::Ticked;
    host.opts.cmbUnzipCase = UseLowerCase;
    host.listFolder(zips);
    // The name Taken's file would get is already in use.
    QDir().mkpath(out + QStringLiteral("/Taken"));
    writeFile(out + QStringLiteral("/Taken/taken.nes"), "already here");
    const BatchReport report = unzip_files(unzipRequestFor(host, out), host, host);
    EXPECT_EQ(report.failedCount(), 0);
    EXPECT_EQ(namesIn(out + QStringLiteral("/Pac Man")),
              (QStringList{QStringLiteral("pac man.nes"), QStringLiteral("pac man.txt"),
                           QStringLiteral("pm2.nes")}));
    EXPECT_EQ(readFile(out + QStringLiteral("/Pac Man/pac man.nes")), "data of pm1.nes");
    EXPECT_EQ(namesIn(out + QStringLiteral("/Zelda.nes")),
              QStringList{QStringLiteral("zelda.nes")});
    // mario.nes differs from MARIO.nes only in case: a rename all the same.
    EXPECT_EQ(namesIn(out + QStringLiteral("/mario")), QStringList{QStringLiteral("mario.nes")});
    EXPECT_EQ(readFile(out + QStringLiteral("/Taken/taken.nes")), "already here");
    EXPECT_TRUE(QFileInfo::exists(out + QStringLiteral("/Taken/t.nes")));
    EXPECT_EQ(renamesIn(report), 4);

    // Upper case, with the stored folders: the file moves up to the archive's folder.
    QTemporaryDir dir2;
    makeRawArchive(dir2.filePath(QStringLiteral("Sonic.zip")),
                   {QStringLiteral("roms/sonic.md"), QStringLiteral("roms/.hidden.md")});
    host.opts.chkZIPsToFolders = Check::Clear;
    host.opts.cmbUnzipCase = UseUpperCase;
    host.listFolder(dir2.path());
    unzip_files(unzipRequestFor(host, dir2.filePath(QStringLiteral("out"))), host, host);
    EXPECT_EQ(namesIn(dir2.filePath(QStringLiteral("out"))),
              (QStringList{QStringLiteral("SONIC.MD"), QStringLiteral("roms"),
                           QStringLiteral("roms/.hidden.md")}));
}

TEST(UnzipFiles, StopDuringAnArchiveAbortsItAndAfterOneEndsQuietly)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    QTemporaryDir dir;
    for (const char* name : {"a.zip", "b.zip", "c.zip"})
        makeRawArchive(dir.filePath(QLatin1String(name)),
                       {QStringLiteral("rom-%1.nes").arg(QLatin1Char(name[0]))});
    FakeHost host;
    // One archive after another; several at once are compared with this in the pool's tests.
    host.workers = 1;
    host.opts = quietOptions();
    host.opts.chkDeleteZIPFiles = Check::Ticked;
    host.opts.chkRenameFiles = Check::Ticked;
    host.opts.cmbUnzipCase = UseUpperCase;
    host.listFolder(dir.path());
    host.queueAnswer(MsgAnswer::Ok);
    // Stop pressed while the second archive is being extracted.
    UnzipHooks hooks;
    hooks.onArchive = [&](int number, int, const QString&) {
        if (number == 2)
            host.stop = true;
    };
    BatchReport report =
        unzip_files(unzipRequestFor(host, dir.filePath(QStringLiteral("out"))), host, host, hooks);
    EXPECT_TRUE(report.stopped());
    EXPECT_TRUE(abortedIn(report));
    EXPECT_EQ(report.exitStatus(), 3);
    EXPECT_EQ(host.questions,
              QStringList{QStringLiteral("Abort|The current process has been stopped")});
    EXPECT_EQ(host.log.mid(2), (QStringList{QStringLiteral("Error unzipping ") +
                                                dir.filePath(QStringLiteral("b.zip")),
                                            QStringLiteral("    Stopped")}));
    // The first archive's file was renamed after the stop, b's file never appeared.
    EXPECT_EQ(namesIn(dir.filePath(QStringLiteral("out"))), QStringList{QStringLiteral("A.NES")});
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("a.zip"))));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("b.zip"))));

    // Stop pressed after an archive finished: no message, the rest is not visited.
    host.stop = false; // whoever runs the next batch clears the flag before it starts
    host.listFolder(dir.path());
    host.onStatus = [&](const QString& text) {
        if (text.startsWith(QStringLiteral("Unzipping")) && text.endsWith(u"||||||||||]"))
            host.stop = true;
    };
    host.questions.clear();
    report = unzip_files(unzipRequestFor(host, dir.filePath(QStringLiteral("out2"))), host, host);
    host.onStatus = {};
    EXPECT_TRUE(report.stopped()); // c.zip was not visited
    EXPECT_FALSE(abortedIn(report));
    EXPECT_TRUE(host.questions.isEmpty());
    EXPECT_EQ(namesIn(dir.filePath(QStringLiteral("out2"))), QStringList{QStringLiteral("B.NES")});
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("c.zip"))));
}

TEST(UnzipFiles, NothingSelectedSaysWhoops)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("a.zip")), "not read");
    writeFile(dir.filePath(QStringLiteral("notes.txt")), "x");
    FakeHost host;
    host.opts = quietOptions();
    host.listFolder(dir.path(), false);
    host.select(1); // notes.txt only
    host.log << QStringLiteral("old line");
    host.queueAnswer(MsgAnswer::Ok);
    const BatchReport report = unzip_files(unzipRequestFor(host), host, host);
    EXPECT_EQ(report.end, BatchEnd::NothingSelected);
    EXPECT_EQ(host.questions,
              QStringList{QStringLiteral("Whoops!|You didn't select any files to UnZIP!")});
    EXPECT_TRUE(host.log.isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2);
}

namespace {

// A host whose status panel fails once extraction shows its progress, so the progress
// handler meets an unexpected error inside the extraction.
class FailingHost : public FakeHost
{
public:
    void setStatusText(const QString& text) override
    {
        if (text.startsWith(QStringLiteral("Unzipping ")))
            throw std::runtime_error("panel unavailable");
        FakeHost::setStatusText(text);
    }
};

} // namespace

TEST(UnzipFiles, NoToUhOhEndsTheBatchAndTheProgramWithNothingMoreChanged)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    for (const int workers : {1, 2}) {
        SCOPED_TRACE(workers);
        QTemporaryDir dir;
        makeRawArchive(dir.filePath(QStringLiteral("a.zip")), {QStringLiteral("one.nes")});
        makeRawArchive(dir.filePath(QStringLiteral("b.zip")), {QStringLiteral("two.nes")});
        FailingHost host;
        host.opts = quietOptions();
        host.opts.chkUnziptoSameFolder = Check::Ticked;
        host.opts.chkDeleteZIPFiles = Check::Ticked;
        host.opts.chkRenameFiles = Check::Ticked;
        host.listFolder(dir.path());
        host.workers = workers;
        host.queueAnswer(MsgAnswer::No);
        const BatchReport report = unzip_files(unzipRequestFor(host), host, host);
        EXPECT_EQ(report.end, BatchEnd::EndProgram);
        // Asked once, even when the other archive fails the same way meanwhile.
        ASSERT_EQ(host.questions.size(), 1);
        EXPECT_TRUE(host.questions[0].startsWith(QStringLiteral("Uh oh!|Unexpected Error ")));
        // The file of the archive that met the error is complete and keeps its name; no
        // archive is deleted. One after another, b.zip is never opened; two at once, either
        // may meet the error first, and the other is stopped in hand or complete.
        QStringList files = QDir(dir.path()).entryList(QDir::Files);
        QStringList expected{QStringLiteral("a.zip"), QStringLiteral("b.zip")};
        if (workers == 1) {
            expected.append(QStringLiteral("one.nes"));
        } else {
            const bool one = files.removeAll(QStringLiteral("one.nes")) > 0;
            const bool two = files.removeAll(QStringLiteral("two.nes")) > 0;
            EXPECT_TRUE(one || two);
        }
        EXPECT_EQ(files, expected);
    }
}

// Two archives that hold different files of the same name, into one folder: the second may
// not replace the first's file, which is renamed after the archive it came from.
TEST(UnzipFiles, AFileNeverReplacedByAnotherArchiveIsRenamedAfterItsOwn)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    QTemporaryDir dir;
    const QString zips = dir.filePath(QStringLiteral("zips"));
    QDir().mkpath(zips);
    makeRawArchive(zips + QStringLiteral("/first.zip"), {QStringLiteral("game.nes")});
    run(QStringLiteral("python3"),
        {QStringLiteral("-c"),
         QStringLiteral("import sys,zipfile\n"
                        "with zipfile.ZipFile(sys.argv[1],'w') as z: z.writestr('game.nes','2nd')"),
         zips + QStringLiteral("/second.zip")});
    FakeHost host;
    host.opts = quietOptions();
    host.opts.chkRenameFiles = Check::Ticked;
    host.opts.cmbUnzipCase = UseOriginalCase;
    host.listFolder(zips);
    const BatchReport report =
        unzip_files(unzipRequestFor(host, dir.filePath(QStringLiteral("out"))), host, host);
    EXPECT_EQ(namesIn(dir.filePath(QStringLiteral("out"))),
              QStringList{QStringLiteral("first.nes")});
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("out/first.nes"))), "data of game.nes");
    ASSERT_EQ(report.items.size(), 2u);
    EXPECT_EQ(codeOf(report, 1), ZipExistsAndDiffers);
    EXPECT_EQ(renamesIn(report), 1);
}

// An archive holding a file named like a selected archive still to come, unzipped into their
// folder: it would destroy that archive unread, so it fails instead.
TEST(UnzipFiles, NeverOverwritesAnArchiveStillToBeUnzipped)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    QTemporaryDir dir;
    makeRawArchive(dir.filePath(QStringLiteral("a.zip")),
                   {QStringLiteral("b.zip"), QStringLiteral("c.zip")});
    makeRawArchive(dir.filePath(QStringLiteral("b.zip")), {QStringLiteral("inside-b.nes")});
    FakeHost host;
    host.opts = quietOptions();
    host.opts.chkUnziptoSameFolder = Check::Ticked;
    host.listFolder(dir.path());
    const BatchReport report = unzip_files(unzipRequestFor(host), host, host);
    ASSERT_EQ(report.items.size(), 2u);
    EXPECT_EQ(codeOf(report, 0), ZipExistsAndDiffers);
    EXPECT_EQ(host.log.at(1), QStringLiteral("    it would write b.zip over an archive of this "
                                             "batch"));
    EXPECT_EQ(codeOf(report, 1), ZipOk);
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("inside-b.nes"))), "data of inside-b.nes");
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("c.zip"))));
}

namespace {

// Writes archive with entries "name|content"; the entry "liar.nes|" inflates to 2 MiB while
// its headers declare 1,000 bytes.
void makeArchiveOf(const QString& archive, const QStringList& entries)
{
    const char* script = R"PY(
import struct, sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:
    for item in sys.argv[2:]:
        name, data = item.split('|', 1)
        z.writestr(name, b'\0' * (2 << 20) if name == 'liar.nes' else data.encode())
b = bytearray(open(sys.argv[1], 'rb').read())
if b.find(b'liar.nes') > 0:
    struct.pack_into('<I', b, 22, 1000)
    struct.pack_into('<I', b, b.find(b'PK\x01\x02') + 24, 1000)
open(sys.argv[1], 'wb').write(b)
)PY";
    run(QStringLiteral("python3"),
        QStringList{QStringLiteral("-c"), QString::fromLatin1(script), archive} + entries);
}

using Files = QMap<QString, QByteArray>;

struct LossCase
{
    const char* loss;
    QStringList entries;
    std::function<void(Options&)> set;
    Files before; // the user's files beside the archive
    int result;
    bool deleted;
    Files after; // everything beside the archive afterwards
    // Another program's work on the archive between its listing and its extraction.
    const char* during = nullptr;
};

const LossCase kLossCases[] = {
    {"archive deleted though the ROM filter selected nothing",
     {QStringLiteral("Super Game (USA).sfc|S"), QStringLiteral("readme.txt|r")},
     [](Options& o) {
         o.chkExtractROMs = Check::Ticked;
         o.lblROMFilter = QStringLiteral("*.nes");
     },
     {},
     ZipOk,
     false,
     {}},
    {"second file of the same name written over the first (Ignore Folders)",
     {QStringLiteral("Disk 1/game.nes|one"), QStringLiteral("Disk 2/game.nes|two")},
     [](Options& o) { o.chkIgnoreFolders = Check::Ticked; },
     {},
     ZipExistsAndDiffers,
     false,
     {{QStringLiteral("game.nes"), "one"}}},
    {"identical copies under two folders counted as a failure (Ignore Folders)",
     {QStringLiteral("Disk 1/game.nes|same"), QStringLiteral("Disk 2/game.nes|same")},
     [](Options& o) { o.chkIgnoreFolders = Check::Ticked; },
     {},
     ZipOk,
     true,
     {{QStringLiteral("game.nes"), "same"}}},
    {"the user's patched file replaced by the archive's copy",
     {QStringLiteral("Tetris (USA).nes|original")},
     [](Options&) {},
     {{QStringLiteral("Tetris (USA).nes"), "patched"}},
     ZipExistsAndDiffers,
     false,
     {{QStringLiteral("Tetris (USA).nes"), "patched"}}},
    {"a file already there with the same bytes made the archive fail",
     {QStringLiteral("Tetris (USA).nes|original")},
     [](Options&) {},
     {{QStringLiteral("Tetris (USA).nes"), "original"}},
     ZipOk,
     true,
     {{QStringLiteral("Tetris (USA).nes"), "original"}}},
    {"an entry that inflates past its declared size fills the disk",
     {QStringLiteral("liar.nes|"), QStringLiteral("ok.nes|fine")},
     [](Options&) {},
     {},
     ZipDamaged,
     false,
     {{QStringLiteral("ok.nes"), "fine"}}},
    {"a line feed in a name turned against later operations",
     {QStringLiteral("readme\n..|x"), QStringLiteral("ok.nes|fine")},
     [](Options&) {},
     {},
     ZipUnsafeEntry,
     false,
     {{QStringLiteral("ok.nes"), "fine"}}},
    {"harmless ./ and backslash names called unsafe",
     {QStringLiteral("./Dot Game.nes|dot"), QStringLiteral("GAMES\\Foo Bar.nes|foo")},
     [](Options&) {},
     {},
     ZipOk,
     true,
     {{QStringLiteral("Dot Game.nes"), "dot"},
      {QStringLiteral("GAMES"), "<dir>"},
      {QStringLiteral("GAMES/Foo Bar.nes"), "foo"}}},
    {"archive deleted though another program appended an entry to it meanwhile",
     {QStringLiteral("Tetris (USA).nes|original")},
     [](Options&) {},
     {},
     ZipOk,
     false,
     // The entry appended after the archive was opened stays in the archive, unread.
     {{QStringLiteral("Tetris (USA).nes"), "original"}},
     "import sys, zipfile\n"
     "with zipfile.ZipFile(sys.argv[1], 'a') as z: z.writestr('new_save.srm', b'save')"},
    {"archive deleted though it was rewritten in place with its old size and time",
     {QStringLiteral("Tetris (USA).nes|original")},
     [](Options&) {},
     {},
     ZipOk,
     false,
     {{QStringLiteral("Tetris (USA).nes"), "original"}},
     "import os, sys\n"
     "st = os.stat(sys.argv[1])\n"
     "with open(sys.argv[1], 'r+b') as f: f.seek(st.st_size - 2); f.write(b'\\0\\0')\n"
     "os.utime(sys.argv[1], ns=(st.st_atime_ns, st.st_mtime_ns))"},
};

} // namespace

// Each row: an archive unzipped beside itself with "Delete ZIP Files" on. Whatever goes
// wrong, no file of the user's is replaced, nothing lands outside, and the archive is deleted
// only when everything it held is on disk.
TEST(UnzipFiles, NeverLosesAFileNorDeletesAnArchiveNotSafelyOnDisk)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    for (const LossCase& c : kLossCases) {
        SCOPED_TRACE(c.loss);
        QTemporaryDir dir;
        const QString archive = dir.filePath(QStringLiteral("a.zip"));
        makeArchiveOf(archive, c.entries);
        for (auto it = c.before.cbegin(); it != c.before.cend(); ++it)
            writeFile(dir.filePath(it.key()), it.value());
        FakeHost host;
        host.opts = quietOptions();
        host.opts.chkUnziptoSameFolder = Check::Ticked;
        host.opts.chkDeleteZIPFiles = Check::Ticked;
        c.set(host.opts);
        host.listFolder(dir.path());
        UnzipHooks hooks;
        hooks.onArchive = [&](int, int, const QString& path) {
            if (c.during)
                run(QStringLiteral("python3"),
                    {QStringLiteral("-c"), QLatin1String(c.during), path});
        };
        const BatchReport report = unzip_files(unzipRequestFor(host), host, host, hooks);
        ASSERT_EQ(report.items.size(), 1u);
        EXPECT_EQ(codeOf(report, 0), c.result) << report.items[0].reason;
        EXPECT_EQ(deletedIn(report, 0), c.deleted);
        EXPECT_EQ(report.items[0].result == ItemResult::Kept, c.during != nullptr);
        Files after = treeOf(dir.path());
        EXPECT_EQ(after.take(QStringLiteral("a.zip")).isEmpty(), c.deleted);
        EXPECT_EQ(after, c.after);
    }
}

// The per-archive folder is a link to a folder outside: nothing is written through it.
TEST(UnzipFiles, NothingIsWrittenThroughALinkInPlaceOfTheArchivesFolder)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    QTemporaryDir dir, outside;
    QDir().mkpath(dir.filePath(QStringLiteral("zips")));
    makeArchiveOf(dir.filePath(QStringLiteral("zips/A.zip")), {QStringLiteral("game.nes|g")});
    QDir().mkpath(dir.filePath(QStringLiteral("dest")));
    ASSERT_TRUE(QFile::link(outside.path(), dir.filePath(QStringLiteral("dest/A"))));
    FakeHost host;
    host.opts = quietOptions();
    host.opts.chkZIPsToFolders = Check::Ticked;
    host.opts.chkDeleteZIPFiles = Check::Ticked;
    host.listFolder(dir.filePath(QStringLiteral("zips")));
    const BatchReport report =
        unzip_files(unzipRequestFor(host, dir.filePath(QStringLiteral("dest"))), host, host);
    ASSERT_EQ(report.items.size(), 1u);
    EXPECT_EQ(codeOf(report, 0), ZipUnsafeEntry);
    EXPECT_TRUE(namesIn(outside.path()).isEmpty());
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("zips/A.zip"))));
}

// An archive whose name is not UTF-8 (Latin-1 from an old FAT card) is listed, unzipped into
// a folder of the same bytes and deleted like any other.
TEST(UnzipFiles, ArchiveNamedInLatin1IsUnzippedAndDeletedLikeAnyOther)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    QTemporaryDir dir;
    makeArchiveOf(dir.filePath(QStringLiteral("plain.zip")), {QStringLiteral("game.nes|g")});
    const QByteArray latin1 = QFile::encodeName(dir.path()) + "/caf\xe9.zip";
    ASSERT_EQ(::rename(QFile::encodeName(dir.filePath(QStringLiteral("plain.zip"))).constData(),
                       latin1.constData()),
              0);
    FakeHost host;
    host.opts = quietOptions();
    host.opts.chkUnziptoSameFolder = Check::Ticked;
    host.opts.chkZIPsToFolders = Check::Ticked;
    host.opts.chkDeleteZIPFiles = Check::Ticked;
    host.listFolder(dir.path());
    ASSERT_EQ(host.fileCount(), 1);
    const BatchReport report = unzip_files(unzipRequestFor(host), host, host);
    ASSERT_EQ(report.items.size(), 1u);
    EXPECT_EQ(codeOf(report, 0), ZipOk) << report.items[0].reason;
    EXPECT_TRUE(deletedIn(report, 0));
    const QByteArray extracted = QFile::encodeName(dir.path()) + "/caf\xe9/game.nes";
    EXPECT_EQ(::access(extracted.constData(), F_OK), 0);
    EXPECT_NE(::access(latin1.constData(), F_OK), 0);
}

// The listing that plans an archive and the extraction that follows read one open archive;
// deleting it and renaming its files are judged from what the extraction wrote.
TEST(UnzipFiles, EachArchiveIsOpenedOnce)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    QTemporaryDir dir;
    for (const char* name : {"a.zip", "b.zip", "c.zip"})
        makeRawArchive(dir.filePath(QLatin1String(name)), {QStringLiteral("rom.nes")});
    FakeHost host;
    host.opts = quietOptions();
    host.opts.chkZIPsToFolders = Check::Ticked;
    host.opts.chkDeleteZIPFiles = Check::Ticked;
    host.opts.chkRenameFiles = Check::Ticked;
    host.listFolder(dir.path());
    QDir().mkpath(dir.filePath(QStringLiteral("out")));
    const int before = ArchiveReader::opens();
    const BatchReport report =
        unzip_files(unzipRequestFor(host, dir.filePath(QStringLiteral("out"))), host, host);
    EXPECT_EQ(ArchiveReader::opens() - before, 3);
    EXPECT_EQ(report.count(ItemResult::Done), 3) << host.log.join(u'\n');
    EXPECT_EQ(renamesIn(report), 3);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("out/b/b.nes"))));
}
