// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/FileListModel.h"
#include "common/Printers.h"
#include "common/TempFiles.h"
#include "shell/Dialogs.h"
#include "shell/frmKelmar.h"
#include "WindowTest.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QHash>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSemaphore>
#include <QSettings>
#include <QSlider>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QToolButton>

#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelmar;
using kelmar::test::waitUntil;
using kelmar::test::wakeUiThread;
using kelmar::test::writeFile;

namespace {

using FakeRun =
    std::function<BatchReport(const BatchSnapshot&, ProgressSink&, BatchQuestions&)>;

// A batch for the window to run: run gets the list as it stood when the command was given,
// and the window's sink and questions. Nothing is re-read after it unless refreshList.
frmKelmar::Prepare fakeBatch(FakeRun run = {}, bool refreshList = false)
{
    return [run, refreshList](frmKelmar&,
                              const BatchSnapshot& taken) -> std::optional<frmKelmar::BatchJob> {
        frmKelmar::BatchJob job;
        job.run = [run, taken](ProgressSink& sink, BatchQuestions& questions) {
            return run ? run(taken, sink, questions) : BatchReport();
        };
        job.beep = false;
        job.refreshList = refreshList;
        return job;
    };
}

class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Dialogs::script() = Dialogs::Script();
        Dialogs::script().active = true;
        // Never the user's own settings.
        ASSERT_TRUE(config.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
        frmKelmar::setFavoritesPathForTesting(favoritesFile());
        window = std::make_unique<frmKelmar>();
        ASSERT_TRUE(window->loaded());
        ASSERT_TRUE(folder.isValid());
    }
    void TearDown() override
    {
        window.reset();
        Dialogs::script() = Dialogs::Script();
    }

    template <typename T> T* find(const char* name)
    {
        T* widget = window->findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QAction* action(const char* name) { return find<QAction>(name); }
    QString counter() { return window->statusPanelText(2); }

    void listFiles(std::initializer_list<std::pair<const char*, int>> files)
    {
        for (const auto& [name, size] : files)
            writeFile(folder.path(), QString::fromUtf8(name), size);
        window->setListFolder(folder.path());
    }

    QString favoritesFile() const { return config.path() + QStringLiteral("/favorites.txt"); }
    QString iniPath() const { return config.path() + QStringLiteral("/kelmar/kelmar.ini"); }

    QTemporaryDir config;
    QTemporaryDir folder;
    std::unique_ptr<frmKelmar> window;
};

} // namespace

TEST_F(MainWindowTest, ControlsCarryTheirNamesAndCaptions)
{
    EXPECT_EQ(window->objectName(), QStringLiteral("frmKelmar"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Kelmar 1.25"));
    auto* tabs = find<QTabWidget>("Tabs");
    QStringList tabCaptions;
    for (int i = 0; i < tabs->count(); ++i)
        tabCaptions << tabs->tabText(i);
    EXPECT_EQ(tabCaptions,
              QStringList({"Control", "ZIP Settings", "UnZIP Settings", "Other Settings", "Log", "DAT"}));
    EXPECT_EQ(tabs->currentIndex(), 0);

    const std::pair<const char*, const char*> captions[] = {
        {"cmdZipFiles", "ZIP Files"},
        {"cmdUnzipFiles", "UnZIP Files"},
        {"cmdExit", "Exit"},
        {"cmdStop", "Stop"},
        {"cmdSelectAll", " All"},
        {"cmdSelectNone", "None"},
        {"cmdReverse", "Reverse"},
        {"chkROMs", "ROMs"},
        {"radMultipleZIPs", "ZIP to Individual Files"},
        {"chkUseOriginalExtensions", "Use Original Extensions"},
        {"radOneZIP", "ZIP to Single File"},
        {"chkDeleteFiles", "Delete Original Files"},
        {"chkUseZIPPaths", "Store Path Information"},
        {"chkSaveZIPsinSameFolder", "Save ZIPs in Same Folder"},
        {"chkTorrentZip", "TorrentZip"},
        {"chkRenameFiles", "Rename Files after ZIP"},
        {"chkExtractROMs", "Only Extract ROMs"},
        {"chkDeleteZIPFiles", "Delete ZIP Files"},
        {"chkIgnoreFolders", "Ignore Folders"},
        {"chkUnziptoSameFolder", "UnZIP to Same Folder"},
        {"chkZIPsToFolders", "Convert ZIPs to Folders"},
        {"chkSound", "Enable Sound Events"},
        {"chkCheckTorrentZip", "Check TorrentZip"},
        {"chkDetailsView", "Show File Details (Size, Date, Test Result)"},
        {"chkNaturalOrder", "Sort Numbers by Value (Rev 2 before Rev 10)"},
        {"cmdAddROMFilter", "Add"},
        {"cmdRemoveROMFilter", "Remove"}};
    for (const auto& [name, caption] : captions)
        EXPECT_EQ(find<QAbstractButton>(name)->text(), QString::fromUtf8(caption)) << name;
    EXPECT_EQ(find<QLabel>("lblFilter")->text(), QStringLiteral("Filter:"));
    EXPECT_EQ(find<QComboBox>("cmbFavorites")->currentText(),
              QStringLiteral("-- Jump to Favorite Folder --"));
    EXPECT_EQ(find<QComboBox>("txtFilter")->currentText(), QStringLiteral("*"));
    for (const char* combo : {"cmbFileCase", "cmbUnzipCase"}) {
        auto* box = find<QComboBox>(combo);
        ASSERT_EQ(box->count(), 3);
        EXPECT_EQ(box->itemText(0), QStringLiteral("Use Lower Case"));
        EXPECT_EQ(box->itemText(1), QStringLiteral("Use Upper Case"));
        EXPECT_EQ(box->itemText(2), QStringLiteral("Use Original Case"));
        EXPECT_EQ(box->currentIndex(), 0);
    }
    EXPECT_EQ(find<QSlider>("sliCompression")->toolTip(),
              QStringLiteral("Worst/Fastest to Best/Slowest"));
    for (const char* name : {"Tree1", "File1", "txtLog", "StatusBar", "fraAction", "DirHidden",
                             "txtInfoFile", "cmdInfoFile", "txtZIPPassword", "txtUnzipPassword",
                             "txtROMFilter", "lstROMFilter", "lblROMFilter", "lblCompression"})
        EXPECT_NE(window->findChild<QWidget*>(QLatin1String(name)), nullptr) << name;
    EXPECT_EQ(window->statusPanelText(1), frmKelmar::creditLine());
}

TEST_F(MainWindowTest, PopupMenusHoldTheirEntriesInOrder)
{
    auto names = [](QMenu* menu) {
        QStringList list;
        for (QAction* a : menu->actions())
            list << a->objectName() + u'=' + (a->isSeparator() ? QStringLiteral("-") : a->text());
        return list;
    };
    EXPECT_EQ(
        names(window->optionsMenu()),
        QStringList({"menOptionsDelete=Delete",
                     "menOptionsRemoveNonROMsFromZips=Remove Non-ROMs From Zips", "menOptionsB1=-",
                     "menOptionsZip=Zip", "menOptionsUnzip=Unzip", "menOptionsReZip=ReZip",
                     "menOptionsTestZips=Test Zips",
                     "menOptionsCalculateSpaceInZips=Calculate Space in Zips",
                     "menOptionsChangeAttributes=Change Zipped Files' Attributes", "menOptionsB2=-",
                     "menOptionsSelect=Select", "menRename=Rename", "menOptionsB3=-",
                     "menOptionsRefresh=Refresh", "menOptionsCancel=Cancel"}));
    EXPECT_EQ(names(find<QMenu>("menOptionsSelect")),
              QStringList({"menOptionsSelectAll=All", "menOptionsSelectNone=None",
                           "menOptionsSelectReverse=Reverse"}));
    EXPECT_EQ(
        names(find<QMenu>("menRename")),
        QStringList({"menOptionsRenameCapitalCase=to Capital Case",
                     "menOptionsRenameLowerCase=to lower case",
                     "menOptionsRenameUpperCase=to UPPER CASE", "menOptionsRenameB3=-",
                     "menOptionsRenameInsertSpaces=Insert Spaces",
                     "menOptionsRenameRemoveSpaces=Remove Spaces", "menOptionsRenameB1=-",
                     "menOptionsRenameManually=Manually...",
                     "menOptionsRenameFindAndReplace=Find and Replace...", "menOptionsRenameB2=-",
                     "menOptionsRenameToZippedFilename=to Zipped Filename"}));
    EXPECT_EQ(names(window->foldersMenu()),
              QStringList({"menFoldersAddToFavorites=Add to Favorites",
                           "menFoldersRemoveFromFavorites=Remove from Favorites",
                           "menFoldersConvertSubFoldersToZips=&Convert Sub Folders to Zips..."}));
}

TEST_F(MainWindowTest, PopupEnablesFileCommandsOnlyWithASelectionAndAnOperation)
{
    window->registerBatch(QStringLiteral("delete_files"), fakeBatch());
    listFiles({{"a.zip", 10}, {"b.nes", 10}});

    window->prepareOptionsMenu();
    EXPECT_FALSE(action("menOptionsDelete")->isEnabled());
    EXPECT_FALSE(action("menRename")->isEnabled());
    for (const char* always : {"menOptionsSelect", "menOptionsRefresh", "menOptionsCancel",
                               "menOptionsSelectAll", "menOptionsSelectReverse"})
        EXPECT_TRUE(action(always)->isEnabled()) << always;

    window->select_all();
    window->prepareOptionsMenu();
    EXPECT_TRUE(action("menOptionsDelete")->isEnabled());
    EXPECT_TRUE(action("menRename")->isEnabled());
    EXPECT_TRUE(action("menOptionsZip")->isEnabled());

    // The menu's own selection commands work.
    action("menOptionsSelectReverse")->trigger();
    EXPECT_EQ(counter(), QStringLiteral("0 Files Selected (0 Kb)    "));
    action("menOptionsSelectAll")->trigger();
    EXPECT_EQ(counter(), QStringLiteral("2 Files Selected (0 Kb)    "));
    writeFile(folder.path(), QStringLiteral("c.nes"), 1);
    action("menOptionsRefresh")->trigger();
    EXPECT_EQ(window->fileList()->count(), 3);
    EXPECT_EQ(counter(), QStringLiteral("0 Files Selected (0 Kb)    "));
}

TEST_F(MainWindowTest, SelectionButtonsAndCounter)
{
    listFiles({{"a.nes", 1500}, {"b.nes", 2600}, {"c.nes", 999}});
    EXPECT_EQ(counter(), QStringLiteral("0 Files Selected (0 Kb)    "));
    find<QPushButton>("cmdSelectAll")->click();
    EXPECT_EQ(counter(), QStringLiteral("3 Files Selected (5 Kb)    "));
    find<QPushButton>("cmdSelectNone")->click();
    EXPECT_EQ(counter(), QStringLiteral("0 Files Selected (0 Kb)    "));

    // Click and Ctrl-click select like the list's own mouse handling.
    auto* list = find<QListView>("File1");
    list->selectionModel()->select(window->fileList()->index(2), QItemSelectionModel::Select);
    EXPECT_EQ(counter(), QStringLiteral("1 File Selected (1 Kb)    "));
    find<QPushButton>("cmdReverse")->click();
    EXPECT_EQ(counter(), QStringLiteral("2 Files Selected (4 Kb)    "));
    find<QPushButton>("cmdReverse")->click();
    EXPECT_EQ(counter(), QStringLiteral("1 File Selected (1 Kb)    "));

    // A selected file that vanishes still counts, with nothing added.
    window->select_all();
    QFile::remove(folder.filePath(QStringLiteral("b.nes")));
    window->update_count();
    EXPECT_EQ(counter(), QStringLiteral("3 Files Selected (2 Kb)    "));
}

TEST_F(MainWindowTest, FilterHistoryAndRomsSwitch)
{
    listFiles({{"a.zip", 1}, {"b.7z", 1}, {"c.nes", 1}, {"d.txt", 1}});
    auto* filter = find<QComboBox>("txtFilter");
    filter->setEditText(QStringLiteral("*.zip ,*.7z"));
    EXPECT_EQ(window->fileList()->pattern(), QStringLiteral("*.zip;*.7z"));
    EXPECT_EQ(window->fileList()->count(), 2);

    emit filter->lineEdit()->returnPressed();
    filter->setEditText(QStringLiteral("*.ZIP ,*.7Z"));
    emit filter->lineEdit()->returnPressed();
    ASSERT_EQ(filter->count(), 2);
    EXPECT_EQ(filter->itemText(0), QStringLiteral("*"));
    EXPECT_EQ(filter->itemText(1), QStringLiteral("*.zip ,*.7z"));

    // Choosing a history entry applies it.
    filter->setCurrentIndex(0);
    emit filter->textActivated(filter->itemText(0));
    EXPECT_EQ(window->fileList()->count(), 4);

    Options options = window->currentOptions();
    options.lblROMFilter = QStringLiteral("*.NES");
    window->applyOptions(options);
    filter->setEditText(QStringLiteral("*.txt"));
    find<QCheckBox>("chkROMs")->setChecked(true);
    EXPECT_FALSE(filter->isEnabled());
    EXPECT_EQ(window->fileList()->names(), QStringList({"c.nes"}));
    find<QCheckBox>("chkROMs")->setChecked(false);
    EXPECT_TRUE(filter->isEnabled());
    EXPECT_EQ(window->fileList()->names(), QStringList({"d.txt"}));

    // An empty ROM filter lists everything.
    options.lblROMFilter.clear();
    window->applyOptions(options);
    find<QCheckBox>("chkROMs")->setChecked(true);
    EXPECT_EQ(window->fileList()->count(), 4);
}

TEST_F(MainWindowTest, SettingsTabsEnableTheirDependentControls)
{
    auto* info = find<QCheckBox>("chkInfoFile");
    auto* infoText = find<QLineEdit>("txtInfoFile");
    auto* infoButton = find<QToolButton>("cmdInfoFile");
    EXPECT_FALSE(infoText->isEnabled());
    EXPECT_FALSE(infoButton->isEnabled());
    info->setChecked(true);
    EXPECT_TRUE(infoText->isEnabled());
    EXPECT_TRUE(infoButton->isEnabled());
    EXPECT_EQ(infoText->palette().color(QPalette::Base),
              QApplication::palette().color(QPalette::Base));

    // The picker: a choice fills the path, Cancel keeps it.
    const QString nfo = writeFile(folder.path(), QStringLiteral("group.nfo"), 5);
    Dialogs::script().files.push_back(nfo);
    infoButton->click();
    EXPECT_EQ(infoText->text(), nfo);
    Dialogs::script().files.push_back(QString());
    infoButton->click();
    EXPECT_EQ(infoText->text(), nfo);
    EXPECT_EQ(Dialogs::script().asked.last(), QStringLiteral("Select the Info File"));

    info->setChecked(false);
    EXPECT_FALSE(infoText->isEnabled());
    EXPECT_FALSE(infoButton->isEnabled());
    EXPECT_EQ(infoText->text(), nfo);
    EXPECT_EQ(infoText->palette().color(QPalette::Base),
              QApplication::palette().color(QPalette::Button));

    // The greyed state counts as clear.
    Options options = window->currentOptions();
    options.chkZIPPassword = Check::Greyed;
    options.chkUnzipPassword = Check::Ticked;
    window->applyOptions(options);
    EXPECT_FALSE(find<QLineEdit>("txtZIPPassword")->isEnabled());
    EXPECT_TRUE(find<QLineEdit>("txtUnzipPassword")->isEnabled());
    EXPECT_EQ(window->currentOptions().chkZIPPassword, Check::Greyed);

    find<QRadioButton>("radOneZIP")->setChecked(true);
    EXPECT_FALSE(find<QCheckBox>("chkUseOriginalExtensions")->isEnabled());
    EXPECT_FALSE(find<QComboBox>("cmbFileCase")->isEnabled());
    find<QRadioButton>("radMultipleZIPs")->setChecked(true);
    EXPECT_TRUE(find<QCheckBox>("chkUseOriginalExtensions")->isEnabled());
    EXPECT_TRUE(find<QComboBox>("cmbFileCase")->isEnabled());

    auto* slider = find<QSlider>("sliCompression");
    auto* level = find<QLabel>("lblCompression");
    EXPECT_EQ(level->text(), QStringLiteral("6"));
    slider->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(level->text(), QStringLiteral("0"));
    slider->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(level->text(), QStringLiteral("9"));
    EXPECT_EQ(window->currentOptions().sliCompression, 9);
}

TEST_F(MainWindowTest, ActionButtonsFollowTheControlTab)
{
    auto* zip = find<QPushButton>("cmdZipFiles");
    auto* unzip = find<QPushButton>("cmdUnzipFiles");
    window->registerBatch(QStringLiteral("zip_files"), fakeBatch());
    window->registerBatch(QStringLiteral("unzip_files"), fakeBatch());
    EXPECT_TRUE(zip->isEnabled());
    EXPECT_TRUE(unzip->isEnabled());
    auto* tabs = find<QTabWidget>("Tabs");
    for (int tab = 1; tab < tabs->count(); ++tab) {
        tabs->setCurrentIndex(tab);
        EXPECT_FALSE(zip->isEnabled()) << tab;
        EXPECT_FALSE(unzip->isEnabled()) << tab;
        EXPECT_TRUE(find<QPushButton>("cmdExit")->isEnabled());
    }
    tabs->setCurrentIndex(0);
    EXPECT_TRUE(zip->isEnabled());
    EXPECT_TRUE(unzip->isEnabled());
}

TEST_F(MainWindowTest, BrowseForFolderSaysCancelledWithNoFolder)
{
    Dialogs::script().files.push_back(QString());
    EXPECT_EQ(Dialogs::browseForFolder(window.get(), QStringLiteral("Pick")), std::nullopt);
    Dialogs::script().files.push_back(folder.path());
    EXPECT_EQ(Dialogs::browseForFolder(window.get(), QStringLiteral("Pick")), folder.path());
}

// A batch of the kind every archive operation is: it walks the selection, logs, shows
// progress, asks a question, and stops when asked to.
TEST_F(MainWindowTest, BatchRunsOffTheUiThreadAsksOnItAndHonoursStop)
{
    listFiles({{"one.zip", 1}, {"two.zip", 1}, {"three.zip", 1}, {"skip.nes", 1}});
    window->show();
    QSemaphore gate;
    std::atomic<bool> ranOffUiThread{false};
    const FakeRun run = [&](const BatchSnapshot& taken, ProgressSink& sink,
                            BatchQuestions& questions) {
        ranOffUiThread = QThread::currentThread() != qApp->thread();
        sink.clear_log();
        const MsgAnswer answer =
            questions.messageBox(QStringLiteral("Test them?"), QStringLiteral("Kelmar"),
                                 MsgIcon::Question, MsgButtons::YesNo);
        sink.write_log(answer == MsgAnswer::Yes ? QStringLiteral("yes") : QStringLiteral("no"));
        for (int i = 0; i < int(taken.names.size()); ++i) {
            const QString& name = taken.names.at(i);
            if (!taken.selected.at(size_t(i)) || !name.endsWith(QStringLiteral(".zip")))
                continue;
            sink.write_log(QStringLiteral("Testing ") + taken.folder + QDir::separator() + name);
            sink.setStatusText(QStringLiteral("Testing %1").arg(i));
            gate.acquire();
            if (sink.stopRequested()) {
                sink.write_log(QStringLiteral("stopped"));
                break;
            }
        }
        sink.showCreditLine();
        return BatchReport();
    };
    window->registerBatch(QStringLiteral("test_zip_files"), fakeBatch(run, true));
    Dialogs::script().messages.push_back(MsgAnswer::Yes);
    window->select_all();
    window->prepareOptionsMenu();
    ASSERT_TRUE(action("menOptionsTestZips")->isEnabled());
    action("menOptionsTestZips")->trigger();

    auto* tabs = find<QTabWidget>("Tabs");
    auto* stop = find<QPushButton>("cmdStop");
    waitUntil([&] { return window->logText().contains(QStringLiteral("Testing")); });
    EXPECT_TRUE(ranOffUiThread);
    // Busy: only Stop can be pressed, and the window still handles events.
    EXPECT_FALSE(tabs->isEnabled());
    EXPECT_TRUE(stop->isEnabled());
    EXPECT_FALSE(find<QPushButton>("cmdExit")->isEnabled());
    EXPECT_FALSE(find<QPushButton>("cmdZipFiles")->isEnabled());
    EXPECT_FALSE(window->runOperation(QStringLiteral("test_zip_files")));
    waitUntil([&] { return window->statusPanelText(1).startsWith("Testing"); });
    // The question was shown by the window's thread, not the batch's.
    EXPECT_EQ(Dialogs::script().asked, QStringList({"Kelmar|Test them?"}));
    EXPECT_EQ(Dialogs::script().askedOffUiThread, 0);

    stop->click();
    gate.release();
    bool finished = false;
    QObject::connect(window.get(), &frmKelmar::batchFinished, [&] { finished = true; });
    waitUntil([&] { return finished; });

    const QString sep = QDir::separator();
    EXPECT_EQ(window->logText(), QStringLiteral("yes\r\nTesting ") + folder.path() + sep +
                                     QStringLiteral("one.zip\r\nstopped\r\n"));
    EXPECT_TRUE(tabs->isEnabled());
    EXPECT_FALSE(stop->isEnabled());
    EXPECT_TRUE(find<QPushButton>("cmdExit")->isEnabled());
    EXPECT_EQ(window->statusPanelText(1), frmKelmar::creditLine());
    EXPECT_EQ(counter(), QStringLiteral("0 Files Selected (0 Kb)    "));
    EXPECT_TRUE(window->stopRequested());
}

// The file list's menu opens on the right button's release, where the pointer is. X11 asks
// for a menu on the press as well: that request opens nothing. As in a file manager, the press
// selects a file outside the selection alone and leaves a selection it lands in as it is.
TEST_F(MainWindowTest, FileMenuOpensOnTheReleaseAtThePointer)
{
    listFiles({{"a.zip", 1}, {"b.zip", 1}, {"c.zip", 1}});
    // At the screen's left edge: the menu, with its keys, fits to the right of the pointer.
    window->move(window->screen()->availableGeometry().topLeft());
    window->show();
    auto* list = find<QListView>("File1");
    QWidget* viewport = list->viewport();
    const struct
    {
        const char* name;
        int row;
        std::vector<char> selected;
    } cases[] = {
        {"a press inside the selection keeps it", 1, {1, 1, 0}},
        {"a press outside the selection selects that file alone", 2, {0, 0, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        window->select_none();
        for (int row : {0, 1})
            list->selectionModel()->select(list->model()->index(row, 0),
                                           QItemSelectionModel::Select);
        const QPoint at = list->visualRect(list->model()->index(c.row, 0)).center();
        const QPoint global = viewport->mapToGlobal(at);
        QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::RightButton, Qt::RightButton,
                          Qt::NoModifier);
        QApplication::sendEvent(viewport, &press);
        QContextMenuEvent request(QContextMenuEvent::Mouse, at, global);
        QApplication::sendEvent(viewport, &request);
        QCoreApplication::processEvents();
        EXPECT_FALSE(window->optionsMenu()->isVisible());
        EXPECT_EQ(window->selectedFlags(), c.selected);
        QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::RightButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(viewport, &release);
        waitUntil([&] { return window->optionsMenu()->isVisible(); });
        EXPECT_EQ(window->optionsMenu()->pos(), global);
        EXPECT_TRUE(action("menOptionsDelete")->isEnabled());
        window->optionsMenu()->close();
    }
}

// A log that fills up drops its older half as whole lines and stays on its newest line.
TEST_F(MainWindowTest, AFullLogKeepsWholeLinesAndShowsTheNewest)
{
    window->show();
    const QString filler(90, u'x');
    QString last;
    for (int n = 0; n < 11'200; ++n) { // about 1.1 million characters
        last = QStringLiteral("%1 ").arg(n, 6, 10, QChar(u'0')) + filler;
        window->write_log(last);
    }
    const QString text = window->logText();
    ASSERT_LT(text.size(), 700'000); // it was trimmed
    EXPECT_EQ(text.section(QStringLiteral("\r\n"), 0, 0).size(), last.size());
    EXPECT_TRUE(text.endsWith(last + QStringLiteral("\r\n")));
    QScrollBar* bar = find<QPlainTextEdit>("txtLog")->verticalScrollBar();
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(MainWindowTest, ClosingDuringABatchStopsItFirst)
{
    listFiles({{"one.zip", 1}});
    window->show();
    QSemaphore closed;
    std::atomic<bool> progressed{false};
    QSemaphore seen;
    MsgAnswer notice = MsgAnswer::Cancel;
    MsgAnswer question = MsgAnswer::Cancel;
    bool named = true;
    const FakeRun run = [&](const BatchSnapshot&, ProgressSink& sink, BatchQuestions& host) {
        closed.acquire(); // after the close asked for a stop
        // Progress that arrives after the close must not hide why the window stays open.
        sink.setStatusText(QStringLiteral("ReZipping File 1 of 1"));
        progressed = true;
        wakeUiThread();
        seen.acquire();
        // Nothing is asked once the window is closing: a dialog would keep it open.
        notice = host.messageBox(QStringLiteral("The current process has been stopped"),
                                 QStringLiteral("Abort"), MsgIcon::Information, MsgButtons::Ok);
        question = host.messageBox(QStringLiteral("Delete?"), QStringLiteral("Delete"),
                                   MsgIcon::Question, MsgButtons::YesNo, Question::ConfirmDelete);
        named = host.inputBox(QStringLiteral("Enter new name: "), QStringLiteral("Rename"),
                              QStringLiteral("a.zip"))
                    .has_value();
        sink.write_log(QStringLiteral("stopped"));
        return BatchReport();
    };
    window->registerBatch(QStringLiteral("rezip_files"), fakeBatch(run));
    ASSERT_TRUE(window->runOperation(QStringLiteral("rezip_files")));
    waitUntil([&] { return !find<QTabWidget>("Tabs")->isEnabled(); });
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->stopRequested());
    closed.release();
    waitUntil([&] { return progressed.load(); });
    QCoreApplication::processEvents();
    EXPECT_EQ(window->statusPanelText(1), QStringLiteral("Stopping before closing..."));
    seen.release();
    waitUntil([&] { return !window->isVisible(); });
    EXPECT_FALSE(window->batchRunning());
    EXPECT_EQ(window->logText(), QStringLiteral("stopped\r\n"));
    EXPECT_TRUE(Dialogs::script().asked.isEmpty()) << Dialogs::script().asked.join(u'\n');
    EXPECT_EQ(notice, MsgAnswer::Ok);
    EXPECT_EQ(question, MsgAnswer::No);
    EXPECT_FALSE(named);
}

TEST_F(MainWindowTest, FatalErrorInABatchEndsTheProgramThroughItsNormalShutdown)
{
    listFiles({{"one.zip", 1}});
    window->show();
    // The batch finishes what it has in hand before the window goes.
    window->registerBatch(QStringLiteral("unzip_files"),
                          fakeBatch([](const BatchSnapshot&, ProgressSink& sink, BatchQuestions&) {
                              sink.write_log(QStringLiteral("finished"));
                              BatchReport report;
                              report.end = BatchEnd::EndProgram;
                              return report;
                          }));
    ASSERT_TRUE(window->runOperation(QStringLiteral("unzip_files")));
    waitUntil([&] { return !window->isVisible(); });
    EXPECT_FALSE(window->batchRunning());
    EXPECT_EQ(window->logText(), QStringLiteral("finished\r\n"));
    QSettings saved(iniPath(), QSettings::IniFormat);
    EXPECT_EQ(saved.value(QStringLiteral("form/lastfolder")).toString(), folder.path());
}

TEST_F(MainWindowTest, LogLinesFromABatchKeepTheirOrder)
{
    window->registerBatch(QStringLiteral("calculate_space"),
                          fakeBatch([](const BatchSnapshot&, ProgressSink& sink, BatchQuestions&) {
                              sink.clear_log();
                              for (int i = 0; i < 2000; ++i)
                                  sink.write_log(QString::number(i));
                              return BatchReport();
                          }));
    bool finished = false;
    QObject::connect(window.get(), &frmKelmar::batchFinished, [&] { finished = true; });
    ASSERT_TRUE(window->runOperation(QStringLiteral("calculate_space")));
    waitUntil([&] { return finished; });
    const QStringList lines = window->logText().split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 2001);
    for (int i = 0; i < 2000; ++i)
        ASSERT_EQ(lines.at(i), QString::number(i));
    EXPECT_EQ(find<QPlainTextEdit>("txtLog")->document()->blockCount(), 2001);
}

TEST_F(MainWindowTest, FortyThousandFilesListSelectAndCount)
{
    const int n = 40000;
    const QByteArray base = QFile::encodeName(folder.path());
    for (int i = 0; i < n; ++i) {
        const QByteArray path = base + "/rom" + QByteArray::number(i) + ".nes";
        int fd = ::open(path.constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        if (i == 39999) {
            ASSERT_EQ(::write(fd, "12345", 5), 5);
        }
        ::close(fd);
    }
    window->setListFolder(folder.path());
    ASSERT_EQ(window->fileList()->count(), n);
    window->select_all();
    EXPECT_EQ(counter(), QStringLiteral("40000 Files Selected (0 Kb)    "));
    auto* list = find<QListView>("File1");
    list->selectionModel()->select(window->fileList()->index(0), QItemSelectionModel::Deselect);
    EXPECT_EQ(counter(), QStringLiteral("39999 Files Selected (0 Kb)    "));
    window->select_reverse();
    EXPECT_EQ(counter(), QStringLiteral("1 File Selected (0 Kb)    "));
    EXPECT_TRUE(window->isSelected(0));
    const int last = int(window->fileList()->names().indexOf(QStringLiteral("rom39999.nes")));
    list->selectionModel()->select(window->fileList()->index(last), QItemSelectionModel::Select);
    EXPECT_EQ(counter(), QStringLiteral("2 Files Selected (0 Kb)    "));
    EXPECT_TRUE(window->isSelected(last));
    EXPECT_GT(last, 32767);
}

TEST_F(MainWindowTest, RomFilterEditorBuildsTheFilterText)
{
    auto* typed = find<QLineEdit>("txtROMFilter");
    auto* add = find<QPushButton>("cmdAddROMFilter");
    auto* remove = find<QPushButton>("cmdRemoveROMFilter");
    auto* list = find<QListWidget>("lstROMFilter");
    auto* filter = find<QLabel>("lblROMFilter");
    EXPECT_TRUE(filter->text().isEmpty());
    EXPECT_FALSE(add->isEnabled());

    typed->setText(QStringLiteral("z.i"));
    EXPECT_EQ(typed->text(), QStringLiteral("ZI"));
    EXPECT_TRUE(add->isEnabled());
    typed->setText(QStringLiteral("zip"));
    add->click();
    typed->setText(QStringLiteral("ZIP"));
    add->click();
    EXPECT_EQ(filter->text(), QStringLiteral("*.ZIP;*.ZIP"));
    EXPECT_TRUE(typed->text().isEmpty());
    EXPECT_FALSE(add->isEnabled());

    // With "ROMs" ticked, the list follows every change of the filter.
    listFiles({{"a.zip", 1}, {"b.nes", 1}});
    find<QCheckBox>("chkROMs")->setChecked(true);
    EXPECT_EQ(window->fileList()->names(), QStringList({"a.zip"}));
    EXPECT_FALSE(remove->isEnabled());
    list->setCurrentRow(0);
    EXPECT_TRUE(remove->isEnabled());
    remove->click();
    EXPECT_FALSE(remove->isEnabled());
    list->setCurrentRow(0);
    remove->click();
    EXPECT_TRUE(filter->text().isEmpty());
    EXPECT_EQ(window->fileList()->pattern(), QString());

    // A stored text comes back as entries, and is used exactly as stored.
    Options options = window->currentOptions();
    options.lblROMFilter = QStringLiteral("*.nes;;*.tar.gz");
    window->applyOptions(options);
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("nes"));
    EXPECT_EQ(list->item(2)->text(), QStringLiteral("targz"));
    EXPECT_EQ(filter->text(), QStringLiteral("*.nes;;*.tar.gz"));
}

TEST_F(MainWindowTest, OptionsHistoryAndFolderSurviveARestart)
{
    listFiles({{"a.zip", 1}});
    Options options = window->currentOptions();
    options.radOneZIP = true;
    options.radMultipleZIPs = false;
    options.sliCompression = 3;
    options.chkZIPPassword = Check::Ticked;
    options.txtZIPPassword = QStringLiteral("zip secret");
    options.chkUnzipPassword = Check::Ticked;
    options.txtUnzipPassword = QStringLiteral("unzip secret");
    options.cmbUnzipCase = UseOriginalCase;
    options.chkExtractROMs = Check::Clear;
    options.lblROMFilter = QStringLiteral("*.NES;*.SMC");
    window->applyOptions(options);
    auto* filter = find<QComboBox>("txtFilter");
    filter->setEditText(QStringLiteral("*.nes"));
    emit filter->lineEdit()->returnPressed();
    ASSERT_TRUE(window->close());

    {
        QSettings ini(iniPath(), QSettings::IniFormat);
        EXPECT_EQ(ini.value(QStringLiteral("zip settings/radOneZIP")).toString(), "True");
        EXPECT_EQ(ini.value(QStringLiteral("zip settings/radMultipleZIPs")).toString(), "False");
        EXPECT_EQ(ini.value(QStringLiteral("zip settings/sliCompression")).toString(), "3");
        EXPECT_FALSE(ini.contains(QStringLiteral("zip settings/txtZIPPassword")));
        EXPECT_EQ(ini.value(QStringLiteral("unzip settings/txtUnzipPassword")).toString(),
                  "unzip secret");
        EXPECT_EQ(ini.value(QStringLiteral("saved filter/1")).toString(), "*.nes");
        EXPECT_EQ(ini.value(QStringLiteral("form/windowstate")).toString(), "0");
        EXPECT_EQ(ini.value(QStringLiteral("form/lastfolder")).toString(), folder.path());
        EXPECT_EQ(ini.value(QStringLiteral("form/width")).toInt() % 15, 0);
    }
    // The store holds a password: its owner alone may read it.
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(iniPath()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    window = std::make_unique<frmKelmar>();
    const Options back = window->currentOptions();
    EXPECT_TRUE(back.radOneZIP);
    EXPECT_FALSE(back.radMultipleZIPs);
    EXPECT_FALSE(find<QComboBox>("cmbFileCase")->isEnabled());
    EXPECT_EQ(back.sliCompression, 3);
    EXPECT_EQ(find<QLabel>("lblCompression")->text(), QStringLiteral("3"));
    EXPECT_TRUE(back.txtZIPPassword.isEmpty());
    EXPECT_TRUE(find<QLineEdit>("txtZIPPassword")->isEnabled());
    EXPECT_EQ(back.txtUnzipPassword, QStringLiteral("unzip secret"));
    EXPECT_EQ(back.cmbUnzipCase, UseOriginalCase);
    EXPECT_EQ(back.chkExtractROMs, Check::Clear);
    EXPECT_EQ(find<QListWidget>("lstROMFilter")->count(), 2);
    EXPECT_EQ(find<QComboBox>("txtFilter")->count(), 2);
    EXPECT_EQ(window->listFolder(), folder.path());
}

TEST_F(MainWindowTest, NonsenseInTheStoreFallsBackToDefaults)
{
    window.reset();
    QDir().mkpath(config.path() + QStringLiteral("/kelmar"));
    {
        QSettings ini(iniPath(), QSettings::IniFormat);
        ini.setValue(QStringLiteral("form/width"), QStringLiteral("wide"));
        ini.setValue(QStringLiteral("form/windowstate"), QStringLiteral("7"));
        ini.setValue(QStringLiteral("zip settings/sliCompression"), QStringLiteral("42"));
        ini.setValue(QStringLiteral("zip settings/cmbFileCase"), QStringLiteral("7"));
        ini.setValue(QStringLiteral("unzip settings/chkIgnoreFolders"), QStringLiteral("yes"));
        ini.setValue(QStringLiteral("zip settings/radMultipleZIPs"), QStringLiteral("True"));
        ini.setValue(QStringLiteral("zip settings/radOneZIP"), QStringLiteral("True"));
        ini.setValue(QStringLiteral("form/lastfolder"), QStringLiteral("/no/such/folder"));
    }
    window = std::make_unique<frmKelmar>();
    ASSERT_TRUE(window->loaded());
    const Options o = window->currentOptions();
    EXPECT_EQ(o.sliCompression, 6);
    EXPECT_EQ(o.cmbFileCase, UseLowerCase);
    EXPECT_EQ(o.chkIgnoreFolders, Check::Ticked);
    // Both radio buttons stored as selected: the one read last wins.
    EXPECT_TRUE(o.radOneZIP);
    EXPECT_FALSE(o.radMultipleZIPs);
    EXPECT_EQ(window->listFolder(), QDir::homePath());
    EXPECT_GE(window->width(), 6930 / 15);
}

TEST_F(MainWindowTest, FavouritesAddRemoveJumpAndRoundTrip)
{
    window.reset();
    QDir(folder.path()).mkdir(QStringLiteral("Roms"));
    QDir(folder.path()).mkdir(QStringLiteral("Ärger"));
    const QString roms = folder.path() + QStringLiteral("/Roms");
    const QString umlaut = folder.path() + QStringLiteral("/Ärger");
    {
        QFile file(favoritesFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(roms.toLower().toUtf8() + "\r\n\r\n" + umlaut.toUtf8() + "\r\n" +
                   "/no/such/folder\r\n");
    }
    window = std::make_unique<frmKelmar>();
    auto* box = find<QComboBox>("cmbFavorites");
    EXPECT_EQ(box->currentIndex(), 0);
    // Sorted without regard to case; the blank line is an entry of its own.
    EXPECT_EQ(window->favorites(), QStringList({"", "/no/such/folder", roms.toLower(), umlaut}));

    // Jumping moves tree and list and shows the first item again.
    const int target = box->findText(umlaut);
    box->setCurrentIndex(target);
    emit box->activated(target);
    EXPECT_EQ(window->listFolder(), umlaut);
    EXPECT_EQ(window->treeFolder(), umlaut);
    EXPECT_EQ(box->currentIndex(), 0);
    // A favourite whose folder is gone leaves everything as it was.
    emit box->activated(box->findText(QStringLiteral("/no/such/folder")));
    EXPECT_EQ(window->listFolder(), umlaut);

    // Stored under other letter case: the menu offers Remove, which removes that entry.
    window->showFolderInTree(roms);
    window->prepareFoldersMenu();
    EXPECT_FALSE(action("menFoldersAddToFavorites")->isVisible());
    EXPECT_TRUE(action("menFoldersRemoveFromFavorites")->isVisible());
    EXPECT_EQ(action("menFoldersRemoveFromFavorites")->text(),
              QStringLiteral("&Remove \u2018Roms\u2019 from Favorites"));
    action("menFoldersRemoveFromFavorites")->trigger();
    window->prepareFoldersMenu();
    EXPECT_TRUE(action("menFoldersAddToFavorites")->isVisible());
    EXPECT_EQ(action("menFoldersAddToFavorites")->text(),
              QStringLiteral("&Add \u2018Roms\u2019 to Favorites"));
    action("menFoldersAddToFavorites")->trigger();
    EXPECT_EQ(window->favorites(), QStringList({"", "/no/such/folder", roms, umlaut}));

    ASSERT_TRUE(window->close());
    QFile file(favoritesFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(),
              "\r\n/no/such/folder\r\n" + roms.toUtf8() + "\r\n" + umlaut.toUtf8() + "\r\n");
}

TEST_F(MainWindowTest, FavouritesGoToTheSettingsFolderWhenTheirOwnCannotBeWritten)
{
    window.reset();
    // A path under a plain file cannot be written, not even by root.
    const QString blocker = writeFile(config.path(), QStringLiteral("blocker"), 1);
    frmKelmar::setFavoritesPathForTesting(blocker + QStringLiteral("/favorites.txt"));
    window = std::make_unique<frmKelmar>();
    window->showFolderInTree(folder.path());
    action("menFoldersAddToFavorites")->trigger();
    ASSERT_TRUE(window->close());
    QFile fallback(config.path() + QStringLiteral("/kelmar/favorites.txt"));
    ASSERT_TRUE(fallback.open(QIODevice::ReadOnly));
    EXPECT_EQ(fallback.readAll(), folder.path().toUtf8() + "\r\n");
    EXPECT_TRUE(QFile::exists(iniPath()));
}

TEST_F(MainWindowTest, LayoutSplitsTheControlTabAtEverySize)
{
    window->show();
    for (const QSize size : {QSize(100, 100), QSize(1400, 900)}) {
        window->resize(size);
        QCoreApplication::processEvents();
        EXPECT_GE(window->width(), 6930 / 15);
        EXPECT_GE(window->height(), 4650 / 15);
        auto* tree = find<QWidget>("Tree1");
        auto* list = find<QWidget>("File1");
        EXPECT_NEAR(tree->width(), list->width(), 2) << size.width();
        EXPECT_LT(tree->geometry().right(), list->mapTo(tree->parentWidget(), QPoint(0, 0)).x());
        const int all = find<QWidget>("cmdSelectAll")->width();
        EXPECT_NEAR(find<QWidget>("cmdSelectNone")->width(), all, 1);
        EXPECT_NEAR(find<QWidget>("cmdReverse")->width(), all, 1);
        EXPECT_NEAR(3 * all, list->width(), 20);
        auto* tabs = find<QTabWidget>("Tabs");
        tabs->setCurrentIndex(4);
        QCoreApplication::processEvents();
        EXPECT_GT(find<QWidget>("txtLog")->width(), tabs->width() - 40);
        tabs->setCurrentIndex(0);
    }
}

// The main commands' keys reach them from the whole window (Delete only from the file list,
// so a text box keeps its own), the menus show them, and every check box is named for a
// screen reader.
TEST_F(MainWindowTest, MainCommandsHaveKeysAndCheckBoxesHaveNames)
{
    const struct
    {
        const char* action;
        QKeySequence keys;
        QWidget* reachedFrom;
    } rows[] = {
        {"menOptionsRefresh", QKeySequence(Qt::Key_F5), window.get()},
        {"menOptionsTestZips", QKeySequence(Qt::CTRL | Qt::Key_T), window.get()},
        {"menOptionsZip", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), window.get()},
        {"menOptionsUnzip", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_U), window.get()},
        {"menOptionsReZip", QKeySequence(Qt::CTRL | Qt::Key_R), window.get()},
        {"menOptionsDelete", QKeySequence(Qt::Key_Delete), find<QWidget>("fileViews")},
        {"actStop", QKeySequence(Qt::Key_Escape), window.get()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.action);
        QAction* a = action(row.action);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->shortcut(), row.keys);
        EXPECT_TRUE(a->associatedObjects().contains(row.reachedFrom));
    }
    // Escape stops only while a batch runs.
    EXPECT_FALSE(action("actStop")->isEnabled());

    // A box without a caption (beside a text field, in a frame) is named after its frame.
    const QHash<QString, QString> uncaptioned = {
        {"chkInfoFile", "Info File"},
        {"chkZIPPassword", "ZIP Password Protection"},
        {"chkUnzipPassword", "UnZIP Password Protection"},
    };
    QList<QCheckBox*> boxes = window->findChildren<QCheckBox*>();
    ASSERT_GE(boxes.size(), 15);
    for (QCheckBox* box : boxes) {
        QString caption = box->text();
        caption.remove(u'&');
        if (caption.isEmpty())
            caption = uncaptioned.value(box->objectName());
        EXPECT_FALSE(caption.isEmpty()) << box->objectName().toStdString();
        EXPECT_EQ(box->accessibleName(), caption) << box->objectName().toStdString();
    }
}

// A batch's count shows in the status bar's progress bar and in the title while it runs.
TEST_F(MainWindowTest, BatchCountShowsInTheStatusBarAndTheTitleWhileItRuns)
{
    listFiles({{"one.zip", 1}});
    QSemaphore gate;
    std::atomic<bool> counted{false};
    const FakeRun run = [&](const BatchSnapshot&, ProgressSink& sink, BatchQuestions&) {
        sink.batchProgress(BatchCount{QStringLiteral("Testing"), 12345, 40000});
        counted = true;
        wakeUiThread();
        gate.acquire();
        return BatchReport();
    };
    window->registerBatch(QStringLiteral("test_zip_files"), fakeBatch(run));
    bool finished = false;
    QObject::connect(window.get(), &frmKelmar::batchFinished, [&] { finished = true; });
    ASSERT_TRUE(window->runOperation(QStringLiteral("test_zip_files")));
    EXPECT_TRUE(action("actStop")->isEnabled());
    waitUntil([&] { return !window->batchProgressText().isEmpty(); });
    EXPECT_EQ(window->batchProgressText(), QStringLiteral("Testing 12,345 of 40,000"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Kelmar 1.25 \u2014 Testing 12,345 of 40,000"));
    // The batch writes no status of its own: the count stands in status panel 1 too.
    EXPECT_EQ(window->statusPanelText(1), QStringLiteral("Testing 12,345 of 40,000"));
    gate.release();
    waitUntil([&] { return finished; });
    EXPECT_TRUE(window->batchProgressText().isEmpty());
    EXPECT_EQ(window->statusPanelText(1), frmKelmar::creditLine());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Kelmar 1.25"));
    EXPECT_FALSE(action("actStop")->isEnabled());
}
