// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace kelmar {

// True when name matches pattern without regard to case: "*" stands for any run of
// characters, "?" for exactly one; every other character, "[" and "\" included, stands for
// itself.
bool wildcardMatch(QStringView pattern, QStringView name);

// True when pattern holds "*" or "?".
bool hasWildcards(QStringView pattern);

// A list of wildcard patterns separated by ";", as the file list and the ROM filter use them.
// Empty parts are ignored; a set without any non-empty part matches every name.
class PatternSet
{
public:
    PatternSet() = default;
    explicit PatternSet(const QString& patterns);

    bool matches(QStringView name) const;
    bool matchesAll() const { return m_patterns.isEmpty(); }
    const QStringList& patterns() const { return m_patterns; }

private:
    QStringList m_patterns;
};

} // namespace kelmar
