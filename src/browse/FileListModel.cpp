#include "browse/FileListModel.h"

#include "fs/Path.h"
#include "names/NameOrder.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>

namespace kelmar {

FileListModel::FileListModel(QObject* parent) : QAbstractListModel(parent) {}

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

void FileListModel::readFolder()
{
    m_all.clear();
    m_readError.clear();
    if (m_folder.isEmpty())
        return;
    QFileInfo info(m_folder);
    if (!info.isDir()) {
        m_readError = tr("The folder %1 does not exist.").arg(QDir::toNativeSeparators(m_folder));
        return;
    }
    if (!info.isReadable() || !info.isExecutable()) {
        m_readError = tr("The folder %1 cannot be read.").arg(QDir::toNativeSeparators(m_folder));
        return;
    }
    // QDir::Files without QDir::Hidden leaves out dot files; QDir::System would add devices
    // and sockets, which are no one's ROMs.
    QDirIterator it(m_folder, QDir::Files);
    while (it.hasNext()) {
        it.next();
        m_all.append(it.fileName());
    }
    sortFileNames(m_all);
}

void FileListModel::applyPattern()
{
    if (m_patterns.matchesAll()) {
        m_shown = m_all;
        return;
    }
    m_shown.clear();
    for (const QString& name : std::as_const(m_all)) {
        if (m_patterns.matches(name))
            m_shown.append(name);
    }
}

int FileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_shown.size());
}

QVariant FileListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_shown.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return m_shown.at(index.row());
    return {};
}

} // namespace kelmar
