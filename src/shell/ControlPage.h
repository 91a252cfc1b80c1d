// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "browse/FilterHistory.h"
#include "names/NameOrder.h"
#include "settings/Favorites.h"
#include "settings/Options.h"

#include <QWidget>

#include <vector>

class QCheckBox;
class QComboBox;
class QFileSystemModel;
class QLabel;
class QAbstractItemView;
class QListView;
class QStackedWidget;
class QMouseEvent;
class QPushButton;
class QTreeView;

namespace kelmar {

class FileListModel;

// The "Control" tab: the folder tree with the favourites above it, the filter, the file list
// with its selection buttons. The selection counter's text goes to whoever shows it.
class ControlPage : public QWidget
{
    Q_OBJECT
public:
    explicit ControlPage(QWidget* parent = nullptr);

    FileListModel* files() const { return m_files; }

    // The plain list of names, or the details view (size, date, test result by column,
    // sorted by a click on a column's header). Either shows the same selection.
    void setDetailsView(bool on);
    bool detailsView() const;
    void setNameOrder(NameOrder order);
    // The view showing the list, and the widget that holds both views.
    QAbstractItemView* fileView() const;
    QWidget* fileListArea() const;
    void focusFileList();

    // The file list.
    void setListFolder(const QString& folder);
    QString listFolder() const;
    // Selects folder in the folder tree, which lists it.
    void showFolderInTree(const QString& folder);
    // The tree's selected folder; the list's folder while nothing is selected in the tree.
    QString treeFolder() const;
    void scrollTreeToCurrent();
    // Re-reads the tree, so new and removed folders show.
    void refreshTree();
    // Re-reads the listed folder (clearing the selection), then recounts.
    void reloadList();

    std::vector<char> selectedFlags() const;
    bool isSelected(int position) const;
    void select_all();
    void select_none();
    void select_reverse();
    void update_count();

    // The typed filters, "*" excluded, as stored between runs.
    void loadFilters(const QStringList& filters);
    QStringList filters() const { return m_history.stored(); }
    // The ROM filter the "ROMs" box lists by.
    void setRomFilter(const QString& pattern);
    // "Include Sub-folders", saved with the options.
    void loadOptions(const Options& options);
    void saveOptions(Options& options) const;

    // The favourite folders, as the drop-down above the tree lists them.
    void loadFavorites(const QString& path);
    const Favorites& favorites() const { return m_favorites; }
    bool treeFolderIsFavorite() const;
    void addTreeFolderToFavorites();
    void removeTreeFolderFromFavorites();

signals:
    // The selection counter's new text.
    void countChanged(const QString& text);
    // The listed folder could not be read completely.
    void listReadFailed(const QString& message);
    // A line for the log: a sub-folder of the listed folder that could not be read.
    void listNote(const QString& line);
    // A right-button release (or the menu key) over the file list or the tree, with where the
    // menu is to open.
    void fileMenuRequested(const QPoint& globalPos);
    void folderMenuRequested(const QPoint& globalPos);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLayout* buildTreeHalf();
    QLayout* buildListHalf();
    QWidget* buildFileViews();
    bool isFileViewport(QObject* watched) const;
    void txtFilter_Change();
    void txtFilter_KeyPress_Enter();
    void syncFilterHistory();
    void chkROMs_Click();
    void chkSubFolders_Click();
    void noteUnreadableFolders();
    void Tree1_NodeClick();
    void File1_RightPress(const QMouseEvent* event);
    void cmbFavorites_Click(int index);
    void syncFavorites();

    QTreeView* Tree1 = nullptr;
    QFileSystemModel* m_treeModel = nullptr;
    QComboBox* cmbFavorites = nullptr;
    QLabel* lblFilter = nullptr;
    QComboBox* txtFilter = nullptr;
    QCheckBox* chkROMs = nullptr;
    QCheckBox* chkSubFolders = nullptr;
    QListView* File1 = nullptr;
    QTreeView* m_detailsView = nullptr;
    QStackedWidget* m_fileViews = nullptr;
    QPushButton* cmdSelectAll = nullptr;
    QPushButton* cmdSelectNone = nullptr;
    QPushButton* cmdReverse = nullptr;

    FileListModel* m_files = nullptr;
    FilterHistory m_history;
    Favorites m_favorites;
    QString m_romFilter;
    QString m_revealPath; // the folder the tree is to scroll to once it has read its way
    bool m_bulkSelecting = false;
};

} // namespace kelmar
