// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/EntryMask.h"

#include "names/Wildcard.h"

namespace kelmar {

QStringList EntryMask::lines(const QString& mask)
{
    QStringList result;
    QString text = mask;
    text.replace(u'\n', u'\r');
    for (const QString& line : text.split(u'\r', Qt::SkipEmptyParts)) {
        if (!line.trimmed().isEmpty())
            result.append(line);
    }
    return result;
}

EntryMask::EntryMask(const QString& mask)
{
    for (const QString& line : lines(mask)) {
        if (line.startsWith(u'<')) {
            const QString pattern = line.mid(1);
            if (!pattern.isEmpty())
                m_excludes.append(pattern);
        } else {
            m_includes.append(line);
        }
    }
}

bool EntryMask::matchesAny(const QStringList& patterns, QStringView name)
{
    const qsizetype slash = name.lastIndexOf(u'/', name.endsWith(u'/') ? name.size() - 2 : -1);
    const QStringView base = slash < 0 ? name : name.mid(slash + 1);
    for (const QString& p : patterns) {
        if (wildcardMatch(p, name) || wildcardMatch(p, base))
            return true;
    }
    return false;
}

bool EntryMask::selects(QStringView entryName) const
{
    if (!m_includes.isEmpty() && !matchesAny(m_includes, entryName))
        return false;
    return !matchesAny(m_excludes, entryName);
}

} // namespace kelmar
