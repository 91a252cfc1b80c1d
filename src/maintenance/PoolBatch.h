#pragma once

#include "fs/Path.h"
#include "maintenance/ArchivePool.h"
#include "maintenance/BatchHost.h"
#include "maintenance/SerialHost.h"

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
    QStringList paths;
    for (const int position : positions)
        paths.append(folder + host.fileName(position));
    std::vector<Result> results(positions.size());
    std::vector<QStringList> logs(positions.size());
    std::vector<ArchivePool::Task> tasks;
    for (size_t i = 0; i < positions.size(); ++i) {
        ArchivePool::Task task;
        task.keys = QStringList{paths.at(qsizetype(i)).toCaseFolded()};
        task.work = [&, i] {
            SerialHost serial(host, hostLock, &logs[i]);
            results[i] = work(serial, int(i) + 1, paths.at(qsizetype(i)));
        };
        task.finish = [&, i] {
            SerialHost::writeHeldLog(host, hostLock, logs[i]);
            logs[i].clear();
        };
        tasks.push_back(std::move(task));
    }
    const int started = ArchivePool::run(
        tasks, [&] { return SerialHost::stopRequestedUnder(host, hostLock); },
        [&](int i) {
            if (!taken)
                return;
            std::lock_guard<std::mutex> lock(hostLock);
            taken(i + 1, total, paths.at(i));
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

} // namespace kelmar
