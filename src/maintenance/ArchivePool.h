// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace kelmar {

// Runs the archives of a batch on several threads at once while the batch still looks, to the
// user, like one run through its list.
//
// Archives are started strictly in list order, and none after stop() says true. Two archives
// that share a key (an archive's path, a file it writes: whatever one writes and the other
// reads or writes) never run at the same time, and the later waits for the earlier. finish()
// runs for every started archive in list order, one at a time, once that archive and all
// before it are done: that is where a batch writes its log lines and its report, so both
// read as if the archives had run one after another.
//
// Nothing is kept per archive but a flag: a batch of a hundred thousand archives costs the
// pool a hundred kilobytes.
class ArchivePool
{
public:
    // How many archives run at once when a request says 0: one per processor core.
    static int defaultWorkers();

    struct Batch
    {
        // The keys of archive i, asked for in list order, one archive at a time, on the thread
        // that then runs it, as the archive is taken up (so they may come from looking into
        // it). The archive and those after it wait until no running archive holds one of them.
        std::function<QStringList(int i)> keys;
        std::function<void(int i)> work;   // on a worker thread
        std::function<void(int i)> finish; // in list order, one at a time (may be empty)
        // How many archives run at once: the request's worker count; 0 takes
        // defaultWorkers().
        int workers = 0;
    };

    // started(i) runs, in order and one at a time, as archive i is taken up, before stop()
    // is asked about the next one. Returns how many archives were started.
    static int run(int count, const Batch& batch, const std::function<bool()>& stop,
                   const std::function<void(int)>& started = {});
};

} // namespace kelmar
