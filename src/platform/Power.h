#pragma once

#include <QString>
#include <functional>

// Asks the system to shut down and power off, never forced: a refusal or an
// inhibitor is reported as failure. The request is asynchronous: polkit may
// ask the user for a password for as long as the user takes, and the program
// runs on meanwhile.
class Power
{
public:
    // accepted: the system is shutting down. Otherwise reason says why not.
    using Done = std::function<void(bool accepted, const QString& reason)>;

    virtual ~Power() = default;
    // Sends the request; done runs with the answer, on this thread. Returns
    // false, sending nothing and never running done, while an earlier request
    // still waits for its answer.
    virtual bool powerOff(Done done) = 0;
    // True while a request waits for its answer.
    virtual bool pending() const = 0;
};

// Answers at once, or holds the answer until the test releases it.
class FakePower final : public Power
{
public:
    bool powerOff(Done done) override
    {
        if (m_waiting)
            return false;
        ++m_requests;
        if (m_hold) {
            m_waiting = std::move(done);
            return true;
        }
        answer(done);
        return true;
    }
    bool pending() const override { return bool(m_waiting); }

    void setAccept(bool a) { m_accept = a; }
    // Requests from now on wait until release().
    void setHold(bool h) { m_hold = h; }
    // Answers the waiting request.
    void release()
    {
        Done done = std::move(m_waiting);
        m_waiting = nullptr;
        answer(done);
    }
    int requests() const { return m_requests; }
    static QString refusal() { return QStringLiteral("refused by the fake"); }

private:
    void answer(const Done& done)
    {
        if (done)
            done(m_accept, m_accept ? QString() : refusal());
    }

    bool m_accept = true;
    bool m_hold = false;
    Done m_waiting;
    int m_requests = 0;
};
