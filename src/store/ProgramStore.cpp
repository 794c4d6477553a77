#include "store/ProgramStore.h"

#include "store/StoreService.h"

#include <atomic>

namespace {
std::atomic<StoreService*> g_service{nullptr};
} // namespace

void SetProgramStore(StoreService* service)
{
    g_service.store(service);
}

std::shared_ptr<CAdoDatabase> ProgramDatabase()
{
    StoreService* service = g_service.load();
    return service ? service->database() : nullptr;
}

StoreService* ProgramStoreService()
{
    return g_service.load();
}
