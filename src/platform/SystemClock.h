#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

// Sets the machine's clock.
class SystemClock
{
public:
    virtual ~SystemClock() = default;
    virtual bool setUtc(const QDateTime& utc, QString* error) = 0;
};

class FakeSystemClock final : public SystemClock
{
public:
    bool setUtc(const QDateTime& utc, QString* error) override
    {
        m_requests.append(utc);
        if (!m_accept && error)
            *error = QStringLiteral("refused by the fake");
        return m_accept;
    }
    void setAccept(bool a) { m_accept = a; }
    const QList<QDateTime>& requests() const { return m_requests; }

private:
    bool m_accept = true;
    QList<QDateTime> m_requests;
};
