// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/DatModels.h"

#include "fs/NativeName.h"
#include "fs/Path.h"

#include <QBrush>

namespace kelmar {

using namespace catalogue;

namespace {

QString statusCaption(SetStatus status)
{
    QString name = setStatusName(status);
    name[0] = name[0].toUpper();
    return name;
}

QVariant colourRole(const StateColours& colours, int role)
{
    if (role == Qt::BackgroundRole)
        return QBrush(colours.background);
    if (role == Qt::ForegroundRole)
        return QBrush(colours.text);
    return {};
}

bool romFound(RomState state)
{
    return state == RomState::Ok || state == RomState::Misnamed || state == RomState::Elsewhere;
}

} // namespace

StateColours setStatusColours(SetStatus status)
{
    switch (status) {
    case SetStatus::Complete:
        return {QColor(0xc6, 0xef, 0xce), QColor(0x00, 0x5a, 0x14)};
    case SetStatus::Fixable:
        return {QColor(0xff, 0xe8, 0x9a), QColor(0x80, 0x4a, 0x00)};
    case SetStatus::Incomplete:
        return {QColor(0xff, 0xc2, 0x96), QColor(0x9c, 0x26, 0x00)};
    case SetStatus::Missing:
        return {QColor(0xe2, 0xe2, 0xe2), QColor(0xa0, 0x10, 0x10)};
    }
    return {};
}

StateColours romStateColours(RomState state)
{
    switch (state) {
    case RomState::Ok:
        return setStatusColours(SetStatus::Complete);
    case RomState::Misnamed:
    case RomState::Elsewhere:
        return setStatusColours(SetStatus::Fixable);
    case RomState::Damaged:
        return setStatusColours(SetStatus::Incomplete);
    case RomState::Missing:
        return setStatusColours(SetStatus::Missing);
    case RomState::NoDump:
        return {QColor(0xf2, 0xf2, 0xf2), QColor(0x60, 0x60, 0x60)};
    }
    return {};
}

StateColours unknownColours()
{
    return {QColor(0xdc, 0xe4, 0xf4), QColor(0x20, 0x34, 0x80)};
}

QString DatView::shownPath(FileRef ref) const
{
    QString path = foundPath(outcome->scan, ref);
    const QString below = fs::withSeparator(folder);
    if (!folder.isEmpty() && path.startsWith(below))
        path.remove(0, below.size());
    return fs::printableName(path);
}

QString datCountsText(const StatusCounts& counts)
{
    return QStringLiteral("Complete %1  Fixable %2  Incomplete %3  Missing %4  Unknown %5")
        .arg(counts.complete)
        .arg(counts.fixable)
        .arg(counts.incomplete)
        .arg(counts.missing)
        .arg(counts.unknown);
}

// ---------------------------------------------------------------------------------------
// The sets

DatSetModel::DatSetModel(QObject* parent) : QAbstractTableModel(parent) {}

void DatSetModel::setView(DatView view)
{
    beginResetModel();
    m_view = std::move(view);
    // A verification made against another catalogue (or cut short) must not be read by row.
    if (m_view.outcome && (!m_view.catalogue ||
                           m_view.outcome->verification.sets.size() != m_view.catalogue->sets.size()))
        m_view.outcome.reset();
    endResetModel();
}

int DatSetModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_view.catalogue ? 0 : int(m_view.catalogue->sets.size());
}

int DatSetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

std::pair<int, int> DatSetModel::romsFound(int row) const
{
    const CatalogueSet& set = m_view.catalogue->sets[size_t(row)];
    int listed = 0;
    int found = 0;
    for (size_t i = 0; i < set.roms.size(); ++i) {
        if (set.roms[i].status == DumpStatus::NoDump)
            continue;
        ++listed;
        if (m_view.verified() && romFound(m_view.outcome->verification.sets[size_t(row)].roms[i].state))
            ++found;
    }
    return {found, listed};
}

QVariant DatSetModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !m_view.catalogue)
        return {};
    const int row = index.row();
    const CatalogueSet& set = m_view.catalogue->sets[size_t(row)];
    const int status =
        m_view.verified() ? int(m_view.outcome->verification.sets[size_t(row)].status) : -1;
    if (role == StatusRole)
        return status;
    if ((role == Qt::BackgroundRole || role == Qt::ForegroundRole) && status >= 0)
        return colourRole(setStatusColours(SetStatus(status)), role);
    const bool sorting = role == SortRole;
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole && !sorting)
        return {};
    switch (index.column()) {
    case NameColumn:
        return set.name;
    case StatusColumn:
        if (sorting)
            return status;
        return status < 0 ? QStringLiteral("not verified") : statusCaption(SetStatus(status));
    case RomsColumn: {
        const auto [found, listed] = romsFound(row);
        if (sorting)
            return listed == 0 ? 2.0 : double(found) / listed + listed * 1e-9;
        return m_view.verified() ? QStringLiteral("%1 / %2").arg(found).arg(listed)
                                 : QString::number(listed);
    }
    case DescriptionColumn:
        return set.description;
    }
    return {};
}

QVariant DatSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case NameColumn:
        return QStringLiteral("Set");
    case StatusColumn:
        return QStringLiteral("Status");
    case RomsColumn:
        return QStringLiteral("ROMs");
    case DescriptionColumn:
        return QStringLiteral("Description");
    }
    return {};
}

DatSetFilter::DatSetFilter(QObject* parent) : QSortFilterProxyModel(parent)
{
    setSortRole(DatSetModel::SortRole);
    setSortCaseSensitivity(Qt::CaseInsensitive);
    setDynamicSortFilter(false);
}

void DatSetFilter::setText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    invalidateFilter();
}

void DatSetFilter::setShow(Show show)
{
    if (show == m_show)
        return;
    m_show = show;
    invalidateFilter();
}

bool DatSetFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    const QAbstractItemModel* model = sourceModel();
    const int status = model->index(sourceRow, 0, sourceParent).data(DatSetModel::StatusRole).toInt();
    switch (m_show) {
    case Show::All:
        break;
    case Show::Complete:
    case Show::Fixable:
    case Show::Incomplete:
    case Show::Missing:
        if (status != int(m_show) - 1)
            return false;
        break;
    case Show::NotComplete:
        if (status < 0 || status == int(SetStatus::Complete))
            return false;
        break;
    }
    if (m_text.isEmpty())
        return true;
    for (int column : {int(DatSetModel::NameColumn), int(DatSetModel::DescriptionColumn)}) {
        if (model->index(sourceRow, column, sourceParent)
                .data()
                .toString()
                .contains(m_text, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------
// The ROMs of a set

DatRomModel::DatRomModel(QObject* parent) : QAbstractTableModel(parent) {}

void DatRomModel::showSet(const DatView& view, int set)
{
    beginResetModel();
    m_view = view;
    m_set = view.catalogue && set >= 0 && size_t(set) < view.catalogue->sets.size() ? set : -1;
    if (m_view.outcome && (!m_view.catalogue ||
                           m_view.outcome->verification.sets.size() != m_view.catalogue->sets.size()))
        m_view.outcome.reset();
    endResetModel();
}

int DatRomModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || m_set < 0)
        return 0;
    const CatalogueSet& set = m_view.catalogue->sets[size_t(m_set)];
    return int(set.roms.size() + set.disks.size());
}

int DatRomModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DatRomModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || m_set < 0)
        return {};
    const int roms = int(m_view.catalogue->sets[size_t(m_set)].roms.size());
    return index.row() < roms ? romData(index.row(), index.column(), role)
                              : diskData(index.row() - roms, index.column(), role);
}

QVariant DatRomModel::romData(int row, int column, int role) const
{
    const Rom& rom = m_view.catalogue->sets[size_t(m_set)].roms[size_t(row)];
    std::optional<RomCheck> check;
    if (m_view.verified())
        check = m_view.outcome->verification.sets[size_t(m_set)].roms[size_t(row)];
    if (rom.status == DumpStatus::NoDump)
        check = RomCheck{RomState::NoDump, {}};
    if (check && (role == Qt::BackgroundRole || role == Qt::ForegroundRole))
        return colourRole(romStateColours(check->state), role);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (column) {
    case NameColumn:
        return rom.name;
    case SizeColumn:
        return rom.size < 0 ? QString() : QStringLiteral("%L1").arg(rom.size);
    case CrcColumn:
        return rom.hasCrc ? crcText(rom.crc) : QString();
    case StateColumn:
        return check ? romStateName(check->state) : QString();
    case FoundColumn:
        if (!check || !check->found.valid())
            return QString();
        return m_view.shownPath(check->found);
    }
    return {};
}

QVariant DatRomModel::diskData(int row, int column, int role) const
{
    const Disk& disk = m_view.catalogue->sets[size_t(m_set)].disks[size_t(row)];
    if (role == Qt::ForegroundRole)
        return QBrush(QColor(0x60, 0x60, 0x60));
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    if (column == NameColumn)
        return disk.name;
    if (column == StateColumn)
        return QStringLiteral("disk (not checked)");
    return QString();
}

QVariant DatRomModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case NameColumn:
        return QStringLiteral("ROM");
    case SizeColumn:
        return QStringLiteral("Size");
    case CrcColumn:
        return QStringLiteral("CRC-32");
    case StateColumn:
        return QStringLiteral("State");
    case FoundColumn:
        return QStringLiteral("Found in");
    }
    return {};
}

} // namespace kelmar
