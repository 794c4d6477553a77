#include "reminders/DueWaiter.h"

#include "platform/Clock.h"
#include "platform/Seams.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace {

// What an SQLite write does to the file and beside it: writes it, writes and
// removes its rollback journal, or, for a restored copy, moves a file in.
constexpr std::uint32_t kFileEvents = IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_TO;

bool concernsFile(const char* name, const QByteArray& file)
{
    if (std::strncmp(name, file.constData(), std::size_t(file.size())) != 0)
        return false;
    const char* rest = name + file.size();
    return *rest == '\0' || std::strcmp(rest, "-journal") == 0 || std::strcmp(rest, "-wal") == 0;
}

} // namespace

FileChangeWatch::FileChangeWatch()
{
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
}

FileChangeWatch::~FileChangeWatch()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void FileChangeWatch::setFile(const QString& path)
{
    if (path == m_file || m_fd < 0)
        return;
    if (m_watch >= 0) {
        ::inotify_rm_watch(m_fd, m_watch);
        m_watch = -1;
    }
    drain();
    m_file = path;
    m_name.clear();
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    m_name = QFile::encodeName(info.fileName());
    m_watch = ::inotify_add_watch(m_fd, QFile::encodeName(info.absolutePath()).constData(), kFileEvents);
}

bool FileChangeWatch::drain()
{
    if (m_fd < 0)
        return false;
    bool changed = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->mask & (IN_Q_OVERFLOW | IN_IGNORED))
                changed = true; // events were lost, or the folder went: look again
            else if (event->wd == m_watch && event->len > 0 && concernsFile(event->name, m_name))
                changed = true;
            at += ssize_t(sizeof(inotify_event)) + ssize_t(event->len);
        }
    }
    return changed;
}

TimerfdDueWaiter::TimerfdDueWaiter(const QString& zoneFile)
{
    m_zone.setFile(zoneFile);
    m_timer = ::timerfd_create(CLOCK_REALTIME, TFD_CLOEXEC | TFD_NONBLOCK);
    m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

TimerfdDueWaiter::~TimerfdDueWaiter()
{
    if (m_timer >= 0)
        ::close(m_timer);
    if (m_wake >= 0)
        ::close(m_wake);
}

void TimerfdDueWaiter::watchFile(const QString& path)
{
    m_watch.setFile(path);
}

void TimerfdDueWaiter::waitUntil(const QDateTime& until)
{
    if (m_interrupted.load())
        return;
    // The wanted second as the clock seam counts, turned into the real clock's
    // terms, so that a clock held by a test never makes the wait spin.
    const qint64 delayMs = seams::clock().now().msecsTo(until);
    if (delayMs <= 0)
        return;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    bool armed = false;
    if (m_timer >= 0) {
        const qint64 targetMs = qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000 + delayMs;
        itimerspec at{};
        at.it_value.tv_sec = time_t(targetMs / 1000);
        at.it_value.tv_nsec = long(targetMs % 1000) * 1000000L;
        armed = ::timerfd_settime(m_timer, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &at, nullptr) == 0;
    }
    const qint64 deadline = SystemLocalClock().monotonicMs() + delayMs;
    for (;;) {
        pollfd fds[4] = {{m_wake, POLLIN, 0},
                         {armed ? m_timer : -1, POLLIN, 0},
                         {m_watch.fd(), POLLIN, 0},
                         {m_zone.fd(), POLLIN, 0}};
        int timeoutMs = -1;
        if (!armed) {
            // Without a timer, by the monotonic clock (a clock set is then not seen).
            const qint64 left = deadline - SystemLocalClock().monotonicMs();
            if (left <= 0)
                return;
            timeoutMs = int(qMin<qint64>(left, INT_MAX));
        }
        const int r = ::poll(fds, 4, timeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return; // no way to wait: the caller looks again
        if (fds[0].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(m_wake, &count, sizeof count);
            return;
        }
        if (fds[1].revents & POLLIN) {
            // The expiry count, or ECANCELED for a clock that was set; both wake.
            std::uint64_t expirations = 0;
            [[maybe_unused]] const ssize_t n = ::read(m_timer, &expirations, sizeof expirations);
            return;
        }
        if ((fds[2].revents & POLLIN) && m_watch.drain())
            return;
        if ((fds[3].revents & POLLIN) && m_zone.drain())
            return;
        if (r == 0)
            return; // the poll's own timeout
        // Another file of the folder changed: wait on.
    }
}

void TimerfdDueWaiter::wake()
{
    if (m_wake < 0)
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wake, &one, sizeof one);
}

void TimerfdDueWaiter::interrupt()
{
    m_interrupted.store(true);
    wake();
}
