#include "maintenance/ArchivePool.h"

#include <QSet>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace kelmar {

namespace {

std::atomic<int> g_workers{0};

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

int ArchivePool::run(const std::vector<Task>& tasks, const std::function<bool()>& stop,
                     const std::function<void(int)>& started)
{
    const int count = int(tasks.size());
    const int threads = qMin(workers(), count);
    if (threads <= 1) {
        int n = 0;
        for (int i = 0; i < count; ++i) {
            if (i > 0 && stop && stop())
                break;
            if (tasks[size_t(i)].moreKeys)
                tasks[size_t(i)].moreKeys();
            if (started)
                started(i);
            ++n;
            tasks[size_t(i)].work();
            tasks[size_t(i)].finish();
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
    std::vector<bool> done(size_t(count), false);
    std::vector<QStringList> keys(static_cast<size_t>(count));
    QSet<QString> busyKeys;
    auto keysFree = [&](int i) {
        for (const QString& key : keys[size_t(i)]) {
            if (busyKeys.contains(key))
                return false;
        }
        return true;
    };

    auto worker = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return stopped || next >= count || !dispatching; });
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
            keys[size_t(mine)] = tasks[size_t(mine)].keys;
            if (tasks[size_t(mine)].moreKeys) {
                lock.unlock();
                const QStringList more = tasks[size_t(mine)].moreKeys();
                lock.lock();
                keys[size_t(mine)] += more;
            }
            changed.wait(lock, [&] { return keysFree(mine); });
            for (const QString& key : keys[size_t(mine)])
                busyKeys.insert(key);
            dispatching = false;
            changed.notify_all();
            if (started)
                started(mine);
            lock.unlock();
            tasks[size_t(mine)].work();
            lock.lock();
            done[size_t(mine)] = true;
            for (const QString& key : keys[size_t(mine)])
                busyKeys.remove(key);
            changed.notify_all();
            if (finishing)
                continue;
            finishing = true;
            while (finished < count && done[size_t(finished)]) {
                const int at = finished;
                lock.unlock();
                tasks[size_t(at)].finish();
                lock.lock();
                ++finished;
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
        tasks[size_t(at)].finish();
        lock.lock();
        ++finished;
    }
    return next;
}

} // namespace kelmar
