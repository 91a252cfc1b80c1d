#pragma once

#include "fs/Path.h"
#include "maintenance/ArchivePool.h"
#include "maintenance/BatchHost.h"
#include "maintenance/BatchProgress.h"
#include "maintenance/SerialHost.h"
#include "maintenance/SerialProgress.h"

#include <QStringList>

#include <functional>
#include <mutex>
#include <vector>

namespace kelmar {

// The results of a batch whose archives ran on the worker pool, in list order.
template <typename Result> struct PoolBatchResults
{
    std::vector<Result> results; // of the archives started
    bool stopped = false;        // Stop came before the last selected archive was taken up
};

// Runs work once for each of the batch's archives (the selected ones at positions, in list
// order) on the worker pool, the way every batch of independent archives runs: each archive
// talks to a SerialHost (its questions reach the user one at a time, its log lines wait for
// the archives before it), no archive starts after Stop, and taken(number, total, path) runs
// on the batch's side, in order, as each archive is taken up.
template <typename Result>
PoolBatchResults<Result>
runOnPool(BatchHost& host, const std::vector<int>& positions,
          const std::function<Result(BatchHost& serial, int number, const QString& path)>& work,
          const std::function<void(int number, int total, const QString& path)>& taken)
{
    const QString folder = fs::withSeparator(host.folder());
    const int total = int(positions.size());
    std::mutex hostLock;
    const auto pathOf = [&](int i) {
        std::lock_guard<std::mutex> lock(hostLock);
        return folder + host.fileName(positions[size_t(i)]);
    };
    std::vector<Result> results(positions.size());
    std::vector<QStringList> logs(positions.size());
    ArchivePool::Batch batch;
    batch.keys = [&](int i) { return QStringList{pathOf(i).toCaseFolded()}; };
    batch.work = [&](int i) {
        SerialHost serial(host, hostLock, &logs[size_t(i)]);
        results[size_t(i)] = work(serial, i + 1, pathOf(i));
    };
    batch.finish = [&](int i) {
        SerialHost::writeHeldLog(host, hostLock, logs[size_t(i)]);
        logs[size_t(i)].clear();
    };
    const int started = ArchivePool::run(
        total, batch, [&] { return SerialHost::stopRequestedUnder(host, hostLock); },
        [&](int i) {
            if (!taken)
                return;
            const QString path = pathOf(i);
            std::lock_guard<std::mutex> lock(hostLock);
            taken(i + 1, total, path);
        });
    PoolBatchResults<Result> out;
    results.resize(size_t(started));
    out.results = std::move(results);
    if (started < total)
        out.stopped = true;
    else if (started > 0 && host.stopRequested())
        out.stopped = positions[size_t(started - 1)] + 1 < host.fileCount();
    return out;
}

// The same over a typed request's files: work runs once for each of files, in order, on
// workers threads (0: the pool's default), each archive talking to a SerialProgress.
template <typename Result>
PoolBatchResults<Result>
runOnPool(const BatchFiles& files, int workers, ProgressSink& sink, BatchQuestions& questions,
          const std::function<Result(SerialProgress& serial, int number, const QString& path)>& work,
          const std::function<void(int number, int total, const QString& path)>& taken)
{
    const int total = files.size();
    std::mutex lock;
    std::vector<Result> results(static_cast<size_t>(total));
    std::vector<QStringList> logs(static_cast<size_t>(total));
    ArchivePool::Batch batch;
    batch.workers = workers;
    batch.keys = [&](int i) { return QStringList{files.path(i).toCaseFolded()}; };
    batch.work = [&](int i) {
        SerialProgress serial(sink, questions, lock, &logs[size_t(i)]);
        results[size_t(i)] = work(serial, i + 1, files.path(i));
    };
    batch.finish = [&](int i) {
        SerialProgress::writeHeldLog(sink, lock, logs[size_t(i)]);
        logs[size_t(i)].clear();
    };
    const int started = ArchivePool::run(
        total, batch, [&] { return SerialProgress::stopRequestedUnder(sink, lock); },
        [&](int i) {
            if (!taken)
                return;
            std::lock_guard<std::mutex> guard(lock);
            taken(i + 1, total, files.path(i));
        });
    PoolBatchResults<Result> out;
    results.resize(size_t(started));
    out.results = std::move(results);
    out.stopped = started < total;
    return out;
}

} // namespace kelmar
