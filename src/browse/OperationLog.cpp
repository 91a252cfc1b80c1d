// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/OperationLog.h"

namespace kelmar {

OperationLog::Append OperationLog::write(const QString& line)
{
    Append result = Append::Added;
    if (m_text.size() + line.size() + 2 > m_capacity) {
        // Keep about the last half, starting at a whole line, so the log never opens in the
        // middle of one. The new line is kept whatever happens: it may be the one that says
        // a file was not deleted.
        qsizetype from = m_text.size() - m_text.size() / 2;
        const qsizetype lineStart = m_text.indexOf(QStringLiteral("\r\n"), from - 2);
        from = lineStart < 0 ? m_text.size() : lineStart + 2;
        m_text.remove(0, from);
        result = Append::Trimmed;
    }
    m_text += line;
    m_text += QStringLiteral("\r\n");
    return result;
}

} // namespace kelmar
