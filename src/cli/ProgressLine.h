// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QTextStream>

namespace kelmar::cli {

// "[#####...............] 3/40 name" on stderr, redrawn in place, when stderr is a terminal.
class ProgressLine
{
public:
    ProgressLine(QTextStream& err, int total);
    bool enabled() const { return m_enabled; }
    // The next archive, numbered from 1, has started.
    void step(const QString& path);
    // Wipes the line, so what follows starts on a clean one.
    void clear();

private:
    QTextStream& m_err;
    int m_total;
    int m_done = 0;
    bool m_enabled;
};

} // namespace kelmar::cli
