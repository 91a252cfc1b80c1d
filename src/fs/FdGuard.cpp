// SPDX-License-Identifier: GPL-3.0-or-later
#include "fs/FdGuard.h"

#include <cerrno>
#include <unistd.h>

namespace kelmar::fs {

void FdGuard::reset(int fd) noexcept
{
    if (m_fd >= 0 && m_fd != fd)
        ::close(m_fd);
    m_fd = fd;
}

int FdGuard::close() noexcept
{
    const int fd = release();
    if (fd < 0)
        return 0;
    // After EINTR Linux has closed the descriptor already; closing again could close a
    // descriptor another thread has just been given.
    if (::close(fd) != 0 && errno != EINTR)
        return errno;
    return 0;
}

} // namespace kelmar::fs
