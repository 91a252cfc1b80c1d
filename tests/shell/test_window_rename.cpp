// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowTest.h"
#include "browse/FileListModel.h"
#include "common/Tools.h"
#include "shell/Dialogs.h"
#include "shell/frmKelmar.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

using namespace kelmar;
using namespace kelmar::test;

namespace {

QDialog* openDialog(const char* name)
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String(name) && w->isVisible())
            return qobject_cast<QDialog*>(w);
    }
    return nullptr;
}

} // namespace

// The renames from the file list's menu: a fixed rule that meets a taken name, then find and
// replace through its dialog, driven by the names of its controls.
TEST(WindowRename, LowerCaseKeepsATakenNameAndFindAndReplaceRunsFromItsDialog)
{
    QTemporaryDir config;
    QTemporaryDir dir;
    useTestSettings(config.path());
    const QString f = QDir::cleanPath(dir.path()) + u'/';
    writeFile(f + "Game.ZIP", "upper");
    writeFile(f + "game.zip", "lower");
    writeFile(f + "Super Mario Bros (USA).nes", "smb");
    writeFile(f + "Tetris.gb", "t");

    frmKelmar window;
    ASSERT_TRUE(window.loaded());
    window.setListFolder(dir.path());
    window.select_all();
    window.prepareOptionsMenu();
    QAction* lower = window.findChild<QAction*>(QStringLiteral("menOptionsRenameLowerCase"));
    ASSERT_TRUE(lower->isEnabled());
    ASSERT_TRUE(runBatch(window, [&] { lower->trigger(); }));
    EXPECT_EQ(window.logText(),
              "Error renaming " + f + "Game.ZIP! " + f +
                  "game.zip already exists.\r\n"
                  "Renamed 2 files, 1 already so named, 1 failed: see the log\r\n");
    EXPECT_EQ(window.fileList()->names(),
              QStringList({"Game.ZIP", "game.zip", "super mario bros (usa).nes", "tetris.gb"}));
    EXPECT_EQ(readFile(f + "Game.ZIP"), "upper");

    window.select_all();
    window.prepareOptionsMenu();
    bool sawDialog = false;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        QDialog* dialog = openDialog("frmReplace");
        if (!dialog)
            return;
        driver.stop();
        sawDialog = true;
        auto* find = dialog->findChild<QLineEdit*>(QStringLiteral("txtFind"));
        auto* replace = dialog->findChild<QLineEdit*>(QStringLiteral("txtReplace"));
        auto* button = dialog->findChild<QPushButton*>(QStringLiteral("cmdReplace"));
        ASSERT_TRUE(find && replace && button && dialog->findChild<QPushButton*>("cmdCancel"));
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Find and Replace"));
        EXPECT_EQ(find->text(), QStringLiteral(" "));
        EXPECT_EQ(replace->text(), QStringLiteral("_"));
        EXPECT_TRUE(button->isEnabled() && button->isDefault());
        find->setText(QString());
        EXPECT_FALSE(button->isEnabled());
        find->setText(QStringLiteral(" "));
        ASSERT_TRUE(button->isEnabled());
        // A replacement no name may hold disables Replace as it is typed, and clearing it
        // enables Replace again.
        for (const char* invalid : {"?", "a/b", "\\", ":", "*", "<", ">", "|", "\""}) {
            replace->setText(QString::fromLatin1(invalid));
            EXPECT_FALSE(button->isEnabled()) << invalid;
            replace->setText(QStringLiteral("_"));
            EXPECT_TRUE(button->isEnabled()) << invalid;
        }
        button->click();
    });
    driver.start(10);
    QAction* replaceAction =
        window.findChild<QAction*>(QStringLiteral("menOptionsRenameFindAndReplace"));
    ASSERT_TRUE(runBatch(window, [&] { replaceAction->trigger(); }));
    EXPECT_TRUE(sawDialog);
    EXPECT_EQ(openDialog("frmReplace"), nullptr);
    EXPECT_EQ(window.fileList()->names(),
              QStringList({"Game.ZIP", "game.zip", "super_mario_bros_(usa).nes", "tetris.gb"}));
    EXPECT_EQ(readFile(f + "super_mario_bros_(usa).nes"), "smb");

    // Manually...: the new name is asked while the batch runs, one file at a time.
    window.select_none();
    window.select_all();
    Dialogs::script().asked.clear();
    Dialogs::script().inputs = {std::nullopt, std::nullopt, QStringLiteral("Mario.nes"),
                                std::nullopt};
    QAction* manual = window.findChild<QAction*>(QStringLiteral("menOptionsRenameManually"));
    window.prepareOptionsMenu();
    ASSERT_TRUE(runBatch(window, [&] { manual->trigger(); }));
    EXPECT_EQ(Dialogs::script().asked.size(), 4);
    EXPECT_EQ(Dialogs::script().asked.value(0), QStringLiteral("Rename|Enter new name: "));
    EXPECT_EQ(window.fileList()->names(),
              QStringList({"Game.ZIP", "game.zip", "Mario.nes", "tetris.gb"}));
    EXPECT_EQ(readFile(f + "Mario.nes"), "smb");
    Dialogs::script() = Dialogs::Script();
}
