// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/FilterHistory.h"

#include <algorithm>

namespace kelmar {

QString filterPattern(const QString& typed)
{
    QString pattern = typed;
    pattern.replace(u',', u';');
    pattern.remove(u' ');
    return pattern;
}

FilterHistory::FilterHistory() : m_entries{QStringLiteral("*")} {}

bool FilterHistory::add(const QString& text)
{
    for (const QString& entry : std::as_const(m_entries)) {
        if (entry.compare(text, Qt::CaseInsensitive) == 0)
            return false;
    }
    // A sorted list box inserts before the first entry that sorts after the new one.
    auto it = std::upper_bound(m_entries.begin(), m_entries.end(), text,
                               [](const QString& a, const QString& b) {
                                   return a.compare(b, Qt::CaseInsensitive) < 0;
                               });
    m_entries.insert(it, text);
    while (m_entries.size() > MaxEntries)
        m_entries.removeAt(1);
    return true;
}

} // namespace kelmar
