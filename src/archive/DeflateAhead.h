// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archive/BufferBudget.h"
#include "archive/DeflatedFile.h"
#include "fs/FileIdentity.h"

#include <QByteArray>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace kelmar {

// Source files read whole and deflated on several threads ahead of libzip, which copies them
// into the archive one after another as it closes it.
//
// Each file is deflated exactly as the writer would deflate it itself, so the archive is the
// same byte for byte whatever the number of threads. The writer takes a file's outcome when
// libzip reaches it; while that file is still being deflated elsewhere, the writer deflates
// the next waiting one rather than sit idle. Files are begun in the order they were added,
// and only while BufferBudget has room for them at once: nothing waits for memory that a file
// further on holds, and what is deflated ahead stays within the budget. No budget is given
// back under m_mutex: m_budgetFreed takes it.
class DeflateAhead
{
public:
    // What reading and deflating one file came to.
    struct Outcome
    {
        int error = 0;           // errno when the file could not be opened or read
        bool opening = false;    // the error came from opening it
        bool whole = false;      // deflated; otherwise it is to be streamed as it is then
        fs::FileIdentity before; // the file as it was opened
        bool unchanged = false;  // read to its end, the same file in the same state after
        bool cancelled = false;  // asked for after a Stop: not read
        DeflatedFile* data = nullptr;
    };

    // threads: how many deflate at once, the writer included; with 1 each file is deflated
    // only when the writer asks for it.
    explicit DeflateAhead(int threads);
    ~DeflateAhead();
    DeflateAhead(const DeflateAhead&) = delete;
    DeflateAhead& operator=(const DeflateAhead&) = delete;

    // Before start(), in the order libzip will ask for them. A file found larger than
    // plannedSize (at most BufferBudget::kEntryCap) is left to be streamed.
    int add(const QByteArray& nativePath, qint64 plannedSize, int level);
    // Data that is not a file: load fills and packs into (DeflatedFile::prepare and pack) and
    // returns 0, or anything else when the writer should get the data its own way. loan holds
    // budget bytes when load begins, for the buffers of into.
    using Loader = std::function<int(DeflatedFile& into, BufferLoan* loan)>;
    int add(Loader load, qint64 budgetBytes);
    void start();
    // On the writer's thread, once per file. Once cancelled() says true (asked on that thread
    // only) no file is begun any more, and a file not yet deflated comes back cancelled: a
    // Stop waits for the files in hand at most.
    Outcome take(int slot, const std::function<bool()>& cancelled = {});
    // The file's buffers are no longer needed.
    void release(int slot);
    // No file is begun any more; returns once every thread has ended.
    void stop();

private:
    enum class State { Waiting, Working, Done, Taken, Released };
    struct Slot
    {
        QByteArray nativePath;
        Loader load;
        qint64 plannedSize = 0;
        qint64 budgetBytes = 0;
        int level = 0;
        State state = State::Waiting;
        BufferLoan loan; // taken when the file was begun, handed to its buffers
        Outcome outcome;
        DeflatedFile data;
    };

    bool tryClaim(int slot);
    bool claimNext(int* slot);
    void deflate(int slot, std::unique_lock<std::mutex>& lock);
    static void deflateFile(Slot& slot, Outcome* outcome);
    void helper();

    const int m_threads;
    std::deque<Slot> m_slots;
    size_t m_next = 0; // no file before it is waiting
    bool m_stopped = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::thread> m_helpers;
    // Budget given back anywhere may let the writer begin the file it waits for.
    BudgetWatch m_budgetFreed{[this] {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
        }
        m_changed.notify_all();
    }};
};

} // namespace kelmar
