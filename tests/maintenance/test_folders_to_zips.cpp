// SPDX-License-Identifier: GPL-3.0-or-later
// "Convert Sub Folders to Zips" over real nested folders, archives checked with real tools.
#include "archive/ZipComponent.h"
#include "common/Scoped.h"
#include "common/FakeHost.h"
#include "common/Tools.h"
#include "common/ZipTestRequests.h"
#include "maintenance/FoldersToZips.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

using namespace kelmar;
using namespace kelmar::test;

namespace {

QStringList namesIn(const QString& archive)
{
    const ToolRun run = runTool(QStringLiteral("zipinfo"), {QStringLiteral("-1"), archive});
    EXPECT_EQ(run.exitCode, 0) << archive << run.output.constData();
    QStringList names = QString::fromUtf8(run.output).split(u'\n', Qt::SkipEmptyParts);
    names.sort();
    return names;
}

QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

TEST(FoldersToZips, EachSubFolderBecomesAnArchiveBesideItAndNoKeepsTheFolders)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zipinfo"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("unzip"));
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("Sets"));
    writeFile(root + QStringLiteral("/b/b.rom"), textBytes(3000, 1));
    writeFile(root + QStringLiteral("/b/C/c.rom"), textBytes(3000, 2));
    writeFile(root + QStringLiteral("/A/a.rom"), noiseBytes(3000, 3));
    writeFile(root + QStringLiteral("/A/.hidden.cfg"), "user data too");
    writeFile(root + QStringLiteral("/A/.meta/x.cfg"), "and this");
    writeFile(root + QStringLiteral("/.git/config"), "not a set");
    writeFile(root + QStringLiteral("/loose.rom"), "a file, not a folder");
    writeFile(dir.filePath(QStringLiteral("elsewhere/other.rom")), "outside");
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("elsewhere")), root + "/linked"));

    FakeHost host;
    host.listFolder(dir.path());
    host.tree = root;
    ZipComponent zip;
    const BatchReport report =
        convert_sub_folders_to_zips(foldersToZipsRequest(host, false), host, host, zip);

    EXPECT_TRUE(host.questions.isEmpty()) << host.questions.join(u'\n');
    EXPECT_EQ(host.statusTexts,
              QStringList({QStringLiteral("Zipping Folder ") + root + QStringLiteral("/A (1 of 2)"),
                           QStringLiteral("Zipping Folder ") + root + QStringLiteral("/b (2 of 2)"),
                           QStringLiteral("<credit>")}));
    EXPECT_EQ(report.failedCount(), 0);
    ASSERT_EQ(report.items.size(), 2u);
    EXPECT_EQ(report.items[1].path, root + QStringLiteral("/b"));
    EXPECT_EQ(report.items[1].target, root + QStringLiteral("/b.zip"));
    EXPECT_EQ(report.exitStatus(), 0);
    EXPECT_EQ(entriesOf(root),
              QStringList({".git", "A", "A.zip", "b", "b.zip", "linked", "loose.rom"}));
    // Without stored paths, names are flat; hidden files are the user's data and go in too.
    EXPECT_EQ(namesIn(root + QStringLiteral("/A.zip")),
              QStringList({".hidden.cfg", "a.rom", "x.cfg"}));
    EXPECT_EQ(namesIn(root + QStringLiteral("/b.zip")), QStringList({"b.rom", "c.rom"}));
    EXPECT_EQ(runTool(QStringLiteral("unzip"), {"-tqq", root + "/b.zip"}).exitCode, 0);
}

TEST(FoldersToZips, YesDeletesOnlyFoldersWhoseArchiveHoldsEveryFile)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zipinfo"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("7zz"));
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("Sets"));
    writeFile(root + QStringLiteral("/Whole/a.rom"), textBytes(3000, 1));
    writeFile(root + QStringLiteral("/Whole/.hidden.cfg"), "user data");
    // Two files of one name: without stored paths the second is stored under a free name.
    writeFile(root + QStringLiteral("/Clash/disk.img"), textBytes(3000, 2));
    writeFile(root + QStringLiteral("/Clash/Disk 2/disk.img"), textBytes(3000, 3));
    // A link inside is neither followed nor stored, so the folder is not all in its archive.
    writeFile(root + QStringLiteral("/Linked/game.rom"), textBytes(3000, 4));
    writeFile(dir.filePath(QStringLiteral("outside/secret.txt")), "not yours");
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("outside/secret.txt")),
                            root + QStringLiteral("/Linked/secret.txt")));
    QDir(root).mkpath(QStringLiteral("Empty"));

    FakeHost host;
    host.tree = root;
    host.queueAnswer(MsgAnswer::Ok);
    ZipComponent zip;
    const BatchReport report =
        convert_sub_folders_to_zips(foldersToZipsRequest(host, true), host, host, zip);

    EXPECT_EQ(entriesOf(root),
              QStringList({"Clash.zip", "Empty", "Linked", "Linked.zip", "Whole.zip"}));
    EXPECT_EQ(namesIn(root + QStringLiteral("/Whole.zip")), QStringList({".hidden.cfg", "a.rom"}));
    EXPECT_EQ(namesIn(root + QStringLiteral("/Linked.zip")), QStringList{"game.rom"});
    EXPECT_EQ(namesIn(root + QStringLiteral("/Clash.zip")),
              QStringList({"disk (2).img", "disk.img"}));
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("outside/secret.txt"))),
              QByteArray("not yours"));
    ASSERT_EQ(host.questions.size(), 1);
    const QString message = host.questions[0];
    EXPECT_TRUE(message.startsWith(QStringLiteral("Folders to Zips|Some folders could not be")));
    EXPECT_TRUE(message.contains(root + QStringLiteral("/Empty: "))) << message;
    EXPECT_TRUE(message.contains(root + QStringLiteral("/Linked was not deleted: it holds links")))
        << message;
    EXPECT_EQ(report.failedCount(), 1);           // Empty: no file to zip
    EXPECT_EQ(report.count(ItemResult::Kept), 1); // Linked
    EXPECT_EQ(report.exitStatus(), 1);
    // The notes name what was stored under another name.
    for (const ItemOutcome& item : report.items) {
        if (item.path.endsWith(QStringLiteral("/Clash"))) {
            EXPECT_EQ(item.result, ItemResult::Done);
            EXPECT_EQ(item.notes.size(), 1) << item.notes.join(u'\n');
        }
    }

    // With stored paths the nested folder round-trips whole and goes.
    QDir(root).remove(QStringLiteral("Clash.zip"));
    writeFile(root + QStringLiteral("/Clash/disk.img"), textBytes(3000, 2));
    writeFile(root + QStringLiteral("/Clash/Disk 2/disk.img"), textBytes(3000, 3));
    QFile::remove(root + QStringLiteral("/Linked/secret.txt"));
    host.questions.clear();
    host.opts.chkUseZIPPaths = Check::Ticked;
    host.opts.chkZIPPassword = Check::Ticked;
    host.opts.txtZIPPassword = QStringLiteral("pw");
    host.queueAnswer(MsgAnswer::Ok);
    convert_sub_folders_to_zips(foldersToZipsRequest(host, true), host, host, zip);
    EXPECT_EQ(entriesOf(root), QStringList({"Clash.zip", "Empty", "Linked.zip", "Whole.zip"}));
    const QString out = dir.filePath(QStringLiteral("x"));
    ASSERT_EQ(runTool("7zz", {"x", "-ppw", "-o" + out, root + "/Clash.zip"}).exitCode, 0);
    EXPECT_EQ(readFile(out + QStringLiteral("/Disk 2/disk.img")), textBytes(3000, 3));
    EXPECT_EQ(readFile(out + QStringLiteral("/disk.img")), textBytes(3000, 2));
}

TEST(FoldersToZips, AFolderWhoseArchiveFailsStaysWhole)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zipinfo"));
    QTemporaryDir dir;
    const QString root = dir.path();
    writeFile(root + QStringLiteral("/Big/big.iso"), noiseBytes(300000, 1));
    writeFile(root + QStringLiteral("/Small/small.rom"), noiseBytes(10000, 2));
    FakeHost host;
    host.tree = root;
    host.opts.sliCompression = 0;
    host.queueAnswer(MsgAnswer::Ok);
    ZipComponent zip;

    const BatchReport report = [&] {
        const ScopedRlimit small(RLIMIT_FSIZE, 200 * 1024);
        EXPECT_TRUE(small.set());
        return convert_sub_folders_to_zips(foldersToZipsRequest(host, true), host, host, zip);
    }();

    EXPECT_EQ(entriesOf(root), QStringList({"Big", "Small.zip"}));
    EXPECT_EQ(readFile(root + QStringLiteral("/Big/big.iso")), noiseBytes(300000, 1));
    ASSERT_EQ(report.items.size(), 2u);
    EXPECT_EQ(report.items[0].result, ItemResult::Failed);
    EXPECT_EQ(report.items[0].code, ZipWriteError);
    EXPECT_EQ(report.items[1].result, ItemResult::Done);
    ASSERT_EQ(host.questions.size(), 1);
    EXPECT_TRUE(host.questions[0].contains(root + QStringLiteral("/Big: "))) << host.questions[0];
}

// The front ends say so before they start; the batch given such a folder does nothing.
TEST(FoldersToZips, AFolderWithoutSubFoldersIsLeftAsItIs)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("only.rom")), "x");
    QDir(dir.path()).mkdir(QStringLiteral(".hidden"));
    FakeHost host;
    host.tree = dir.path();
    ZipComponent zip;
    const BatchReport report =
        convert_sub_folders_to_zips(foldersToZipsRequest(host, true), host, host, zip);
    EXPECT_EQ(report.end, BatchEnd::NothingSelected);
    EXPECT_TRUE(report.items.empty());
    EXPECT_TRUE(host.questions.isEmpty());
    EXPECT_TRUE(subFoldersToZip(dir.path()).isEmpty());
    EXPECT_EQ(entriesOf(dir.path()), QStringList({".hidden", "only.rom"}));
}
