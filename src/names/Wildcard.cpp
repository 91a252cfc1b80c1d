// SPDX-License-Identifier: GPL-3.0-or-later
#include "names/Wildcard.h"

namespace kelmar {

namespace {

bool sameLetter(QChar a, QChar b)
{
    return a == b || a.toCaseFolded() == b.toCaseFolded();
}

} // namespace

bool wildcardMatch(QStringView pattern, QStringView name)
{
    // Greedy matching with one back-track point for the last "*": linear for the patterns
    // people type, and never exponential.
    qsizetype p = 0, n = 0;
    qsizetype starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == u'?' || sameLetter(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

bool hasWildcards(QStringView pattern)
{
    return pattern.contains(u'*') || pattern.contains(u'?');
}

PatternSet::PatternSet(const QString& patterns)
{
    const auto parts = patterns.split(u';', Qt::SkipEmptyParts);
    for (const QString& part : parts)
        m_patterns.append(part);
}

bool PatternSet::matches(QStringView name) const
{
    if (m_patterns.isEmpty())
        return true;
    for (const QString& pattern : m_patterns) {
        if (wildcardMatch(pattern, name))
            return true;
    }
    return false;
}

} // namespace kelmar
