// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowTest.h"
#include "browse/FileListModel.h"
#include "common/Tools.h"
#include "shell/Dialogs.h"
#include "shell/frmKelmar.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>

using namespace kelmar;
using namespace kelmar::test;

// ZIP Files from its button, through the real window and a real component: one archive per
// file beside the sources, which go once their archives are written.
TEST(WindowZip, ZipsEachSelectedFileBesideItAndDeletesTheOriginals)
{
    KELMAR_REQUIRE_TOOL("unzip");
    QTemporaryDir config;
    QTemporaryDir folder;
    useTestSettings(config.path());
    writeFile(folder.filePath(QStringLiteral("Galaga (USA).nes")), textBytes(300000, 1));
    writeFile(folder.filePath(QStringLiteral("Tetris.gb")), noiseBytes(200000, 2));

    frmKelmar window;
    ASSERT_TRUE(window.loaded());
    window.findChild<QCheckBox*>(QStringLiteral("chkSaveZIPsinSameFolder"))->setChecked(true);
    window.findChild<QCheckBox*>(QStringLiteral("chkDeleteFiles"))->setChecked(true);
    window.findChild<QCheckBox*>(QStringLiteral("chkSound"))->setChecked(false);
    window.findChild<QComboBox*>(QStringLiteral("cmbFileCase"))->setCurrentIndex(2);
    window.setListFolder(folder.path());
    window.select_all();
    ASSERT_TRUE(runBatch(
        window, [&] { window.findChild<QPushButton*>(QStringLiteral("cmdZipFiles"))->click(); }));

    EXPECT_EQ(window.logText(), QStringLiteral("Individually Zipping the Following Files to ") +
                                    folder.path() + QStringLiteral("/\r\n") + folder.path() +
                                    QStringLiteral("/Galaga (USA).nes\r\n") + folder.path() +
                                    QStringLiteral("/Tetris.gb\r\nZipped 2 files into 2 "
                                                   "archives\r\n"));
    EXPECT_EQ(window.fileList()->names(), QStringList({"Galaga (USA).zip", "Tetris.zip"}));
    EXPECT_EQ(runTool("unzip", {"-tqq", folder.filePath("Galaga (USA).zip")}).exitCode, 0);
    EXPECT_EQ(window.statusPanelText(1), QStringLiteral("Zipped 2 files into 2 archives"));
    EXPECT_TRUE(Dialogs::script().asked.isEmpty()) << Dialogs::script().asked.join(u'\n');
    Dialogs::script() = Dialogs::Script();
}

namespace {

const QString kSaveTitle = QStringLiteral("Where do you want to ZIP the files to?");
const QString kPickerTitle = QStringLiteral("Select the folder you store the ZIP files in.");
const QString kWhoops = QStringLiteral("Whoops!|You didn't select any files to ZIP!");

// Gives the command and, when a batch started, waits for it to end (its end reaches the
// window through the event loop, which nothing has run since the start). Whether it started.
bool runZipCommand(frmKelmar& window, const QString& operation)
{
    const bool started = window.runOperation(operation);
    if (started)
        EXPECT_TRUE(runBatch(window, [] {}));
    return started;
}

} // namespace

// Where to write is asked on the window's thread before the batch starts, with the titles
// the batch always used; nothing to zip says "Whoops!" and asks nothing more; a cancelled
// dialog starts nothing and still leaves the log cleared.
TEST(WindowZip, AsksWhereToWriteBeforeTheBatchStarts)
{
    struct Case
    {
        const char* fault;
        bool oneArchive;
        bool selectAll;
        QString answer; // "@" for the output folder; empty: Cancel
        QStringList asked;
        QStringList written; // in the output folder; empty when nothing was to start
    };
    const std::vector<Case> cases = {
        {"nothing selected opened the save dialog", true, false, "@/all.zip", {kWhoops}, {}},
        {"nothing selected opened the folder picker", false, false, "@", {kWhoops}, {}},
        {"a cancelled save dialog started a batch", true, true, "", {kSaveTitle}, {}},
        {"a cancelled folder picker started a batch", false, true, "", {kPickerTitle}, {}},
        {"the archive chosen was not the one written",
         true,
         true,
         "@/all.zip",
         {kSaveTitle},
         {"all.zip"}},
        {"the folder chosen was not where the archives went",
         false,
         true,
         "@",
         {kPickerTitle},
         {"a.zip", "b.zip"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        QTemporaryDir config, folder, out;
        useTestSettings(config.path());
        writeFile(folder.filePath(QStringLiteral("a.rom")), "A");
        writeFile(folder.filePath(QStringLiteral("b.rom")), "B");
        frmKelmar window;
        ASSERT_TRUE(window.loaded());
        Options options = window.currentOptions();
        options.radOneZIP = c.oneArchive;
        options.radMultipleZIPs = !c.oneArchive;
        options.chkSaveZIPsinSameFolder = Check::Clear;
        options.chkSound = Check::Clear;
        window.applyOptions(options);
        window.setListFolder(folder.path());
        if (c.selectAll)
            window.select_all();
        window.write_log(QStringLiteral("from the batch before"));
        Dialogs::script().files.push_back(QString(c.answer).replace(u'@', out.path()));
        Dialogs::script().messages.push_back(MsgAnswer::Ok);

        const bool started = runZipCommand(window, QStringLiteral("zip_files"));
        EXPECT_EQ(started, !c.written.isEmpty());
        EXPECT_EQ(Dialogs::script().asked, c.asked);
        EXPECT_EQ(Dialogs::script().askedOffUiThread, 0);
        EXPECT_EQ(QDir(out.path()).entryList(QDir::Files, QDir::Name), c.written);
        EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files, QDir::Name),
                  QStringList({"a.rom", "b.rom"}));
        if (!started) {
            EXPECT_TRUE(window.logText().isEmpty()) << window.logText();
            EXPECT_FALSE(window.batchRunning());
        }
        Dialogs::script() = Dialogs::Script();
    }
}

// Convert Sub Folders to Zips asks its question before the batch starts; a folder without
// sub-folders gets its notice instead; Cancel starts nothing.
TEST(WindowZip, FoldersToZipsAsksBeforeItStarts)
{
    const QString question = QStringLiteral(
        "Folders to Zips|About to convert the folders in 'Sets' to zips.\r\rDo you want to "
        "delete the folders after they are zipped?");
    struct Case
    {
        const char* fault;
        bool withSubFolder;
        MsgAnswer answer;
        QStringList asked;
        QStringList left; // in Sets afterwards
    };
    const std::vector<Case> cases = {
        {"no sub-folders asked the question",
         false,
         MsgAnswer::Yes,
         {QStringLiteral("Whoops!|This folder has no sub folders to zip!")},
         {"only.rom"}},
        {"Cancel zipped the folders", true, MsgAnswer::Cancel, {question}, {"Game", "only.rom"}},
        {"No deleted the folder",
         true,
         MsgAnswer::No,
         {question},
         {"Game", "Game.zip", "only.rom"}},
        {"Yes kept the folder", true, MsgAnswer::Yes, {question}, {"Game.zip", "only.rom"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        QTemporaryDir config, dir;
        useTestSettings(config.path());
        const QString root = dir.filePath(QStringLiteral("Sets"));
        writeFile(root + QStringLiteral("/only.rom"), "x");
        if (c.withSubFolder)
            writeFile(root + QStringLiteral("/Game/game.rom"), textBytes(3000, 1));
        frmKelmar window;
        ASSERT_TRUE(window.loaded());
        window.setListFolder(root);
        window.showFolderInTree(root);
        Dialogs::script().messages.push_back(c.answer);

        const bool started = runZipCommand(window, QStringLiteral("convert_sub_folders_to_zips"));
        EXPECT_EQ(started, c.withSubFolder && c.answer != MsgAnswer::Cancel);
        EXPECT_EQ(Dialogs::script().asked, c.asked);
        EXPECT_EQ(Dialogs::script().askedOffUiThread, 0);
        EXPECT_EQ(QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name),
                  c.left);
        Dialogs::script() = Dialogs::Script();
    }
}
