// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "maintenance/BatchProgress.h"
#include "maintenance/BatchReport.h"
#include "maintenance/BatchRunner.h"
#include "maintenance/BatchSnapshot.h"
#include "shell/ControlPage.h"

#include <QHash>
#include <QMainWindow>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QElapsedTimer;
class QLabel;
class QProgressBar;
class QSystemTrayIcon;
class QListWidget;
class QMenu;
class QPushButton;
class QTabWidget;

namespace kelmar {
class DatPage;
class FileListModel;
class LogPage;
class OtherSettingsPage;
class UnzipSettingsPage;
class WindowHost;
class WindowMenus;
class ZipSettingsPage;
} // namespace kelmar

// The main window: it assembles the pages, the menus and the status bar, dispatches commands
// to batches and keeps the busy state. Batches run on the batch runner's thread and reach
// the window through its WindowHost (their progress sink and questions).
class frmKelmar : public QMainWindow
{
    Q_OBJECT
public:
    // startFolder, when given, is listed instead of the folder of the last run.
    explicit frmKelmar(const QString& startFolder = QString(), QWidget* parent = nullptr);
    ~frmKelmar() override;

    // False when start-up could not complete; the window has then been closed.
    bool loaded() const { return m_loaded; }
    // Shows the window normal, minimised or maximised, as it was when last closed.
    void showInStoredState();

    // The batch that a button or menu entry runs, by the operation's name ("zip_files",
    // "test_zip_files", ...); commands whose batch is not registered stay disabled. prepare
    // runs on the window's thread when the command is given: it reads the snapshot, asks the questions whose answers the batch
    // needs before it starts (where to write, whether to delete) and returns the job, or
    // nothing when the user cancelled (or there is nothing to do and it said so). The job
    // runs on the runner's thread inside the busy state; after it the window beeps when
    // "Sound" is ticked and beep is set, re-reads the list (and the tree with refreshTree),
    // and ends the program when the report says so.
    struct BatchJob
    {
        std::function<kelmar::BatchReport(kelmar::ProgressSink&, kelmar::BatchQuestions&)> run;
        bool beep = true;
        bool refreshList = true;
        bool refreshTree = false;
        // A page that stays usable while the job runs (for its own Stop), disabling its other
        // controls itself; the rest of the window is disabled as for any batch.
        QWidget* livePage = nullptr;
        // Runs on the window's thread once the batch has ended and the list is read again.
        std::function<void(frmKelmar& window, const kelmar::BatchReport& report)> after;
    };
    using Prepare = std::function<std::optional<BatchJob>(frmKelmar& window,
                                                          const kelmar::BatchSnapshot& snapshot)>;
    void registerBatch(const QString& operationName, Prepare prepare);
    bool hasOperation(const QString& operationName) const;
    // Starts operationName on the runner's thread. False when it is unknown or a batch runs.
    bool runOperation(const QString& operationName);
    bool batchRunning() const;
    bool stopRequested() const;
    // What Stop does: the running batch stops at its next item.
    void requestStop();
    // The user closed the window during a batch: it closes once the batch has stopped.
    bool stoppingToClose() const { return m_stoppingToClose; }

    // The file list, as the Control page shows it.
    void setListFolder(const QString& folder) { m_control->setListFolder(folder); }
    void showFolderInTree(const QString& folder) { m_control->showFolderInTree(folder); }
    QString listFolder() const { return m_control->listFolder(); }
    kelmar::FileListModel* fileList() const { return m_control->files(); }
    std::vector<char> selectedFlags() const { return m_control->selectedFlags(); }
    bool isSelected(int position) const { return m_control->isSelected(position); }
    QString treeFolder() const { return m_control->treeFolder(); }
    void select_all() { m_control->select_all(); }
    void select_none() { m_control->select_none(); }
    void select_reverse() { m_control->select_reverse(); }
    QStringList favorites() const { return m_control->favorites().items(); }

    // The options as the settings pages show them, and setting them.
    kelmar::Options currentOptions() const;
    void applyOptions(const kelmar::Options& options);

    QString logText() const;
    QString statusPanelText(int panel) const;
    static QString creditLine();

    // Where the favourites live (see Favorites::defaultPath); tests point it elsewhere.
    static void setFavoritesPathForTesting(const QString& path);

    // Fills the pop-up menu's enabling as a right-button release over the list would.
    void prepareOptionsMenu();
    // Fills the Folders menu as a right-button release over the tree would.
    void prepareFoldersMenu();
    QMenu* optionsMenu() const;
    QMenu* foldersMenu() const;
    kelmar::DatPage* datPage() const { return m_datPage; }

    QString tempPath() const { return m_tempPath; }
    // The list and the options as a batch starting now would see them.
    kelmar::BatchSnapshot snapshot() const;

    // What the window does on its own thread for a batch: the log and the status panel for
    // its host, the busy state and the refresh for the batch frame.
    void write_log(const QString& line);
    void clear_log();
    // Status panel 1.
    void setProgressText(const QString& text);
    // How far the running batch has come: the status bar's progress bar and the title.
    void setBatchProgress(const kelmar::BatchCount& count);
    // The batch's count as the progress bar shows it; empty while none shows.
    QString batchProgressText() const;
    void protect_form();
    void release_form();
    void reloadList() { m_control->reloadList(); }
    void update_count() { m_control->update_count(); }
    void refreshTree() { m_control->refreshTree(); }

signals:
    // A batch ended and the window is idle again.
    void batchFinished();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildWindow();
    QWidget* buildActionFrame();
    void buildMenus();

    void Form_Load();
    void Form_Unload();

    void cmdStop_Click();
    void cmdExit_Click();
    void File1_MouseUp(const QPoint& globalPos);
    void Tree1_MouseUp(const QPoint& globalPos);
    void updateActionButtons();
    void onBatchFinished();
    // What the window does once a batch has ended: it beeps, re-reads, ends the program.
    struct BatchFrame
    {
        bool beep = false; // the job beeps and Sound is ticked
        bool refreshList = true;
        bool refreshTree = false;
        // Set by the batch's thread when the job returns; empty when it threw.
        std::shared_ptr<std::optional<kelmar::BatchEnd>> end;
        // The job's own step after it, with the batch's report.
        std::function<void(frmKelmar&, const kelmar::BatchReport&)> after;
        std::shared_ptr<kelmar::BatchReport> report;
    };
    void afterBatch(const BatchFrame& frame, kelmar::BatchEnd end);
    // A long batch that ended while the window was not active says so on the desktop.
    void tellBatchEnded(const QString& operationName, qint64 elapsedMs);

    QTabWidget* Tabs = nullptr;
    kelmar::ControlPage* m_control = nullptr;
    kelmar::ZipSettingsPage* m_zipSettings = nullptr;
    kelmar::UnzipSettingsPage* m_unzipSettings = nullptr;
    kelmar::OtherSettingsPage* m_otherSettings = nullptr;
    kelmar::LogPage* m_logPage = nullptr;
    kelmar::DatPage* m_datPage = nullptr;
    QListWidget* DirHidden = nullptr;

    QPushButton* cmdZipFiles = nullptr;
    QPushButton* cmdUnzipFiles = nullptr;
    QPushButton* cmdExit = nullptr;
    QPushButton* cmdStop = nullptr;
    QAction* m_stopKey = nullptr; // Escape while a batch runs
    QLabel* m_panel1 = nullptr;
    QLabel* m_panel2 = nullptr;
    QProgressBar* m_batchBar = nullptr;
    QSystemTrayIcon* m_tray = nullptr; // made when a long batch first ends unseen

    kelmar::WindowMenus* m_menus = nullptr;

    kelmar::BatchRunner* m_runner = nullptr;
    std::unique_ptr<kelmar::WindowHost> m_host;
    QHash<QString, Prepare> m_batches;
    BatchFrame m_frame; // of the running batch
    QWidget* m_livePage = nullptr; // of the running batch: see BatchJob::livePage
    QString m_runningOperation;
    QString m_countInPanel; // the count shown in status panel 1, if it is
    std::unique_ptr<QElapsedTimer> m_batchClock;

    QString m_tempPath;
    QString m_startFolder;
    bool m_loaded = false;
    int m_startState = 0; // 0 normal, 1 minimised, 2 maximised
    bool m_busy = false;
    bool m_closeWhenIdle = false;
    bool m_stoppingToClose = false; // the user closed the window during a batch
};
