// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/ArchivePool.h"

#include <QHash>
#include <QSet>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace kelmar {

namespace {

constexpr int kAhead = 256;

// One run's archives shared by its threads. Its own threads rather than a QThreadPool: the
// threads do not take independent jobs but take up archives in list order under one lock,
// wait while a running archive holds a key of the next, and hand finish() to one another in
// list order; a shared pool could also hold one batch's workers back behind another's. The
// threads live for the run (not one per archive), and every wait is on `changed`, told by
// whatever it waits for: nothing looks again on a clock.
class Dispatch
{
public:
    Dispatch(int count, const ArchivePool::Batch& batch, const std::function<bool()>& stop,
             const std::function<void(int)>& started)
        : m_count(count), m_batch(batch), m_stop(stop), m_started(started),
          m_done(static_cast<size_t>(count), false)
    {
    }

    // The loop of each thread, the calling one included.
    void work()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            const int mine = takeUp(lock);
            if (mine < 0)
                break;
            lock.unlock();
            m_batch.work(mine);
            lock.lock();
            m_done[size_t(mine)] = true;
            for (const QString& key : m_running.take(mine))
                m_busyKeys.remove(key);
            m_changed.notify_all();
            if (!m_finishing)
                finishInOrder(lock, m_count);
        }
    }

    // After every thread has ended: whatever finish() calls a departing thread left behind.
    int end()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        finishInOrder(lock, m_next);
        return m_next;
    }

private:
    // Under the lock: the next archive, once its turn has come and its keys are free, or -1
    // when no more archives start.
    int takeUp(std::unique_lock<std::mutex>& lock)
    {
        // Work runs no further ahead of finish() than kAhead archives: what a batch keeps for
        // an archive until its turn (log lines, files to delete) stays bounded.
        m_changed.wait(lock, [&] {
            return m_stopped || m_next >= m_count ||
                   (!m_dispatching && m_next - m_finished < kAhead);
        });
        if (m_stopped || m_next >= m_count)
            return -1;
        const int mine = m_next;
        if (mine > 0 && m_stop && m_stop()) {
            m_stopped = true;
            m_changed.notify_all();
            return -1;
        }
        // The archive waits for any running one it shares a key with; the archives after it
        // wait too (m_dispatching stays set), so that they start in list order.
        ++m_next;
        m_dispatching = true;
        QStringList keys;
        if (m_batch.keys) {
            lock.unlock();
            keys = m_batch.keys(mine);
            lock.lock();
        }
        m_changed.wait(lock, [&] { return keysFree(keys); });
        for (const QString& key : keys)
            m_busyKeys.insert(key);
        m_running.insert(mine, keys);
        m_dispatching = false;
        m_changed.notify_all();
        if (m_started)
            m_started(mine);
        return mine;
    }

    bool keysFree(const QStringList& keys) const
    {
        for (const QString& key : keys) {
            if (m_busyKeys.contains(key))
                return false;
        }
        return true;
    }

    // Under the lock: finish() for each done archive in list order before limit, one thread
    // at a time.
    void finishInOrder(std::unique_lock<std::mutex>& lock, int limit)
    {
        m_finishing = true;
        while (m_finished < limit && m_done[size_t(m_finished)]) {
            const int at = m_finished;
            lock.unlock();
            if (m_batch.finish)
                m_batch.finish(at);
            lock.lock();
            ++m_finished;
            m_changed.notify_all();
        }
        m_finishing = false;
    }

    const int m_count;
    const ArchivePool::Batch& m_batch;
    const std::function<bool()>& m_stop;
    const std::function<void(int)>& m_started;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_next = 0;             // the next archive to start
    int m_finished = 0;         // archives whose finish() has run
    bool m_stopped = false;     // no more archives start
    bool m_finishing = false;   // a thread is running finish() calls
    bool m_dispatching = false; // a thread is taking up the next archive
    std::vector<bool> m_done;
    QHash<int, QStringList> m_running; // the keys of the archives at work
    QSet<QString> m_busyKeys;
};

// One thread: each archive in turn, with nobody to wait for.
int runInTurn(int count, const ArchivePool::Batch& batch, const std::function<bool()>& stop,
              const std::function<void(int)>& started)
{
    int n = 0;
    for (int i = 0; i < count; ++i) {
        if (i > 0 && stop && stop())
            break;
        if (batch.keys)
            batch.keys(i);
        if (started)
            started(i);
        ++n;
        batch.work(i);
        if (batch.finish)
            batch.finish(i);
    }
    return n;
}

} // namespace

int ArchivePool::defaultWorkers()
{
    return qMax(1, int(std::thread::hardware_concurrency()));
}

int ArchivePool::run(int count, const Batch& batch, const std::function<bool()>& stop,
                     const std::function<void(int)>& started)
{
    const int threads = qMin(batch.workers > 0 ? batch.workers : defaultWorkers(), count);
    if (threads <= 1)
        return runInTurn(count, batch, stop, started);
    Dispatch dispatch(count, batch, stop, started);
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t)
        pool.emplace_back([&dispatch] { dispatch.work(); });
    dispatch.work();
    for (std::thread& t : pool)
        t.join();
    return dispatch.end();
}

} // namespace kelmar
