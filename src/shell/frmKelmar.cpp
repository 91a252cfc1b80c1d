// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/frmKelmar.h"

#include "Version.h"
#include "browse/FileListModel.h"
#include "fs/NativeName.h"
#include "fs/Path.h"
#include "maintenance/BatchRunner.h"
#include "settings/Favorites.h"
#include "settings/SettingsStore.h"
#include "settings/WindowState.h"
#include "shell/ArchiveOperations.h"
#include "shell/ControlPage.h"
#include "shell/DatPage.h"
#include "shell/Dialogs.h"
#include "shell/LogPage.h"
#include "shell/OtherSettingsPage.h"
#include "shell/RenameOperations.h"
#include "shell/UnzipSettingsPage.h"
#include "shell/Widgets.h"
#include "shell/WindowHost.h"
#include "shell/WindowMenus.h"
#include "shell/ZipSettingsPage.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTabBar>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

using namespace kelmar;
using kelmar::widgets::named;

namespace {

const QString ControlTabKey = QStringLiteral("Control");

// The window's design client area is 8790 x 5220 twips.
constexpr int TwipsPerPixel = WindowState::TwipsPerPixel;
constexpr int DesignWidth = 8790 / TwipsPerPixel;
constexpr int DesignHeight = 5220 / TwipsPerPixel;
// The smallest the window may be made in the normal state.
constexpr int MinimumWidth = 6930 / TwipsPerPixel;
constexpr int MinimumHeight = 4650 / TwipsPerPixel;

QString stoppingText()
{
    return QStringLiteral("Stopping before closing...");
}

QString windowTitleText()
{
    return QStringLiteral("Kelmar " KELMAR_VERSION);
}

// A batch that runs longer than this and ends while the window is not active says so.
constexpr qint64 LongBatchMs = 10000;

// What the desktop notification calls a finished batch.
QString operationCaption(const QString& operationName)
{
    static const QHash<QString, QString> captions = {
        {QStringLiteral("zip_files"), QStringLiteral("ZIP Files")},
        {QStringLiteral("unzip_files"), QStringLiteral("UnZIP Files")},
        {QStringLiteral("test_zip_files"), QStringLiteral("Test Zips")},
        {QStringLiteral("rezip_files"), QStringLiteral("ReZip")},
        {QStringLiteral("calculate_space"), QStringLiteral("Calculate Space in Zips")},
        {QStringLiteral("remove_non_roms_from_zips"), QStringLiteral("Remove Non-ROMs From Zips")},
        {QStringLiteral("change_attributes"), QStringLiteral("Change Zipped Files' Attributes")},
        {QStringLiteral("convert_sub_folders_to_zips"),
         QStringLiteral("Convert Sub Folders to Zips")},
        {QStringLiteral("delete_files"), QStringLiteral("Delete")},
    };
    if (operationName.startsWith(QLatin1String("to_")) || operationName.endsWith(QLatin1String("_spaces")) ||
        operationName == QLatin1String("find_and_replace"))
        return QStringLiteral("Rename");
    return captions.value(operationName, QStringLiteral("Batch"));
}

} // namespace

frmKelmar::frmKelmar(const QString& startFolder, QWidget* parent)
    : QMainWindow(parent), m_startFolder(startFolder)
{
    setObjectName(QStringLiteral("frmKelmar"));
    setWindowTitle(windowTitleText());
    m_runner = new BatchRunner(this);
    connect(m_runner, &BatchRunner::finished, this, &frmKelmar::onBatchFinished);
    m_host = std::make_unique<WindowHost>(*this, *m_runner);
    buildWindow();
    registerArchiveOperations(*this);
    registerRenameOperations(*this);
    m_datPage->attach(*this);
    Form_Load();
}

frmKelmar::~frmKelmar()
{
    // A window destroyed without closing (a test, say) must not leave the batch running
    // against freed controls.
    disconnect(m_runner, nullptr, this, nullptr);
    m_runner->stopAndWait();
}

QString frmKelmar::creditLine()
{
    return QStringLiteral("Kelmar " KELMAR_VERSION " \u2014 zip tools for ROM collections");
}

// ---------------------------------------------------------------------------------------
// Construction

void frmKelmar::buildWindow()
{
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(3, 3, 3, 0);
    layout->setSpacing(3);

    m_control = new ControlPage;
    m_zipSettings = new ZipSettingsPage;
    m_unzipSettings = new UnzipSettingsPage;
    m_otherSettings = new OtherSettingsPage;
    m_logPage = new LogPage;
    m_datPage = new DatPage;
    Tabs = named(new QTabWidget, "Tabs");
    Tabs->setDocumentMode(false);
    const QList<QPair<QString, QWidget*>> pages = {
        {ControlTabKey, m_control},
        {QStringLiteral("ZIP Settings"), m_zipSettings},
        {QStringLiteral("UnZIP Settings"), m_unzipSettings},
        {QStringLiteral("Other Settings"), m_otherSettings},
        {QStringLiteral("Log"), m_logPage},
        {QStringLiteral("DAT"), m_datPage},
    };
    for (int i = 0; i < pages.size(); ++i) {
        QWidget* panel = pages[i].second;
        panel->setObjectName(QStringLiteral("TabPanel_%1").arg(i));
        Tabs->addTab(panel, pages[i].first);
    }
    // The "Control" tab is known by its key, whatever its caption.
    Tabs->widget(0)->setProperty("tabKey", ControlTabKey);
    layout->addWidget(Tabs, 1);

    auto* actionRow = new QHBoxLayout;
    actionRow->addStretch(1);
    actionRow->addWidget(buildActionFrame());
    layout->addLayout(actionRow);
    setCentralWidget(central);

    auto* bar = named(new QStatusBar, "StatusBar");
    m_panel1 = named(new QLabel(creditLine()), "StatusPanel1");
    m_panel1->setMinimumWidth(1);
    m_panel2 = named(new QLabel(QStringLiteral("0 Files Selected")), "StatusPanel2");
    m_panel2->setFrameShape(QFrame::StyledPanel);
    // The batch's count: items done of items, never the progress of one file.
    m_batchBar = named(new QProgressBar, "BatchProgress");
    m_batchBar->setTextVisible(true);
    m_batchBar->setAlignment(Qt::AlignCenter);
    // Wide enough for the count of a large collection on one line.
    m_batchBar->setMinimumWidth(
        m_batchBar->fontMetrics().horizontalAdvance(QStringLiteral("Unzipping 000,000 of 000,000")) +
        24);
    m_batchBar->hide();
    bar->addWidget(m_panel1, 1);
    bar->addPermanentWidget(m_batchBar);
    bar->addPermanentWidget(m_panel2);
    setStatusBar(bar);

    DirHidden = named(new QListWidget(this), "DirHidden");
    DirHidden->hide();
    buildMenus();
    connect(m_otherSettings, &OtherSettingsPage::listLookChanged, m_control,
            [this](bool details, bool natural) {
                m_control->setDetailsView(details);
                m_control->setNameOrder(natural ? NameOrder::Natural : NameOrder::Plain);
            });
    connect(Tabs, &QTabWidget::currentChanged, this, [this] {
        updateActionButtons();
        // The DAT page checks the tree's folder unless its user chose another.
        if (Tabs->currentWidget() == m_datPage)
            m_datPage->setDefaultFolder(treeFolder());
    });
    connect(m_control, &ControlPage::countChanged, m_panel2, &QLabel::setText);
    connect(m_control, &ControlPage::listReadFailed, m_panel1, &QLabel::setText);
    connect(m_control, &ControlPage::listNote, this, &frmKelmar::write_log);
    connect(m_control, &ControlPage::fileMenuRequested, this, &frmKelmar::File1_MouseUp);
    connect(m_control, &ControlPage::folderMenuRequested, this, &frmKelmar::Tree1_MouseUp);
    connect(m_otherSettings, &OtherSettingsPage::romFilterChanged, m_control,
            &ControlPage::setRomFilter);
    resize(DesignWidth, DesignHeight + statusBar()->sizeHint().height());
}

// The pop-up menus, and the keys of the commands they hold.
void frmKelmar::buildMenus()
{
    WindowMenus::Commands commands;
    commands.run = [this](const QString& name) { runOperation(name); };
    commands.has = [this](const QString& name) { return hasOperation(name); };
    commands.selectAll = [this] { select_all(); };
    commands.selectNone = [this] { select_none(); };
    commands.selectReverse = [this] { select_reverse(); };
    // F5 reaches Refresh while a batch runs too: the list stays as it is until the batch ends.
    commands.refresh = [this] {
        if (!m_busy)
            reloadList();
    };
    commands.addFavorite = [this] { m_control->addTreeFolderToFavorites(); };
    commands.removeFavorite = [this] { m_control->removeTreeFolderFromFavorites(); };
    m_menus = new WindowMenus(this, std::move(commands));
    m_menus->bindShortcuts(this, m_control->fileListArea());
    // Escape stops a running batch; while none runs, Escape is left to whoever wants it.
    m_stopKey = new QAction(QStringLiteral("Stop"), this);
    m_stopKey->setObjectName(QStringLiteral("actStop"));
    m_stopKey->setShortcut(QKeySequence(Qt::Key_Escape));
    m_stopKey->setEnabled(false);
    addAction(m_stopKey);
    connect(m_stopKey, &QAction::triggered, this, &frmKelmar::cmdStop_Click);
}

QWidget* frmKelmar::buildActionFrame()
{
    auto* fraAction = named(new QWidget, "fraAction");
    auto* row = new QHBoxLayout(fraAction);
    row->setContentsMargins(0, 0, 0, 0);
    cmdZipFiles = named(new QPushButton(QStringLiteral("ZIP Files")), "cmdZipFiles");
    cmdUnzipFiles = named(new QPushButton(QStringLiteral("UnZIP Files")), "cmdUnzipFiles");
    cmdStop = named(new QPushButton(QStringLiteral("Stop")), "cmdStop");
    cmdExit = named(new QPushButton(QStringLiteral("Exit")), "cmdExit");
    cmdStop->setEnabled(false);
    cmdZipFiles->setToolTip(QStringLiteral("Ctrl+Shift+Z"));
    cmdUnzipFiles->setToolTip(QStringLiteral("Ctrl+Shift+U"));
    cmdStop->setToolTip(QStringLiteral("Esc"));
    for (QPushButton* b : {cmdZipFiles, cmdUnzipFiles, cmdStop, cmdExit})
        row->addWidget(b);
    connect(cmdZipFiles, &QPushButton::clicked, this, [this] { runOperation("zip_files"); });
    connect(cmdUnzipFiles, &QPushButton::clicked, this, [this] { runOperation("unzip_files"); });
    connect(cmdStop, &QPushButton::clicked, this, &frmKelmar::cmdStop_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmKelmar::cmdExit_Click);
    return fraAction;
}

// ---------------------------------------------------------------------------------------
// Start-up and shutdown

void frmKelmar::Form_Load()
{
    auto settings = SettingsStore::openUserSettings();
    const WindowState state = WindowState::load(*settings);

    // A size that is missing or does not convert keeps the window's own; a place that is
    // missing centres the window on the screen, where a window manager shows its title bar.
    const QRect current = geometry();
    setMinimumSize(MinimumWidth, MinimumHeight);
    const QSize size(std::max(state.width.value_or(current.width()), MinimumWidth),
                     std::max(state.height.value_or(current.height()), MinimumHeight));
    const QRect screenArea = screen()->availableGeometry();
    const QPoint centred(screenArea.x() + std::max(0, (screenArea.width() - size.width()) / 2),
                         screenArea.y() + std::max(0, (screenArea.height() - size.height()) / 2));
    setGeometry(
        QRect(QPoint(state.left.value_or(centred.x()), state.top.value_or(centred.y())), size));
    m_startState = state.shown;

    applyOptions(SettingsStore::loadOptions(*settings));
    m_control->loadFilters(state.filters);
    m_control->loadFavorites(Favorites::defaultPath());
    m_datPage->loadRecent(*settings);

    // The system's temporary folder, with its trailing separator.
    const QString temp = QDir::tempPath();
    const QFileInfo tempInfo(temp);
    if (temp.isEmpty() || !tempInfo.isDir() || !tempInfo.isWritable()) {
        Dialogs::messageBox(this, QStringLiteral("Error getting Windows' temporary path"),
                            QStringLiteral("Kelmar"), MsgIcon::None, MsgButtons::Ok);
        m_loaded = false;
        Form_Unload();
        return;
    }
    m_tempPath = fs::withSeparator(temp);

    const QString last = m_startFolder.isEmpty() ? state.lastFolder : m_startFolder;
    showFolderInTree(!last.isEmpty() && QFileInfo(last).isDir() ? last : QDir::homePath());
    update_count();
    updateActionButtons();
    m_loaded = true;
}

void frmKelmar::Form_Unload()
{
    auto settings = SettingsStore::openUserSettings();
    SettingsStore::keepPrivate(*settings);

    const auto shown = isMinimized()   ? WindowState::Minimised
                       : isMaximized() ? WindowState::Maximised
                                       : WindowState::Normal;
    // The normal-state geometry, so a maximised window comes back with its restored size.
    const QRect normal = (shown == WindowState::Normal || normalGeometry().isEmpty())
                             ? geometry()
                             : normalGeometry();
    WindowState::save(*settings, normal, shown, listFolder(), m_control->filters());
    SettingsStore::saveOptions(*settings, currentOptions());
    m_datPage->saveRecent(*settings);
    settings->sync();
    if (!m_control->favorites().save(Favorites::defaultPath()))
        qWarning("Kelmar: the favourites could not be written to %s",
                 qPrintable(Favorites::defaultPath()));
    SettingsStore::keepPrivate(*settings);
    if (settings->status() != QSettings::NoError)
        qWarning("Kelmar: the settings could not be written to %s",
                 qPrintable(settings->fileName()));
}

void frmKelmar::showInStoredState()
{
    if (m_startState == WindowState::Maximised)
        showMaximized();
    else if (m_startState == WindowState::Minimised)
        showMinimized();
    else
        show();
}

void frmKelmar::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // A tree scrolls only once it has a size: bring the current folder into view now.
    QTimer::singleShot(100, m_control, &ControlPage::scrollTreeToCurrent);
}

void frmKelmar::closeEvent(QCloseEvent* event)
{
    if (m_runner->busy()) {
        // Never shut down under a running batch: ask it to stop and close when it has.
        m_runner->requestStop();
        m_closeWhenIdle = true;
        m_stoppingToClose = true;
        m_panel1->setText(stoppingText());
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

// ---------------------------------------------------------------------------------------
// Commands and the busy state

void frmKelmar::registerBatch(const QString& operationName, Prepare prepare)
{
    m_batches.insert(operationName, std::move(prepare));
    updateActionButtons();
}

bool frmKelmar::hasOperation(const QString& operationName) const
{
    return m_batches.contains(operationName);
}

bool frmKelmar::runOperation(const QString& operationName)
{
    const auto batch = m_batches.constFind(operationName);
    if (batch == m_batches.constEnd() || m_runner->busy())
        return false;
    const BatchSnapshot taken = snapshot();
    std::optional<BatchJob> job = batch.value()(*this, taken);
    if (!job || !job->run)
        return false;
    m_frame.beep = job->beep && Options::isSet(taken.options.chkSound);
    m_frame.refreshList = job->refreshList;
    m_frame.refreshTree = job->refreshTree;
    m_livePage = job->livePage;
    m_frame.end = std::make_shared<std::optional<BatchEnd>>();
    m_frame.after = std::move(job->after);
    if (m_frame.after)
        m_frame.report = std::make_shared<BatchReport>();
    const std::optional<SummaryOf> summary = summaryOfOperation(operationName, taken.options);
    BatchRunner::Operation operation = [run = std::move(job->run), end = m_frame.end,
                                        report = m_frame.report,
                                        summary](ProgressSink& sink, BatchQuestions& questions) {
        BatchReport made = run(sink, questions);
        *end = made.end;
        // The closing line, after every line of the batch, and in the status bar.
        const QString line = summary ? batchSummary(*summary, made) : QString();
        if (!line.isEmpty()) {
            sink.write_log(line);
            sink.setStatusText(line);
        }
        if (report)
            *report = std::move(made);
    };
    protect_form();
    // Until the batch counts its items, the title says what runs.
    setWindowTitle(windowTitleText() + QStringLiteral(" \u2014 ") + operationCaption(operationName));
    m_runningOperation = operationName;
    m_batchClock = std::make_unique<QElapsedTimer>();
    m_batchClock->start();
    if (m_runner->start(operationName, std::move(operation), *m_host, *m_host))
        return true;
    release_form();
    setWindowTitle(windowTitleText());
    return false;
}

void frmKelmar::afterBatch(const BatchFrame& frame, BatchEnd end)
{
    if (frame.beep)
        QApplication::beep();
    if (frame.refreshList)
        reloadList();
    if (frame.refreshTree)
        refreshTree();
    if (frame.after && frame.report)
        frame.after(*this, *frame.report);
    // The program ends through its normal unload (settings saved), now that the batch is over.
    if (end == BatchEnd::EndProgram)
        m_closeWhenIdle = true;
}

void frmKelmar::onBatchFinished()
{
    const BatchFrame frame = std::exchange(m_frame, BatchFrame{});
    const qint64 elapsed = m_batchClock ? m_batchClock->elapsed() : 0;
    const QString operation = std::exchange(m_runningOperation, QString());
    release_form();
    if (frame.end && frame.end->has_value())
        afterBatch(frame, **frame.end);
    else
        setProgressText(creditLine()); // it threw: the window must not stay frozen
    // The count shown for want of a status of the batch's own goes with the batch.
    if (!m_countInPanel.isEmpty() && m_panel1->text() == m_countInPanel)
        setProgressText(creditLine());
    m_countInPanel.clear();
    // The keyboard is back where the user works: on the file list.
    if (Tabs->currentWidget() == m_control)
        m_control->focusFileList();
    // Last: the title says the window is idle once the list has been read again.
    setWindowTitle(windowTitleText());
    tellBatchEnded(operation, elapsed);
    emit batchFinished();
    if (m_closeWhenIdle) {
        m_closeWhenIdle = false;
        close();
    }
}

BatchSnapshot frmKelmar::snapshot() const
{
    BatchSnapshot s;
    s.folder = listFolder();
    s.treeFolder = treeFolder();
    s.names = fileList()->names();
    s.selected = selectedFlags();
    s.options = currentOptions();
    return s;
}

bool frmKelmar::stopRequested() const
{
    return m_runner->stopRequested();
}

void frmKelmar::requestStop()
{
    m_runner->requestStop();
}

bool frmKelmar::batchRunning() const
{
    return m_runner->busy();
}

void frmKelmar::cmdStop_Click()
{
    m_runner->requestStop();
}

void frmKelmar::cmdExit_Click()
{
    if (close())
        QCoreApplication::quit();
}

void frmKelmar::protect_form()
{
    if (!m_busy)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    m_busy = true;
    cmdStop->setEnabled(true);
    m_stopKey->setEnabled(true);
    if (m_livePage) {
        Tabs->tabBar()->setEnabled(false);
        for (int i = 0; i < Tabs->count(); ++i)
            Tabs->widget(i)->setEnabled(Tabs->widget(i) == m_livePage);
    } else {
        Tabs->setEnabled(false);
    }
    cmdZipFiles->setEnabled(false);
    cmdUnzipFiles->setEnabled(false);
    cmdExit->setEnabled(false);
}

void frmKelmar::release_form()
{
    if (!m_busy)
        return;
    m_busy = false;
    m_stopKey->setEnabled(false);
    m_batchBar->hide();
    m_batchBar->reset();
    cmdStop->setEnabled(false);
    Tabs->setEnabled(true);
    Tabs->tabBar()->setEnabled(true);
    for (int i = 0; i < Tabs->count(); ++i)
        Tabs->widget(i)->setEnabled(true);
    m_livePage = nullptr;
    cmdExit->setEnabled(true);
    QApplication::restoreOverrideCursor();
    // A batch may start from another tab (DAT): the buttons follow the tab shown.
    updateActionButtons();
}

void frmKelmar::updateActionButtons()
{
    if (m_busy)
        return;
    const bool onControlTab = Tabs->currentWidget()->property("tabKey").toString() == ControlTabKey;
    cmdZipFiles->setEnabled(onControlTab && hasOperation(QStringLiteral("zip_files")));
    cmdUnzipFiles->setEnabled(onControlTab && hasOperation(QStringLiteral("unzip_files")));
}

// ---------------------------------------------------------------------------------------
// The menus

void frmKelmar::prepareOptionsMenu()
{
    const std::vector<char> flags = selectedFlags();
    m_menus->prepareOptions(std::find(flags.begin(), flags.end(), 1) != flags.end());
}

void frmKelmar::prepareFoldersMenu()
{
    // The menu acts on the tree's selected folder, whichever folder the mouse is over.
    const QString path = treeFolder();
    QString name = QFileInfo(path).fileName();
    if (name.isEmpty())
        name = QDir::toNativeSeparators(path);
    m_menus->prepareFolders(name, m_control->treeFolderIsFavorite());
}

void frmKelmar::File1_MouseUp(const QPoint& globalPos)
{
    if (m_busy)
        return;
    prepareOptionsMenu();
    m_menus->options()->popup(globalPos);
}

void frmKelmar::Tree1_MouseUp(const QPoint& globalPos)
{
    if (m_busy)
        return;
    prepareFoldersMenu();
    m_menus->folders()->popup(globalPos);
}

// ---------------------------------------------------------------------------------------
// The settings pages

void frmKelmar::setFavoritesPathForTesting(const QString& path)
{
    Favorites::setPathForTesting(path);
}

Options frmKelmar::currentOptions() const
{
    Options o;
    m_zipSettings->save(o);
    m_unzipSettings->save(o);
    m_otherSettings->save(o);
    m_control->saveOptions(o);
    return o;
}

void frmKelmar::applyOptions(const Options& o)
{
    m_zipSettings->load(o);
    m_unzipSettings->load(o);
    m_otherSettings->load(o);
    m_control->loadOptions(o);
}

// ---------------------------------------------------------------------------------------
// Log and status bar

void frmKelmar::write_log(const QString& logged)
{
    m_logPage->write(fs::displayName(logged));
}

void frmKelmar::clear_log()
{
    m_logPage->clear();
}

QString frmKelmar::logText() const
{
    return m_logPage->text();
}

QString frmKelmar::statusPanelText(int panel) const
{
    return panel == 1 ? m_panel1->text() : m_panel2->text();
}

void frmKelmar::setProgressText(const QString& text)
{
    // A user who closed the window during a batch is told why it stays open until it goes.
    m_panel1->setText(m_stoppingToClose ? stoppingText() : text);
}

void frmKelmar::setBatchProgress(const BatchCount& count)
{
    if (!m_busy || count.total <= 0)
        return;
    const QString text = batchCountText(count);
    m_batchBar->setRange(0, count.total);
    m_batchBar->setValue(std::min(count.done, count.total));
    m_batchBar->setFormat(text);
    m_batchBar->show();
    // A batch that writes no status of its own (Test Zips) shows its count there too.
    if (m_panel1->text() == creditLine() || m_panel1->text() == m_countInPanel) {
        m_countInPanel = text;
        setProgressText(text);
    }
    // Seen in the task bar while the window is covered or minimised.
    setWindowTitle(windowTitleText() + QStringLiteral(" \u2014 ") + text);
}

QString frmKelmar::batchProgressText() const
{
    return m_batchBar->isHidden() ? QString() : m_batchBar->format();
}

void frmKelmar::tellBatchEnded(const QString& operationName, qint64 elapsedMs)
{
    if (operationName.isEmpty() || elapsedMs < LongBatchMs || isActiveWindow())
        return;
    const QString title = QStringLiteral("Kelmar: ") + operationCaption(operationName) +
                          QStringLiteral(" has finished");
    QString text = m_panel1->text();
    if (text == creditLine())
        text = QStringLiteral("Kelmar is ready for the next batch.");
    if (QSystemTrayIcon::isSystemTrayAvailable() && QSystemTrayIcon::supportsMessages()) {
        if (!m_tray) {
            m_tray = new QSystemTrayIcon(windowIcon(), this);
            m_tray->setObjectName(QStringLiteral("trayNotice"));
            m_tray->setToolTip(windowTitleText());
            connect(m_tray, &QSystemTrayIcon::messageClicked, this, [this] {
                showNormal();
                raise();
                activateWindow();
            });
        }
        m_tray->show();
        m_tray->showMessage(title, text, QSystemTrayIcon::Information);
        return;
    }
    QApplication::alert(this);
}

QMenu* frmKelmar::optionsMenu() const
{
    return m_menus->options();
}

QMenu* frmKelmar::foldersMenu() const
{
    return m_menus->folders();
}
