// SPDX-License-Identifier: GPL-3.0-or-later
// Test Zips over real archives in a temporary folder, with a scripted host.
#include "common/FakeHost.h"
#include "common/HostFiles.h"
#include "common/Tools.h"
#include "maintenance/TestZips.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace kelmar;
using namespace kelmar::test;

namespace {

// A good archive made by zip from one file.
void makeZip(const QString& folder, const QString& archive, const QStringList& extra = {})
{
    writeFile(folder + QStringLiteral("/work/game.nes"), textBytes(50000, 2));
    ASSERT_EQ(runTool(QStringLiteral("zip"),
                      QStringList{QStringLiteral("-q")} + extra +
                          QStringList{folder + u'/' + archive, QStringLiteral("game.nes")},
                      folder + QStringLiteral("/work"))
                  .exitCode,
              0);
    QDir(folder + QStringLiteral("/work")).removeRecursively();
}

// The request the window makes of host's list and options.
TestRequest requestOf(const FakeHost& host)
{
    return TestRequest{archivesOf(host), host.opts.unzipPassword(), 0};
}

void makeBadZip(const QString& folder, const QString& archive)
{
    makeZip(folder, archive);
    QByteArray bytes = readFile(folder + u'/' + archive);
    bytes[100] = char(bytes[100] ^ 0x40);
    writeFile(folder + u'/' + archive, bytes);
}

} // namespace

TEST(TestZips, BadArchiveIsLoggedAndSetAsideGoodOnesAndOtherFilesAreLeftAlone)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    QTemporaryDir dir;
    makeZip(dir.path(), QStringLiteral("good.zip"));
    makeBadZip(dir.path(), QStringLiteral("BAD.ZIP"));
    makeBadZip(dir.path(), QStringLiteral("locked.zip"));
    QFile::setPermissions(dir.filePath(QStringLiteral("locked.zip")), QFile::ReadOwner);
    writeFile(dir.filePath(QStringLiteral("notes.txt")), "x");
    FakeHost host;
    host.listFolder(dir.path());
    host.log.append(QStringLiteral("old line"));

    const BatchReport report = test_zip_files(requestOf(host), host, host);
    ASSERT_EQ(host.log.size(), 4);
    EXPECT_EQ(host.log[0], QStringLiteral("BAD.ZIP is bad!"));
    // Deflate is decoded by Kelmar when judged, and the reason names the method first.
    EXPECT_TRUE(host.log[1].startsWith(QStringLiteral("    Damaged data or CRC error: ")));
    EXPECT_TRUE(host.log[1].contains(QStringLiteral("game.nes"))) << host.log[1];
    EXPECT_EQ(host.log[2], QStringLiteral("locked.zip is bad!"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase),
              (QStringList{QStringLiteral("BAD.ZIP.bad"), QStringLiteral("good.zip"),
                           QStringLiteral("locked.zip.bad"), QStringLiteral("notes.txt")}));
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("locked.zip.bad"))).isWritable());
    EXPECT_EQ(report.count(ItemResult::Failed), 2);
    EXPECT_EQ(report.count(ItemResult::Done), 1);
    ASSERT_EQ(report.items.size(), 3u);
    EXPECT_EQ(report.items[0].target, dir.filePath(QStringLiteral("BAD.ZIP.bad")));
    EXPECT_EQ(report.items[0].code, 3);
    EXPECT_EQ(report.exitStatus(), 1);
    EXPECT_TRUE(host.questions.isEmpty());
}

TEST(TestZips, ExistingDotBadFileKeepsTheBadArchiveUnderItsName)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    QTemporaryDir dir;
    makeBadZip(dir.path(), QStringLiteral("x.zip"));
    writeFile(dir.filePath(QStringLiteral("x.zip.bad")), "older one");
    FakeHost host;
    host.listFolder(dir.path());
    const BatchReport report = test_zip_files(requestOf(host), host, host);
    EXPECT_EQ(host.log.first(), QStringLiteral("x.zip is bad!"));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("x.zip"))));
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("x.zip.bad"))), "older one");
    ASSERT_EQ(report.items.size(), 1u);
    EXPECT_EQ(report.items[0].result, ItemResult::Failed);
    EXPECT_EQ(report.items[0].target, QString()) << "it keeps its name";
}

TEST(TestZips, OnlySelectedEntriesEndingInZipAreCandidatesElseWhoops)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    QTemporaryDir dir;
    makeBadZip(dir.path(), QStringLiteral("game.zip"));
    writeFile(dir.filePath(QStringLiteral("game.zip.bad")), "x");
    writeFile(dir.filePath(QStringLiteral("readme.txt")), "x");
    FakeHost host;
    host.listFolder(dir.path(), false);
    host.select(1); // game.zip.bad
    host.select(2); // readme.txt
    host.queueAnswer(MsgAnswer::Ok);
    host.log.append(QStringLiteral("old line"));
    const BatchReport report = test_zip_files(requestOf(host), host, host);
    EXPECT_EQ(host.questions,
              QStringList{QStringLiteral("Whoops!|You didn't select any Zip files to test!")});
    EXPECT_EQ(report.end, BatchEnd::NothingSelected);
    EXPECT_TRUE(host.log.isEmpty());
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("game.zip"))));
}

TEST(TestZips, EncryptedOrUnreadableMethodIsNotDamagedAndKeepsItsName)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("7zz"));
    QTemporaryDir dir;
    makeZip(dir.path(), QStringLiteral("locked.zip"), {QStringLiteral("-P"), QStringLiteral("pw")});
    writeFile(dir.filePath(QStringLiteral("w/x.nes")), textBytes(40000, 1));
    ASSERT_EQ(runTool(QStringLiteral("7zz"),
                      {QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-mm=PPMd"),
                       dir.filePath(QStringLiteral("b-ppmd.zip")), QStringLiteral("x.nes")},
                      dir.filePath(QStringLiteral("w")))
                  .exitCode,
              0);
    QDir(dir.filePath(QStringLiteral("w"))).removeRecursively();
    FakeHost host;
    host.listFolder(dir.path());
    BatchReport report = test_zip_files(requestOf(host), host, host);
    ASSERT_EQ(host.log.size(), 2);
    EXPECT_TRUE(host.log[0].startsWith(QStringLiteral("b-ppmd.zip could not be tested (")));
    EXPECT_TRUE(host.log[0].contains(QStringLiteral("PPMd")));
    EXPECT_TRUE(host.log[1].startsWith(
        QStringLiteral("locked.zip could not be tested (Wrong or missing password")));
    EXPECT_EQ(report.count(ItemResult::NotJudged), 2);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
              (QStringList{QStringLiteral("b-ppmd.zip"), QStringLiteral("locked.zip")}));

    // With the unzip password ticked the encrypted archive is tested, and good.
    host.listFolder(dir.path());
    host.opts.chkUnzipPassword = Check::Ticked;
    host.opts.txtUnzipPassword = QStringLiteral("pw");
    report = test_zip_files(requestOf(host), host, host);
    EXPECT_EQ(report.items.at(1).result, ItemResult::Done) << report.items.at(1).reason;
}

TEST(TestZips, StopEndsTheBatchAfterTheArchiveUnderTest)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    QTemporaryDir dir;
    for (const char* name : {"a.zip", "b.zip", "c.zip"})
        makeBadZip(dir.path(), QLatin1String(name));
    FakeHost host;
    host.listFolder(dir.path());
    const BatchReport report =
        test_zip_files(requestOf(host), host, host, [&](int number, int, const QString&) {
            if (number == 1)
                host.stop = true; // pressed while the first archive is being tested
        });
    EXPECT_EQ(report.items.size(), 1u);
    EXPECT_TRUE(report.stopped());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
              (QStringList{QStringLiteral("a.zip.bad"), QStringLiteral("b.zip"),
                           QStringLiteral("c.zip")}));
    EXPECT_TRUE(host.questions.isEmpty());
    EXPECT_TRUE(host.stop) << "the flag stays set until the next batch starts";
}
