#pragma once

#include "browse/FilterHistory.h"
#include "browse/OperationLog.h"
#include "maintenance/BatchRunner.h"

#include <QHash>
#include <QMainWindow>

#include <functional>
#include <memory>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QFileSystemModel;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QTabWidget;
class QToolButton;
class QTreeView;

namespace kelmar {
class FileListModel;
class WindowHost;
} // namespace kelmar

// The main window: its controls, the dispatch of commands to operations and the busy state.
// Operations run on the batch runner's thread and reach the window through its WindowHost.
class frmKelmar : public QMainWindow
{
    Q_OBJECT
public:
    using Operation = kelmar::BatchRunner::Operation;

    // startFolder, when given, is listed instead of the folder of the last run.
    explicit frmKelmar(const QString& startFolder = QString(), QWidget* parent = nullptr);
    ~frmKelmar() override;

    // False when start-up could not complete; the window has then been closed.
    bool loaded() const { return m_loaded; }
    // Shows the window normal, minimised or maximised, as it was when last closed.
    void showInStoredState();

    // The operation that a button or menu entry runs, by the operation's name
    // ("zip_files", "test_zip_files", ...). Commands whose operation is not registered
    // stay disabled.
    void registerOperation(const QString& operationName, Operation operation);
    bool hasOperation(const QString& operationName) const;
    // Starts operationName on the worker thread. False when it is unknown or a batch runs.
    bool runOperation(const QString& operationName);
    bool batchRunning() const;
    bool stopRequested() const;

    // The file list.
    void setListFolder(const QString& folder);
    // Selects folder in the folder tree, which lists it.
    void showFolderInTree(const QString& folder);
    QString listFolder() const;
    kelmar::FileListModel* fileList() const { return m_files; }
    std::vector<char> selectedFlags() const;
    void select_all();
    void select_none();
    void select_reverse();

    // The options as the settings tabs show them.
    kelmar::Options currentOptions() const;
    // Sets the controls; the dependent enabling follows the values.
    void applyOptions(const kelmar::Options& options);

    // The ROM filter editor.
    void update_ROM_Filter();
    void update_lstROMFilter();
    void update_ROM_Filter_Buttons();

    QString logText() const { return m_log.text(); }
    QString statusPanelText(int panel) const;
    static QString creditLine();

    // Where the favourites live: beside the program where that folder is writable and is not
    // the folder the program is installed to, else in the settings folder. Tests point it
    // elsewhere.
    static QString favoritesPath();
    static void setFavoritesPathForTesting(const QString& path);
    QStringList favorites() const;

    // Fills the pop-up menu's enabling as a right-button release over the list would.
    void prepareOptionsMenu();
    // Fills the Folders menu as a right-button release over the tree would.
    void prepareFoldersMenu();
    QMenu* optionsMenu() const { return menOptions; }
    QMenu* foldersMenu() const { return menFolders; }

    bool isSelected(int position) const;
    QString treeFolder() const;
    QString tempPath() const { return m_tempPath; }
    // The list and the options as a batch starting now would see them.
    kelmar::BatchSnapshot snapshot() const;

    // What the window's host does on the window's thread for a batch.
    void write_log(const QString& line);
    void clear_log();
    // Status panel 1.
    void setProgressText(const QString& text);
    void protect_form();
    void release_form();
    // Re-reads the listed folder (clearing the selection), then recounts.
    void reloadList();
    void update_count();
    void refreshTree();
    // Closes the window through its normal unload once the batch has ended.
    void closeWhenIdle();

signals:
    // A batch ended and the window is idle again.
    void batchFinished();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Construction
    void buildWindow();
    QWidget* buildControlTab();
    QWidget* buildZipTab();
    QWidget* buildUnzipTab();
    QWidget* buildOtherTab();
    QWidget* buildLogTab();
    QWidget* buildActionFrame();
    void buildMenus();
    QAction* addCommand(QMenu* menu, const char* name, const QString& caption,
                        const QString& operationName = QString());

    // Start-up and shutdown
    void Form_Load();
    void Form_Unload();

    // Handlers
    void cmdStop_Click();
    void cmdExit_Click();
    void menOptionsRefresh_Click();
    void txtFilter_Change();
    void txtFilter_KeyPress_Enter();
    void chkROMs_Click();
    void chkInfoFile_Click();
    void chkZIPPassword_Click();
    void chkUnzipPassword_Click();
    void radMultipleZIPs_Click();
    void radOneZIP_Click();
    void sliCompression_Scroll();
    void cmdInfoFile_Click();
    void Tabs_Click(int index);
    void Tree1_NodeClick();
    void txtROMFilter_Change();
    void cmdAddROMFilter_Click();
    void cmdRemoveROMFilter_Click();
    void File1_MouseUp(const QPoint& globalPos);
    void Tree1_MouseUp(const QPoint& globalPos);
    void cmbFavorites_Click(int index);
    void menFoldersAddToFavorites_Click();
    void menFoldersRemoveFromFavorites_Click();
    void loadFavorites();
    void saveFavorites();
    int favoriteIndex(const QString& path) const;

    void setDependentBox(QLineEdit* box, bool enabled);
    void updateActionButtons();
    void syncFilterHistory();
    void onBatchFinished();
    static QString stoppingText();

    // Controls, named as the program names them.
    QTabWidget* Tabs = nullptr;
    QTreeView* Tree1 = nullptr;
    QFileSystemModel* m_treeModel = nullptr;
    QComboBox* cmbFavorites = nullptr;
    QLabel* lblFilter = nullptr;
    QComboBox* txtFilter = nullptr;
    QCheckBox* chkROMs = nullptr;
    QListView* File1 = nullptr;
    QPushButton* cmdSelectAll = nullptr;
    QPushButton* cmdSelectNone = nullptr;
    QPushButton* cmdReverse = nullptr;
    QListWidget* DirHidden = nullptr;

    QRadioButton* radMultipleZIPs = nullptr;
    QCheckBox* chkUseOriginalExtensions = nullptr;
    QComboBox* cmbFileCase = nullptr;
    QRadioButton* radOneZIP = nullptr;
    QCheckBox* chkDeleteFiles = nullptr;
    QCheckBox* chkUseZIPPaths = nullptr;
    QCheckBox* chkSaveZIPsinSameFolder = nullptr;
    QSlider* sliCompression = nullptr;
    QLabel* lblCompression = nullptr;
    QCheckBox* chkInfoFile = nullptr;
    QLineEdit* txtInfoFile = nullptr;
    QToolButton* cmdInfoFile = nullptr;
    QCheckBox* chkZIPPassword = nullptr;
    QLineEdit* txtZIPPassword = nullptr;

    QComboBox* cmbUnzipCase = nullptr;
    QCheckBox* chkRenameFiles = nullptr;
    QCheckBox* chkExtractROMs = nullptr;
    QCheckBox* chkDeleteZIPFiles = nullptr;
    QCheckBox* chkIgnoreFolders = nullptr;
    QCheckBox* chkUnziptoSameFolder = nullptr;
    QCheckBox* chkZIPsToFolders = nullptr;
    QCheckBox* chkUnzipPassword = nullptr;
    QLineEdit* txtUnzipPassword = nullptr;

    QCheckBox* chkSound = nullptr;
    QLineEdit* txtROMFilter = nullptr;
    QPushButton* cmdAddROMFilter = nullptr;
    QPushButton* cmdRemoveROMFilter = nullptr;
    QListWidget* lstROMFilter = nullptr;
    QLabel* lblROMFilter = nullptr;

    QPlainTextEdit* txtLog = nullptr;

    QPushButton* cmdZipFiles = nullptr;
    QPushButton* cmdUnzipFiles = nullptr;
    QPushButton* cmdExit = nullptr;
    QPushButton* cmdStop = nullptr;
    QLabel* m_panel1 = nullptr;
    QLabel* m_panel2 = nullptr;

    QMenu* menOptions = nullptr;
    QMenu* menFolders = nullptr;
    QList<QAction*> m_fileActions;       // enabled only with a selection
    QHash<QAction*, QString> m_commands; // entry -> operation name

    kelmar::FileListModel* m_files = nullptr;
    kelmar::BatchRunner* m_runner = nullptr;
    std::unique_ptr<kelmar::WindowHost> m_host;
    kelmar::FilterHistory m_history;
    kelmar::OperationLog m_log;
    QHash<QString, Operation> m_operations;

    QString m_tempPath;
    QString m_revealPath; // the folder the tree is to scroll to once it has read its way
    bool m_loaded = false;
    int m_startState = 0; // 0 normal, 1 minimised, 2 maximised
    QString m_startFolder;
    bool m_busy = false;
    bool m_bulkSelecting = false;
    bool m_closeWhenIdle = false;
    bool m_stoppingToClose = false; // the user closed the window during a batch
};
