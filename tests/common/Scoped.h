// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <csignal>
#include <sys/resource.h>

namespace kelmar::test {

// A resource limit lowered for as long as this lives, then what it was. A file-size limit
// comes with SIGXFSZ ignored, as the programs do: a write beyond it fails with EFBIG, as on a
// full disk, instead of ending the test program.
class ScopedRlimit
{
public:
    ScopedRlimit(int resource, rlim_t current) : m_resource(resource)
    {
        if (::getrlimit(m_resource, &m_saved) != 0)
            return;
        if (m_resource == RLIMIT_FSIZE)
            m_handler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit lowered = m_saved;
        lowered.rlim_cur = current;
        m_set = ::setrlimit(m_resource, &lowered) == 0;
    }
    ~ScopedRlimit()
    {
        if (m_set)
            ::setrlimit(m_resource, &m_saved);
        if (m_resource == RLIMIT_FSIZE && m_handler != SIG_ERR)
            std::signal(SIGXFSZ, m_handler);
    }
    ScopedRlimit(const ScopedRlimit&) = delete;
    ScopedRlimit& operator=(const ScopedRlimit&) = delete;

    // The limit is in force.
    bool set() const { return m_set; }

private:
    int m_resource;
    struct rlimit m_saved = {};
    void (*m_handler)(int) = SIG_ERR;
    bool m_set = false;
};

// An environment variable set (or, with no value, removed) for as long as this lives, then
// as it was.
class ScopedEnv
{
public:
    explicit ScopedEnv(const char* name)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        qunsetenv(name);
    }
    ScopedEnv(const char* name, const QByteArray& value) : ScopedEnv(name) { qputenv(name, value); }
    ~ScopedEnv()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

} // namespace kelmar::test
