// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <utility>

namespace kelmar::fs {

// Owns one open file descriptor and closes it when it goes out of scope, so no early return
// or exception leaks it. Move-only.
class FdGuard
{
public:
    FdGuard() = default;
    explicit FdGuard(int fd) : m_fd(fd) {}
    ~FdGuard() { reset(); }
    FdGuard(FdGuard&& other) noexcept : m_fd(other.release()) {}
    FdGuard& operator=(FdGuard&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;

    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    explicit operator bool() const { return isOpen(); }

    // Gives the descriptor up without closing it.
    int release() noexcept { return std::exchange(m_fd, -1); }
    // Closes the descriptor held (if any) and takes fd instead. Errors of close are lost;
    // where they matter (a file just written), call close() and look at its result.
    void reset(int fd = -1) noexcept;
    // Closes now. 0, or the errno of close: a write the kernel deferred can fail only here.
    int close() noexcept;

private:
    int m_fd = -1;
};

} // namespace kelmar::fs
