#include "common/Tools.h"
#include "shell/Dialogs.h"
#include "browse/FileListModel.h"
#include "shell/frmKelmar.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

using namespace kelmar;
using namespace kelmar::test;

// Test Zips from the file list's menu, through the real window and a real component.
TEST(WindowTestZips, SetsDamagedArchivesAsideAndKeepsGoodOnes)
{
    KELMAR_REQUIRE_TOOL("zip");
    QTemporaryDir config;
    QTemporaryDir folder;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
    frmKelmar::setFavoritesPathForTesting(config.path() + QStringLiteral("/favorites.txt"));
    Dialogs::script() = Dialogs::Script();
    Dialogs::script().active = true;

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
    bool finished = false;
    QObject::connect(&window, &frmKelmar::batchFinished, [&] { finished = true; });
    test->trigger();
    QElapsedTimer timer;
    timer.start();
    while (!finished && timer.elapsed() < 30000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    ASSERT_TRUE(finished);

    EXPECT_TRUE(window.logText().startsWith(QStringLiteral("Broken.ZIP is bad!\r\n")))
        << window.logText();
    EXPECT_TRUE(QFile::exists(folder.filePath(QStringLiteral("Broken.ZIP.bad"))));
    EXPECT_TRUE(QFile::exists(folder.filePath(QStringLiteral("good.zip"))));
    EXPECT_EQ(window.fileList()->names(), QStringList({"Broken.ZIP.bad", "good.zip"}));
    EXPECT_EQ(window.statusPanelText(2), QStringLiteral("0 Files Selected (0 Kb)    "));
    EXPECT_EQ(window.statusPanelText(1), frmKelmar::creditLine());
    Dialogs::script() = Dialogs::Script();
}
