#pragma once

#include "maintenance/BatchSnapshot.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>

class QThread;

namespace kelmar {

class BatchHost;

// Runs one batch at a time on a thread of its own, so the window stays responsive.
//
// The runner owns what a batch must not share with the one before it: the stop flag, which
// it clears when a batch starts (an operation never touches it, so a Stop or a close that
// arrives at any moment after the start counts), and the snapshot of the file list and
// options the batch reads. Each operation makes its own archive component.
//
// start, busy and the destructor belong to the thread the runner lives on; stopRequested and
// requestStop may be called from any thread.
class BatchRunner : public QObject
{
    Q_OBJECT

public:
    using Operation = std::function<void(BatchHost&)>;

    explicit BatchRunner(QObject* parent = nullptr);
    // A runner destroyed during a batch stops it and waits for it to end.
    ~BatchRunner() override;

    // Clears the stop flag, keeps snapshot as what the batch sees and runs operation with
    // host on a new thread. False, and nothing happens, while a batch runs.
    bool start(const QString& name, Operation operation, BatchHost& host, BatchSnapshot snapshot);
    bool busy() const { return m_thread != nullptr; }
    QString runningName() const { return m_name; }

    void requestStop() { m_stop.store(true); }
    bool stopRequested() const { return m_stop.load(); }

    // What the running batch sees. Only the batch's own thread reads or changes it.
    BatchSnapshot& snapshot() { return m_snapshot; }
    const BatchSnapshot& snapshot() const { return m_snapshot; }

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
    BatchSnapshot m_snapshot;
    QString m_name;
};

} // namespace kelmar
