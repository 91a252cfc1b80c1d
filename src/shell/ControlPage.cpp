// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/ControlPage.h"

#include "browse/FileListModel.h"
#include "browse/Selection.h"
#include "fs/NativeName.h"
#include "shell/Widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace kelmar {

using namespace widgets;

namespace {

const QString JumpToFavorite = QStringLiteral("-- Jump to Favorite Folder --");

bool isRightButton(QEvent* event, QEvent::Type type)
{
    return event->type() == type && static_cast<QMouseEvent*>(event)->button() == Qt::RightButton;
}

bool isRightPress(QEvent* event)
{
    return isRightButton(event, QEvent::MouseButtonPress) ||
           isRightButton(event, QEvent::MouseButtonDblClick);
}

// The window system's own menu request. X11 sends it on the right button's press; the menus
// open on the release instead, so only the keyboard's menu key is taken from it.
bool isMenuRequest(QEvent* event, QContextMenuEvent::Reason reason)
{
    return event->type() == QEvent::ContextMenu &&
           static_cast<QContextMenuEvent*>(event)->reason() == reason;
}

QPoint globalPosOf(QEvent* event)
{
    return static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
}

// Where the menu key opens a view's menu: on its current row when that shows, else near the
// view's top-left corner.
// The details view's verdicts: a bad archive stands out.
class VerdictDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(FileListModel::VerdictRole).toInt() == int(Verdict::Bad)) {
            option->palette.setColor(QPalette::Text, QColor(0xc0, 0x10, 0x10));
            option->font.setBold(true);
        }
    }
};

QPoint keyboardMenuPos(const QAbstractItemView* view)
{
    const QRect row = view->visualRect(view->currentIndex());
    const QRect shown = row.intersected(view->viewport()->rect());
    const QPoint at =
        shown.isEmpty() ? QPoint(10, 10) : QPoint(shown.left() + 10, shown.center().y());
    return view->viewport()->mapToGlobal(at);
}

} // namespace

ControlPage::ControlPage(QWidget* parent) : QWidget(parent)
{
    m_files = new FileListModel(this);
    auto* halves = new QHBoxLayout;
    makeTabPanel(this, 0, halves);
    halves->addLayout(buildTreeHalf(), 1);
    halves->addLayout(buildListHalf(), 1);
    syncFilterHistory();
    txtFilter->setEditText(QStringLiteral("*"));
}

QLayout* ControlPage::buildTreeHalf()
{
    auto* left = new QVBoxLayout;
    cmbFavorites = named(new QComboBox, "cmbFavorites");
    cmbFavorites->addItem(JumpToFavorite);
    left->addWidget(cmbFavorites);
    connect(cmbFavorites, &QComboBox::activated, this, &ControlPage::cmbFavorites_Click);
    Tree1 = named(new QTreeView, "Tree1");
    m_treeModel = new QFileSystemModel(this);
    m_treeModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::Drives);
    m_treeModel->setReadOnly(true);
    m_treeModel->setRootPath(QDir::rootPath());
    Tree1->setModel(m_treeModel);
    for (int column = 1; column < m_treeModel->columnCount(); ++column)
        Tree1->hideColumn(column);
    Tree1->setHeaderHidden(true);
    Tree1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Tree1->setRootIndex(m_treeModel->index(QDir::rootPath()));
    Tree1->viewport()->installEventFilter(this);
    Tree1->installEventFilter(this);
    connect(m_treeModel, &QFileSystemModel::directoryLoaded, this, [this](const QString& loaded) {
        if (m_revealPath.isEmpty() || !m_revealPath.startsWith(loaded))
            return;
        const QModelIndex index = m_treeModel->index(m_revealPath);
        if (index.isValid())
            Tree1->scrollTo(index, QAbstractItemView::PositionAtCenter);
        if (loaded == m_revealPath)
            m_revealPath.clear();
    });
    connect(Tree1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &ControlPage::Tree1_NodeClick);
    left->addWidget(Tree1, 1);
    return left;
}

QLayout* ControlPage::buildListHalf()
{
    auto* right = new QVBoxLayout;
    auto* filterRow = new QHBoxLayout;
    lblFilter = named(new QLabel(QStringLiteral("Filter:")), "lblFilter");
    txtFilter = named(new QComboBox, "txtFilter");
    txtFilter->setEditable(true);
    txtFilter->setInsertPolicy(QComboBox::NoInsert);
    txtFilter->setCompleter(nullptr);
    txtFilter->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    lblFilter->setBuddy(txtFilter);
    chkROMs = checkBox("chkROMs", QStringLiteral("ROMs"));
    filterRow->addWidget(lblFilter);
    filterRow->addWidget(txtFilter, 1);
    filterRow->addWidget(chkROMs);
    right->addLayout(filterRow);

    right->addWidget(buildFileViews(), 1);
    connect(File1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { update_count(); });
    connect(m_files, &FileListModel::folderChanged, this, [this] { update_count(); });
    connect(m_files, &FileListModel::patternChanged, this, [this] { update_count(); });

    auto* buttons = new QHBoxLayout;
    cmdSelectAll = named(new QPushButton(QStringLiteral(" All")), "cmdSelectAll");
    cmdSelectNone = named(new QPushButton(QStringLiteral("None")), "cmdSelectNone");
    cmdReverse = named(new QPushButton(QStringLiteral("Reverse")), "cmdReverse");
    for (QPushButton* b : {cmdSelectAll, cmdSelectNone, cmdReverse}) {
        b->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        buttons->addWidget(b, 1);
    }
    right->addLayout(buttons);
    chkSubFolders = checkBox("chkSubFolders", QStringLiteral("Include Sub-folders"));
    right->addWidget(chkSubFolders);

    connect(txtFilter, &QComboBox::editTextChanged, this, [this] { txtFilter_Change(); });
    connect(txtFilter, &QComboBox::textActivated, this, [this] { txtFilter_Change(); });
    connect(txtFilter->lineEdit(), &QLineEdit::returnPressed, this,
            &ControlPage::txtFilter_KeyPress_Enter);
    connect(chkROMs, &QCheckBox::toggled, this, &ControlPage::chkROMs_Click);
    connect(chkSubFolders, &QCheckBox::toggled, this, &ControlPage::chkSubFolders_Click);
    connect(cmdSelectAll, &QPushButton::clicked, this, &ControlPage::select_all);
    connect(cmdSelectNone, &QPushButton::clicked, this, &ControlPage::select_none);
    connect(cmdReverse, &QPushButton::clicked, this, &ControlPage::select_reverse);
    return right;
}

QWidget* ControlPage::buildFileViews()
{
    File1 = named(new QListView, "File1");
    File1->setModel(m_files);
    File1->setUniformItemSizes(true);
    m_detailsView = named(new QTreeView, "File1Details");
    m_detailsView->setModel(m_files);
    // One selection for both views: switching views keeps it, and the counter reads it.
    QItemSelectionModel* unused = m_detailsView->selectionModel();
    m_detailsView->setSelectionModel(File1->selectionModel());
    delete unused;
    m_detailsView->setRootIsDecorated(false);
    m_detailsView->setItemsExpandable(false);
    m_detailsView->setUniformRowHeights(true);
    m_detailsView->setAllColumnsShowFocus(true);
    // Names of one game differ at their end ("(Rev 10).zip"): that part stays in sight.
    m_detailsView->setTextElideMode(Qt::ElideMiddle);
    m_detailsView->setItemDelegateForColumn(FileListModel::VerdictColumn,
                                            new VerdictDelegate(m_detailsView));
    QHeaderView* header = m_detailsView->header();
    header->setSortIndicator(FileListModel::NameColumn, Qt::AscendingOrder);
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(FileListModel::NameColumn, QHeaderView::Stretch);
    const QFontMetrics metrics = m_detailsView->fontMetrics();
    header->resizeSection(FileListModel::SizeColumn,
                          metrics.horizontalAdvance(QStringLiteral("0,000,000,000")) + 16);
    header->resizeSection(FileListModel::ModifiedColumn,
                          metrics.horizontalAdvance(QStringLiteral("0000-00-00 00:00")) + 16);
    header->resizeSection(FileListModel::VerdictColumn,
                          metrics.horizontalAdvance(QStringLiteral("Could not test")) + 16);
    m_detailsView->setSortingEnabled(true);
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(File1),
                                    static_cast<QAbstractItemView*>(m_detailsView)}) {
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->viewport()->installEventFilter(this);
        view->installEventFilter(this);
    }
    m_fileViews = named(new QStackedWidget, "fileViews");
    m_fileViews->addWidget(File1);
    m_fileViews->addWidget(m_detailsView);
    return m_fileViews;
}

void ControlPage::setDetailsView(bool on)
{
    const bool hadFocus = fileView()->hasFocus();
    m_files->setDetails(on);
    if (on) {
        m_detailsView->header()->setSortIndicator(m_files->sortColumn(), m_files->sortOrder());
        m_fileViews->setCurrentWidget(m_detailsView);
    } else {
        m_fileViews->setCurrentWidget(File1);
    }
    if (hadFocus)
        focusFileList();
    fileView()->scrollTo(fileView()->currentIndex());
}

bool ControlPage::detailsView() const
{
    return m_fileViews->currentWidget() == m_detailsView;
}

void ControlPage::setNameOrder(NameOrder order)
{
    m_files->setNameOrder(order);
}

QAbstractItemView* ControlPage::fileView() const
{
    if (detailsView())
        return m_detailsView;
    return File1;
}

QWidget* ControlPage::fileListArea() const
{
    return m_fileViews;
}

void ControlPage::focusFileList()
{
    fileView()->setFocus(Qt::OtherFocusReason);
}

bool ControlPage::isFileViewport(QObject* watched) const
{
    return watched == File1->viewport() || watched == m_detailsView->viewport();
}

// ---------------------------------------------------------------------------------------
// The file list and its selection

void ControlPage::setListFolder(const QString& folder)
{
    m_files->setFolder(QDir::cleanPath(folder));
    if (!m_files->readError().isEmpty())
        emit listReadFailed(m_files->readError());
    noteUnreadableFolders();
}

void ControlPage::noteUnreadableFolders()
{
    for (const QString& folder : m_files->unreadableFolders()) {
        emit listNote(tr("The folder %1 cannot be read.")
                          .arg(QDir::toNativeSeparators(fs::displayName(folder))));
    }
}

void ControlPage::loadOptions(const Options& options)
{
    // Set before a folder is listed, so the first listing reads the folder once.
    chkSubFolders->setChecked(Options::isSet(options.chkIncludeSubFolders));
}

void ControlPage::saveOptions(Options& options) const
{
    options.chkIncludeSubFolders = checkValue(chkSubFolders);
}

void ControlPage::chkSubFolders_Click()
{
    m_files->setIncludeSubFolders(chkSubFolders->isChecked());
    noteUnreadableFolders();
}

QString ControlPage::listFolder() const
{
    return m_files->folder();
}

void ControlPage::reloadList()
{
    m_files->reload();
    update_count();
}

std::vector<char> ControlPage::selectedFlags() const
{
    return kelmar::selectedFlags(*File1->selectionModel(), m_files->count());
}

bool ControlPage::isSelected(int position) const
{
    return File1->selectionModel()->isSelected(m_files->index(position, 0));
}

void ControlPage::select_all()
{
    m_bulkSelecting = true;
    selectAllRows(*File1->selectionModel(), m_files->count());
    if (m_files->count() > 0)
        fileView()->scrollToTop();
    m_bulkSelecting = false;
    update_count();
}

void ControlPage::select_none()
{
    m_bulkSelecting = true;
    selectNoRows(*File1->selectionModel());
    m_bulkSelecting = false;
    update_count();
}

void ControlPage::select_reverse()
{
    m_bulkSelecting = true;
    reverseRowSelection(*File1->selectionModel(), m_files->count());
    m_bulkSelecting = false;
    update_count();
}

void ControlPage::update_count()
{
    if (m_bulkSelecting)
        return;
    const SelectionTotal total =
        measureSelection(m_files->folder(), m_files->names(), selectedFlags());
    emit countChanged(selectionCounterText(total));
}

// ---------------------------------------------------------------------------------------
// The filter

void ControlPage::loadFilters(const QStringList& filters)
{
    for (const QString& entry : filters)
        m_history.add(entry);
    syncFilterHistory();
}

void ControlPage::setRomFilter(const QString& pattern)
{
    m_romFilter = pattern;
    if (chkROMs->isChecked())
        m_files->setPattern(m_romFilter);
}

void ControlPage::txtFilter_Change()
{
    if (chkROMs->isChecked())
        return;
    m_files->setPattern(filterPattern(txtFilter->currentText()));
}

void ControlPage::txtFilter_KeyPress_Enter()
{
    const QString text = txtFilter->currentText();
    focusFileList();
    if (m_history.add(text))
        syncFilterHistory();
    txtFilter->setEditText(text);
}

void ControlPage::syncFilterHistory()
{
    const QString text = txtFilter->currentText();
    const QSignalBlocker block(txtFilter);
    txtFilter->clear();
    txtFilter->addItems(m_history.entries());
    txtFilter->setEditText(text);
}

void ControlPage::chkROMs_Click()
{
    if (chkROMs->isChecked()) {
        setDependentBox(txtFilter->lineEdit(), false);
        txtFilter->setEnabled(false);
        m_files->setPattern(m_romFilter);
    } else {
        txtFilter->setEnabled(true);
        setDependentBox(txtFilter->lineEdit(), true);
        txtFilter_Change();
    }
}

// ---------------------------------------------------------------------------------------
// The folder tree

void ControlPage::Tree1_NodeClick()
{
    const QModelIndex current = Tree1->currentIndex();
    if (current.isValid())
        setListFolder(m_treeModel->filePath(current));
}

void ControlPage::showFolderInTree(const QString& folder)
{
    const QModelIndex index = m_treeModel->index(folder);
    if (!index.isValid()) {
        setListFolder(folder);
        return;
    }
    Tree1->setCurrentIndex(index);
    Tree1->expand(index);
    Tree1->scrollTo(index, QAbstractItemView::PositionAtCenter);
    // The tree reads folders in the background: scroll again once the way there is read.
    m_revealPath = folder;
    // Selecting the node lists its folder; make sure the list follows even when the node
    // was already current.
    if (QDir::cleanPath(m_files->folder()) != QDir::cleanPath(folder))
        setListFolder(folder);
}

QString ControlPage::treeFolder() const
{
    const QModelIndex current = Tree1->currentIndex();
    return current.isValid() ? m_treeModel->filePath(current) : m_files->folder();
}

void ControlPage::scrollTreeToCurrent()
{
    if (Tree1->currentIndex().isValid())
        Tree1->scrollTo(Tree1->currentIndex(), QAbstractItemView::PositionAtCenter);
}

void ControlPage::refreshTree()
{
    // The tree's model watches every folder it has read and follows new and removed
    // sub-folders by itself; folders not read yet are read when they are expanded. All that
    // is left is to repaint.
    Tree1->viewport()->update();
}

bool ControlPage::eventFilter(QObject* watched, QEvent* event)
{
    // The tree is watched before the lists exist.
    if (!m_fileViews)
        return QWidget::eventFilter(watched, event);
    // Only a mouse event may be looked at as one; a viewport gets every other kind too.
    const bool overList = isFileViewport(watched);
    if (overList || watched == Tree1->viewport()) {
        if (isRightPress(event)) {
            if (overList)
                File1_RightPress(static_cast<QMouseEvent*>(event));
            return true;
        }
        // The menus open on the release, where the pointer is.
        if (isRightButton(event, QEvent::MouseButtonRelease)) {
            if (overList)
                emit fileMenuRequested(globalPosOf(event));
            else
                emit folderMenuRequested(globalPosOf(event));
            return true;
        }
        if (isMenuRequest(event, QContextMenuEvent::Mouse))
            return true;
    }
    if (watched == File1 || watched == m_detailsView || watched == Tree1) {
        if (isMenuRequest(event, QContextMenuEvent::Mouse))
            return true;
        if (isMenuRequest(event, QContextMenuEvent::Keyboard)) {
            if (watched != Tree1)
                emit fileMenuRequested(keyboardMenuPos(fileView()));
            else
                emit folderMenuRequested(keyboardMenuPos(Tree1));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ControlPage::File1_RightPress(const QMouseEvent* event)
{
    // As in a file manager: a right press on a file outside the selection selects that file
    // alone, so the menu acts on the file under the pointer; on a selected file, or below the
    // files, the selection stays as it is. Shift and Ctrl leave it alone too.
    if (event->type() != QEvent::MouseButtonPress ||
        (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)))
        return;
    const QModelIndex row = fileView()->indexAt(event->position().toPoint());
    if (row.isValid() && !File1->selectionModel()->isSelected(m_files->index(row.row(), 0)))
        File1->selectionModel()->setCurrentIndex(
            row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

// ---------------------------------------------------------------------------------------
// Favourites

void ControlPage::loadFavorites(const QString& path)
{
    m_favorites.load(path);
    syncFavorites();
}

void ControlPage::syncFavorites()
{
    const QSignalBlocker block(cmbFavorites);
    cmbFavorites->clear();
    cmbFavorites->addItem(JumpToFavorite);
    cmbFavorites->addItems(m_favorites.items());
    cmbFavorites->setCurrentIndex(0);
}

bool ControlPage::treeFolderIsFavorite() const
{
    return m_favorites.indexOf(treeFolder()) >= 0;
}

void ControlPage::addTreeFolderToFavorites()
{
    m_favorites.add(treeFolder());
    syncFavorites();
}

void ControlPage::removeTreeFolderFromFavorites()
{
    m_favorites.remove(treeFolder());
    syncFavorites();
}

void ControlPage::cmbFavorites_Click(int index)
{
    if (index > 0) {
        const QString target = cmbFavorites->itemText(index);
        if (QFileInfo(target).isDir())
            showFolderInTree(target);
    }
    const QSignalBlocker block(cmbFavorites);
    cmbFavorites->setCurrentIndex(0);
}

} // namespace kelmar
