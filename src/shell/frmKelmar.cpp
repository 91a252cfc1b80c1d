#include "shell/frmKelmar.h"

#include "Version.h"
#include "archive/ZipComponent.h"
#include "browse/FileListModel.h"
#include "browse/Selection.h"
#include "fs/NativeName.h"
#include "fs/Path.h"
#include "maintenance/BatchRunner.h"
#include "maintenance/CalculateSpace.h"
#include "maintenance/ChangeAttributes.h"
#include "maintenance/DeleteFiles.h"
#include "maintenance/FoldersToZips.h"
#include "maintenance/RemoveNonRoms.h"
#include "maintenance/RezipFiles.h"
#include "maintenance/TestZips.h"
#include "maintenance/ToZipFilename.h"
#include "maintenance/UnzipFiles.h"
#include "maintenance/ZipFiles.h"
#include "names/RomFilter.h"
#include "settings/SettingsStore.h"
#include "shell/Dialogs.h"
#include "shell/RenameOperations.h"
#include "shell/WindowHost.h"
#include "shell/frmAttributes.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QSettings>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

using namespace kelmar;

namespace {

const QString ControlTabKey = QStringLiteral("Control");

// The window's design client area is 8790 x 5220 twips, at 15 twips a pixel.
constexpr int DesignWidth = 8790 / 15;
constexpr int DesignHeight = 5220 / 15;
constexpr int TwipsPerPixel = 15;
// The smallest the window may be made in the normal state.
constexpr int MinimumWidth = 6930 / TwipsPerPixel;
constexpr int MinimumHeight = 4650 / TwipsPerPixel;

int readInt(const QSettings& settings, const QString& key, int fallback)
{
    bool ok = false;
    const int value = settings.value(key).toString().trimmed().toInt(&ok);
    return ok ? value : fallback;
}

template <typename W> W* named(W* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QGroupBox* frame(const char* name, const QString& caption)
{
    return named(new QGroupBox(caption), name);
}

QCheckBox* checkBox(const char* name, const QString& caption, bool checked = false)
{
    auto* box = named(new QCheckBox(caption), name);
    box->setChecked(checked);
    return box;
}

// A tab's panel holding its frame fraControl_<index>, laid out by content.
QWidget* tabPanel(int index, QBoxLayout* content)
{
    auto* panel = new QWidget;
    auto* fra = new QWidget;
    fra->setObjectName(QStringLiteral("fraControl_%1").arg(index));
    auto* outer = new QVBoxLayout(panel);
    outer->setContentsMargins(3, 3, 3, 3);
    outer->addWidget(fra);
    content->setContentsMargins(0, 0, 0, 0);
    fra->setLayout(content);
    return panel;
}

int checkValue(const QCheckBox* box)
{
    switch (box->checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    default:
        return 0;
    }
}

void setCheckValue(QCheckBox* box, int value)
{
    if (value == 2) {
        box->setTristate(true);
        box->setCheckState(Qt::PartiallyChecked);
    } else {
        box->setCheckState(value == 1 ? Qt::Checked : Qt::Unchecked);
    }
}

QStringList caseItems()
{
    return {QStringLiteral("Use Lower Case"), QStringLiteral("Use Upper Case"),
            QStringLiteral("Use Original Case")};
}

} // namespace

frmKelmar::frmKelmar(const QString& startFolder, QWidget* parent)
    : QMainWindow(parent), m_startFolder(startFolder)
{
    setObjectName(QStringLiteral("frmKelmar"));
    setWindowTitle(QStringLiteral("Kelmar " KELMAR_VERSION));
    m_files = new FileListModel(this);
    m_runner = new BatchRunner(this);
    connect(m_runner, &BatchRunner::finished, this, &frmKelmar::onBatchFinished);
    m_host = std::make_unique<WindowHost>(*this, *m_runner);
    buildWindow();
    // Each batch makes its own archive component: nothing one batch set on it carries over.
    registerOperation(QStringLiteral("test_zip_files"), [](BatchHost& host) {
        ZipComponent zip;
        test_zip_files(host, zip);
    });
    registerOperation(QStringLiteral("unzip_files"), [](BatchHost& host) {
        ZipComponent zip;
        unzip_files(host, zip);
    });
    registerOperation(QStringLiteral("calculate_space"), [](BatchHost& host) {
        ZipComponent zip;
        calculate_space(host, zip);
    });
    registerOperation(QStringLiteral("delete_files"), [](BatchHost& host) { delete_files(host); });
    registerOperation(QStringLiteral("zip_files"), [](BatchHost& host) {
        ZipComponent zip;
        zip_files(host, zip);
    });
    registerOperation(QStringLiteral("to_zip_filename"), [](BatchHost& host) {
        ZipComponent zip;
        to_zip_filename(host, zip);
    });
    registerOperation(QStringLiteral("convert_sub_folders_to_zips"), [](BatchHost& host) {
        ZipComponent zip;
        convert_sub_folders_to_zips(host, zip);
    });
    registerOperation(QStringLiteral("rezip_files"), [](BatchHost& host) {
        ZipComponent zip;
        rezip_files(host, zip);
    });
    registerOperation(QStringLiteral("remove_non_roms_from_zips"), [](BatchHost& host) {
        ZipComponent zip;
        remove_non_roms_from_zips(host, zip);
    });
    registerOperation(QStringLiteral("change_attributes"), [this](BatchHost& host) {
        ZipComponent zip;
        change_attributes(host, zip, [this] { return frmAttributes::ask(this); });
    });
    registerRenameOperations(*this);
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

    Tabs = named(new QTabWidget, "Tabs");
    Tabs->setDocumentMode(false);
    const QList<QPair<QString, QWidget*>> pages = {
        {ControlTabKey, buildControlTab()},
        {QStringLiteral("ZIP Settings"), buildZipTab()},
        {QStringLiteral("UnZIP Settings"), buildUnzipTab()},
        {QStringLiteral("Other Settings"), buildOtherTab()},
        {QStringLiteral("Log"), buildLogTab()},
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
    bar->addWidget(m_panel1, 1);
    bar->addPermanentWidget(m_panel2);
    setStatusBar(bar);

    DirHidden = named(new QListWidget(this), "DirHidden");
    DirHidden->hide();

    buildMenus();
    connect(Tabs, &QTabWidget::currentChanged, this, &frmKelmar::Tabs_Click);
    resize(DesignWidth, DesignHeight + statusBar()->sizeHint().height());
}

QWidget* frmKelmar::buildControlTab()
{
    auto* halves = new QHBoxLayout;
    QWidget* panel = tabPanel(0, halves);

    // Left half: favourites above the folder tree.
    auto* left = new QVBoxLayout;
    cmbFavorites = named(new QComboBox, "cmbFavorites");
    cmbFavorites->addItem(QStringLiteral("-- Jump to Favorite Folder --"));
    left->addWidget(cmbFavorites);
    connect(cmbFavorites, &QComboBox::activated, this, &frmKelmar::cmbFavorites_Click);
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
            &frmKelmar::Tree1_NodeClick);
    left->addWidget(Tree1, 1);

    // Right half: the filter row, the file list, the selection buttons.
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

    File1 = named(new QListView, "File1");
    File1->setModel(m_files);
    File1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    File1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    File1->setUniformItemSizes(true);
    File1->viewport()->installEventFilter(this);
    File1->installEventFilter(this);
    right->addWidget(File1, 1);
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

    halves->addLayout(left, 1);
    halves->addLayout(right, 1);

    connect(txtFilter, &QComboBox::editTextChanged, this, [this] { txtFilter_Change(); });
    connect(txtFilter, &QComboBox::textActivated, this, [this] { txtFilter_Change(); });
    connect(txtFilter->lineEdit(), &QLineEdit::returnPressed, this,
            &frmKelmar::txtFilter_KeyPress_Enter);
    connect(chkROMs, &QCheckBox::toggled, this, &frmKelmar::chkROMs_Click);
    connect(cmdSelectAll, &QPushButton::clicked, this, &frmKelmar::select_all);
    connect(cmdSelectNone, &QPushButton::clicked, this, &frmKelmar::select_none);
    connect(cmdReverse, &QPushButton::clicked, this, &frmKelmar::select_reverse);
    return panel;
}

QWidget* frmKelmar::buildZipTab()
{
    auto* columns = new QHBoxLayout;
    QWidget* panel = tabPanel(1, columns);

    auto* rules = frame("fraZIPRules", QStringLiteral("Rules"));
    auto* r = new QGridLayout(rules);
    r->setVerticalSpacing(2);
    r->setColumnMinimumWidth(0, 18);
    radMultipleZIPs =
        named(new QRadioButton(QStringLiteral("ZIP to Individual Files")), "radMultipleZIPs");
    radMultipleZIPs->setChecked(true);
    chkUseOriginalExtensions =
        checkBox("chkUseOriginalExtensions", QStringLiteral("Use Original Extensions"));
    cmbFileCase = named(new QComboBox, "cmbFileCase");
    radOneZIP = named(new QRadioButton(QStringLiteral("ZIP to Single File")), "radOneZIP");
    chkDeleteFiles = checkBox("chkDeleteFiles", QStringLiteral("Delete Original Files"));
    chkUseZIPPaths = checkBox("chkUseZIPPaths", QStringLiteral("Store Path Information"));
    chkSaveZIPsinSameFolder =
        checkBox("chkSaveZIPsinSameFolder", QStringLiteral("Save ZIPs in Same Folder"));
    r->addWidget(radMultipleZIPs, 0, 0, 1, 2);
    r->addWidget(chkUseOriginalExtensions, 1, 1);
    r->addWidget(cmbFileCase, 2, 1);
    r->addWidget(radOneZIP, 3, 0, 1, 2);
    r->addWidget(chkDeleteFiles, 4, 0, 1, 2);
    r->addWidget(chkUseZIPPaths, 5, 0, 1, 2);
    r->addWidget(chkSaveZIPsinSameFolder, 6, 0, 1, 2);
    r->setRowStretch(7, 1);
    columns->addWidget(rules, 1);

    auto* rightColumn = new QVBoxLayout;
    auto* compression = frame("fraCompression", QStringLiteral("Compression Level"));
    auto* c = new QHBoxLayout(compression);
    sliCompression = named(new QSlider(Qt::Horizontal), "sliCompression");
    sliCompression->setRange(0, 9);
    sliCompression->setValue(6);
    sliCompression->setPageStep(1);
    sliCompression->setTickPosition(QSlider::TicksBelow);
    sliCompression->setTickInterval(1);
    sliCompression->setToolTip(QStringLiteral("Worst/Fastest to Best/Slowest"));
    lblCompression = named(new QLabel(QStringLiteral("6")), "lblCompression");
    lblCompression->setMinimumWidth(lblCompression->fontMetrics().horizontalAdvance(u'0') * 2);
    c->addWidget(sliCompression, 1);
    c->addWidget(lblCompression);
    rightColumn->addWidget(compression);

    auto* info = frame("fraInfoFile", QStringLiteral("Info File"));
    auto* i = new QHBoxLayout(info);
    chkInfoFile = checkBox("chkInfoFile", QString());
    chkInfoFile->setToolTip(QStringLiteral("Add an info file to every new archive"));
    txtInfoFile = named(new QLineEdit, "txtInfoFile");
    cmdInfoFile = named(new QToolButton, "cmdInfoFile");
    cmdInfoFile->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    cmdInfoFile->setToolTip(QStringLiteral("Select the Info File"));
    i->addWidget(chkInfoFile);
    i->addWidget(txtInfoFile, 1);
    i->addWidget(cmdInfoFile);
    rightColumn->addWidget(info);

    auto* password = frame("fraZIPPassword", QStringLiteral("Password Protection"));
    auto* p = new QHBoxLayout(password);
    chkZIPPassword = checkBox("chkZIPPassword", QString());
    chkZIPPassword->setToolTip(QStringLiteral("Encrypt new archives with this password"));
    txtZIPPassword = named(new QLineEdit, "txtZIPPassword");
    p->addWidget(chkZIPPassword);
    p->addWidget(txtZIPPassword, 1);
    rightColumn->addWidget(password);
    rightColumn->addStretch(1);
    columns->addLayout(rightColumn, 1);

    setDependentBox(txtInfoFile, false);
    cmdInfoFile->setEnabled(false);
    setDependentBox(txtZIPPassword, false);

    connect(chkInfoFile, &QCheckBox::stateChanged, this, &frmKelmar::chkInfoFile_Click);
    connect(chkZIPPassword, &QCheckBox::stateChanged, this, &frmKelmar::chkZIPPassword_Click);
    connect(radMultipleZIPs, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            radMultipleZIPs_Click();
    });
    connect(radOneZIP, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            radOneZIP_Click();
    });
    connect(sliCompression, &QSlider::valueChanged, this, &frmKelmar::sliCompression_Scroll);
    connect(cmdInfoFile, &QToolButton::clicked, this, &frmKelmar::cmdInfoFile_Click);
    return panel;
}

QWidget* frmKelmar::buildUnzipTab()
{
    auto* columns = new QHBoxLayout;
    QWidget* panel = tabPanel(2, columns);

    auto* rules = frame("fraUnzipRules", QStringLiteral("Rules"));
    auto* r = new QGridLayout(rules);
    r->setVerticalSpacing(2);
    r->setColumnMinimumWidth(0, 18);
    chkRenameFiles = checkBox("chkRenameFiles", QStringLiteral("Rename Files after ZIP"));
    cmbUnzipCase = named(new QComboBox, "cmbUnzipCase");
    chkExtractROMs = checkBox("chkExtractROMs", QStringLiteral("Only Extract ROMs"), true);
    chkDeleteZIPFiles = checkBox("chkDeleteZIPFiles", QStringLiteral("Delete ZIP Files"));
    chkIgnoreFolders = checkBox("chkIgnoreFolders", QStringLiteral("Ignore Folders"), true);
    chkUnziptoSameFolder = checkBox("chkUnziptoSameFolder", QStringLiteral("UnZIP to Same Folder"));
    chkZIPsToFolders = checkBox("chkZIPsToFolders", QStringLiteral("Convert ZIPs to Folders"));
    r->addWidget(chkRenameFiles, 0, 0, 1, 2);
    r->addWidget(cmbUnzipCase, 1, 1);
    r->addWidget(chkExtractROMs, 2, 0, 1, 2);
    r->addWidget(chkDeleteZIPFiles, 3, 0, 1, 2);
    r->addWidget(chkIgnoreFolders, 4, 0, 1, 2);
    r->addWidget(chkUnziptoSameFolder, 5, 0, 1, 2);
    r->addWidget(chkZIPsToFolders, 6, 0, 1, 2);
    r->setRowStretch(7, 1);
    columns->addWidget(rules, 1);

    auto* rightColumn = new QVBoxLayout;
    auto* password = frame("fraUnzipPassword", QStringLiteral("Password Protection"));
    auto* p = new QHBoxLayout(password);
    chkUnzipPassword = checkBox("chkUnzipPassword", QString());
    chkUnzipPassword->setToolTip(QStringLiteral("Read encrypted archives with this password"));
    txtUnzipPassword = named(new QLineEdit, "txtUnzipPassword");
    p->addWidget(chkUnzipPassword);
    p->addWidget(txtUnzipPassword, 1);
    rightColumn->addWidget(password);
    rightColumn->addStretch(1);
    columns->addLayout(rightColumn, 1);

    setDependentBox(txtUnzipPassword, false);
    connect(chkUnzipPassword, &QCheckBox::stateChanged, this, &frmKelmar::chkUnzipPassword_Click);
    return panel;
}

QWidget* frmKelmar::buildOtherTab()
{
    auto* columns = new QHBoxLayout;
    QWidget* panel = tabPanel(3, columns);

    auto* romFilter = frame("fraROMFilter", QStringLiteral("ROM Filter"));
    auto* f = new QGridLayout(romFilter);
    txtROMFilter = named(new QLineEdit, "txtROMFilter");
    txtROMFilter->setMaxLength(3);
    cmdAddROMFilter = named(new QPushButton(QStringLiteral("Add")), "cmdAddROMFilter");
    cmdRemoveROMFilter = named(new QPushButton(QStringLiteral("Remove")), "cmdRemoveROMFilter");
    cmdAddROMFilter->setEnabled(false);
    cmdRemoveROMFilter->setEnabled(false);
    lstROMFilter = named(new QListWidget, "lstROMFilter");
    lblROMFilter = named(new QLabel, "lblROMFilter");
    lblROMFilter->setWordWrap(true);
    f->addWidget(txtROMFilter, 0, 0);
    f->addWidget(cmdAddROMFilter, 0, 1);
    f->addWidget(lstROMFilter, 1, 0, 2, 1);
    f->addWidget(cmdRemoveROMFilter, 1, 1, Qt::AlignTop);
    f->addWidget(lblROMFilter, 3, 0, 1, 2);
    f->setRowStretch(2, 1);
    columns->addWidget(romFilter, 1);

    connect(txtROMFilter, &QLineEdit::textChanged, this, &frmKelmar::txtROMFilter_Change);
    connect(txtROMFilter, &QLineEdit::returnPressed, this, [this] {
        if (cmdAddROMFilter->isEnabled())
            cmdAddROMFilter_Click();
    });
    connect(cmdAddROMFilter, &QPushButton::clicked, this, &frmKelmar::cmdAddROMFilter_Click);
    connect(cmdRemoveROMFilter, &QPushButton::clicked, this, &frmKelmar::cmdRemoveROMFilter_Click);
    connect(lstROMFilter, &QListWidget::itemSelectionChanged, this,
            &frmKelmar::update_ROM_Filter_Buttons);

    auto* general = frame("fraGeneral", QStringLiteral("General"));
    auto* g = new QVBoxLayout(general);
    chkSound = checkBox("chkSound", QStringLiteral("Enable Sound Events"), true);
    g->addWidget(chkSound);
    g->addStretch(1);
    columns->addWidget(general, 1);
    return panel;
}

QWidget* frmKelmar::buildLogTab()
{
    auto* l = new QVBoxLayout;
    QWidget* panel = tabPanel(4, l);
    txtLog = named(new QPlainTextEdit, "txtLog");
    txtLog->setReadOnly(true);
    txtLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    l->addWidget(txtLog);
    return panel;
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
    for (QPushButton* b : {cmdZipFiles, cmdUnzipFiles, cmdStop, cmdExit})
        row->addWidget(b);
    connect(cmdZipFiles, &QPushButton::clicked, this, [this] { runOperation("zip_files"); });
    connect(cmdUnzipFiles, &QPushButton::clicked, this, [this] { runOperation("unzip_files"); });
    connect(cmdStop, &QPushButton::clicked, this, &frmKelmar::cmdStop_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmKelmar::cmdExit_Click);
    return fraAction;
}

QAction* frmKelmar::addCommand(QMenu* menu, const char* name, const QString& caption,
                               const QString& operationName)
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    if (!operationName.isEmpty()) {
        m_commands.insert(action, operationName);
        connect(action, &QAction::triggered, this,
                [this, operationName] { runOperation(operationName); });
    }
    return action;
}

void frmKelmar::buildMenus()
{
    auto separator = [](QMenu* menu, const char* name) {
        menu->addSeparator()->setObjectName(QLatin1String(name));
    };

    menOptions = named(new QMenu(QStringLiteral("Options"), this), "menOptions");
    m_fileActions << addCommand(menOptions, "menOptionsDelete", QStringLiteral("Delete"),
                                QStringLiteral("delete_files"))
                  << addCommand(menOptions, "menOptionsRemoveNonROMsFromZips",
                                QStringLiteral("Remove Non-ROMs From Zips"),
                                QStringLiteral("remove_non_roms_from_zips"));
    separator(menOptions, "menOptionsB1");
    m_fileActions << addCommand(menOptions, "menOptionsZip", QStringLiteral("Zip"),
                                QStringLiteral("zip_files"))
                  << addCommand(menOptions, "menOptionsUnzip", QStringLiteral("Unzip"),
                                QStringLiteral("unzip_files"))
                  << addCommand(menOptions, "menOptionsReZip", QStringLiteral("ReZip"),
                                QStringLiteral("rezip_files"))
                  << addCommand(menOptions, "menOptionsTestZips", QStringLiteral("Test Zips"),
                                QStringLiteral("test_zip_files"))
                  << addCommand(menOptions, "menOptionsCalculateSpaceInZips",
                                QStringLiteral("Calculate Space in Zips"),
                                QStringLiteral("calculate_space"))
                  << addCommand(menOptions, "menOptionsChangeAttributes",
                                QStringLiteral("Change Zipped Files' Attributes"),
                                QStringLiteral("change_attributes"));
    separator(menOptions, "menOptionsB2");

    QMenu* select = named(menOptions->addMenu(QStringLiteral("Select")), "menOptionsSelect");
    select->menuAction()->setObjectName(QStringLiteral("menOptionsSelect"));
    connect(addCommand(select, "menOptionsSelectAll", QStringLiteral("All")), &QAction::triggered,
            this, &frmKelmar::select_all);
    connect(addCommand(select, "menOptionsSelectNone", QStringLiteral("None")), &QAction::triggered,
            this, &frmKelmar::select_none);
    connect(addCommand(select, "menOptionsSelectReverse", QStringLiteral("Reverse")),
            &QAction::triggered, this, &frmKelmar::select_reverse);

    QMenu* rename = named(menOptions->addMenu(QStringLiteral("Rename")), "menRename");
    rename->menuAction()->setObjectName(QStringLiteral("menRename"));
    m_fileActions << rename->menuAction();
    m_fileActions << addCommand(rename, "menOptionsRenameCapitalCase",
                                QStringLiteral("to Capital Case"),
                                QStringLiteral("to_capital_case"))
                  << addCommand(rename, "menOptionsRenameLowerCase",
                                QStringLiteral("to lower case"), QStringLiteral("to_lower_case"))
                  << addCommand(rename, "menOptionsRenameUpperCase",
                                QStringLiteral("to UPPER CASE"), QStringLiteral("to_upper_case"));
    separator(rename, "menOptionsRenameB3");
    m_fileActions << addCommand(rename, "menOptionsRenameInsertSpaces",
                                QStringLiteral("Insert Spaces"), QStringLiteral("insert_spaces"))
                  << addCommand(rename, "menOptionsRenameRemoveSpaces",
                                QStringLiteral("Remove Spaces"), QStringLiteral("remove_spaces"));
    separator(rename, "menOptionsRenameB1");
    m_fileActions << addCommand(rename, "menOptionsRenameManually", QStringLiteral("Manually..."),
                                QStringLiteral("to_manual_name"))
                  << addCommand(rename, "menOptionsRenameFindAndReplace",
                                QStringLiteral("Find and Replace..."),
                                QStringLiteral("find_and_replace"));
    separator(rename, "menOptionsRenameB2");
    m_fileActions << addCommand(rename, "menOptionsRenameToZippedFilename",
                                QStringLiteral("to Zipped Filename"),
                                QStringLiteral("to_zip_filename"));
    separator(menOptions, "menOptionsB3");
    connect(addCommand(menOptions, "menOptionsRefresh", QStringLiteral("Refresh")),
            &QAction::triggered, this, &frmKelmar::menOptionsRefresh_Click);
    // Choosing "Cancel" only closes the menu.
    addCommand(menOptions, "menOptionsCancel", QStringLiteral("Cancel"));

    menFolders = named(new QMenu(QStringLiteral("Folders"), this), "menFolders");
    connect(addCommand(menFolders, "menFoldersAddToFavorites", QStringLiteral("Add to Favorites")),
            &QAction::triggered, this, &frmKelmar::menFoldersAddToFavorites_Click);
    connect(addCommand(menFolders, "menFoldersRemoveFromFavorites",
                       QStringLiteral("Remove from Favorites")),
            &QAction::triggered, this, &frmKelmar::menFoldersRemoveFromFavorites_Click);
    addCommand(menFolders, "menFoldersConvertSubFoldersToZips",
               QStringLiteral("&Convert Sub Folders to Zips..."),
               QStringLiteral("convert_sub_folders_to_zips"));
}

// ---------------------------------------------------------------------------------------
// Start-up and shutdown

void frmKelmar::Form_Load()
{
    auto settings = SettingsStore::openUserSettings();

    // Geometry in twips; a value that does not convert keeps the window's own.
    const QRect current = geometry();
    const int left = readInt(*settings, QStringLiteral("form/left"), current.x() * TwipsPerPixel);
    const int width =
        readInt(*settings, QStringLiteral("form/width"), current.width() * TwipsPerPixel);
    const int top = readInt(*settings, QStringLiteral("form/top"), current.y() * TwipsPerPixel);
    const int height =
        readInt(*settings, QStringLiteral("form/height"), current.height() * TwipsPerPixel);
    setMinimumSize(MinimumWidth, MinimumHeight);
    setGeometry(left / TwipsPerPixel, top / TwipsPerPixel,
                std::max(width / TwipsPerPixel, MinimumWidth),
                std::max(height / TwipsPerPixel, MinimumHeight));
    m_startState = readInt(*settings, QStringLiteral("form/windowstate"), 0);
    if (m_startState < 0 || m_startState > 2)
        m_startState = 0;

    cmbFavorites->setCurrentIndex(0);
    cmbFileCase->addItems(caseItems());
    cmbFileCase->setCurrentIndex(0);
    cmbUnzipCase->addItems(caseItems());
    cmbUnzipCase->setCurrentIndex(0);
    syncFilterHistory();
    txtFilter->setEditText(QStringLiteral("*"));

    applyOptions(SettingsStore::loadOptions(*settings));
    for (int n = 1; n <= 9; ++n) {
        const QString entry = settings->value(QStringLiteral("saved filter/%1").arg(n)).toString();
        if (!entry.isEmpty())
            m_history.add(entry);
    }
    syncFilterHistory();
    lblCompression->setText(QString::number(sliCompression->value()));
    loadFavorites();

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

    const QString last = m_startFolder.isEmpty()
                             ? settings->value(QStringLiteral("form/lastfolder")).toString()
                             : m_startFolder;
    showFolderInTree(!last.isEmpty() && QFileInfo(last).isDir() ? last : QDir::homePath());
    update_count();
    updateActionButtons();
    m_loaded = true;
}

void frmKelmar::Form_Unload()
{
    auto settings = SettingsStore::openUserSettings();
    // The store holds the unzip password in clear: readable by its owner only.
    const QString path = settings->fileName();
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!QFileInfo::exists(path)) {
        QFile create(path);
        if (create.open(QIODevice::WriteOnly))
            create.close();
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    const int state = isMinimized() ? 1 : isMaximized() ? 2 : 0;
    settings->setValue(QStringLiteral("form/windowstate"), QString::number(state));
    // The normal-state geometry, so a maximised window comes back with its restored size.
    const QRect normal = (state == 0 || normalGeometry().isEmpty()) ? geometry() : normalGeometry();
    settings->setValue(QStringLiteral("form/left"), QString::number(normal.x() * TwipsPerPixel));
    settings->setValue(QStringLiteral("form/top"), QString::number(normal.y() * TwipsPerPixel));
    settings->setValue(QStringLiteral("form/width"),
                       QString::number(normal.width() * TwipsPerPixel));
    settings->setValue(QStringLiteral("form/height"),
                       QString::number(normal.height() * TwipsPerPixel));

    SettingsStore::saveOptions(*settings, currentOptions());
    const QStringList history = m_history.stored();
    for (int i = 0; i < history.size(); ++i)
        settings->setValue(QStringLiteral("saved filter/%1").arg(i + 1), history.at(i));
    settings->setValue(QStringLiteral("form/lastfolder"), m_files->folder());
    settings->sync();
    saveFavorites();
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (settings->status() != QSettings::NoError)
        qWarning("Kelmar: the settings could not be written to %s", qPrintable(path));
}

void frmKelmar::showInStoredState()
{
    if (m_startState == 2)
        showMaximized();
    else if (m_startState == 1)
        showMinimized();
    else
        show();
}

void frmKelmar::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // A tree scrolls only once it has a size: bring the current folder into view now.
    QTimer::singleShot(100, this, [this] {
        if (Tree1->currentIndex().isValid())
            Tree1->scrollTo(Tree1->currentIndex(), QAbstractItemView::PositionAtCenter);
    });
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
// Commands

void frmKelmar::registerOperation(const QString& operationName, Operation operation)
{
    m_operations.insert(operationName, std::move(operation));
    updateActionButtons();
}

bool frmKelmar::hasOperation(const QString& operationName) const
{
    return m_operations.contains(operationName);
}

bool frmKelmar::runOperation(const QString& operationName)
{
    auto it = m_operations.constFind(operationName);
    if (it == m_operations.constEnd() || m_runner->busy())
        return false;
    return m_runner->start(operationName, it.value(), *m_host, snapshot());
}

void frmKelmar::onBatchFinished()
{
    // A batch that ended without leaving the busy state (it threw, say) must not leave the
    // window frozen.
    if (m_busy) {
        release_form();
        m_panel1->setText(creditLine());
    }
    emit batchFinished();
    if (m_closeWhenIdle) {
        m_closeWhenIdle = false;
        close();
    }
}

BatchSnapshot frmKelmar::snapshot() const
{
    BatchSnapshot s;
    s.folder = m_files->folder();
    s.treeFolder = treeFolder();
    s.names = m_files->names();
    s.selected = selectedFlags();
    s.options = currentOptions();
    return s;
}

bool frmKelmar::isSelected(int position) const
{
    return File1->selectionModel()->isRowSelected(position, QModelIndex());
}

bool frmKelmar::stopRequested() const
{
    return m_runner->stopRequested();
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

void frmKelmar::menOptionsRefresh_Click()
{
    m_files->reload();
    update_count();
}

void frmKelmar::protect_form()
{
    if (!m_busy)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    m_busy = true;
    cmdStop->setEnabled(true);
    Tabs->setEnabled(false);
    cmdZipFiles->setEnabled(false);
    cmdUnzipFiles->setEnabled(false);
    cmdExit->setEnabled(false);
}

void frmKelmar::release_form()
{
    if (!m_busy)
        return;
    m_busy = false;
    cmdStop->setEnabled(false);
    Tabs->setEnabled(true);
    cmdZipFiles->setEnabled(hasOperation(QStringLiteral("zip_files")));
    cmdUnzipFiles->setEnabled(hasOperation(QStringLiteral("unzip_files")));
    cmdExit->setEnabled(true);
    QApplication::restoreOverrideCursor();
}

void frmKelmar::updateActionButtons()
{
    if (m_busy)
        return;
    const bool onControlTab = Tabs->currentWidget()->property("tabKey").toString() == ControlTabKey;
    cmdZipFiles->setEnabled(onControlTab && hasOperation(QStringLiteral("zip_files")));
    cmdUnzipFiles->setEnabled(onControlTab && hasOperation(QStringLiteral("unzip_files")));
}

void frmKelmar::Tabs_Click(int)
{
    updateActionButtons();
}

// ---------------------------------------------------------------------------------------
// The file list

void frmKelmar::setListFolder(const QString& folder)
{
    m_files->setFolder(QDir::cleanPath(folder));
    if (!m_files->readError().isEmpty())
        m_panel1->setText(m_files->readError());
}

QString frmKelmar::listFolder() const
{
    return m_files->folder();
}

std::vector<char> frmKelmar::selectedFlags() const
{
    return kelmar::selectedFlags(*File1->selectionModel(), m_files->count());
}

void frmKelmar::select_all()
{
    m_bulkSelecting = true;
    selectAllRows(*File1->selectionModel(), m_files->count());
    if (m_files->count() > 0)
        File1->scrollToTop();
    m_bulkSelecting = false;
    update_count();
}

void frmKelmar::select_none()
{
    m_bulkSelecting = true;
    selectNoRows(*File1->selectionModel());
    m_bulkSelecting = false;
    update_count();
}

void frmKelmar::select_reverse()
{
    m_bulkSelecting = true;
    reverseRowSelection(*File1->selectionModel(), m_files->count());
    m_bulkSelecting = false;
    update_count();
}

void frmKelmar::update_count()
{
    if (m_bulkSelecting)
        return;
    const SelectionTotal total =
        measureSelection(m_files->folder(), m_files->names(), selectedFlags());
    m_panel2->setText(selectionCounterText(total));
}

void frmKelmar::reloadList()
{
    m_files->reload();
    update_count();
}

void frmKelmar::refreshTree()
{
    // The tree's model watches every folder it has read and follows new and removed
    // sub-folders by itself; folders not read yet are read when they are expanded. All that
    // is left is to repaint.
    Tree1->viewport()->update();
}

void frmKelmar::closeWhenIdle()
{
    // The window closes through its normal unload (settings saved) once the batch returns.
    m_closeWhenIdle = true;
}

void frmKelmar::txtFilter_Change()
{
    if (chkROMs->isChecked())
        return;
    m_files->setPattern(filterPattern(txtFilter->currentText()));
}

void frmKelmar::txtFilter_KeyPress_Enter()
{
    const QString text = txtFilter->currentText();
    File1->setFocus();
    if (m_history.add(text))
        syncFilterHistory();
    txtFilter->setEditText(text);
}

void frmKelmar::syncFilterHistory()
{
    const QString text = txtFilter->currentText();
    const QSignalBlocker block(txtFilter);
    txtFilter->clear();
    txtFilter->addItems(m_history.entries());
    txtFilter->setEditText(text);
}

void frmKelmar::chkROMs_Click()
{
    if (chkROMs->isChecked()) {
        setDependentBox(txtFilter->lineEdit(), false);
        txtFilter->setEnabled(false);
        m_files->setPattern(lblROMFilter->text());
    } else {
        txtFilter->setEnabled(true);
        setDependentBox(txtFilter->lineEdit(), true);
        txtFilter_Change();
    }
}

void frmKelmar::Tree1_NodeClick()
{
    const QModelIndex current = Tree1->currentIndex();
    if (current.isValid())
        setListFolder(m_treeModel->filePath(current));
}

void frmKelmar::showFolderInTree(const QString& folder)
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

QString frmKelmar::treeFolder() const
{
    const QModelIndex current = Tree1->currentIndex();
    return current.isValid() ? m_treeModel->filePath(current) : m_files->folder();
}

bool frmKelmar::eventFilter(QObject* watched, QEvent* event)
{
    const bool isMouse = event->type() == QEvent::MouseButtonPress ||
                         event->type() == QEvent::MouseButtonDblClick ||
                         event->type() == QEvent::MouseButtonRelease;
    // Only a mouse event may be looked at as one; the viewport gets every other kind too.
    if (watched == File1->viewport() && isMouse) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        // A right click must not change the selection the menu is about to act on.
        if ((event->type() == QEvent::MouseButtonPress ||
             event->type() == QEvent::MouseButtonDblClick) &&
            mouse->button() == Qt::RightButton)
            return true;
        if (event->type() == QEvent::MouseButtonRelease && mouse->button() == Qt::RightButton) {
            File1_MouseUp(mouse->globalPosition().toPoint());
            return true;
        }
    }
    // The Folders menu acts on the selected folder; a right press must not select another.
    if (watched == Tree1->viewport() &&
        (event->type() == QEvent::MouseButtonPress ||
         event->type() == QEvent::MouseButtonDblClick) &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton)
        return true;
    if (watched == Tree1->viewport() && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
        Tree1_MouseUp(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
        return true;
    }
    if (watched == File1 && event->type() == QEvent::ContextMenu) {
        // The keyboard's menu key.
        File1_MouseUp(File1->viewport()->mapToGlobal(QPoint(10, 10)));
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmKelmar::prepareOptionsMenu()
{
    const std::vector<char> flags = selectedFlags();
    const bool any = std::find(flags.begin(), flags.end(), 1) != flags.end();
    for (QAction* action : std::as_const(m_fileActions)) {
        const QString operation = m_commands.value(action);
        action->setEnabled(any && (operation.isEmpty() || hasOperation(operation)));
    }
}

void frmKelmar::prepareFoldersMenu()
{
    // The menu acts on the tree's selected folder, whichever folder the mouse is over.
    const QString path = treeFolder();
    QString name = QFileInfo(path).fileName();
    if (name.isEmpty())
        name = QDir::toNativeSeparators(path);
    const bool isFavourite = favoriteIndex(path) > 0;
    QAction* add = findChild<QAction*>(QStringLiteral("menFoldersAddToFavorites"));
    QAction* remove = findChild<QAction*>(QStringLiteral("menFoldersRemoveFromFavorites"));
    add->setText(QStringLiteral("&Add \u2018") + name + QStringLiteral("\u2019 to Favorites"));
    remove->setText(QStringLiteral("&Remove \u2018") + name +
                    QStringLiteral("\u2019 from Favorites"));
    add->setVisible(!isFavourite);
    remove->setVisible(isFavourite);
    for (QAction* action : menFolders->actions()) {
        const QString operation = m_commands.value(action);
        if (!operation.isEmpty())
            action->setEnabled(hasOperation(operation));
    }
}

void frmKelmar::Tree1_MouseUp(const QPoint& globalPos)
{
    if (m_busy)
        return;
    prepareFoldersMenu();
    menFolders->popup(globalPos);
}

// ---------------------------------------------------------------------------------------
// Favourites

namespace {
QString g_favoritesPathForTesting;
}

void frmKelmar::setFavoritesPathForTesting(const QString& path)
{
    g_favoritesPathForTesting = path;
}

QString frmKelmar::favoritesPath()
{
    if (!g_favoritesPathForTesting.isEmpty())
        return g_favoritesPathForTesting;
    const QString beside = QCoreApplication::applicationDirPath();
    if (QFileInfo(beside).isWritable() &&
        QDir::cleanPath(beside) != QStringLiteral(KELMAR_INSTALL_BINDIR))
        return beside + QStringLiteral("/favorites.txt");
    auto settings = SettingsStore::openUserSettings();
    return QFileInfo(settings->fileName()).absolutePath() + QStringLiteral("/favorites.txt");
}

QStringList frmKelmar::favorites() const
{
    QStringList list;
    for (int i = 1; i < cmbFavorites->count(); ++i)
        list.append(cmbFavorites->itemText(i));
    return list;
}

int frmKelmar::favoriteIndex(const QString& path) const
{
    for (int i = 1; i < cmbFavorites->count(); ++i) {
        if (cmbFavorites->itemText(i).compare(path, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

namespace {

// The list stays in alphabetical order without regard to case, its first item first.
void insertSorted(QComboBox* box, const QString& text)
{
    int at = 1;
    while (at < box->count() && box->itemText(at).compare(text, Qt::CaseInsensitive) <= 0)
        ++at;
    box->insertItem(at, text);
}

} // namespace

void frmKelmar::loadFavorites()
{
    QFile file(favoritesPath());
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QSignalBlocker block(cmbFavorites);
    // Line by line, so a huge or binary file costs no more than its size.
    while (!file.atEnd()) {
        QByteArray line = file.readLine(64 * 1024);
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        insertSorted(cmbFavorites, QString::fromUtf8(line));
    }
    cmbFavorites->setCurrentIndex(0);
}

void frmKelmar::saveFavorites()
{
    QByteArray content;
    for (const QString& favourite : favorites())
        content += favourite.toUtf8() + "\r\n";
    auto write = [&content](const QString& path) {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(content);
        return file.commit();
    };
    const QString path = favoritesPath();
    if (write(path))
        return;
    // A read-only program folder: keep them with the settings instead.
    auto settings = SettingsStore::openUserSettings();
    const QString fallback =
        QFileInfo(settings->fileName()).absolutePath() + QStringLiteral("/favorites.txt");
    QDir().mkpath(QFileInfo(fallback).absolutePath());
    if (fallback == path || !write(fallback))
        qWarning("Kelmar: the favourites could not be written to %s", qPrintable(path));
}

void frmKelmar::cmbFavorites_Click(int index)
{
    if (index > 0) {
        const QString target = cmbFavorites->itemText(index);
        if (QFileInfo(target).isDir())
            showFolderInTree(target);
    }
    const QSignalBlocker block(cmbFavorites);
    cmbFavorites->setCurrentIndex(0);
}

void frmKelmar::menFoldersAddToFavorites_Click()
{
    insertSorted(cmbFavorites, treeFolder());
    const QSignalBlocker block(cmbFavorites);
    cmbFavorites->setCurrentIndex(0);
}

void frmKelmar::menFoldersRemoveFromFavorites_Click()
{
    const int index = favoriteIndex(treeFolder());
    if (index > 0)
        cmbFavorites->removeItem(index);
}

void frmKelmar::File1_MouseUp(const QPoint& globalPos)
{
    if (m_busy)
        return;
    prepareOptionsMenu();
    menOptions->popup(globalPos);
}

// ---------------------------------------------------------------------------------------
// Settings tabs

void frmKelmar::setDependentBox(QLineEdit* box, bool enabled)
{
    box->setEnabled(enabled);
    QPalette palette = box->palette();
    const QColor colour =
        QApplication::palette().color(enabled ? QPalette::Base : QPalette::Button);
    palette.setColor(QPalette::Base, colour);
    palette.setColor(QPalette::Disabled, QPalette::Base, colour);
    box->setPalette(palette);
}

void frmKelmar::chkInfoFile_Click()
{
    const bool on = checkValue(chkInfoFile) == 1;
    setDependentBox(txtInfoFile, on);
    cmdInfoFile->setEnabled(on);
}

void frmKelmar::chkZIPPassword_Click()
{
    setDependentBox(txtZIPPassword, checkValue(chkZIPPassword) == 1);
}

void frmKelmar::chkUnzipPassword_Click()
{
    setDependentBox(txtUnzipPassword, checkValue(chkUnzipPassword) == 1);
}

void frmKelmar::radMultipleZIPs_Click()
{
    chkUseOriginalExtensions->setEnabled(true);
    cmbFileCase->setEnabled(true);
}

void frmKelmar::radOneZIP_Click()
{
    chkUseOriginalExtensions->setEnabled(false);
    cmbFileCase->setEnabled(false);
}

void frmKelmar::sliCompression_Scroll()
{
    lblCompression->setText(QString::number(sliCompression->value()));
}

void frmKelmar::cmdInfoFile_Click()
{
    const std::optional<QString> chosen = Dialogs::openFileName(
        this, QStringLiteral("Select the Info File"),
        QStringLiteral("Info Files (*.nfo)|*.nfo|Text Files (*.txt)|*.txt|All Files|*.*"),
        txtInfoFile->text());
    if (chosen)
        txtInfoFile->setText(QDir::toNativeSeparators(QFileInfo(*chosen).absoluteFilePath()));
}

Options frmKelmar::currentOptions() const
{
    Options o;
    o.radMultipleZIPs = radMultipleZIPs->isChecked();
    o.chkUseOriginalExtensions = checkValue(chkUseOriginalExtensions);
    o.cmbFileCase = cmbFileCase->currentIndex();
    o.radOneZIP = radOneZIP->isChecked();
    o.chkDeleteFiles = checkValue(chkDeleteFiles);
    o.chkUseZIPPaths = checkValue(chkUseZIPPaths);
    o.chkSaveZIPsinSameFolder = checkValue(chkSaveZIPsinSameFolder);
    o.sliCompression = sliCompression->value();
    o.chkInfoFile = checkValue(chkInfoFile);
    o.txtInfoFile = txtInfoFile->text();
    o.chkZIPPassword = checkValue(chkZIPPassword);
    o.txtZIPPassword = txtZIPPassword->text();
    o.cmbUnzipCase = cmbUnzipCase->currentIndex();
    o.chkRenameFiles = checkValue(chkRenameFiles);
    o.chkExtractROMs = checkValue(chkExtractROMs);
    o.chkDeleteZIPFiles = checkValue(chkDeleteZIPFiles);
    o.chkIgnoreFolders = checkValue(chkIgnoreFolders);
    o.chkUnziptoSameFolder = checkValue(chkUnziptoSameFolder);
    o.chkUnzipPassword = checkValue(chkUnzipPassword);
    o.txtUnzipPassword = txtUnzipPassword->text();
    o.chkZIPsToFolders = checkValue(chkZIPsToFolders);
    o.lblROMFilter = lblROMFilter->text();
    o.chkSound = checkValue(chkSound);
    return o;
}

void frmKelmar::applyOptions(const Options& o)
{
    // Radio buttons in reading order: selecting one clears the other, so the one read last
    // wins when both were stored as selected.
    if (o.radMultipleZIPs)
        radMultipleZIPs->setChecked(true);
    setCheckValue(chkUseOriginalExtensions, o.chkUseOriginalExtensions);
    cmbFileCase->setCurrentIndex(o.cmbFileCase);
    if (o.radOneZIP)
        radOneZIP->setChecked(true);
    setCheckValue(chkDeleteFiles, o.chkDeleteFiles);
    setCheckValue(chkUseZIPPaths, o.chkUseZIPPaths);
    setCheckValue(chkSaveZIPsinSameFolder, o.chkSaveZIPsinSameFolder);
    sliCompression->setValue(o.sliCompression);
    setCheckValue(chkInfoFile, o.chkInfoFile);
    txtInfoFile->setText(o.txtInfoFile);
    setCheckValue(chkZIPPassword, o.chkZIPPassword);
    txtZIPPassword->setText(o.txtZIPPassword);
    cmbUnzipCase->setCurrentIndex(o.cmbUnzipCase);
    setCheckValue(chkRenameFiles, o.chkRenameFiles);
    setCheckValue(chkExtractROMs, o.chkExtractROMs);
    setCheckValue(chkDeleteZIPFiles, o.chkDeleteZIPFiles);
    setCheckValue(chkIgnoreFolders, o.chkIgnoreFolders);
    setCheckValue(chkUnziptoSameFolder, o.chkUnziptoSameFolder);
    setCheckValue(chkUnzipPassword, o.chkUnzipPassword);
    txtUnzipPassword->setText(o.txtUnzipPassword);
    setCheckValue(chkZIPsToFolders, o.chkZIPsToFolders);
    lblROMFilter->setText(o.lblROMFilter);
    setCheckValue(chkSound, o.chkSound);
    update_ROM_Filter_Buttons();
    update_lstROMFilter();
}

// ---------------------------------------------------------------------------------------
// The ROM filter editor

void frmKelmar::update_ROM_Filter()
{
    QStringList entries;
    for (int i = 0; i < lstROMFilter->count(); ++i)
        entries.append(lstROMFilter->item(i)->text());
    lblROMFilter->setText(RomFilter::fromEntries(entries));
    if (chkROMs->isChecked())
        m_files->setPattern(lblROMFilter->text());
}

void frmKelmar::update_lstROMFilter()
{
    lstROMFilter->clear();
    lstROMFilter->addItems(RomFilter::toEntries(lblROMFilter->text()));
    update_ROM_Filter_Buttons();
}

void frmKelmar::update_ROM_Filter_Buttons()
{
    cmdAddROMFilter->setEnabled(!txtROMFilter->text().isEmpty());
    cmdRemoveROMFilter->setEnabled(!lstROMFilter->selectedItems().isEmpty());
}

void frmKelmar::txtROMFilter_Change()
{
    const QString kept = RomFilter::cleanTyped(txtROMFilter->text());
    if (kept != txtROMFilter->text()) {
        const QSignalBlocker block(txtROMFilter);
        txtROMFilter->setText(kept);
        txtROMFilter->setCursorPosition(int(kept.size()));
    }
    update_ROM_Filter_Buttons();
}

void frmKelmar::cmdAddROMFilter_Click()
{
    lstROMFilter->addItem(txtROMFilter->text());
    update_ROM_Filter();
    txtROMFilter->clear();
    txtROMFilter->setFocus();
    update_ROM_Filter_Buttons();
}

void frmKelmar::cmdRemoveROMFilter_Click()
{
    const int row = lstROMFilter->currentRow();
    if (row < 0 || lstROMFilter->selectedItems().isEmpty())
        return;
    delete lstROMFilter->takeItem(row);
    lstROMFilter->clearSelection();
    lstROMFilter->setCurrentRow(-1);
    update_ROM_Filter();
    update_ROM_Filter_Buttons();
}

// ---------------------------------------------------------------------------------------
// Log and status bar

void frmKelmar::write_log(const QString& logged)
{
    const QString line = fs::displayName(logged);
    if (m_log.write(line) == OperationLog::Append::Trimmed) {
        txtLog->setPlainText(m_log.text());
    } else {
        // Appending at the end keeps a long log cheap; the view follows the end only when
        // the user has not scrolled away from it.
        QScrollBar* bar = txtLog->verticalScrollBar();
        const bool atEnd = bar->value() == bar->maximum();
        QTextCursor cursor(txtLog->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(line + u'\n');
        if (atEnd)
            bar->setValue(bar->maximum());
    }
}

void frmKelmar::clear_log()
{
    m_log.clear();
    txtLog->clear();
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

QString frmKelmar::stoppingText()
{
    return QStringLiteral("Stopping before closing...");
}
