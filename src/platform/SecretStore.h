#pragma once

#include <QHash>
#include <QString>

// The desktop's secret store (Secret Service), where the sync password lives
// instead of the settings file. Calls wait for the store's answer; they are
// made off the interface thread or where waiting is expected (the command line).
class SecretStore
{
public:
    enum class Result {
        Ok,
        NotFound, // the store answered and holds no such secret
        NoStore,  // no secret store answers on this desktop
        Failed    // the store refused (locked, denied); error says why
    };
    virtual ~SecretStore() = default;
    virtual Result read(const QString& key, QString& secret, QString& error) = 0;
    virtual Result write(const QString& key, const QString& secret, QString& error) = 0;
    virtual Result remove(const QString& key, QString& error) = 0;
};

class FakeSecretStore final : public SecretStore
{
public:
    Result read(const QString& key, QString& secret, QString&) override
    {
        if (!m_available)
            return Result::NoStore;
        if (!m_secrets.contains(key))
            return Result::NotFound;
        secret = m_secrets.value(key);
        return Result::Ok;
    }
    Result write(const QString& key, const QString& secret, QString&) override
    {
        if (!m_available)
            return Result::NoStore;
        m_secrets.insert(key, secret);
        return Result::Ok;
    }
    Result remove(const QString& key, QString&) override
    {
        if (!m_available)
            return Result::NoStore;
        return m_secrets.remove(key) ? Result::Ok : Result::NotFound;
    }
    void setAvailable(bool available) { m_available = available; }
    const QHash<QString, QString>& secrets() const { return m_secrets; }

private:
    QHash<QString, QString> m_secrets;
    bool m_available = true;
};
