// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

namespace kelmar {

// The typed filter's pattern: commas become ";" and blanks are dropped, so
// "*.zip, *.rom" lists by "*.zip;*.rom".
QString filterPattern(const QString& typed);

// The history of typed filters shown in the filter box's drop-down. Position 0 is always
// "*"; the entries stay in alphabetical order without regard to case, at most ten of them.
class FilterHistory
{
public:
    static constexpr int MaxEntries = 10;

    FilterHistory();

    // Adds text unless an entry equals it without regard to case. When the list grows past
    // its limit, the entries sorting first after "*" are dropped. Returns true when added.
    bool add(const QString& text);

    const QStringList& entries() const { return m_entries; }
    // The entries to store: every position but 0.
    QStringList stored() const { return m_entries.mid(1); }

private:
    QStringList m_entries;
};

} // namespace kelmar
