// The lock count of the library: every live instance, every class object held
// beyond the module's own reference and every LockServer(TRUE) not yet
// matched holds one lock, and DllCanUnloadNow answers S_OK only at zero.
//
// It is the only state shared between threads, so it is changed atomically.
// It lives here, below the object model, because every object takes a lock
// from its construction to its destruction; the class list that makes
// objects belongs to the module (server/module.h), which counts through this.
#pragma once

#include <atomic>

#include "tarvovcard/platform/wtypes.h"

namespace tarvovcard::frame {

// Constant-initialised: usable before any dynamic initialiser.
extern std::atomic<LONG> g_lock_count;

inline LONG LockModule() noexcept {
  return g_lock_count.fetch_add(1, std::memory_order_acq_rel) + 1;
}
inline LONG UnlockModule() noexcept {
  return g_lock_count.fetch_sub(1, std::memory_order_acq_rel) - 1;
}
inline LONG ModuleLockCount() noexcept {
  return g_lock_count.load(std::memory_order_acquire);
}

}  // namespace tarvovcard::frame
