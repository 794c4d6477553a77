#pragma once

#include <functional>

// Who wants to hear of the program's own writes to its store: the due check,
// whose worker sleeps until the next reminder and must look again at once when
// a record is added or changed.
namespace store {

using WriteListener = std::function<void()>;

// Thread-safe. A listener runs on the writing thread, right after the write has
// been committed, with the store's lock held: it must be quick and must not call
// the store. Returns a token for RemoveWriteListener.
int AddWriteListener(WriteListener listener);
// After it returns, the listener is not running and never runs again.
void RemoveWriteListener(int token);

// Called by the store after every committed write.
void NotifyWriteCommitted();

} // namespace store
