// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/CliHost.h"

namespace kelmar::cli {

// The command line's sink and questions with the window's status panel as a progress line on
// stderr, redrawn in place, when stderr is a terminal.
class ProgressHost : public CliHost
{
public:
    ProgressHost(QTextStream& out, QTextStream& err);

    void setStatusText(const QString& text) override;
    void showCreditLine() override;
    void batchProgress(const BatchCount& count) override;
    void write_log(const QString& line) override;

private:
    QTextStream& m_err;
    bool m_terminal;
};

} // namespace kelmar::cli
