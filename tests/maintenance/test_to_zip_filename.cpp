// SPDX-License-Identifier: GPL-3.0-or-later
// "to Zipped Filename" over archives made by zip and Python.
#include "common/FakeHost.h"
#include "common/HostFiles.h"
#include "common/Tools.h"
#include "maintenance/ToZipFilename.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace kelmar;
using namespace kelmar::test;

namespace {

// An archive in folder holding the given entries (paths kept as given), made by zip.
void makeZip(const QString& folder, const QString& archive, const QStringList& entries)
{
    const QString work = folder + QStringLiteral("/.work");
    int seed = 1;
    for (const QString& e : entries)
        writeFile(work + u'/' + e, textBytes(2000, quint32(seed++)));
    ASSERT_EQ(runTool(QStringLiteral("zip"),
                      QStringList{QStringLiteral("-q"), folder + u'/' + archive} + entries, work)
                  .exitCode,
              0);
    QDir(work).removeRecursively();
}

QStringList filesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::Dirs | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

} // namespace

TEST(ToZipFilename, SingleEntryArchivesTakeItsNameOthersAreLeftAloneSilently)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    QTemporaryDir dir;
    const QString d = dir.path();
    makeZip(d, QStringLiteral("PAC.ZIP"), {QStringLiteral("pacman.rom")});
    makeZip(d, QStringLiteral("two.zip"), {QStringLiteral("a.rom"), QStringLiteral("b.rom")});
    makeZip(d, QStringLiteral("pacman2.zip"), {QStringLiteral("pacman2.rom")});
    makeZip(d, QStringLiteral("deep.zip"), {QStringLiteral("set/Galaga (USA).nes")});
    makeZip(d, QStringLiteral("unselected.zip"), {QStringLiteral("other.rom")});
    makeZip(d, QStringLiteral("A.ZIP"), {QStringLiteral("a.rom")});
    makeZip(d, QStringLiteral("locked.zip"), {QStringLiteral("Locked Game.rom")});
    QFile::setPermissions(d + QStringLiteral("/locked.zip"), QFile::ReadOwner);
    makeZip(d, QStringLiteral("not-an-archive.bin"), {QStringLiteral("x.rom")});
    ASSERT_EQ(
        runTool(
            QStringLiteral("python3"),
            {QStringLiteral("-c"),
             QStringLiteral("import zipfile; zipfile.ZipFile('%1/empty.zip','w').close()").arg(d)})
            .exitCode,
        0);
    writeFile(d + QStringLiteral("/broken.zip"), "PK not really");

    FakeHost host;
    host.listFolder(d);
    const int unselected = int(QDir(d)
                                   .entryList(QDir::Files, QDir::Name | QDir::IgnoreCase)
                                   .indexOf(QStringLiteral("unselected.zip")));
    host.select(unselected, false);
    host.log.append(QStringLiteral("old line"));
    const BatchReport report = to_zip_filename(ZipNameRequest{archivesOf(host)}, host, host);

    EXPECT_TRUE(host.log.isEmpty()) << host.log.join(u'\n');
    EXPECT_TRUE(host.questions.isEmpty());
    // The file system tells cases apart: a.zip is a free name beside A.ZIP.
    EXPECT_EQ(filesOf(d), QStringList({"Galaga (USA).zip", "Locked Game.zip", "a.zip", "broken.zip",
                                       "empty.zip", "not-an-archive.bin", "pacman.zip",
                                       "pacman2.zip", "two.zip", "unselected.zip"}));
    EXPECT_EQ(report.count(ItemResult::Done), 4);
    EXPECT_EQ(report.count(ItemResult::Unchanged), 1);
    EXPECT_EQ(report.count(ItemResult::Skipped), 3);
    EXPECT_EQ(report.exitStatus(), 0);
    const ToolRun t = runTool(QStringLiteral("unzip"), {QStringLiteral("-tqq"), d + "/pacman.zip"});
    EXPECT_EQ(t.exitCode, 0);
}

TEST(ToZipFilename, ATakenNameIsLoggedOrAskedAboutAndNothingIsReplaced)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    QTemporaryDir dir;
    const QString d = dir.path();
    makeZip(d, QStringLiteral("first.zip"), {QStringLiteral("mario.nes")});
    makeZip(d, QStringLiteral("second.zip"), {QStringLiteral("mario.sfc")});
    // A hidden file, and a folder, already bear the new names: the listing does not see them.
    makeZip(d, QStringLiteral("third.zip"), {QStringLiteral(".hack.rom")});
    writeFile(d + QStringLiteral("/.hack.zip"), "mine");
    makeZip(d, QStringLiteral("fourth.zip"), {QStringLiteral("saves.rom")});
    QDir(d).mkdir(QStringLiteral("saves.zip"));

    FakeHost host;
    host.listFolder(d);
    host.queueAnswer(MsgAnswer::Ok);
    host.queueAnswer(MsgAnswer::Ok);
    const BatchReport report = to_zip_filename(ZipNameRequest{archivesOf(host)}, host, host);

    EXPECT_EQ(host.log,
              QStringList{QStringLiteral("Error renaming ") + d + QStringLiteral("/second.zip! ") +
                          d + QStringLiteral("/mario.zip already exists.")});
    EXPECT_EQ(host.questions,
              QStringList({QStringLiteral("Warning.|'") + d +
                               QStringLiteral("/saves.zip' already exists.\rCheck for Dupes."),
                           QStringLiteral("Warning.|'") + d +
                               QStringLiteral("/.hack.zip' already exists.\rCheck for Dupes.")}));
    EXPECT_EQ(filesOf(d), QStringList({".hack.zip", "fourth.zip", "mario.zip", "saves.zip",
                                       "second.zip", "third.zip"}));
    EXPECT_EQ(readFile(d + QStringLiteral("/.hack.zip")), QByteArray("mine"));
    EXPECT_EQ(report.count(ItemResult::Failed), 3);
    EXPECT_EQ(report.count(ItemResult::Done), 1);
}
