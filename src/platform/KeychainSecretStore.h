#pragma once

#include "platform/SecretStore.h"

// The desktop's Secret Service through QtKeychain. Each call waits for its job
// in a local event loop; no Secret Service on the session bus answers NoStore.
class KeychainSecretStore final : public SecretStore
{
public:
    Result read(const QString& key, QString& secret, QString& error) override;
    Result write(const QString& key, const QString& secret, QString& error) override;
    Result remove(const QString& key, QString& error) override;
};
