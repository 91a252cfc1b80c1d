// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/GroupedDeletion.h"

#include "fs/PathStatus.h"
#include "fs/SafeOutput.h"

#include <QHash>

namespace kelmar {

GroupedDeletion::GroupedDeletion(std::function<void(const QStringList&)> writeLog)
    : m_writeLog(std::move(writeLog))
{
}

GroupedDeletion::~GroupedDeletion()
{
    finish();
}

void GroupedDeletion::add(const QStringList& lines, const QString& folder, Deletion deleteIt)
{
    std::unique_lock<std::mutex> lock(m_lock);
    if (!m_thread.joinable()) {
        m_finishing = false;
        m_thread = std::thread([this] { run(); });
    }
    m_changed.wait(lock, [this] { return int(m_items.size()) < kMaxWaiting; });
    if (deleteIt && m_waitingDeletions++ == 0)
        m_firstDeletion = std::chrono::steady_clock::now();
    m_items.push_back({lines, folder, std::move(deleteIt)});
    m_changed.notify_all();
}

void GroupedDeletion::finish()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_thread.joinable())
            return;
        m_finishing = true;
        m_changed.notify_all();
    }
    m_thread.join();
}

void GroupedDeletion::run()
{
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        // Lines with no deletion among them go out at once; a deletion waits for company.
        const bool due = m_finishing || m_waitingDeletions == 0 || m_waitingDeletions >= kGroup ||
                         std::chrono::steady_clock::now() - m_firstDeletion >=
                             std::chrono::milliseconds(kWaitMs);
        if (!m_items.empty() && due) {
            std::deque<Item> items;
            items.swap(m_items);
            m_waitingDeletions = 0;
            m_changed.notify_all();
            lock.unlock();
            handle(items);
            lock.lock();
            continue;
        }
        if (m_items.empty() && m_finishing)
            return;
        if (m_items.empty())
            m_changed.wait(lock);
        else
            m_changed.wait_until(lock, m_firstDeletion + std::chrono::milliseconds(kWaitMs));
    }
}

void GroupedDeletion::handle(std::deque<Item>& items)
{
    // Every archive here was extracted before this flush starts, so one flush per file
    // system covers them all.
    QHash<QString, int> flushedFolders;
    QHash<quint64, int> flushedDevices;
    for (const Item& item : items) {
        if (!item.deleteIt || flushedFolders.contains(item.folder))
            continue;
        const std::optional<fs::PathStatus> st = fs::statOf(item.folder, fs::Links::Follow);
        const quint64 device = st ? quint64(st->identity.device) : 0;
        if (st && flushedDevices.contains(device)) {
            flushedFolders.insert(item.folder, flushedDevices.value(device));
            continue;
        }
        const int result = fs::syncFileSystemOf(item.folder);
        flushedFolders.insert(item.folder, result);
        if (st)
            flushedDevices.insert(device, result);
    }
    for (Item& item : items) {
        QStringList lines = std::move(item.lines);
        if (item.deleteIt) {
            const int error = flushedFolders.value(item.folder);
            lines += item.deleteIt(error == 0, error);
        }
        if (!lines.isEmpty())
            m_writeLog(lines);
    }
}

} // namespace kelmar
