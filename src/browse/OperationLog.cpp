#include "browse/OperationLog.h"

namespace kelmar {

OperationLog::Append OperationLog::write(const QString& line)
{
    if (m_text.size() + line.size() + 2 <= m_capacity) {
        m_text += line;
        m_text += QStringLiteral("\r\n");
        return Append::Added;
    }
    // Keep the last half; an odd length rounds its half to the even neighbour.
    const qsizetype length = m_text.size();
    qsizetype half = length / 2;
    if (length % 2 == 1 && half % 2 == 1)
        ++half;
    m_text = m_text.right(half);
    return Append::Trimmed;
}

} // namespace kelmar
