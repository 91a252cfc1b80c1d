#include "archive/BufferBudget.h"

#include <condition_variable>
#include <mutex>

namespace kelmar {

namespace {

std::mutex g_mutex;
std::condition_variable g_freed;
qint64 g_inUse = 0;

} // namespace

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
}

} // namespace kelmar
