// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "names/NameOrder.h"
#include "names/Wildcard.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QStringList>

#include <vector>

namespace kelmar {

// What a test of an archive in this session found: Good, Bad, or that it could not be judged
// (encrypted without the password, a method this build cannot read).
enum class Verdict { NotTested, Good, Bad, NotJudged };

// The files of one folder that match the list's pattern, in alphabetical order without
// regard to case (or in natural order, or by the column last sorted by). Hidden files and
// folders are not listed. The folder is read once per setFolder or reload; changing the
// pattern filters what was read.
//
// Column 0 is the name, as the plain list shows it; the details view adds the size, the
// modification time and the verdict of this session's tests. Sizes and times are read only
// while details are asked for.
class FileListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { NameColumn = 0, SizeColumn, ModifiedColumn, VerdictColumn, ColumnCount };
    // The raw value a column sorts by (a size in bytes, a time in ms since the epoch).
    static constexpr int SortRole = Qt::UserRole + 1;
    // The verdict column's Verdict, as an int.
    static constexpr int VerdictRole = Qt::UserRole + 2;

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

    // Sizes and times are read (now and with each read of the folder) while this is set.
    void setDetails(bool on);
    bool details() const { return m_details; }
    // How names are ordered when the list is sorted by name (as it is unless a details
    // view sorted it by another column).
    void setNameOrder(NameOrder order);
    NameOrder nameOrder() const { return m_nameOrder; }
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }
    // Re-orders the list; a view's selection follows its files.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // What the tests of this session found, by the archive's full path (the same file under
    // its new name, when the test renamed it, under that name too).
    void setVerdict(const QString& path, Verdict verdict);
    Verdict verdict(int position) const;
    static QString verdictText(Verdict verdict);
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

    // A row's index in the name column unless told another column.
    QModelIndex index(int row, int column = NameColumn,
                      const QModelIndex& parent = QModelIndex()) const override
    {
        return QAbstractTableModel::index(row, column, parent);
    }
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

signals:
    void folderChanged();
    void patternChanged();

private:
    struct Facts
    {
        qint64 size = -1;     // -1: not read, or not readable
        qint64 modified = -1; // ms since the epoch
    };
    void readFolder();
    void readFacts();
    void applyPattern();
    void sortNames(QStringList& names) const;
    bool before(const QString& a, const QString& b) const;
    Facts factsOf(const QString& name) const { return m_facts.value(name); }

    QString m_folder;
    QString m_pattern;
    PatternSet m_patterns;
    QStringList m_all;   // every listable file of the folder, sorted
    QStringList m_shown; // those that match the pattern
    QHash<QString, Facts> m_facts;      // by name, while details are on
    QHash<QString, Verdict> m_verdicts; // by full path
    QString m_readError;
    bool m_details = false;
    NameOrder m_nameOrder = NameOrder::Plain;
    int m_sortColumn = NameColumn;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    QStringList m_unreadable;
    bool m_subFolders = false;
};

} // namespace kelmar
