// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ProgressHost.h"

#include "cli/Commands.h"

#include <unistd.h>

namespace kelmar::cli {

ProgressHost::ProgressHost(QTextStream& out, QTextStream& err)
    : CliHost(interruptFlag(), out, err, true), m_err(err),
      m_terminal(::isatty(STDERR_FILENO) != 0)
{
}

void ProgressHost::setStatusText(const QString& text)
{
    if (!m_terminal)
        return;
    QString shown = text;
    if (shown.size() > 79)
        shown = QStringLiteral("...") + shown.right(76);
    m_err << "\r\033[K" << shown;
    m_err.flush();
}

void ProgressHost::showCreditLine()
{
    setStatusText(QString());
}

void ProgressHost::batchProgress(const BatchCount& count)
{
    setStatusText(batchCountText(count));
}

void ProgressHost::write_log(const QString& line)
{
    showCreditLine();
    CliHost::write_log(line);
}

} // namespace kelmar::cli
