// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/BufferBudget.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace kelmar {

namespace {

std::mutex g_mutex;
std::condition_variable g_freed;
qint64 g_inUse = 0;

// The watches, under their own lock: a watch's owner holds its own lock while it takes
// budget (g_mutex), and is told of a release under this one, never the other way round.
std::mutex g_watchMutex;
std::vector<BudgetWatch*> g_watches;

} // namespace

BudgetWatch::BudgetWatch(std::function<void()> freed) : m_freed(std::move(freed))
{
    std::lock_guard<std::mutex> lock(g_watchMutex);
    g_watches.push_back(this);
}

BudgetWatch::~BudgetWatch()
{
    std::lock_guard<std::mutex> lock(g_watchMutex);
    g_watches.erase(std::find(g_watches.begin(), g_watches.end(), this));
}

void BufferBudget::acquire(qint64 bytes)
{
    bytes = qMin(bytes, kTotal);
    std::unique_lock<std::mutex> lock(g_mutex);
    g_freed.wait(lock, [bytes] { return g_inUse + bytes <= kTotal; });
    g_inUse += bytes;
}

bool BufferBudget::tryAcquire(qint64 bytes)
{
    bytes = qMin(bytes, kTotal);
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_inUse + bytes > kTotal)
        return false;
    g_inUse += bytes;
    return true;
}

void BufferBudget::release(qint64 bytes)
{
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_inUse -= bytes;
    }
    g_freed.notify_all();
    std::lock_guard<std::mutex> lock(g_watchMutex);
    for (BudgetWatch* watch : g_watches)
        watch->m_freed();
}

} // namespace kelmar
