#pragma once

#include <memory>

class CAdoDatabase;

// The program's one store connection, handed to the features that use or
// release it (the application object owns it).
class StoreService
{
public:
    virtual ~StoreService() = default;
    // The store for one call (keep it no longer), or null once released.
    virtual std::shared_ptr<CAdoDatabase> database() const = 0;
    // Closes and releases the store for good; waits for a call in progress.
    virtual void ReleaseStore() = 0;
};
