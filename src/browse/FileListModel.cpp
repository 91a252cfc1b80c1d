#include "browse/FileListModel.h"

#include "fs/FolderListing.h"
#include "fs/NativeName.h"
#include "fs/Path.h"
#include "names/NameOrder.h"

#include <QDir>

#include <algorithm>
#include <cerrno>

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
        // A file below the folder ("snes/Game.zip") is filtered by its own name.
        if (m_patterns.matches(QStringView(name).mid(name.lastIndexOf(u'/') + 1)))
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
        return fs::displayName(m_shown.at(index.row()));
    return {};
}

} // namespace kelmar
