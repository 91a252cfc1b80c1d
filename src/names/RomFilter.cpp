// SPDX-License-Identifier: GPL-3.0-or-later
#include "names/RomFilter.h"

namespace kelmar::RomFilter {

QString fromEntries(const QStringList& entries)
{
    QString filter;
    for (const QString& entry : entries)
        filter += QStringLiteral("*.") + entry + u';';
    if (!filter.isEmpty())
        filter.chop(1);
    return filter;
}

QStringList toEntries(const QString& filter)
{
    QStringList entries;
    QString entry;
    for (QChar c : filter) {
        if (c == u';') {
            entries.append(entry);
            entry.clear();
        } else if (c != u'.' && c != u'*') {
            entry += c;
        }
    }
    if (!entry.isEmpty())
        entries.append(entry);
    return entries;
}

QString cleanTyped(const QString& typed)
{
    QString kept;
    for (QChar c : typed) {
        const QChar upper = c.toUpper();
        if ((upper >= u'0' && upper <= u'9') || (upper >= u'A' && upper <= u'Z'))
            kept += upper;
    }
    return kept;
}

QString extractMask(const QString& filter)
{
    QString mask = filter;
    return mask.replace(u';', QChar(13));
}

QString removeMask(const QString& filter)
{
    QString mask = filter;
    mask.replace(u';', QChar(13));
    mask.replace(QStringLiteral("*."), QStringLiteral("<*."));
    return QStringLiteral("*") + QChar(13) + mask;
}

} // namespace kelmar::RomFilter
