#include "WindowTest.h"
#include "browse/FileListModel.h"
#include "common/Tools.h"
#include "shell/Dialogs.h"
#include "shell/frmKelmar.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace kelmar;
using namespace kelmar::test;

// Test Zips from the file list's menu, through the real window and a real component.
TEST(WindowTestZips, SetsDamagedArchivesAsideAndKeepsGoodOnes)
{
    KELMAR_REQUIRE_TOOL("zip");
    QTemporaryDir config;
    QTemporaryDir folder;
    useTestSettings(config.path());

    writeFile(folder.filePath(QStringLiteral("game.nes")), textBytes(200000, 7));
    ASSERT_EQ(runTool("zip", {"-q", "good.zip", "game.nes"}, folder.path()).exitCode, 0);
    QByteArray damaged = readFile(folder.filePath(QStringLiteral("good.zip")));
    damaged[damaged.size() / 3] = char(damaged[damaged.size() / 3] ^ 0x55);
    writeFile(folder.filePath(QStringLiteral("Broken.ZIP")), damaged);
    QFile::remove(folder.filePath(QStringLiteral("game.nes")));

    frmKelmar window;
    ASSERT_TRUE(window.loaded());
    window.setListFolder(folder.path());
    window.select_all();
    window.prepareOptionsMenu();
    QAction* test = window.findChild<QAction*>(QStringLiteral("menOptionsTestZips"));
    ASSERT_TRUE(test->isEnabled());
    ASSERT_TRUE(runBatch(window, [&] { test->trigger(); }));

    EXPECT_TRUE(window.logText().startsWith(QStringLiteral("Broken.ZIP is bad!\r\n")))
        << window.logText();
    EXPECT_TRUE(QFile::exists(folder.filePath(QStringLiteral("Broken.ZIP.bad"))));
    EXPECT_TRUE(QFile::exists(folder.filePath(QStringLiteral("good.zip"))));
    EXPECT_EQ(window.fileList()->names(), QStringList({"Broken.ZIP.bad", "good.zip"}));
    EXPECT_EQ(window.statusPanelText(2), QStringLiteral("0 Files Selected (0 Kb)    "));
    const QString summary = QStringLiteral("Tested 2 archives: 1 good, 1 bad (set aside), 0 could "
                                           "not be tested");
    EXPECT_EQ(window.statusPanelText(1), summary);
    EXPECT_TRUE(window.logText().endsWith(summary + "\r\n")) << window.logText();
    Dialogs::script() = Dialogs::Script();
}
