// The stand-in host's locks at fork(2).
#include "hostrt/standin/locks.h"

#include <pthread.h>

#include <atomic>

namespace hostrt_standin {
namespace {

enum ForkHandlers { kUnregistered, kRegistering, kRegistered };
std::atomic<int> forkHandlers{kUnregistered};

// Before fork: every lock, in order, so that the child copies no state
// half-changed.
void TakeAll() {
  LoggingMutex().lock();
  DictionariesMutex().lock();
  ProductStateMutex().lock();
}

// After fork, in the parent and in the child, where the forking thread is
// the one that holds them.
void ReleaseAll() {
  ProductStateMutex().unlock();
  DictionariesMutex().unlock();
  LoggingMutex().unlock();
}

// Registers the handlers once; a thread that finds another registering them
// goes on without waiting.
void RegisterForkHandlers() {
  if (forkHandlers.load(std::memory_order_acquire) != kUnregistered) return;
  int unregistered = kUnregistered;
  if (!forkHandlers.compare_exchange_strong(unregistered, kRegistering)) {
    return;
  }
  const bool registered = pthread_atfork(TakeAll, ReleaseAll, ReleaseAll) == 0;
  forkHandlers.store(registered ? kRegistered : kUnregistered,
                     std::memory_order_release);
}

}  // namespace

Held::Held(std::mutex& mutex) : mutex_(mutex) {
  RegisterForkHandlers();
  mutex_.lock();
}

}  // namespace hostrt_standin
