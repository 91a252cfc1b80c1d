// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/DeflateAhead.h"

#include "fs/FdGuard.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace kelmar {

DeflateAhead::DeflateAhead(int threads) : m_threads(qMax(1, threads)) {}

DeflateAhead::~DeflateAhead()
{
    stop();
}

int DeflateAhead::add(const QByteArray& nativePath, qint64 plannedSize, int level)
{
    Slot& slot = m_slots.emplace_back();
    slot.nativePath = nativePath;
    slot.plannedSize = qBound<qint64>(0, plannedSize, BufferBudget::kEntryCap);
    slot.budgetBytes = 2 * slot.plannedSize;
    slot.level = level;
    return int(m_slots.size() - 1);
}

int DeflateAhead::add(Loader load, qint64 budgetBytes)
{
    Slot& slot = m_slots.emplace_back();
    slot.load = std::move(load);
    slot.budgetBytes = qBound<qint64>(0, budgetBytes, BufferBudget::kTotal);
    return int(m_slots.size() - 1);
}

void DeflateAhead::start()
{
    // The writer is one of the threads; a helper for every file beyond the first at most.
    const int helpers = qMin(m_threads - 1, int(m_slots.size()) - 1);
    for (int i = 0; i < helpers; ++i)
        m_helpers.emplace_back([this] { helper(); });
}

void DeflateAhead::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopped = true;
    }
    m_changed.notify_all();
    for (std::thread& t : m_helpers)
        t.join();
    m_helpers.clear();
}

// Under the lock: begins the file when the budget has room for it now. Nothing waits for
// memory while holding any: a file that cannot begin holds nothing, and the files after it
// wait for it.
bool DeflateAhead::tryClaim(int slot)
{
    Slot& s = m_slots[size_t(slot)];
    if (!BufferLoan::tryTake(s.budgetBytes, &s.loan))
        return false;
    s.state = State::Working;
    while (m_next < m_slots.size() && m_slots[m_next].state != State::Waiting)
        ++m_next;
    return true;
}

// Under the lock: the next waiting file, when the budget has room for it now.
bool DeflateAhead::claimNext(int* slot)
{
    const int next = int(m_next);
    if (m_stopped || m_next >= m_slots.size() || !tryClaim(next))
        return false;
    *slot = next;
    return true;
}

// Reads and deflates one claimed file, without the lock.
void DeflateAhead::deflate(int index, std::unique_lock<std::mutex>& lock)
{
    Slot& slot = m_slots[size_t(index)];
    lock.unlock();
    Outcome outcome;
    try {
        if (slot.load) {
            outcome.error = slot.load(slot.data, &slot.loan);
            outcome.whole = outcome.unchanged = outcome.error == 0;
        } else {
            deflateFile(slot, &outcome);
        }
    } catch (...) {
        // No exception may leave a helper thread; the writer reports the file as unreadable.
        outcome = Outcome();
        outcome.error = ENOMEM;
    }
    if (!outcome.whole)
        slot.data.release();
    slot.loan.reset();
    outcome.data = &slot.data;
    lock.lock();
    slot.outcome = outcome;
    slot.state = State::Done;
    m_changed.notify_all();
}

void DeflateAhead::deflateFile(Slot& slot, Outcome* out)
{
    Outcome& outcome = *out;
    {
        fs::FdGuard in(::open(slot.nativePath.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
        const std::optional<fs::FileIdentity> before =
            in ? fs::FileIdentity::ofFd(in.get()) : std::nullopt;
        if (!in) {
            outcome.error = errno;
            outcome.opening = true;
        } else if (!before) {
            outcome.error = errno;
        } else if (before->regular && before->size <= slot.plannedSize) {
            outcome.error = slot.data.load(in.get(), before->size, slot.level, &slot.loan);
            const std::optional<fs::FileIdentity> after = fs::FileIdentity::ofFd(in.get());
            outcome.whole = outcome.error == 0;
            outcome.before = *before;
            outcome.unchanged = after && *after == *before && slot.data.size() == before->size;
        }
    }
}

void DeflateAhead::helper()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        int slot = -1;
        if (claimNext(&slot)) {
            deflate(slot, lock);
            continue;
        }
        if (m_stopped || m_next >= m_slots.size())
            return;
        m_changed.wait(lock);
    }
}

DeflateAhead::Outcome DeflateAhead::take(int index, const std::function<bool()>& cancelled)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    Slot& slot = m_slots[size_t(index)];
    for (;;) {
        if (slot.state == State::Done) {
            slot.state = State::Taken;
            return slot.outcome;
        }
        if (slot.state == State::Taken || slot.state == State::Released)
            return slot.outcome;
        if (!m_stopped && cancelled && cancelled()) {
            m_stopped = true;
            m_changed.notify_all();
        }
        if (m_stopped && cancelled) {
            Outcome outcome;
            outcome.cancelled = true;
            return outcome;
        }
        if (slot.state == State::Waiting) {
            if (tryClaim(index)) {
                deflate(index, lock);
                continue;
            }
            // The budget is taken by others, none of them by a file of this archive that
            // waits for this one (none is begun before it): it comes free, and
            // m_budgetFreed says so.
            m_changed.wait(lock);
            continue;
        }
        int other = -1;
        if (claimNext(&other)) {
            deflate(other, lock);
            continue;
        }
        m_changed.wait(lock);
    }
}

void DeflateAhead::release(int index)
{
    Slot& slot = m_slots[size_t(index)];
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (slot.state == State::Working || slot.state == State::Released)
            return;
        slot.state = State::Released;
    }
    // A released slot is the writer's alone; its buffers give their budget back, which
    // m_budgetFreed hears under m_mutex.
    slot.data.release();
    m_changed.notify_all();
}

} // namespace kelmar
