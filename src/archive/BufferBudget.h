// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <functional>

namespace kelmar {

// The memory that whole-entry buffers may take at once, shared by every thread of the process.
// Compressing or inflating an entry in one piece is faster than streaming it, but a batch
// running on many workers must still fit in a modest amount of memory: each worker borrows
// what its entry needs and waits while the others hold too much.
class BufferBudget
{
public:
    // The largest entry handled in one piece; larger ones stream through a fixed buffer.
    static constexpr qint64 kEntryCap = 32 * 1024 * 1024;
    // Two buffers of a capped entry (its input and its output), twice over: two workers
    // handle such entries at full speed, and the process stays well under 200 MB.
    static constexpr qint64 kTotal = 4 * kEntryCap;

    // Waits until bytes (at most kTotal) are free and takes them.
    static void acquire(qint64 bytes);
    // Takes bytes only when they are free now.
    static bool tryAcquire(qint64 bytes);
    static void release(qint64 bytes);
};

// Tells its owner each time any thread gives budget back, so that a wait for room can wait
// on the owner's own condition rather than look again and again. freed runs on the thread
// that gave back, after the budget's own lock is let go; it must not give back budget itself.
class BudgetWatch
{
public:
    explicit BudgetWatch(std::function<void()> freed);
    // Returns once no call of freed is under way.
    ~BudgetWatch();
    BudgetWatch(const BudgetWatch&) = delete;
    BudgetWatch& operator=(const BudgetWatch&) = delete;

private:
    friend class BufferBudget;
    std::function<void()> m_freed;
};

// Holds a share of the budget for as long as it lives.
class BufferLoan
{
public:
    BufferLoan() = default;
    explicit BufferLoan(qint64 bytes) : m_bytes(qMin(bytes, BufferBudget::kTotal))
    {
        BufferBudget::acquire(m_bytes);
    }
    ~BufferLoan() { reset(); }
    // A loan of bytes when they are free now, or false.
    static bool tryTake(qint64 bytes, BufferLoan* loan)
    {
        bytes = qMin(bytes, BufferBudget::kTotal);
        if (!BufferBudget::tryAcquire(bytes))
            return false;
        loan->reset();
        loan->m_bytes = bytes;
        return true;
    }
    BufferLoan(BufferLoan&& other) noexcept : m_bytes(other.m_bytes) { other.m_bytes = 0; }
    BufferLoan& operator=(BufferLoan&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_bytes = other.m_bytes;
            other.m_bytes = 0;
        }
        return *this;
    }
    BufferLoan(const BufferLoan&) = delete;
    BufferLoan& operator=(const BufferLoan&) = delete;

    qint64 bytes() const { return m_bytes; }
    // Gives back what is held beyond bytes.
    void shrink(qint64 bytes)
    {
        if (bytes >= 0 && bytes < m_bytes) {
            BufferBudget::release(m_bytes - bytes);
            m_bytes = bytes;
        }
    }

    void reset()
    {
        if (m_bytes > 0)
            BufferBudget::release(m_bytes);
        m_bytes = 0;
    }

private:
    qint64 m_bytes = 0;
};

} // namespace kelmar
