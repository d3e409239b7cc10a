// Memory handed across a boundary, freed by the receiver with CoTaskMemFree.
#include <cstdlib>

#include "tarvovcard/platform/objbase.h"

LPVOID CoTaskMemAlloc(std::size_t cb) {
  // A zero-byte request still yields a distinct block that can be freed.
  return std::malloc(cb ? cb : 1);
}

void CoTaskMemFree(LPVOID pv) {
  std::free(pv);
}
