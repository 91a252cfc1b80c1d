// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowTest.h"
#include "browse/FileListModel.h"
#include "common/Tools.h"
#include "maintenance/DeleteFiles.h"
#include "maintenance/RemoveNonRoms.h"
#include "shell/Dialogs.h"
#include "shell/frmAttributes.h"
#include "shell/frmKelmar.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QTemporaryDir>

#include <optional>

using namespace kelmar;
using namespace kelmar::test;

namespace {

QString zipinfo(const QString& archive)
{
    return QString::fromUtf8(runTool("zipinfo", {"-v", archive}).output);
}

} // namespace

// The three operations that rebuild archives, from the file list's menu, through the window.
TEST(WindowRebuild, RezipRemoveNonRomsAndAttributesFromTheMenu)
{
    KELMAR_REQUIRE_TOOL("zip");
    KELMAR_REQUIRE_TOOL("zipinfo");
    QTemporaryDir config;
    QTemporaryDir folder;
    useTestSettings(config.path());
    writeFile(folder.filePath("work/sub/game.nes"), textBytes(200000, 7));
    writeFile(folder.filePath("work/readme.txt"), textBytes(2000, 8));
    ASSERT_EQ(runTool("zip", {"-qr", folder.filePath("set.zip"), "sub", "readme.txt"},
                      folder.filePath("work"))
                  .exitCode,
              0);
    QDir(folder.filePath("work")).removeRecursively();

    frmKelmar window;
    ASSERT_TRUE(window.loaded());
    Options options = window.currentOptions();
    options.lblROMFilter = QStringLiteral("*.NES");
    options.sliCompression = 9;
    options.chkSound = Check::Clear;
    window.applyOptions(options);
    window.setListFolder(folder.path());
    // Each batch's summary closes its log and stays in the status bar.
    auto trigger = [&](const char* name, const QString& summary) {
        window.select_all();
        window.prepareOptionsMenu();
        QAction* action = window.findChild<QAction*>(QLatin1String(name));
        ASSERT_TRUE(action && action->isEnabled()) << name;
        ASSERT_TRUE(runBatch(window, [&] { action->trigger(); })) << name;
        EXPECT_EQ(window.statusPanelText(1), summary) << name;
        EXPECT_TRUE(window.logText().endsWith(summary + "\r\n")) << name;
    };

    trigger("menOptionsReZip", "Rebuilt 1 archive");
    EXPECT_EQ(window.logText(), QStringLiteral("Rebuilt 1 archive\r\n"));
    EXPECT_FALSE(zipinfo(folder.filePath("set.zip")).contains(QLatin1String("sub/")));

    Dialogs::script().messages.push_back(MsgAnswer::Yes);
    trigger("menOptionsRemoveNonROMsFromZips", "Removed non-ROM files from 1 archive");
    EXPECT_EQ(Dialogs::script().asked.value(0),
              QStringLiteral("Are you sure?|") + removeNonRomsQuestion(QStringLiteral("*.NES")));
    EXPECT_TRUE(window.logText().startsWith(QStringLiteral("Removed 1 entries from ") +
                                            folder.filePath("set.zip") + "\r\n"));

    frmAttributes::scriptedChoices().push_back(3);
    trigger("menOptionsChangeAttributes", "Changed the attributes in 1 archive");
    EXPECT_TRUE(zipinfo(folder.filePath("set.zip")).contains(QLatin1String("rdo hid")));
    EXPECT_EQ(window.fileList()->names(), QStringList({"set.zip"}));

    // Delete, once confirmed, deletes the selection and lists what is left.
    Dialogs::script().asked.clear();
    Dialogs::script().messages.push_back(MsgAnswer::Yes);
    trigger("menOptionsDelete", "Deleted 1 file");
    EXPECT_EQ(Dialogs::script().asked,
              QStringList{QStringLiteral("Confirmation|") + deleteQuestion()});
    EXPECT_TRUE(window.logText().startsWith(QStringLiteral("Deleted ") +
                                            folder.filePath("set.zip") + "\r\n"));
    EXPECT_FALSE(QFile::exists(folder.filePath("set.zip")));
    EXPECT_EQ(window.fileList()->names(), QStringList());
    Dialogs::script() = Dialogs::Script();
}

// What the window asks before a batch starts: a refusal, a No or a Cancel starts nothing,
// and the files and the log stay as they were.
TEST(WindowRebuild, AQuestionAnsweredBeforeTheBatchStartsNothingWhenRefused)
{
    KELMAR_REQUIRE_TOOL("zip");
    QTemporaryDir config;
    QTemporaryDir folder;
    useTestSettings(config.path());
    writeFile(folder.filePath("work/game.nes"), textBytes(20000, 7));
    writeFile(folder.filePath("work/readme.txt"), textBytes(2000, 8));
    ASSERT_EQ(runTool("zip", {"-q", folder.filePath("set.zip"), "game.nes", "readme.txt"},
                      folder.filePath("work"))
                  .exitCode,
              0);
    QDir(folder.filePath("work")).removeRecursively();
    writeFile(folder.filePath("notes.txt"), "notes");
    const QByteArray archive = readFile(folder.filePath("set.zip"));

    struct Case
    {
        const char* operation;
        QString romFilter;
        bool selectAll;
        std::optional<MsgAnswer> answer; // to the window's message box, when it asks one
        int attributes;                  // the dialog's answer (-1: Cancel), when it is shown
        QString asked;                   // "title|text", or nothing
    };
    const Case cases[] = {
        {"remove_non_roms_from_zips", QString(), true, MsgAnswer::Ok, -2,
         QStringLiteral("Whoops!|") + emptyRomFilterMessage()},
        {"remove_non_roms_from_zips", QStringLiteral("*.NES"), true, MsgAnswer::No, -2,
         QStringLiteral("Are you sure?|") + removeNonRomsQuestion(QStringLiteral("*.NES"))},
        {"change_attributes", QStringLiteral("*.NES"), false, MsgAnswer::Ok, -2,
         QStringLiteral("Whoops!|You didn't select any zips to process!")},
        {"change_attributes", QStringLiteral("*.NES"), true, std::nullopt, -1, QString()},
        {"delete_files", QStringLiteral("*.NES"), true, MsgAnswer::No, -2,
         QStringLiteral("Confirmation|") + deleteQuestion()},
    };
    frmKelmar window;
    ASSERT_TRUE(window.loaded());
    window.setListFolder(folder.path());
    window.write_log(QStringLiteral("an older line"));
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.operation) + " " + c.asked.toStdString());
        Options options = window.currentOptions();
        options.lblROMFilter = c.romFilter;
        window.applyOptions(options);
        if (c.selectAll)
            window.select_all();
        else
            window.select_none();
        Dialogs::script().asked.clear();
        if (c.answer)
            Dialogs::script().messages.push_back(*c.answer);
        if (c.attributes != -2)
            frmAttributes::scriptedChoices().push_back(c.attributes);
        EXPECT_FALSE(window.runOperation(QLatin1String(c.operation)));
        EXPECT_FALSE(window.batchRunning());
        EXPECT_EQ(Dialogs::script().asked,
                  c.asked.isEmpty() ? QStringList() : QStringList{c.asked});
        EXPECT_TRUE(frmAttributes::scriptedChoices().empty());
        EXPECT_EQ(readFile(folder.filePath("set.zip")), archive);
        EXPECT_EQ(window.fileList()->names(), QStringList({"notes.txt", "set.zip"}));
        EXPECT_EQ(window.logText(), QStringLiteral("an older line\r\n"));
    }
    Dialogs::script() = Dialogs::Script();
}

TEST(WindowRebuild, AttributesDialogSumsItsBoxesAndNotesArchiveOnEveryClick)
{
    QTemporaryDir config;
    useTestSettings(config.path());
    frmAttributes dialog;
    Dialogs::script().messages = {MsgAnswer::Ok, MsgAnswer::Ok, MsgAnswer::Ok};
    auto* archive = dialog.findChild<QCheckBox*>("chkArchive");
    archive->click();
    archive->click();
    archive->click();
    EXPECT_EQ(Dialogs::script().asked.size(), 3);
    EXPECT_TRUE(archive->isChecked());
    dialog.findChild<QCheckBox*>("chkHidden")->click();
    dialog.findChild<QPushButton*>("cmdApply")->click();
    EXPECT_EQ(dialog.chosenAttributes(), 34);
    Dialogs::script() = Dialogs::Script();
}
