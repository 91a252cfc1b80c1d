// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "maintenance/BatchProgress.h"

#include <QTextStream>

#include <atomic>
#include <functional>

namespace kelmar::cli {

// The command line's progress sink and questions: log lines on stdout, messages on stderr,
// and the stop flag that Ctrl+C sets. Questions are answered by their kind: by `questions`
// when a command set it, else with the safe answer (No, Cancel), so nothing waits for a
// keyboard. Everything else a batch needs comes in its request, made from the flags.
class CliHost : public ProgressSink, public BatchQuestions
{
public:
    CliHost(const std::atomic<bool>& interrupted, QTextStream& out, QTextStream& err,
            bool echoLog);

    void write_log(const QString& line) override;
    void clear_log() override {}
    void setStatusText(const QString&) override {}
    void showCreditLine() override {}
    // The progress line of each command counts the archives as they are taken up.
    void batchProgress(const BatchCount&) override {}
    // Ctrl+C, or a command that ends the run (the user chose to end after an error). A run
    // of kelmar-cli is one batch per folder, and a stop ends them all.
    bool stopRequested() const override { return m_stop || m_interrupted.load(); }
    MsgAnswer messageBox(const QString& text, const QString& title, MsgIcon icon,
                         MsgButtons buttons, Question kind = Question::Notice) override;
    std::optional<QString> inputBox(const QString&, const QString&, const QString&) override
    {
        return std::nullopt;
    }

    // No batch of this run starts after it.
    void endRun() { m_stop = true; }
    // Whether the batches' log lines are printed (-q and --json leave them out).
    void setEchoLog(bool echo) { m_echoLog = echo; }

    // Answers the questions of the kinds a command knows; any other question, and every
    // question when unset, gets the safe answer (No, Cancel). The message is printed on
    // stderr first either way.
    std::function<std::optional<MsgAnswer>(Question kind, MsgButtons buttons)> questions;

private:
    const std::atomic<bool>& m_interrupted;
    QTextStream& m_out;
    QTextStream& m_err;
    bool m_echoLog;
    bool m_stop = false;
    bool m_outputGone = false;
};

} // namespace kelmar::cli
