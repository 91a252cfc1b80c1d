// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/Selection.h"

#include "fs/NativeName.h"
#include "fs/Path.h"
#include "fs/PathStatus.h"
#include "names/basMain.h"

#include <QDir>
#include <QFile>
#include <QItemSelectionModel>

#include <cmath>

namespace kelmar {

std::vector<char> selectedFlags(const QItemSelectionModel& selection, int rowCount)
{
    std::vector<char> flags(std::size_t(std::max(rowCount, 0)), 0);
    // Walk the ranges rather than selectedIndexes(): that builds one index per selected row.
    const QItemSelection ranges = selection.selection();
    for (const QItemSelectionRange& range : ranges) {
        // A row is selected when its name is: the name column holds the row's selection.
        if (range.left() > 0)
            continue;
        int top = std::max(range.top(), 0);
        int bottom = std::min(range.bottom(), rowCount - 1);
        for (int row = top; row <= bottom; ++row)
            flags[std::size_t(row)] = 1;
    }
    return flags;
}

namespace {

QItemSelection wholeList(const QItemSelectionModel& selection, int rowCount)
{
    const QAbstractItemModel* model = selection.model();
    // Whole rows: a details view shows a selected row's every column as selected.
    return QItemSelection(model->index(0, 0),
                          model->index(rowCount - 1, std::max(model->columnCount() - 1, 0)));
}

} // namespace

void selectAllRows(QItemSelectionModel& selection, int rowCount)
{
    if (rowCount <= 0 || !selection.model())
        return;
    selection.select(wholeList(selection, rowCount), QItemSelectionModel::ClearAndSelect);
}

void selectNoRows(QItemSelectionModel& selection)
{
    selection.clearSelection();
}

void reverseRowSelection(QItemSelectionModel& selection, int rowCount)
{
    if (rowCount <= 0 || !selection.model())
        return;
    // Row by row, not cell by cell: a row with any cell selected counts as selected, and
    // becomes wholly unselected.
    const std::vector<char> flags = selectedFlags(selection, rowCount);
    const QAbstractItemModel* model = selection.model();
    const int lastColumn = std::max(model->columnCount() - 1, 0);
    QItemSelection reversed;
    for (int row = 0; row < rowCount; ++row) {
        if (flags[std::size_t(row)])
            continue;
        const int first = row;
        while (row + 1 < rowCount && !flags[std::size_t(row + 1)])
            ++row;
        reversed.append(QItemSelectionRange(model->index(first, 0), model->index(row, lastColumn)));
    }
    selection.select(reversed, QItemSelectionModel::ClearAndSelect);
}

SelectionTotal measureSelection(const QString& folder, const QStringList& names,
                                const std::vector<char>& selected)
{
    QString prefix = fs::withSeparator(folder);
    SelectionTotal total;
    const int n = int(std::min<std::size_t>(selected.size(), std::size_t(names.size())));
    for (int i = 0; i < n; ++i) {
        if (!selected[std::size_t(i)])
            continue;
        ++total.files;
        // A bare stat per file: the counter runs on every click, over lists of tens of
        // thousands of files.
        const std::optional<fs::PathStatus> st =
            fs::statOf(prefix + names.at(i), fs::Links::Follow);
        if (st && st->kind == fs::FileKind::File)
            total.bytes += std::int64_t(st->size);
    }
    return total;
}

QString selectionCounterText(const SelectionTotal& total, const QLocale& locale)
{
    QString text = total.files == 1
                       ? QStringLiteral("1 File Selected")
                       : QString::number(total.files) + QStringLiteral(" Files Selected");
    // Half a kilobyte rounds up, as the counter always has.
    const auto kb = static_cast<qlonglong>(std::llround(double(total.bytes) / 1000.0));
    return text + QStringLiteral(" (") + locale.toString(kb) + QStringLiteral(" Kb)    ");
}

} // namespace kelmar
