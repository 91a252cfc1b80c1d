// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "maintenance/ArchivePool.h"
#include "maintenance/BatchProgress.h"
#include "maintenance/SerialProgress.h"

#include <QStringList>

#include <atomic>
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

// Runs work once for each of files, in order, on the worker pool, the way every batch of
// independent archives runs: workers threads at once (0: the pool's default), each archive
// talking to a SerialProgress (its questions reach the user one at a time, its log lines wait
// for the archives before it), no archive starts after Stop, and taken(number, total, path)
// runs on the batch's side, in order, as each archive is taken up. The batch counts as
// stopped only when Stop left one of files untaken. A set *quit (the user chose to end after
// an error) stops the batch as Stop does. As each archive finishes, in list order, the sink
// is told how many are done ("doing" done of total), unless doing is empty.
template <typename Result>
PoolBatchResults<Result>
runOnPool(const BatchFiles& files, int workers, ProgressSink& sink, BatchQuestions& questions,
          const std::function<Result(SerialProgress& serial, int number, const QString& path)>& work,
          const std::function<void(int number, int total, const QString& path)>& taken,
          const QString& doing, const std::atomic<bool>* quit = nullptr)
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
        SerialProgress::countUnder(sink, lock, BatchCount{doing, i + 1, total});
    };
    const int started = ArchivePool::run(
        total, batch,
        [&] {
            return (quit && quit->load()) || SerialProgress::stopRequestedUnder(sink, lock);
        },
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
