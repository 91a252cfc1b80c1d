#pragma once

#include <unistd.h>

namespace kelmar::fs {

// Closes a file descriptor on every way out of a scope.
class FdGuard
{
public:
    explicit FdGuard(int fd = -1) : m_fd(fd) {}
    ~FdGuard()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;

    int get() const { return m_fd; }
    // Hands the descriptor over; the guard no longer closes it.
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

} // namespace kelmar::fs
