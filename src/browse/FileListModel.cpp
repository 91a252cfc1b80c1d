// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/FileListModel.h"

#include "fs/FileIdentity.h"
#include "fs/FolderListing.h"
#include "fs/NativeName.h"
#include "fs/Path.h"

#include <QDateTime>
#include <QDir>
#include <QLocale>

#include <algorithm>
#include <cerrno>

namespace kelmar {

namespace {

// Ascending by verdict puts what needs looking at first.
int verdictRank(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Bad:
        return 0;
    case Verdict::NotJudged:
        return 1;
    case Verdict::Good:
        return 2;
    default:
        return 3;
    }
}

QLocale groupingLocale()
{
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale;
}

} // namespace

FileListModel::FileListModel(QObject* parent) : QAbstractTableModel(parent) {}

void FileListModel::setFolder(const QString& folder)
{
    beginResetModel();
    m_folder = folder;
    readFolder();
    applyPattern();
    endResetModel();
    emit folderChanged();
}

QString FileListModel::fullPath(int position) const
{
    return fs::withSeparator(m_folder) + m_shown.at(position);
}

void FileListModel::setPattern(const QString& pattern)
{
    beginResetModel();
    m_pattern = pattern;
    m_patterns = PatternSet(pattern);
    applyPattern();
    endResetModel();
    emit patternChanged();
}

void FileListModel::reload()
{
    beginResetModel();
    readFolder();
    applyPattern();
    endResetModel();
}

void FileListModel::setDetails(bool on)
{
    if (on == m_details)
        return;
    m_details = on;
    if (!on) {
        m_facts.clear();
        // The plain list has no columns to sort by but the name.
        sort(NameColumn, Qt::AscendingOrder);
        return;
    }
    readFacts();
    sort(m_sortColumn, m_sortOrder);
    if (!m_shown.isEmpty())
        emit dataChanged(index(0, SizeColumn), index(count() - 1, ModifiedColumn));
}

void FileListModel::setNameOrder(NameOrder order)
{
    if (order == m_nameOrder)
        return;
    m_nameOrder = order;
    sort(m_sortColumn, m_sortOrder);
}

void FileListModel::setIncludeSubFolders(bool include)
{
    if (include == m_subFolders)
        return;
    m_subFolders = include;
    reload();
    emit folderChanged();
}

void FileListModel::readFolder()
{
    m_all.clear();
    m_facts.clear();
    m_readError.clear();
    m_unreadable.clear();
    if (m_folder.isEmpty())
        return;
    int error = 0;
    const bool read = m_subFolders ? fs::listFilesBelow(m_folder, &m_all, &m_unreadable, &error)
                                   : fs::listFolderFiles(m_folder, &m_all, false, &error);
    if (!read) {
        const QString shown = QDir::toNativeSeparators(fs::displayName(m_folder));
        m_readError = error == ENOENT || error == ENOTDIR
                          ? tr("The folder %1 does not exist.").arg(shown)
                          : tr("The folder %1 cannot be read.").arg(shown);
        return;
    }
    readFacts();
    sortNames(m_all);
}

void FileListModel::readFacts()
{
    if (!m_details)
        return;
    const QString prefix = fs::withSeparator(m_folder);
    m_facts.reserve(m_all.size());
    for (const QString& name : std::as_const(m_all)) {
        Facts facts;
        if (const auto id = fs::FileIdentity::ofPath(fs::nativeName(prefix + name), true)) {
            facts.size = id->size;
            facts.modified = id->mtimeNs / 1000000;
        }
        m_facts.insert(name, facts);
    }
}

bool FileListModel::before(const QString& a, const QString& b) const
{
    const bool down = m_sortOrder == Qt::DescendingOrder;
    qint64 x = 0;
    qint64 y = 0;
    switch (m_sortColumn) {
    case SizeColumn:
        x = factsOf(a).size;
        y = factsOf(b).size;
        break;
    case ModifiedColumn:
        x = factsOf(a).modified;
        y = factsOf(b).modified;
        break;
    case VerdictColumn:
        x = verdictRank(m_verdicts.value(fs::withSeparator(m_folder) + a));
        y = verdictRank(m_verdicts.value(fs::withSeparator(m_folder) + b));
        break;
    default: {
        const int c = compareNames(a, b, m_nameOrder);
        return down ? c > 0 : c < 0;
    }
    }
    // Files alike in the column keep the name order.
    if (x != y)
        return down ? x > y : x < y;
    return compareNames(a, b, m_nameOrder) < 0;
}

void FileListModel::sortNames(QStringList& names) const
{
    std::stable_sort(names.begin(), names.end(),
                     [this](const QString& a, const QString& b) { return before(a, b); });
}

void FileListModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    m_sortColumn = column;
    m_sortOrder = order;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList was = persistentIndexList();
    QStringList wasNames;
    for (const QModelIndex& i : was)
        wasNames.append(i.row() < m_shown.size() ? m_shown.at(i.row()) : QString());
    sortNames(m_all);
    applyPattern();
    QHash<QString, int> rowOf;
    rowOf.reserve(m_shown.size());
    for (int row = 0; row < m_shown.size(); ++row)
        rowOf.insert(m_shown.at(row), row);
    QModelIndexList now;
    for (int k = 0; k < was.size(); ++k) {
        const int row = rowOf.value(wasNames.at(k), -1);
        now.append(row < 0 ? QModelIndex() : index(row, was.at(k).column()));
    }
    changePersistentIndexList(was, now);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void FileListModel::setVerdict(const QString& path, Verdict verdict)
{
    m_verdicts.insert(path, verdict);
    const QString prefix = fs::withSeparator(m_folder);
    if (!path.startsWith(prefix))
        return;
    const int row = int(m_shown.indexOf(path.mid(prefix.size())));
    if (row >= 0)
        emit dataChanged(index(row, VerdictColumn), index(row, VerdictColumn));
}

Verdict FileListModel::verdict(int position) const
{
    return m_verdicts.value(fullPath(position), Verdict::NotTested);
}

QString FileListModel::verdictText(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Good:
        return tr("Good");
    case Verdict::Bad:
        return tr("Bad");
    case Verdict::NotJudged:
        return tr("Could not test");
    default:
        return tr("Not tested");
    }
}

void FileListModel::applyPattern()
{
    if (m_patterns.matchesAll()) {
        m_shown = m_all;
        return;
    }
    m_shown.clear();
    for (const QString& name : std::as_const(m_all)) {
        // A file below the folder ("snes/Game.zip") is filtered by its own name.
        if (m_patterns.matches(QStringView(name).mid(name.lastIndexOf(u'/') + 1)))
            m_shown.append(name);
    }
}

int FileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_shown.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_shown.size())
        return {};
    const QString& name = m_shown.at(index.row());
    const int column = index.column();
    if (column == NameColumn) {
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
            return fs::displayName(name);
        return {};
    }
    if (column == VerdictColumn) {
        const Verdict v = verdict(index.row());
        if (role == Qt::DisplayRole)
            return verdictText(v);
        if (role == SortRole)
            return verdictRank(v);
        if (role == VerdictRole)
            return int(v);
        return {};
    }
    const Facts facts = factsOf(name);
    const qint64 value = column == SizeColumn ? facts.size : facts.modified;
    if (role == SortRole)
        return value;
    if (role == Qt::TextAlignmentRole)
        return column == SizeColumn ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter)) : QVariant();
    if (role != Qt::DisplayRole || value < 0)
        return {};
    if (column == SizeColumn)
        return groupingLocale().toString(value);
    // Compact, and in the same order whatever the locale: a column of them reads as sorted.
    return QDateTime::fromMSecsSinceEpoch(value).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case NameColumn:
        return tr("Name");
    case SizeColumn:
        return tr("Size");
    case ModifiedColumn:
        return tr("Modified");
    case VerdictColumn:
        return tr("Test");
    default:
        return {};
    }
}

} // namespace kelmar
