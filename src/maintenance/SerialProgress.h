// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "maintenance/BatchProgress.h"

#include <mutex>

namespace kelmar {

// The progress sink and questions of a batch as one archive of a parallel batch sees them:
// every call reaches the real ones one at a time (a question waits for the one before it to
// be answered), and log lines are kept back in a list of their own, for the batch to write
// once the archives before this one have written theirs.
class SerialProgress : public ProgressSink, public BatchQuestions
{
public:
    SerialProgress(ProgressSink& sink, BatchQuestions& questions, std::mutex& lock,
                   QStringList* heldLog)
        : m_sink(sink), m_questions(questions), m_lock(lock), m_log(heldLog)
    {
    }

    void write_log(const QString& line) override;
    void clear_log() override;
    void setStatusText(const QString& text) override;
    void showCreditLine() override;
    bool stopRequested() const override;
    void batchProgress(const BatchCount& count) override;
    MsgAnswer messageBox(const QString& text, const QString& title, MsgIcon icon,
                         MsgButtons buttons, Question kind = Question::Notice) override;
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText) override;

    // What the pool's own callbacks do with the sink, under the same lock: write an
    // archive's held-back log lines once it is its turn, and look at the stop flag.
    static void writeHeldLog(ProgressSink& sink, std::mutex& lock, const QStringList& lines);
    static bool stopRequestedUnder(const ProgressSink& sink, std::mutex& lock);
    // Tells the sink how far the batch has come (nothing when count.doing is empty).
    static void countUnder(ProgressSink& sink, std::mutex& lock, const BatchCount& count);

private:
    ProgressSink& m_sink;
    BatchQuestions& m_questions;
    std::mutex& m_lock;
    QStringList* m_log;
};

} // namespace kelmar
