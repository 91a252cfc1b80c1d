// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ProgressLine.h"

#include "fs/NativeName.h"
#include "names/basMain.h"

#include <unistd.h>

namespace kelmar::cli {

ProgressLine::ProgressLine(QTextStream& err, int total)
    : m_err(err), m_total(total), m_enabled(::isatty(STDERR_FILENO) != 0)
{
}

void ProgressLine::step(const QString& path)
{
    ++m_done;
    if (!m_enabled)
        return;
    QString name = fs::displayName(basMain::GetFileName(path));
    if (name.size() > 40)
        name = name.left(37) + QStringLiteral("...");
    const int filled = m_total > 0 ? (m_done - 1) * 20 / m_total : 0;
    m_err << "\r\033[K[" << QString(filled, u'#') << QString(20 - filled, u'.') << "] " << m_done
          << '/' << m_total << ' ' << name;
    m_err.flush();
}

void ProgressLine::clear()
{
    if (!m_enabled)
        return;
    m_err << "\r\033[K";
    m_err.flush();
}

} // namespace kelmar::cli
