// SPDX-License-Identifier: GPL-3.0-or-later
// Zip and folders to zips with "delete" on, against the names, changes and failures that
// used to lose files. After every case each original file's bytes are still somewhere: at
// its path, or in an archive that unzip, 7-Zip and Python's zipfile all accept.
#include "archive/ZipComponent.h"
#include "common/FakeHost.h"
#include "common/Tools.h"
#include "common/ZipTestRequests.h"
#include "fs/FolderTree.h"
#include "maintenance/ArchivePool.h"
#include "maintenance/CliRun.h"
#include "maintenance/FoldersToZips.h"
#include "maintenance/ZipFiles.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelmar;
using namespace kelmar::test;

namespace {

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

QByteArray readRaw(const QByteArray& path)
{
    QByteArray bytes;
    const int fd = ::open(path.constData(), O_RDONLY);
    char buffer[4096];
    for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, n);
    if (fd >= 0)
        ::close(fd);
    return bytes;
}

// Every file of root except archives, with its bytes, by its path's bytes below root.
QMap<QByteArray, QByteArray> filesBelow(const QString& root)
{
    QMap<QByteArray, QByteArray> files;
    for (const fs::FolderTree::Entry& e : fs::FolderTree::read(native(root)).entries) {
        if (e.kind == fs::FolderTree::Kind::File && !e.nativeRelative.endsWith(".zip"))
            files.insert(e.nativeRelative, readRaw(native(root) + '/' + e.nativeRelative));
    }
    return files;
}

// The entries of every archive below root, "archive|entry" -> bytes, read by Python after
// unzip -t and 7zz t have accepted each archive.
QMap<QString, QByteArray> archivedBelow(const QString& root)
{
    QMap<QString, QByteArray> entries;
    // The tools get each archive under a plain name: a path that is not UTF-8 does not pass
    // through a program's arguments as text.
    QTemporaryDir plain;
    int number = 0;
    for (const fs::FolderTree::Entry& e : fs::FolderTree::read(native(root)).entries) {
        if (e.kind != fs::FolderTree::Kind::File || !e.nativeRelative.endsWith(".zip"))
            continue;
        const QString archive = plain.filePath(QString::number(++number) + QStringLiteral(".zip"));
        EXPECT_EQ(::link((native(root) + '/' + e.nativeRelative).constData(),
                         QFile::encodeName(archive).constData()),
                  0);
        EXPECT_EQ(runTool("unzip", {"-tqq", archive}).exitCode, 0) << archive;
        EXPECT_EQ(runTool("7zz", {"t", archive}).exitCode, 0) << archive;
        const ToolRun py =
            runTool("python3", {"-c",
                                "import sys,zipfile\nz=zipfile.ZipFile(sys.argv[1])\n"
                                "assert z.testzip() is None\n"
                                "for n in z.namelist(): print(n.encode().hex(), z.read(n).hex())",
                                archive});
        EXPECT_EQ(py.exitCode, 0) << py.output.constData();
        for (const QByteArray& line : py.output.split('\n')) {
            const QList<QByteArray> parts = line.split(' ');
            if (parts.size() == 2)
                entries.insert(e.relative + u'|' + QString::fromUtf8(QByteArray::fromHex(parts[0])),
                               QByteArray::fromHex(parts[1]));
        }
    }
    return entries;
}

// Each original's bytes are on disk or in an archive.
void expectNothingLost(const QString& root, const QMap<QByteArray, QByteArray>& originals)
{
    const QMap<QByteArray, QByteArray> now = filesBelow(root);
    const QList<QByteArray> archived = archivedBelow(root).values();
    for (auto it = originals.begin(); it != originals.end(); ++it) {
        EXPECT_TRUE(now.value(it.key()) == it.value() || archived.contains(it.value()))
            << "lost: " << it.key().constData();
    }
}

// kelmar-cli as an unprivileged user when run as root, so that permissions hold.
CliRun cliUnprivileged(const QStringList& args, const QString& home)
{
    if (::geteuid() != 0)
        return cli(args, home);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home);
    env.insert("LC_ALL", "C");
    p.setProcessEnvironment(env);
    p.start("setpriv", QStringList{"--reuid=65534", "--regid=65534", "--clear-groups",
                                   QStringLiteral(KELMAR_CLI)} +
                           args);
    p.waitForFinished(-1);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// The sources a zip report says were to be deleted and were kept, "PATH: WHY" each.
QStringList keptIn(const BatchReport& report)
{
    QStringList kept;
    for (const ItemOutcome& archive : report.items)
        kept += keptSources(archive);
    return kept;
}

QStringList withRoot(QStringList args, const QString& root)
{
    for (QString& a : args)
        a.replace(QStringLiteral("@"), root + u'/');
    return args;
}

} // namespace

TEST(ZipNoLoss, NoFileReplacesAnothersEntry)
{
    KELMAR_REQUIRE_TOOL("7zz");
    KELMAR_REQUIRE_TOOL("python3");
    struct Case
    {
        const char* loss;
        QMap<QByteArray, QByteArray> files;
        QStringList args; // "@" stands for the folder of the files
        int exitCode;
        QStringList left; // files still there afterwards (besides archives)
        QString mustLog;  // a line of the output holds this, "@" for the folder
        QString archive;  // and this archive holds these entries
        QStringList entries;
    };
    const std::vector<Case> cases = {
        {"case twins go to one per-file archive",
         {{"Game.rom", "A"}, {"game.rom", "B"}},
         {"zip", "--same-folder", "--delete-originals", "@"},
         1,
         {"game.rom"},
         "@game.rom would replace Game.rom in game.zip, stored there from @Game.rom)",
         "game.zip",
         {"Game.rom"}},
        {"case twins with the original case",
         {{"Game.rom", "A"}, {"Game.ROM", "B"}},
         {"zip", "--same-folder", "--case", "original", "--delete-originals", "@"},
         1,
         {"Game.rom"},
         "@Game.rom would replace Game.ROM",
         "Game.zip",
         {"Game.ROM"}},
        {"one name in two folders, one archive each",
         {{"F1/x.rom", "A"}, {"F2/x.rom", "B"}},
         {"zip", "--to", "@out", "--delete-originals", "@F1/x.rom", "@F2/x.rom"},
         1,
         {"F2/x.rom"},
         "@F2/x.rom would replace x.rom in x.zip, stored there from @F1/x.rom)",
         "out/x.zip",
         {"x.rom"}},
        {"one name in two folders, one archive",
         {{"F1/a.rom", "A"}, {"F2/a.rom", "B"}},
         {"zip", "--single", "@out.zip", "--delete-originals", "@F1/a.rom", "@F2/a.rom"},
         0,
         {},
         "@F2/a.rom is stored as a (2).rom in out.zip",
         "out.zip",
         {"a (2).rom", "a.rom"}},
        {"an info file named like the source",
         {{"a.rom", "ROM"}, {"info/a.rom", "INFO"}},
         {"zip", "--same-folder", "--info-file", "@info/a.rom", "--delete-originals", "@a.rom"},
         0,
         {"info/a.rom"},
         "@info/a.rom is left out of a.zip",
         "a.zip",
         {"a.rom"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.loss);
        QTemporaryDir home, dir;
        const QString root = dir.filePath("r");
        for (auto it = c.files.begin(); it != c.files.end(); ++it)
            writeFile(root + u'/' + QString::fromUtf8(it.key()), it.value());
        const CliRun run = cli(withRoot(c.args, root), home.path());
        EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
        EXPECT_TRUE(run.out.contains(QString(c.mustLog).replace("@", root + u'/'))) << run.out;
        QStringList left;
        for (const QByteArray& name : filesBelow(root).keys())
            left.append(QString::fromUtf8(name));
        EXPECT_EQ(left, c.left);
        QStringList entries;
        for (const QString& key : archivedBelow(root).keys()) {
            if (key.startsWith(c.archive + u'|'))
                entries.append(key.mid(c.archive.size() + 1));
        }
        EXPECT_EQ(entries, c.entries);
        expectNothingLost(root, c.files);
    }
}

TEST(ZipNoLoss, NoCharacterOfANameIsAPattern)
{
    KELMAR_REQUIRE_TOOL("7zz");
    KELMAR_REQUIRE_TOOL("python3");
    // Each row zips one file, selected by name, with delete on; every other file stays.
    const std::vector<std::pair<const char*, QByteArray>> cases = {
        {"a star took game1 and game2 along", "game*.rom"},
        {"a question mark took ab.rom along", "a?.rom"},
        {"brackets took x.rom along", "[x].rom"},
    };
    QTemporaryDir home, dir;
    const QString root = dir.filePath("r");
    QMap<QByteArray, QByteArray> originals = {{"game1.rom", "1"},     {"game2.rom", "2"},
                                              {"ab.rom", "ab"},       {"x.rom", "x"},
                                              {"taxes.pdf", "taxes"}, {"photo.jpg", "photo"}};
    for (const auto& c : cases)
        originals.insert(c.second, QByteArray("zip me: ") + c.first);
    QDir().mkpath(root + "/sub");
    for (auto it = originals.begin(); it != originals.end(); ++it)
        writeRaw(native(root) + '/' + it.key(), it.value());

    QMap<QByteArray, QByteArray> expected = originals;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        const CliRun run = cli({"zip", "--same-folder", "--delete-originals",
                                root + u'/' + QFile::decodeName(c.second)},
                               home.path());
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
        expected.remove(c.second);
        EXPECT_EQ(filesBelow(root), expected);
    }
    const QMap<QString, QByteArray> archived = archivedBelow(root);
    EXPECT_EQ(archived.value(QStringLiteral("game*.zip|game*.rom")), originals["game*.rom"]);
    EXPECT_EQ(archived.size(), int(cases.size()));
    expectNothingLost(root, originals);

    // A name that is not UTF-8 is never taken for another file's.
    const QByteArray raw = native(root) + "/raw";
    ::mkdir(raw.constData(), 0755);
    writeRaw(raw + "/caf\xe9.rom", "latin-1 name");
    writeRaw(raw + "/caf\xc3\xa9.rom", "utf-8 name");
    cli({"zip", "--same-folder", "--delete-originals", root + "/raw"}, home.path());
    expectNothingLost(root + "/raw",
                      {{"caf\xe9.rom", "latin-1 name"}, {"caf\xc3\xa9.rom", "utf-8 name"}});
    runTool("rm", {"-rf", root}); // QTemporaryDir cannot remove a name that is not UTF-8
}

// A name unzip refuses (a control character in it) is never stored, so what Kelmar writes it
// can read back: the file stays where it is, and the log says why.
TEST(ZipNoLoss, ANameUnzipRefusesIsNotZipped)
{
    KELMAR_REQUIRE_TOOL("7zz");
    KELMAR_REQUIRE_TOOL("python3");
    struct Case
    {
        const char* loss;
        QMap<QByteArray, QByteArray> files;
        QStringList args; // "@" stands for the folder of the files
        int exitCode;
        QStringList left;
        QString mustLog; // "@" for the folder
        QString archive; // which holds these entries
        QStringList entries;
    };
    const std::vector<Case> cases = {
        {"a line feed in a per-file archive",
         {{"a\nb.rom", "LF"}, {"ok.rom", "OK"}},
         {"zip", "--same-folder", "--delete-originals", "@"},
         1,
         {"a\nb.rom"},
         "@a\\x0ab.rom: its name holds a line feed, which unzip refuses)",
         "ok.zip",
         {"ok.rom"}},
        {"a carriage return in one archive",
         {{"cr\r.rom", "CR"}, {"ok.rom", "OK"}},
         {"zip", "--single", "@out.zip", "--delete-originals", "@"},
         0,
         {"cr\r.rom"},
         "@cr\\x0d.rom is left out of out.zip: its name holds a carriage return",
         "out.zip",
         {"ok.rom"}},
        {"a tab in a folder zipped and deleted",
         {{"S/tab\t.rom", "TAB"}, {"S/ok.rom", "OK"}},
         {"folders-to-zips", "--delete-folders", "@"},
         1,
         {"S/ok.rom", "S/tab\t.rom"},
         "@S/tab\\x09.rom is left out of S.zip: its name holds a control character",
         "S.zip",
         {"ok.rom"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.loss);
        QTemporaryDir home, dir;
        const QString root = QDir::cleanPath(dir.path());
        for (auto it = c.files.begin(); it != c.files.end(); ++it)
            writeFile(root + u'/' + QString::fromUtf8(it.key()), it.value());
        const CliRun run = cli(withRoot(c.args, root), home.path());
        EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
        EXPECT_TRUE(run.out.contains(QString(c.mustLog).replace("@", root + u'/'))) << run.out;
        QStringList left;
        for (const QByteArray& name : filesBelow(root).keys())
            left.append(QString::fromUtf8(name));
        EXPECT_EQ(left, c.left);
        QStringList entries;
        for (const QString& key : archivedBelow(root).keys()) {
            if (key.startsWith(c.archive + u'|'))
                entries.append(key.mid(c.archive.size() + 1));
        }
        EXPECT_EQ(entries, c.entries);
        expectNothingLost(root, c.files);
    }
}

TEST(ZipNoLoss, ASourceChangedAfterItWasReadIsKept)
{
    KELMAR_REQUIRE_TOOL("7zz");
    KELMAR_REQUIRE_TOOL("python3");
    enum Mode { OneArchive, PerFile, Folders };
    struct Case
    {
        const char* loss;
        Mode mode;
        std::function<void(const QString& root)> change; // between reading and deleting
        QString reason;
    };
    const std::vector<Case> cases = {
        {"data appended to an early source of one archive", OneArchive,
         [](const QString& r) {
             QFile f(r + "/a.rom");
             f.open(QIODevice::Append);
             f.write("more");
         },
         "a.rom (it changed after it was read)"},
        {"a new version saved by rename over the source", PerFile,
         [](const QString& r) {
             writeFile(r + "/new.tmp", "new version");
             ::rename(native(r + "/new.tmp").constData(), native(r + "/a.rom").constData());
         },
         "a.rom (another file took its place after it was read)"},
        {"a same-size rewrite of a folder's file", Folders,
         [](const QString& r) {
             writeFile(r + "/S/a.rom", "AAAA");
             const struct timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
             ::utimensat(AT_FDCWD, native(r + "/S/a.rom").constData(), later, 0);
         },
         "a.rom changed after it was zipped"},
        {"a file added to a zipped folder", Folders,
         [](const QString& r) { writeFile(r + "/S/late.rom", "late"); },
         "its archive does not hold late.rom"},
    };
    // The change comes between one archive's write and its deletions, before the next
    // archive is read: one archive after another.
    for (const Case& c : cases) {
        SCOPED_TRACE(c.loss);
        QTemporaryDir dir;
        const QString root = dir.filePath("r");
        const QString folder = c.mode == Folders ? root + "/S" : root;
        writeFile(folder + "/a.rom", "aaaa");
        writeFile(folder + "/b.rom", "bbbb");
        FakeHost host;
        host.workers = 1;
        host.opts.chkDeleteFiles = Check::Ticked;
        host.opts.chkSaveZIPsinSameFolder = Check::Ticked;
        host.opts.radOneZIP = c.mode == OneArchive;
        host.tree = root;
        host.queueAnswer(MsgAnswer::Ok);
        host.listFolder(folder);
        ZipComponent zip;
        bool changed = false;
        zip.setAfterWriteHook([&] {
            if (!std::exchange(changed, true))
                c.change(root);
        });
        const QMap<QByteArray, QByteArray> before = filesBelow(root);
        QString said;
        if (c.mode == Folders) {
            const BatchReport report =
                convert_sub_folders_to_zips(foldersToZipsRequest(host, true), host, host, zip);
            ASSERT_EQ(report.items.size(), 1u);
            EXPECT_EQ(report.items[0].result, ItemResult::Kept);
            said = report.items[0].reason;
        } else {
            const BatchReport report =
                zip_files(zipRequest(host, c.mode == OneArchive ? root + "/out.zip" : QString()),
                          host, host, zip);
            EXPECT_EQ(report.count(ItemResult::Kept), 1);
            EXPECT_EQ(keptIn(report),
                      QStringList{folder + "/a.rom: " + c.reason.section('(', 1).chopped(1)});
            said = host.log.join(u'\n');
            EXPECT_TRUE(said.contains("Not deleted: " + root + "/")) << said;
        }
        EXPECT_TRUE(changed);
        EXPECT_TRUE(said.contains(c.reason)) << said;
        EXPECT_TRUE(QFile::exists(folder + "/a.rom"));
        expectNothingLost(root, before);
    }
}

TEST(ZipNoLoss, EveryFileThatCannotGoIsLoggedAndNoLinkTargetIsTouched)
{
    KELMAR_REQUIRE_TOOL("chattr");
    QTemporaryDir home, dir;
    const QString root = dir.filePath("r");
    writeFile(root + "/z/a.rom", "stuck");
    writeFile(root + "/S/b.rom", "stuck too");
    writeFile(dir.filePath("outside/target.rom"), "not in the folder");
    ::chmod(native(dir.filePath("outside/target.rom")).constData(), 0444);
    ASSERT_TRUE(QFile::link(dir.filePath("outside/target.rom"), root + "/z/link.rom"));
    if (runTool("chattr", {"+i", root + "/z/a.rom"}).exitCode != 0 ||
        runTool("chattr", {"+i", root + "/S/b.rom"}).exitCode != 0)
        GTEST_SKIP() << "cannot make a file undeletable here";

    const CliRun zipRun =
        cli({"zip", "--same-folder", "--delete-originals", root + "/z"}, home.path());
    const CliRun foldersRun = cli({"folders-to-zips", "--delete-folders", root}, home.path());
    runTool("chattr", {"-i", root + "/z/a.rom", root + "/S/b.rom"});

    EXPECT_EQ(zipRun.exitCode, 1) << zipRun.out << zipRun.err;
    EXPECT_TRUE(zipRun.out.contains("Not deleted: " + root + "/z/a.rom (it could not be deleted"))
        << zipRun.out;
    EXPECT_FALSE(QFileInfo(root + "/z/link.rom").isSymLink()); // the link went, as a link
    struct stat st;
    ASSERT_EQ(::stat(native(dir.filePath("outside/target.rom")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_EQ(readFile(dir.filePath("outside/target.rom")), "not in the folder");
    EXPECT_EQ(foldersRun.exitCode, 1) << foldersRun.out;
    EXPECT_TRUE(foldersRun.out.contains("/S.zip (folder kept: ")) << foldersRun.out;
    EXPECT_EQ(readFile(root + "/S/b.rom"), "stuck too");
}

TEST(ZipNoLoss, AnUnreadablePartFailsItsFoldersArchive)
{
    KELMAR_REQUIRE_TOOL("setpriv");
    struct Case
    {
        const char* loss;
        const char* locked; // made unreadable, below the sub-folder S
    };
    const std::vector<Case> cases = {
        {"an unreadable sub-folder was skipped and the folder deleted", "inner"},
        {"an unreadable file", "secret.rom"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.loss);
        QTemporaryDir home, dir;
        const QString root = dir.filePath("r");
        writeFile(root + "/S/a.rom", "readable");
        writeFile(root + "/S/inner/b.rom", "behind a lock");
        writeFile(root + "/S/secret.rom", "locked");
        if (::geteuid() == 0)
            runTool("chown", {"-R", "65534:65534", dir.path(), home.path()});
        ::chmod(native(dir.path()).constData(), 0755);
        ::chmod(native(root + "/S/" + c.locked).constData(), 0);
        const CliRun run =
            cliUnprivileged({"folders-to-zips", "--delete-folders", root}, home.path());
        ::chmod(native(root + "/S/" + c.locked).constData(), 0755);
        EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
        EXPECT_TRUE(run.out.contains(root + "/S: error ")) << run.out;
        EXPECT_TRUE(run.out.contains(c.locked)) << run.out;
        EXPECT_FALSE(QFile::exists(root + "/S.zip"));
        EXPECT_EQ(readFile(root + "/S/inner/b.rom"), "behind a lock");
        EXPECT_EQ(readFile(root + "/S/secret.rom"), "locked");
    }
}
