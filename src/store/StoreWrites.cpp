#include "store/StoreWrites.h"

#include <mutex>
#include <utility>
#include <vector>

namespace store {
namespace {

struct Listeners
{
    std::mutex mutex;
    int nextToken = 1;
    std::vector<std::pair<int, WriteListener>> entries;
};

Listeners& listeners()
{
    static Listeners l;
    return l;
}

} // namespace

int AddWriteListener(WriteListener listener)
{
    Listeners& l = listeners();
    std::lock_guard<std::mutex> lock(l.mutex);
    const int token = l.nextToken++;
    l.entries.emplace_back(token, std::move(listener));
    return token;
}

void RemoveWriteListener(int token)
{
    Listeners& l = listeners();
    std::lock_guard<std::mutex> lock(l.mutex);
    for (auto it = l.entries.begin(); it != l.entries.end(); ++it) {
        if (it->first == token) {
            l.entries.erase(it);
            return;
        }
    }
}

void NotifyWriteCommitted()
{
    Listeners& l = listeners();
    // Held while the listeners run, so that a removal waits for a call in progress.
    std::lock_guard<std::mutex> lock(l.mutex);
    for (const auto& entry : l.entries)
        entry.second();
}

} // namespace store
