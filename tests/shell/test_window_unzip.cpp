// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowTest.h"
#include "browse/FileListModel.h"
#include "common/Tools.h"
#include "maintenance/UnzipFiles.h"
#include "shell/Dialogs.h"
#include "shell/frmKelmar.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace kelmar;
using namespace kelmar::test;

// Unzip with renaming from the file list's menu, through the real window and component.
TEST(WindowUnzip, ExtractsIntoThePickedFolderAndRenamesAfterTheArchives)
{
    KELMAR_REQUIRE_TOOL("zip");
    QTemporaryDir config;
    QTemporaryDir folder;
    QTemporaryDir target;
    useTestSettings(config.path());
    Dialogs::script().files.push_back(QString()); // the first time, the picker is cancelled
    Dialogs::script().files.push_back(target.path());

    writeFile(folder.filePath(QStringLiteral("w/roms/game.nes")), textBytes(300000, 3));
    writeFile(folder.filePath(QStringLiteral("w/readme.txt")), "about the game");
    writeFile(folder.filePath(QStringLiteral("w/other.txt")), "another one");
    ASSERT_EQ(
        runTool("zip", {"-qr", "../Mega Quest.zip", "readme.txt", "roms"}, folder.filePath("w"))
            .exitCode,
        0);
    ASSERT_EQ(runTool("zip", {"-q", "../Bonus.ZIP", "other.txt"}, folder.filePath("w")).exitCode,
              0);
    QDir(folder.filePath(QStringLiteral("w"))).removeRecursively();

    frmKelmar window;
    ASSERT_TRUE(window.loaded());
    window.findChild<QCheckBox*>(QStringLiteral("chkUnziptoSameFolder"))->setChecked(false);
    window.findChild<QCheckBox*>(QStringLiteral("chkZIPsToFolders"))->setChecked(false);
    window.findChild<QCheckBox*>(QStringLiteral("chkIgnoreFolders"))->setChecked(true);
    window.findChild<QCheckBox*>(QStringLiteral("chkExtractROMs"))->setChecked(false);
    window.findChild<QCheckBox*>(QStringLiteral("chkDeleteZIPFiles"))->setChecked(false);
    window.findChild<QCheckBox*>(QStringLiteral("chkUnzipPassword"))->setChecked(false);
    window.findChild<QCheckBox*>(QStringLiteral("chkRenameFiles"))->setChecked(true);
    window.findChild<QComboBox*>(QStringLiteral("cmbUnzipCase"))->setCurrentIndex(1);
    window.setListFolder(folder.path());
    window.select_all();
    window.write_log(QStringLiteral("old line"));
    EXPECT_FALSE(window.runOperation(QStringLiteral("unzip_files")));
    EXPECT_FALSE(window.batchRunning());
    EXPECT_TRUE(window.logText().isEmpty()) << window.logText();
    EXPECT_TRUE(QDir(target.path()).isEmpty());
    window.prepareOptionsMenu();
    QAction* unzip = window.findChild<QAction*>(QStringLiteral("menOptionsUnzip"));
    ASSERT_TRUE(unzip->isEnabled());
    ASSERT_TRUE(runBatch(window, [&] { unzip->trigger(); }));

    const QString f = QDir::cleanPath(folder.path()) + u'/';
    EXPECT_EQ(window.logText(), QStringLiteral("Unzipped ") + f + QStringLiteral("Bonus.ZIP\r\n") +
                                    QStringLiteral("Unzipped ") + f +
                                    QStringLiteral("Mega Quest.zip\r\nUnzipped 2 archives\r\n"))
        << window.logText();
    // Upper case, stored folders dropped: every file takes its archive's name.
    EXPECT_EQ(QDir(target.path()).entryList(QDir::Files, QDir::Name),
              (QStringList{QStringLiteral("BONUS.TXT"), QStringLiteral("MEGA QUEST.NES"),
                           QStringLiteral("MEGA QUEST.TXT")}))
        << QDir(target.path()).entryList(QDir::Files).join(u',');
    EXPECT_EQ(readFile(target.filePath(QStringLiteral("MEGA QUEST.NES"))), textBytes(300000, 3));
    EXPECT_EQ(window.fileList()->names(), QStringList({"Bonus.ZIP", "Mega Quest.zip"}));
    EXPECT_EQ(window.statusPanelText(1), QStringLiteral("Unzipped 2 archives"));
    EXPECT_EQ(readFile(target.filePath(QStringLiteral("BONUS.TXT"))), "another one");
    EXPECT_EQ(Dialogs::script().asked,
              QStringList(2, QStringLiteral("Select the folder you wish to unzip to.")));
    Dialogs::script() = Dialogs::Script();
}

// Closing the window during an unzip stops it, and the window then goes without asking
// anything: "The current process has been stopped" would keep it open until answered.
TEST(WindowUnzip, ClosingDuringAnUnzipStopsItAndAsksNothing)
{
    KELMAR_REQUIRE_TOOL("zip");
    QTemporaryDir config;
    QTemporaryDir folder;
    useTestSettings(config.path());
    for (const char* name : {"one", "two"}) {
        writeFile(folder.filePath(QStringLiteral("w/%1.nes").arg(name)), textBytes(200000, 5));
        ASSERT_EQ(runTool("zip",
                          {"-q", QStringLiteral("../%1.zip").arg(name),
                           QStringLiteral("%1.nes").arg(name)},
                          folder.filePath("w"))
                      .exitCode,
                  0);
    }
    QDir(folder.filePath(QStringLiteral("w"))).removeRecursively();

    frmKelmar window;
    ASSERT_TRUE(window.loaded());
    window.findChild<QCheckBox*>(QStringLiteral("chkUnziptoSameFolder"))->setChecked(true);
    window.findChild<QCheckBox*>(QStringLiteral("chkDeleteZIPFiles"))->setChecked(false);
    // The real unzip, with the window closed as the first archive is taken up.
    window.registerBatch(
        QStringLiteral("unzip_files"), [](frmKelmar& window, const BatchSnapshot& snapshot) {
            frmKelmar::BatchJob job;
            BatchFiles files{snapshot.folder, snapshot.names};
            job.run = [&window, request = unzipRequestFromOptions(snapshot.options, files)](
                          ProgressSink& sink, BatchQuestions& questions) {
                UnzipHooks hooks;
                hooks.onArchive = [&window](int number, int, const QString&) {
                    if (number == 1)
                        QMetaObject::invokeMethod(
                            &window, [&window] { window.close(); }, Qt::BlockingQueuedConnection);
                };
                return unzip_files(request, sink, questions, hooks);
            };
            return std::optional<frmKelmar::BatchJob>(job);
        });
    window.setListFolder(folder.path());
    window.show();
    window.select_all();
    ASSERT_TRUE(runBatch(window, [&] { window.runOperation(QStringLiteral("unzip_files")); }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(window.stopRequested());
    EXPECT_TRUE(Dialogs::script().asked.isEmpty()) << Dialogs::script().asked.join(u'\n');
    // Nothing after the archive in hand was started.
    EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("two.nes"))));
    Dialogs::script() = Dialogs::Script();
}
