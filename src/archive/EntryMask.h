// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace kelmar {

// The selection a fileMask makes among the entries of an archive: lines separated by
// carriage returns (line feeds are tolerated), each a wildcard pattern; a line beginning with
// "<" excludes what its pattern matches. No include line, or a "*" line, selects everything
// not excluded. A pattern matches an entry when it matches its whole stored name or the name
// after its last "/", without regard to case.
class EntryMask
{
public:
    explicit EntryMask(const QString& mask);

    bool selects(QStringView entryName) const;
    const QStringList& includes() const { return m_includes; }
    const QStringList& excludes() const { return m_excludes; }

    // The lines of a mask, without empty ones.
    static QStringList lines(const QString& mask);

private:
    static bool matchesAny(const QStringList& patterns, QStringView name);

    QStringList m_includes;
    QStringList m_excludes;
};

} // namespace kelmar
