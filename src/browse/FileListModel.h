#pragma once

#include "names/Wildcard.h"

#include <QAbstractListModel>
#include <QStringList>

namespace kelmar {

// The files of one folder that match the list's pattern, in alphabetical order without
// regard to case. Hidden files and folders are not listed. The folder is read once per
// setFolder or reload; changing the pattern filters what was read.
class FileListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    explicit FileListModel(QObject* parent = nullptr);

    // The folder is kept as given, without a trailing separator unless it is the root.
    void setFolder(const QString& folder);
    QString folder() const { return m_folder; }
    // A full path: the folder, a separator when it does not end with one, the name.
    QString fullPath(int position) const;

    // Wildcard patterns separated by ";". An empty pattern lists every file.
    void setPattern(const QString& pattern);
    QString pattern() const { return m_pattern; }

    // Reads the folder again. The selection of any view is cleared.
    void reload();

    // With sub-folders, the list holds the files of the folder and of every folder below it,
    // named by their paths relative to it ("snes/Game.zip"); links to folders are not
    // followed. Reads the folder again when it changes.
    void setIncludeSubFolders(bool include);
    bool includeSubFolders() const { return m_subFolders; }
    // The sub-folders the last read could not read (full paths); the rest was listed.
    const QStringList& unreadableFolders() const { return m_unreadable; }

    int count() const { return int(m_shown.size()); }
    const QString& name(int position) const { return m_shown.at(position); }
    const QStringList& names() const { return m_shown; }
    // Why the last read of the folder found nothing, or empty when it went well.
    QString readError() const { return m_readError; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

signals:
    void folderChanged();
    void patternChanged();

private:
    void readFolder();
    void applyPattern();

    QString m_folder;
    QString m_pattern;
    PatternSet m_patterns;
    QStringList m_all;   // every listable file of the folder, sorted
    QStringList m_shown; // those that match the pattern
    QString m_readError;
    QStringList m_unreadable;
    bool m_subFolders = false;
};

} // namespace kelmar
