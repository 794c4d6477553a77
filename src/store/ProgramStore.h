#pragma once

#include <memory>

class CAdoDatabase;
class StoreService;

// The program's store service, registered by the application object for its
// life, so that the features below it can default to the program's store
// without looking the application up.
void SetProgramStore(StoreService* service);
// The registered service's store for one call, or null (none registered, or released).
std::shared_ptr<CAdoDatabase> ProgramDatabase();
// The registered service itself, or null; for a feature that releases the store.
StoreService* ProgramStoreService();
