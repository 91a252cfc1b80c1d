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

std::atomic<int> g_workers{0};

constexpr int kAhead = 256;

} // namespace

void ArchivePool::setWorkers(int n)
{
    g_workers.store(qMax(0, n));
}

int ArchivePool::workers()
{
    const int n = g_workers.load();
    if (n > 0)
        return n;
    return qMax(1, int(std::thread::hardware_concurrency()));
}

int ArchivePool::run(int count, const Batch& batch, const std::function<bool()>& stop,
                     const std::function<void(int)>& started)
{
    const auto finish = [&batch](int i) {
        if (batch.finish)
            batch.finish(i);
    };
    const int threads = qMin(batch.workers > 0 ? batch.workers : workers(), count);
    if (threads <= 1) {
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
            finish(i);
        }
        return n;
    }

    std::mutex mutex;
    std::condition_variable changed;
    int next = 0;             // the next archive to start
    int finished = 0;         // archives whose finish() has run
    bool stopped = false;     // no more archives start
    bool finishing = false;   // a thread is running finish() calls
    bool dispatching = false; // a thread is taking up the next archive
    std::vector<bool> done(static_cast<size_t>(count), false);
    QHash<int, QStringList> running; // the keys of the archives at work
    QSet<QString> busyKeys;
    auto keysFree = [&](const QStringList& keys) {
        for (const QString& key : keys) {
            if (busyKeys.contains(key))
                return false;
        }
        return true;
    };

    auto worker = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            // Work runs no further ahead of finish() than kAhead archives: what a batch keeps
            // for an archive until its turn (log lines, files to delete) stays bounded.
            changed.wait(lock, [&] {
                return stopped || next >= count || (!dispatching && next - finished < kAhead);
            });
            if (stopped || next >= count)
                break;
            const int mine = next;
            if (mine > 0 && stop && stop()) {
                stopped = true;
                changed.notify_all();
                break;
            }
            // The archive waits for any running one it shares a key with; the archives after
            // it wait too (dispatching stays set), so that they start in list order.
            ++next;
            dispatching = true;
            QStringList keys;
            if (batch.keys) {
                lock.unlock();
                keys = batch.keys(mine);
                lock.lock();
            }
            changed.wait(lock, [&] { return keysFree(keys); });
            for (const QString& key : keys)
                busyKeys.insert(key);
            running.insert(mine, keys);
            dispatching = false;
            changed.notify_all();
            if (started)
                started(mine);
            lock.unlock();
            batch.work(mine);
            lock.lock();
            done[size_t(mine)] = true;
            for (const QString& key : running.take(mine))
                busyKeys.remove(key);
            changed.notify_all();
            if (finishing)
                continue;
            finishing = true;
            while (finished < count && done[size_t(finished)]) {
                const int at = finished;
                lock.unlock();
                finish(at);
                lock.lock();
                ++finished;
                changed.notify_all();
            }
            finishing = false;
        }
    };

    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t)
        pool.emplace_back(worker);
    worker();
    for (std::thread& t : pool)
        t.join();
    // Whatever finish() calls a departing thread left behind.
    std::unique_lock<std::mutex> lock(mutex);
    while (finished < next && done[size_t(finished)]) {
        const int at = finished;
        lock.unlock();
        finish(at);
        lock.lock();
        ++finished;
    }
    return next;
}

} // namespace kelmar
