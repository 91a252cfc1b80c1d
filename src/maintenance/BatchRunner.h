// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "maintenance/BatchProgress.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>

class QThread;

namespace kelmar {

// Runs one batch at a time on a thread of its own, so the window stays responsive.
//
// The runner owns what a batch must not share with the one before it: the stop flag, which
// it clears when a batch starts (an operation never touches it, so a Stop or a close that
// arrives at any moment after the start counts). The operation brings everything else it
// reads (its request, made before the start); each makes its own archive component.
//
// start, busy and the destructor belong to the thread the runner lives on; stopRequested and
// requestStop may be called from any thread.
class BatchRunner : public QObject
{
    Q_OBJECT

public:
    // Runs a batch with the front end's progress sink and questions.
    using Operation = std::function<void(ProgressSink& sink, BatchQuestions& questions)>;

    explicit BatchRunner(QObject* parent = nullptr);
    // A runner destroyed during a batch stops it and waits for it to end.
    ~BatchRunner() override;

    // Clears the stop flag and runs operation with sink and questions on a new thread. An
    // exception it throws is shown through questions. False, and nothing happens, while a
    // batch runs.
    bool start(const QString& name, Operation operation, ProgressSink& sink,
               BatchQuestions& questions);
    bool busy() const { return m_thread != nullptr; }
    QString runningName() const { return m_name; }

    void requestStop() { m_stop.store(true); }
    bool stopRequested() const { return m_stop.load(); }

    // Stops the running batch and waits for it to end, handling this thread's events
    // meanwhile so that a question the batch is asking can still be answered.
    void stopAndWait();

signals:
    // The batch has ended and its thread is gone.
    void finished();

private:
    void reap();
    void waitForThread();

    QThread* m_thread = nullptr;
    // Which batch a queued end belongs to: one that stopAndWait already reaped is not
    // taken for the next.
    quint64 m_run = 0;
    std::atomic<bool> m_stop{false};
    // Set by the batch's thread as it leaves the operation, before QThread::finished.
    std::atomic<bool> m_done{false};
    QString m_name;
};

} // namespace kelmar
