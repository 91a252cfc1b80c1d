// SPDX-License-Identifier: GPL-3.0-or-later
// Delete on real files.
#include "common/FakeHost.h"
#include "common/HostFiles.h"
#include "common/Tools.h"
#include "maintenance/DeleteFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <unistd.h>

using namespace kelmar;
using namespace kelmar::test;

TEST(DeleteFiles, DeletesTheSelectionInListOrderReadOnlyFilesToo)
{
    QTemporaryDir dir;
    for (const char* name : {"a.nes", "b.zip", "c.txt", "keep.sfc"})
        writeFile(dir.filePath(QLatin1String(name)), "x");
    QFile::setPermissions(dir.filePath(QStringLiteral("c.txt")), QFile::ReadOwner);
    FakeHost host;
    host.listFolder(dir.path());
    host.select(3, false);
    host.log << QStringLiteral("old");
    const BatchReport report = delete_files(DeleteRequest{selectedOf(host)}, host, host);
    // The front end asked before the batch started.
    EXPECT_TRUE(host.questions.isEmpty());
    const QString f = QDir::cleanPath(dir.path()) + u'/';
    EXPECT_EQ(host.log, (QStringList{QStringLiteral("Deleted ") + f + QStringLiteral("a.nes"),
                                     QStringLiteral("Deleted ") + f + QStringLiteral("b.zip"),
                                     QStringLiteral("Deleted ") + f + QStringLiteral("c.txt")}));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("keep.sfc")});
    EXPECT_EQ(report.count(ItemResult::Done), 3);
    EXPECT_EQ(report.exitStatus(), 0);
}

// Vanished, hidden and folder entries are skipped without a line; a link goes as a link.
TEST(DeleteFiles, SkipsWhatTheListCannotSeeAndNeverFollowsALink)
{
    QTemporaryDir dir;
    QTemporaryDir elsewhere;
    writeFile(dir.filePath(QStringLiteral("gone.nes")), "x");
    writeFile(dir.filePath(QStringLiteral(".hidden")), "x");
    writeFile(elsewhere.filePath(QStringLiteral("target.nes")), "precious");
    QFile::link(elsewhere.filePath(QStringLiteral("target.nes")),
                dir.filePath(QStringLiteral("link.nes")));
    QDir().mkdir(dir.filePath(QStringLiteral("folder.zip")));
    FakeHost host;
    host.setFiles(QDir::cleanPath(dir.path()),
                  {QStringLiteral(".hidden"), QStringLiteral("folder.zip"),
                   QStringLiteral("gone.nes"), QStringLiteral("link.nes")},
                  {true, true, true, true});
    QFile::remove(dir.filePath(QStringLiteral("gone.nes")));
    const BatchReport report = delete_files(DeleteRequest{selectedOf(host)}, host, host);
    EXPECT_EQ(host.log, QStringList{QStringLiteral("Deleted ") + QDir::cleanPath(dir.path()) +
                                    QStringLiteral("/link.nes")});
    EXPECT_FALSE(QFileInfo(dir.filePath(QStringLiteral("link.nes"))).isSymLink());
    EXPECT_EQ(readFile(elsewhere.filePath(QStringLiteral("target.nes"))), "precious");
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral(".hidden"))));
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("folder.zip"))).isDir());
    EXPECT_EQ(report.failedCount(), 0);
    EXPECT_EQ(report.count(ItemResult::Skipped), 3);
}

// A file that cannot be deleted: in a read-only folder, or (for root, whom folder permissions
// do not stop) marked immutable.
TEST(DeleteFiles, AFailingDeleteIsLoggedAndTheWalkGoesOn)
{
    QTemporaryDir dir;
    const QString locked = dir.filePath(QStringLiteral("locked"));
    writeFile(locked + QStringLiteral("/a.nes"), "x");
    writeFile(locked + QStringLiteral("/b.nes"), "x");
    const bool root = ::geteuid() == 0;
    if (root) {
        KELMAR_REQUIRE_TOOL(QStringLiteral("chattr"));
        if (runTool(QStringLiteral("chattr"),
                    {QStringLiteral("+i"), locked + QStringLiteral("/a.nes")})
                .exitCode != 0)
            GTEST_SKIP() << "this file system has no immutable files";
    } else {
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
    }
    FakeHost host;
    host.listFolder(locked);
    const BatchReport report = delete_files(DeleteRequest{selectedOf(host)}, host, host);
    if (root)
        runTool(QStringLiteral("chattr"),
                {QStringLiteral("-i"), locked + QStringLiteral("/a.nes")});
    else
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_EQ(host.log.size(), 2);
    EXPECT_TRUE(host.log[0].startsWith(QStringLiteral("Could not delete ") +
                                       QDir::cleanPath(locked) + QStringLiteral("/a.nes: ")))
        << host.log[0];
    if (root) {
        EXPECT_EQ(host.log[1],
                  QStringLiteral("Deleted ") + QDir::cleanPath(locked) + QStringLiteral("/b.nes"));
    }
    EXPECT_EQ(report.failedCount(), root ? 1 : 2);
    EXPECT_EQ(report.exitStatus(), 1);
    EXPECT_TRUE(QFileInfo::exists(locked + QStringLiteral("/a.nes")));
}
