// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowTest.h"
#include "browse/FileListModel.h"
#include "common/Tools.h"
#include "shell/Dialogs.h"
#include "shell/frmKelmar.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTreeView>

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

// After Test Zips the details view shows each archive's verdict, and a click on a column's
// header sorts by it (a second click the other way), the selection following its files.
TEST(WindowTestZips, DetailsViewShowsVerdictsAndSortsByAClickedHeader)
{
    KELMAR_REQUIRE_TOOL("zip");
    QTemporaryDir config;
    QTemporaryDir folder;
    useTestSettings(config.path());
    writeFile(folder.filePath(QStringLiteral("game.nes")), textBytes(30000, 3));
    ASSERT_EQ(runTool("zip", {"-q", "a good.zip", "game.nes"}, folder.path()).exitCode, 0);
    QByteArray damaged = readFile(folder.filePath(QStringLiteral("a good.zip")));
    damaged[damaged.size() / 3] = char(damaged[damaged.size() / 3] ^ 0x55);
    writeFile(folder.filePath(QStringLiteral("z broken.zip")), damaged);

    frmKelmar window;
    ASSERT_TRUE(window.loaded());
    Options options = window.currentOptions();
    options.chkDetailsView = Check::Ticked;
    window.applyOptions(options);
    window.setListFolder(folder.path());
    window.select_all();
    ASSERT_TRUE(runBatch(window, [&] { window.runOperation(QStringLiteral("test_zip_files")); }));

    auto* details = window.findChild<QTreeView*>(QStringLiteral("File1Details"));
    ASSERT_NE(details, nullptr);
    EXPECT_FALSE(details->isHidden());
    FileListModel* list = window.fileList();
    auto column = [&](int c) {
        QStringList shown;
        for (int row = 0; row < list->count(); ++row)
            shown << list->data(list->index(row, c)).toString();
        return shown;
    };
    EXPECT_EQ(column(FileListModel::NameColumn),
              (QStringList{"a good.zip", "game.nes", "z broken.zip.bad"}));
    EXPECT_EQ(column(FileListModel::VerdictColumn), (QStringList{"Good", "Not tested", "Bad"}));
    EXPECT_EQ(column(FileListModel::SizeColumn).at(1), QStringLiteral("30,000"));

    // The list was read again after the batch; select the good archive, then sort.
    details->selectionModel()->select(list->index(0, 0), QItemSelectionModel::Select |
                                                             QItemSelectionModel::Rows);
    QHeaderView* header = details->header();
    const QPoint at(header->sectionViewportPosition(FileListModel::VerdictColumn) + 5,
                    header->height() / 2);
    const struct
    {
        QStringList names;
    } clicks[] = {{{"z broken.zip.bad", "a good.zip", "game.nes"}},
                  {{"game.nes", "a good.zip", "z broken.zip.bad"}}};
    for (const auto& click : clicks) {
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, at, header->viewport()->mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
            QApplication::sendEvent(header->viewport(), &event);
        }
        EXPECT_EQ(list->names(), click.names);
        EXPECT_TRUE(window.isSelected(int(click.names.indexOf(QStringLiteral("a good.zip")))));
        EXPECT_EQ(window.statusPanelText(2).left(15), QStringLiteral("1 File Selected"));
    }
    Dialogs::script() = Dialogs::Script();
}
