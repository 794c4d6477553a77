#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>

// Sets the machine's clock. Asynchronous: polkit may ask the user first.
class SystemClock
{
public:
    struct Result
    {
        bool set = false;
        // Refused because the system keeps its clock in step by itself (NTP).
        bool automaticSync = false;
        QString reason; // why not, when not set
    };
    using Done = std::function<void(const Result&)>;

    virtual ~SystemClock() = default;
    // Sends the request; done runs with the answer, on this thread. Returns
    // false, sending nothing and never running done, while an earlier request
    // still waits for its answer.
    virtual bool setUtc(const QDateTime& utc, Done done) = 0;
    // True while a request waits for its answer.
    virtual bool pending() const = 0;
};

// Records the times asked for; answers at once, or holds the answer until the
// test releases it.
class FakeSystemClock final : public SystemClock
{
public:
    bool setUtc(const QDateTime& utc, Done done) override
    {
        if (m_waiting)
            return false;
        m_requests.append(utc);
        if (m_hold) {
            m_waiting = std::move(done);
            return true;
        }
        answer(done);
        return true;
    }
    bool pending() const override { return bool(m_waiting); }

    void setAccept(bool a) { m_accept = a; }
    // Refusals from now on say that automatic synchronisation is on.
    void setAutomaticSync(bool on) { m_automaticSync = on; }
    void setHold(bool h) { m_hold = h; }
    void release()
    {
        Done done = std::move(m_waiting);
        m_waiting = nullptr;
        answer(done);
    }
    const QList<QDateTime>& requests() const { return m_requests; }

private:
    void answer(const Done& done)
    {
        if (!done)
            return;
        Result r;
        r.set = m_accept;
        if (!m_accept) {
            r.automaticSync = m_automaticSync;
            r.reason = QStringLiteral("refused by the fake");
        }
        done(r);
    }

    bool m_accept = true;
    bool m_automaticSync = false;
    bool m_hold = false;
    Done m_waiting;
    QList<QDateTime> m_requests;
};
