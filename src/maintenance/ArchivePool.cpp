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
    int next = 0;           // the next archive to start
    int finished = 0;       // archives whose finish() has run
    bool stopped = false;   // no more archives start
    bool finishing = false; // a thread is running finish() calls
    std::vector<bool> done(size_t(count), false);
    QSet<QString> busyKeys;

    auto worker = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            // The next archive waits for any running one it shares a key with; the archives
            // after it wait too, so that they start in list order.
            changed.wait(lock, [&] {
                if (stopped || next >= count)
                    return true;
                for (const QString& key : tasks[size_t(next)].keys) {
                    if (busyKeys.contains(key))
                        return false;
                }
                return true;
            });
            if (stopped || next >= count)
                break;
            const int mine = next;
            if (mine > 0 && stop && stop()) {
                stopped = true;
                changed.notify_all();
                break;
            }
            ++next;
            for (const QString& key : tasks[size_t(mine)].keys)
                busyKeys.insert(key);
            if (started)
                started(mine);
            lock.unlock();
            tasks[size_t(mine)].work();
            lock.lock();
            done[size_t(mine)] = true;
            for (const QString& key : tasks[size_t(mine)].keys)
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
