#include "WindowTest.h"
#include "browse/FileListModel.h"
#include "common/Tools.h"
#include "shell/Dialogs.h"
#include "shell/frmKelmar.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
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
                                    QStringLiteral("/Tetris.gb\r\n"));
    EXPECT_EQ(window.fileList()->names(), QStringList({"Galaga (USA).zip", "Tetris.zip"}));
    EXPECT_EQ(runTool("unzip", {"-tqq", folder.filePath("Galaga (USA).zip")}).exitCode, 0);
    EXPECT_EQ(window.statusPanelText(1), frmKelmar::creditLine());
    EXPECT_TRUE(Dialogs::script().asked.isEmpty()) << Dialogs::script().asked.join(u'\n');
    Dialogs::script() = Dialogs::Script();
}
