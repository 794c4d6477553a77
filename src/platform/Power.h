#pragma once

#include <QString>

// Asks the system to shut down and power off, never forced: a refusal or an
// inhibitor is reported as failure.
class Power
{
public:
    virtual ~Power() = default;
    virtual bool powerOff(QString* error) = 0;
};

class FakePower final : public Power
{
public:
    bool powerOff(QString* error) override
    {
        ++m_requests;
        if (!m_accept && error)
            *error = QStringLiteral("refused by the fake");
        return m_accept;
    }
    void setAccept(bool a) { m_accept = a; }
    int requests() const { return m_requests; }

private:
    bool m_accept = true;
    int m_requests = 0;
};
