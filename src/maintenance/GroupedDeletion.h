// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace kelmar {

// Writes the log lines of a batch's archives in list order, and deletes the archives that are
// to go once what replaces them is on disk, with one flush to disk for many archives: flushing
// costs a millisecond or two (far more on a memory card), which a batch of many small archives
// would otherwise spend on every one of them.
//
// An archive's lines wait at most kWait (or until kGroup archives wait) for the flush that
// covers it; the lines of the archives after it wait with them, so the log reads as if each
// had been deleted right after it was extracted.
class GroupedDeletion
{
public:
    static constexpr int kWaitMs = 200;
    static constexpr int kGroup = 64;
    // add() waits while this many archives wait: extracting runs ahead of deleting by no more.
    static constexpr int kMaxWaiting = 512;

    // Runs after the folder was flushed to disk (synced; otherwise error holds errno) and
    // returns the lines to log after the archive's own.
    using Deletion = std::function<QStringList(bool synced, int error)>;

    explicit GroupedDeletion(std::function<void(const QStringList&)> writeLog);
    // Writes and deletes whatever still waits.
    ~GroupedDeletion();
    GroupedDeletion(const GroupedDeletion&) = delete;
    GroupedDeletion& operator=(const GroupedDeletion&) = delete;

    // In list order. folder: where the archive's files went (flushed before deleteIt runs);
    // empty with no deletion.
    void add(const QStringList& lines, const QString& folder = QString(), Deletion deleteIt = {});
    // Returns once everything added has been written and deleted.
    void finish();

private:
    struct Item
    {
        QStringList lines;
        QString folder;
        Deletion deleteIt;
    };
    void run();
    void handle(std::deque<Item>& items);

    std::function<void(const QStringList&)> m_writeLog;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<Item> m_items;
    int m_waitingDeletions = 0;
    std::chrono::steady_clock::time_point m_firstDeletion;
    bool m_finishing = false;
    bool m_idle = true;
    std::thread m_thread;
};

} // namespace kelmar
