// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/DatPage.h"

#include "catalogue/CatalogueReader.h"
#include "catalogue/FixPlan.h"
#include "catalogue/Fixdat.h"
#include "fs/NativeName.h"
#include "fs/NativePath.h"
#include "fs/Path.h"
#include "fs/PathStatus.h"
#include "fs/SafeOutput.h"
#include "shell/Dialogs.h"
#include "shell/Widgets.h"
#include "shell/frmKelmar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <utility>

namespace kelmar {

using namespace catalogue;
using namespace widgets;

namespace {

const QString RecentKey = QStringLiteral("dat/RecentDATs");
constexpr int RecentKept = 12;
const QString LoadOperation = QStringLiteral("dat_load");
const QString VerifyOperation = QStringLiteral("dat_verify");
const QString FixOperation = QStringLiteral("dat_fix");
const QString Title = QStringLiteral("DAT");

// Writes bytes over the file at path, which the user chose to replace: through a temporary
// file in its folder that takes the name only while the file there is still the one seen.
int replaceFile(const QString& path, const QByteArray& bytes)
{
    const std::optional<fs::PathStatus> before = fs::statOf(path, fs::Links::DoNotFollow);
    if (!before)
        return errno;
    if (before->kind != fs::FileKind::File)
        return EEXIST;
    fs::SafeOutput output(path);
    int err = output.begin();
    if (err == 0)
        err = fs::writeAll(output.fd(), bytes.constData(), bytes.size());
    if (err == 0)
        err = output.finishWriting();
    if (err == 0)
        err = output.flush();
    if (err == 0)
        err = output.commitReplacing(*before);
    return err == fs::SafeOutput::kTargetChanged ? EBUSY : err;
}

QString catalogueCaption(const QString& path)
{
    const QString folder = fs::printableName(QFileInfo(path).absolutePath());
    return fs::printableName(fs::fileNameOf(path)) + QStringLiteral("  (") + folder + u')';
}

QString headerText(const Catalogue& catalogue)
{
    QString name = catalogue.header.name.isEmpty() ? catalogue.header.description
                                                   : catalogue.header.name;
    if (!catalogue.header.version.isEmpty())
        name += QStringLiteral(" (") + catalogue.header.version + u')';
    return QStringLiteral("%1: %L2 sets, %L3 ROMs").arg(name).arg(catalogue.sets.size()).arg(
        catalogue.romCount());
}

QTableView* tableView(const char* name)
{
    auto* view = named(new QTableView, name);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setWordWrap(false);
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->horizontalHeader()->setHighlightSections(false);
    return view;
}

} // namespace

// One batch of the page: what it was asked, and what it found once it has ended (written by
// the batch's thread, read on the window's once the runner says it is over).
struct DatPage::Run
{
    enum class Kind { Load, Verify, Fix };
    Kind kind = Kind::Load;
    QString cataloguePath;
    DatRequest request; // its catalogue: the loaded one, or none to load it first

    QString loadError;
    std::shared_ptr<const DatOutcome> outcome;

    BatchReport run(ProgressSink& sink, BatchQuestions& questions);
};

BatchReport DatPage::Run::run(ProgressSink& sink, BatchQuestions& questions)
{
    if (!request.catalogue) {
        sink.setStatusText(QStringLiteral("Loading ") + fs::printableName(fs::fileNameOf(cataloguePath)));
        std::optional<Catalogue> loaded = loadCatalogue(cataloguePath, &loadError);
        sink.showCreditLine();
        if (!loaded) {
            sink.write_log(loadError);
            ItemOutcome failed;
            failed.path = cataloguePath;
            failed.result = ItemResult::Failed;
            failed.reason = loadError;
            BatchReport report;
            report.items.push_back(failed);
            return report;
        }
        request.catalogue = std::make_shared<const Catalogue>(std::move(*loaded));
    }
    if (kind == Kind::Load)
        return {};
    auto found = std::make_shared<DatOutcome>(kind == Kind::Fix ? dat_fix(request, sink, questions)
                                                                : dat_verify(request, sink, questions));
    BatchReport report = found->report;
    outcome = std::move(found);
    return report;
}

DatPage::DatPage(QWidget* parent) : QWidget(parent)
{
    m_sets = new DatSetModel(this);
    m_filter = new DatSetFilter(this);
    m_filter->setSourceModel(m_sets);
    m_roms = new DatRomModel(this);

    auto* l = new QVBoxLayout;
    l->setSpacing(4);
    makeTabPanel(this, 5, l);
    l->addWidget(buildTop());
    l->addWidget(buildTables(), 1);
    updateCounts();
    updateButtons();
}

DatPage::~DatPage() = default;

QWidget* DatPage::buildTop()
{
    auto* top = new QWidget;
    auto* grid = new QGridLayout(top);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(3);
    cboCatalogue = named(new QComboBox, "cboCatalogue");
    cboCatalogue->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cboCatalogue->setMinimumContentsLength(20);
    cmdLoad = named(new QPushButton(QStringLiteral("Load...")), "cmdLoad");
    txtFolder = named(new QLineEdit, "txtFolder");
    cmdFolder = named(new QPushButton(QStringLiteral("Browse...")), "cmdFolder");
    grid->addWidget(new QLabel(QStringLiteral("DAT:")), 0, 0);
    grid->addWidget(cboCatalogue, 0, 1);
    grid->addWidget(cmdLoad, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Folder:")), 1, 0);
    grid->addWidget(txtFolder, 1, 1);
    grid->addWidget(cmdFolder, 1, 2);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(6);
    cmdVerify = named(new QPushButton(QStringLiteral("Verify")), "cmdVerify");
    cmdFix = named(new QPushButton(QStringLiteral("Fix")), "cmdFix");
    cmdFixdat = named(new QPushButton(QStringLiteral("Write Fixdat")), "cmdFixdat");
    cmdStop = named(new QPushButton(QStringLiteral("Stop")), "cmdDatStop");
    chkSha1 = checkBox("chkDatSha1", QStringLiteral("SHA-1"));
    chkSha1->setToolTip(QStringLiteral("Match by SHA-1 where the catalogue has one: every file "
                                       "is read in full"));
    for (QWidget* w : {static_cast<QWidget*>(cmdVerify), static_cast<QWidget*>(cmdFix),
                       static_cast<QWidget*>(cmdFixdat), static_cast<QWidget*>(cmdStop),
                       static_cast<QWidget*>(chkSha1)})
        buttons->addWidget(w);
    buttons->addStretch(1);
    lblCatalogue = named(new QLabel, "lblCatalogue");
    buttons->addWidget(lblCatalogue);
    grid->addLayout(buttons, 2, 0, 1, 3);

    connect(cmdLoad, &QPushButton::clicked, this, &DatPage::browseCatalogue);
    connect(cmdFolder, &QPushButton::clicked, this, &DatPage::browseFolder);
    connect(cboCatalogue, &QComboBox::activated, this, &DatPage::catalogueChosen);
    connect(txtFolder, &QLineEdit::textEdited, this, [this] { m_folderChosen = true; });
    connect(cmdVerify, &QPushButton::clicked, this, [this] { verify(); });
    connect(cmdFix, &QPushButton::clicked, this, [this] { fix(); });
    connect(cmdFixdat, &QPushButton::clicked, this, &DatPage::writeFixdat);
    connect(cmdStop, &QPushButton::clicked, this, [this] {
        if (m_window)
            m_window->requestStop();
    });
    return top;
}

QWidget* DatPage::buildTables()
{
    auto* box = new QWidget;
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(3);
    auto* row = new QHBoxLayout;
    row->setSpacing(4);
    const StateColours colours[5] = {
        setStatusColours(SetStatus::Complete), setStatusColours(SetStatus::Fixable),
        setStatusColours(SetStatus::Incomplete), setStatusColours(SetStatus::Missing),
        unknownColours()};
    for (int i = 0; i < 5; ++i) {
        lblCounts[i] = new QLabel;
        lblCounts[i]->setObjectName(QStringLiteral("lblDatCount_%1").arg(i));
        lblCounts[i]->setStyleSheet(QStringLiteral("QLabel { background: %1; color: %2; "
                                                   "padding: 1px 6px; border-radius: 3px; }")
                                        .arg(colours[i].background.name(), colours[i].text.name()));
        row->addWidget(lblCounts[i]);
    }
    row->addStretch(1);
    cboShow = named(new QComboBox, "cboDatShow");
    cboShow->addItems({QStringLiteral("All sets"), QStringLiteral("Complete"),
                       QStringLiteral("Fixable"), QStringLiteral("Incomplete"),
                       QStringLiteral("Missing"), QStringLiteral("Not complete")});
    txtFilter = named(new QLineEdit, "txtDatFilter");
    txtFilter->setPlaceholderText(QStringLiteral("Filter sets"));
    txtFilter->setClearButtonEnabled(true);
    row->addWidget(cboShow);
    row->addWidget(txtFilter);
    column->addLayout(row);

    lstSets = tableView("lstDatSets");
    lstSets->setModel(m_filter);
    lstSets->setSortingEnabled(true);
    lstSets->sortByColumn(DatSetModel::NameColumn, Qt::AscendingOrder);
    QHeaderView* header = lstSets->horizontalHeader();
    header->resizeSection(DatSetModel::NameColumn, 260);
    header->resizeSection(DatSetModel::StatusColumn, 90);
    header->resizeSection(DatSetModel::RomsColumn, 60);
    header->setStretchLastSection(true);

    lstRoms = tableView("lstDatRoms");
    lstRoms->setModel(m_roms);
    lstRoms->horizontalHeader()->resizeSection(DatRomModel::NameColumn, 240);
    lstRoms->horizontalHeader()->setStretchLastSection(true);
    lstUnknown = named(new QListWidget, "lstDatUnknown");
    tabDetail = named(new QTabWidget, "tabDatDetail");
    tabDetail->addTab(lstRoms, QStringLiteral("ROMs"));
    tabDetail->addTab(lstUnknown, QStringLiteral("Unknown files"));

    auto* split = named(new QSplitter(Qt::Vertical), "splDat");
    split->addWidget(lstSets);
    split->addWidget(tabDetail);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    column->addWidget(split, 1);

    connect(txtFilter, &QLineEdit::textChanged, m_filter, &DatSetFilter::setText);
    connect(cboShow, &QComboBox::currentIndexChanged, this,
            [this](int i) { m_filter->setShow(DatSetFilter::Show(i)); });
    connect(lstSets->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &DatPage::showSelectedSet);
    return box;
}

void DatPage::attach(frmKelmar& window)
{
    m_window = &window;
    for (const QString& name : {LoadOperation, VerifyOperation, FixOperation}) {
        window.registerBatch(name, [this](frmKelmar&, const BatchSnapshot&)
                                       -> std::optional<frmKelmar::BatchJob> {
            // The page's batches start from the page alone, which says what to do first.
            if (!m_run)
                return std::nullopt;
            frmKelmar::BatchJob job;
            job.run = [run = m_run](ProgressSink& sink, BatchQuestions& questions) {
                return run->run(sink, questions);
            };
            job.beep = m_run->kind != Run::Kind::Load;
            job.refreshList = m_run->kind == Run::Kind::Fix;
            job.refreshTree = m_run->kind == Run::Kind::Fix;
            job.livePage = this;
            return job;
        });
    }
    connect(&window, &frmKelmar::batchFinished, this, &DatPage::batchEnded);
}

// ---------------------------------------------------------------------------------------
// The catalogue and the folder

void DatPage::loadRecent(const QSettings& settings)
{
    QStringList paths = settings.value(RecentKey).toStringList();
    paths.removeAll(QString());
    paths.removeDuplicates();
    cboCatalogue->clear();
    for (const QString& path : paths.mid(0, RecentKept)) {
        cboCatalogue->addItem(catalogueCaption(path), path);
        cboCatalogue->setItemData(cboCatalogue->count() - 1, path, Qt::ToolTipRole);
    }
    updateButtons();
}

void DatPage::saveRecent(QSettings& settings) const
{
    settings.setValue(RecentKey, recentCatalogues());
}

QStringList DatPage::recentCatalogues() const
{
    QStringList paths;
    for (int i = 0; i < cboCatalogue->count(); ++i)
        paths << cboCatalogue->itemData(i).toString();
    return paths;
}

void DatPage::rememberCatalogue(const QString& path)
{
    QStringList paths = recentCatalogues();
    paths.removeAll(path);
    paths.prepend(path);
    const QSignalBlocker quiet(cboCatalogue);
    cboCatalogue->clear();
    for (const QString& p : paths.mid(0, RecentKept)) {
        cboCatalogue->addItem(catalogueCaption(p), p);
        cboCatalogue->setItemData(cboCatalogue->count() - 1, p, Qt::ToolTipRole);
    }
    cboCatalogue->setCurrentIndex(0);
}

void DatPage::browseCatalogue()
{
    const QString current = cboCatalogue->currentData().toString();
    const std::optional<QString> path = Dialogs::openFileName(
        this, QStringLiteral("Load a DAT catalogue"),
        QStringLiteral("DAT Catalogues|*.dat;*.xml|All Files|*.*"),
        current.isEmpty() ? folder() : QFileInfo(current).absolutePath());
    if (path)
        openCatalogue(*path);
}

void DatPage::catalogueChosen(int index)
{
    const QString path = cboCatalogue->itemData(index).toString();
    if (!path.isEmpty() && path != m_loadedPath)
        openCatalogue(path);
}

bool DatPage::openCatalogue(const QString& path)
{
    rememberCatalogue(fs::absolutePath(path));
    auto run = std::make_shared<Run>();
    run->kind = Run::Kind::Load;
    run->cataloguePath = cboCatalogue->currentData().toString();
    return start(LoadOperation, std::move(run));
}

void DatPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (std::exchange(m_shownOnce, true) || view().catalogue || cboCatalogue->count() == 0)
        return;
    QTimer::singleShot(0, this, [this] {
        if (!m_run && !view().catalogue && m_window && !m_window->batchRunning() &&
            cboCatalogue->count() > 0)
            openCatalogue(cboCatalogue->itemData(0).toString());
    });
}

void DatPage::browseFolder()
{
    const std::optional<QString> chosen =
        Dialogs::browseForFolder(this, QStringLiteral("Select the folder of the collection."));
    if (chosen && !chosen->isEmpty())
        setFolder(*chosen);
}

void DatPage::setFolder(const QString& folder)
{
    m_folderChosen = true;
    txtFolder->setText(folder);
}

QString DatPage::folder() const
{
    return txtFolder->text().trimmed();
}

void DatPage::setDefaultFolder(const QString& folder)
{
    if (!m_folderChosen)
        txtFolder->setText(folder);
}

std::shared_ptr<const Catalogue> DatPage::loadedFor(const QString& path) const
{
    return path == m_loadedPath ? view().catalogue : nullptr;
}

// ---------------------------------------------------------------------------------------
// Commands

bool DatPage::start(const QString& operation, std::shared_ptr<Run> run)
{
    if (!m_window || m_run)
        return false;
    m_run = std::move(run);
    setBusy(true);
    if (m_window->runOperation(operation))
        return true;
    m_run.reset();
    setBusy(false);
    return false;
}

bool DatPage::verify()
{
    const QString path = cboCatalogue->currentData().toString();
    const QString root = folder();
    if (path.isEmpty() || root.isEmpty() || !fs::isDirectory(root)) {
        Dialogs::messageBox(this,
                            path.isEmpty() ? QStringLiteral("Load a DAT catalogue first.")
                                           : QStringLiteral("Choose the folder of the collection."),
                            Title, MsgIcon::Exclamation, MsgButtons::Ok);
        return false;
    }
    auto run = std::make_shared<Run>();
    run->kind = Run::Kind::Verify;
    run->cataloguePath = path;
    run->request.catalogue = loadedFor(path);
    run->request.roots = {root};
    run->request.hash = chkSha1->isChecked() ? MatchHash::Sha1 : MatchHash::Crc;
    return start(VerifyOperation, std::move(run));
}

bool DatPage::fix()
{
    const DatView& shown = view();
    if (!shown.verified())
        return false;
    const FixPlan plan = planFix(*shown.catalogue, shown.outcome->scan, shown.outcome->verification);
    if (plan.steps.empty()) {
        Dialogs::messageBox(this, QStringLiteral("There is nothing Fix can do here: no ROM that is "
                                                 "missing from its set was found elsewhere."),
                            Title, MsgIcon::Information, MsgButtons::Ok);
        return false;
    }
    const QString question =
        QStringLiteral("Fix %1 archive(s) under %2?\n\nArchives are renamed after their sets, "
                       "entries after their ROMs, and ROMs found elsewhere are copied into "
                       "their sets' archives. Nothing is deleted or replaced.")
            .arg(plan.steps.size())
            .arg(fs::printableName(shown.folder));
    if (Dialogs::messageBox(this, question, Title, MsgIcon::Question, MsgButtons::YesNo) !=
        MsgAnswer::Yes)
        return false;
    auto run = std::make_shared<Run>();
    run->kind = Run::Kind::Fix;
    run->cataloguePath = m_loadedPath;
    run->request.catalogue = shown.catalogue;
    // The folder verified, whose plan the user agreed to, whatever the box says now.
    run->request.roots = {shown.folder};
    run->request.hash = chkSha1->isChecked() ? MatchHash::Sha1 : MatchHash::Crc;
    return start(FixOperation, std::move(run));
}

void DatPage::writeFixdat()
{
    const DatView& shown = view();
    if (!shown.verified())
        return;
    const int roms = fixdatRomCount(*shown.catalogue, shown.outcome->verification);
    if (roms == 0) {
        Dialogs::messageBox(this, QStringLiteral("Nothing is missing: there is no fixdat to write."),
                            Title, MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    const QString name = fs::fileNameOf(m_loadedPath);
    // Beside the catalogue: in the collection's folder it would be a file the next Verify
    // finds there.
    const QString suggested = fs::withSeparator(QFileInfo(m_loadedPath).absolutePath()) +
                              QStringLiteral("fixdat_") +
                              QFileInfo(name).completeBaseName() + QStringLiteral(".dat");
    // The dialog asks before it names a file that exists; only then is one replaced.
    const std::optional<QString> path = Dialogs::saveFileName(
        this, QStringLiteral("Write Fixdat"),
        QStringLiteral("DAT Catalogues|*.dat;*.xml|All Files|*.*"), suggested);
    if (!path)
        return;
    const QByteArray bytes = fixdatXml(*shown.catalogue, shown.outcome->verification);
    const bool exists = fs::statOf(*path, fs::Links::DoNotFollow).has_value();
    const int err = exists ? replaceFile(*path, bytes) : writeNewFile(*path, bytes);
    if (err != 0) {
        Dialogs::messageBox(this,
                            QStringLiteral("The fixdat could not be written to %1: %2")
                                .arg(fs::printableName(*path), QString::fromLocal8Bit(std::strerror(err))),
                            Title, MsgIcon::Exclamation, MsgButtons::Ok);
        return;
    }
    if (m_window)
        m_window->write_log(QStringLiteral("Fixdat of %1 missing ROM(s) written to %2")
                                .arg(roms)
                                .arg(fs::printableName(*path)));
}

void DatPage::batchEnded()
{
    if (!m_run)
        return;
    const std::shared_ptr<Run> run = std::exchange(m_run, nullptr);
    setBusy(false);
    if (!run->loadError.isEmpty()) {
        Dialogs::messageBox(this, run->loadError, Title, MsgIcon::Exclamation, MsgButtons::Ok);
        return;
    }
    if (!run->request.catalogue)
        return;
    m_loadedPath = run->cataloguePath;
    showView({run->request.catalogue, run->outcome, run->request.roots.value(0)});
}

// ---------------------------------------------------------------------------------------
// What the page shows

void DatPage::showView(DatView shown)
{
    // The set the user was looking at stays selected.
    const QModelIndex current = m_filter->mapToSource(lstSets->currentIndex());
    const QString selectedName =
        current.isValid() ? m_sets->index(current.row(), 0).data().toString() : QString();
    m_sets->setView(std::move(shown));
    m_roms->showSet(view(), -1);
    const int row = selectedName.isEmpty() || !view().catalogue
                        ? -1
                        : view().catalogue->findSet(selectedName);
    if (row >= 0) {
        const QModelIndex at = m_filter->mapFromSource(m_sets->index(row, 0));
        lstSets->setCurrentIndex(at);
        lstSets->scrollTo(at);
    }
    lstUnknown->clear();
    if (view().verified()) {
        const DatOutcome& outcome = *view().outcome;
        const StateColours colours = unknownColours();
        for (const FileRef& ref : outcome.verification.unknown) {
            auto* item = new QListWidgetItem(view().shownPath(ref));
            item->setBackground(colours.background);
            item->setForeground(colours.text);
            lstUnknown->addItem(item);
        }
    }
    tabDetail->setTabText(1, QStringLiteral("Unknown files (%1)").arg(lstUnknown->count()));
    QString caption = view().catalogue ? headerText(*view().catalogue) : QString();
    if (view().verified())
        caption += (view().outcome->report.stopped() ? QStringLiteral("; stopped after %L1 files")
                                                     : QStringLiteral("; %L1 files read"))
                       .arg(view().outcome->scan.size());
    lblCatalogue->setText(caption);
    updateCounts();
    updateButtons();
}

void DatPage::showSelectedSet()
{
    const QModelIndex current = m_filter->mapToSource(lstSets->currentIndex());
    m_roms->showSet(view(), current.isValid() ? current.row() : -1);
    if (current.isValid())
        tabDetail->setCurrentIndex(0);
}

void DatPage::updateCounts()
{
    const bool verified = view().verified();
    const StatusCounts counts = verified ? view().outcome->verification.counts : StatusCounts();
    const QStringList parts = datCountsText(counts).split(QStringLiteral("  "));
    for (int i = 0; i < 5; ++i) {
        lblCounts[i]->setText(parts.value(i));
        lblCounts[i]->setEnabled(verified);
    }
}

QString DatPage::countsText() const
{
    QStringList parts;
    for (QLabel* label : lblCounts)
        parts << label->text();
    return parts.join(QStringLiteral("  "));
}

QStringList DatPage::unknownFiles() const
{
    QStringList items;
    for (int i = 0; i < lstUnknown->count(); ++i)
        items << lstUnknown->item(i)->text();
    return items;
}

void DatPage::setBusy(bool busy)
{
    m_busy = busy;
    updateButtons();
}

void DatPage::updateButtons()
{
    const bool idle = !m_busy;
    const bool verified = view().verified() && !view().outcome->report.stopped();
    for (QWidget* w : {static_cast<QWidget*>(cboCatalogue), static_cast<QWidget*>(cmdLoad),
                       static_cast<QWidget*>(txtFolder), static_cast<QWidget*>(cmdFolder),
                       static_cast<QWidget*>(chkSha1)})
        w->setEnabled(idle);
    cmdVerify->setEnabled(idle && cboCatalogue->count() > 0);
    cmdFix->setEnabled(idle && verified && !view().outcome->verification.allComplete());
    cmdFixdat->setEnabled(idle && verified && !view().outcome->verification.allComplete());
    cmdStop->setEnabled(m_busy);
}

} // namespace kelmar
