#pragma once

#include <csignal>
#include <sys/resource.h>

// Writes beyond limitBytes fail with EFBIG for as long as the object lives, so
// that a copy breaks off half-way, for root too.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t limitBytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = m_old;
        limit.rlim_cur = limitBytes;
        m_active = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool active() const { return m_active; }

private:
    struct rlimit m_old;
    void (*m_oldHandler)(int) = nullptr;
    bool m_active = false;
};
