#include "frame/module_lock.h"

namespace tarvovcard::frame {

constinit std::atomic<LONG> g_lock_count{0};

}  // namespace tarvovcard::frame
