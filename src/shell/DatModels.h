// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalogue/Catalogue.h"
#include "catalogue/Verification.h"
#include "maintenance/DatBatches.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QSortFilterProxyModel>

#include <memory>

namespace kelmar {

// The colours the DAT page shows a state in: a light background and a dark text, one pair
// per set status (and one for what matches nothing).
struct StateColours
{
    QColor background;
    QColor text;
};
StateColours setStatusColours(catalogue::SetStatus status);
StateColours romStateColours(catalogue::RomState state);
StateColours unknownColours();

// A catalogue and, once verified, what the collection holds of it: the one thing the DAT
// page's models read. A verification that does not belong to the catalogue is never shown.
struct DatView
{
    std::shared_ptr<const catalogue::Catalogue> catalogue;
    std::shared_ptr<const DatOutcome> outcome; // empty until verified
    QString folder; // what was verified: paths below it are shown from there
    bool verified() const { return catalogue && outcome; }
    // Where a file of the scan was found, as the page shows it.
    QString shownPath(catalogue::FileRef ref) const;
};

// The catalogue's sets, one a row, with their status once verified.
class DatSetModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { NameColumn, StatusColumn, RomsColumn, DescriptionColumn, ColumnCount };
    // The set's status as an int (SetStatus), -1 before a verification.
    static constexpr int StatusRole = Qt::UserRole + 1;
    // What the column sorts by: statuses in their order, ROM counts by what is there.
    static constexpr int SortRole = Qt::UserRole + 2;

    explicit DatSetModel(QObject* parent = nullptr);

    void setView(DatView view);
    const DatView& view() const { return m_view; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // "found / listed" for set row: ROMs present (under any name, anywhere) of those a good
    // copy holds; nodump ones are not counted.
    std::pair<int, int> romsFound(int row) const;

private:
    DatView m_view;
};

// The sets as the page lists them: those whose name or description holds the filter text
// (any case), of the chosen status.
class DatSetFilter : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    // What the status filter keeps.
    enum class Show { All, Complete, Fixable, Incomplete, Missing, NotComplete };

    explicit DatSetFilter(QObject* parent = nullptr);
    void setText(const QString& text);
    void setShow(Show show);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    QString m_text;
    Show m_show = Show::All;
};

// The ROMs (and disks) of one set, with each one's state and where it was found.
class DatRomModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { NameColumn, SizeColumn, CrcColumn, StateColumn, FoundColumn, ColumnCount };

    explicit DatRomModel(QObject* parent = nullptr);

    // set -1 shows nothing.
    void showSet(const DatView& view, int set);
    int set() const { return m_set; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QVariant romData(int row, int column, int role) const;
    QVariant diskData(int row, int column, int role) const;

    DatView m_view;
    int m_set = -1;
};

// "Complete 120  Fixable 3  Incomplete 2  Missing 40  Unknown 5".
QString datCountsText(const catalogue::StatusCounts& counts);

} // namespace kelmar
