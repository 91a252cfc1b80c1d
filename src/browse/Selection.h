// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

class QItemSelectionModel;

namespace kelmar {

// One flag per row of the list: 1 when the row's first (name) column is selected.
std::vector<char> selectedFlags(const QItemSelectionModel& selection, int rowCount);

// Selects every row, none, or inverts each row's selection, as one change of the selection
// model (one selectionChanged signal, however long the list).
void selectAllRows(QItemSelectionModel& selection, int rowCount);
void selectNoRows(QItemSelectionModel& selection);
void reverseRowSelection(QItemSelectionModel& selection, int rowCount);

struct SelectionTotal
{
    int files = 0;
    std::int64_t bytes = 0;
};

// Counts the selected names of folder and adds up their sizes. A file that vanished or
// cannot be measured counts, with size 0.
SelectionTotal measureSelection(const QString& folder, const QStringList& names,
                                const std::vector<char>& selected);

// The counter of status panel 2: "2 Files Selected (4 Kb)    " (a Kb is 1000 bytes,
// rounded, with the locale's digit grouping; four blanks at the end).
QString selectionCounterText(const SelectionTotal& total, const QLocale& locale = QLocale());

} // namespace kelmar
