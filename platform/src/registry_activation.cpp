// Registry activation: a placeholder that knows no class. The registry
// implementation replaces this file as a whole.
#include "platform/src/registry_activation.h"

namespace tv_platform {

HRESULT ActivateFromRegistry(REFCLSID /*rclsid*/) {
  return REGDB_E_CLASSNOTREG;
}

}  // namespace tv_platform

HRESULT CLSIDFromProgID(LPCOLESTR /*lpszProgID*/, CLSID* lpclsid) {
  if (lpclsid) *lpclsid = GUID_NULL;
  return REGDB_E_CLASSNOTREG;
}

HRESULT ProgIDFromCLSID(REFCLSID /*clsid*/, LPOLESTR* lplpszProgID) {
  if (lplpszProgID) *lplpszProgID = nullptr;
  return REGDB_E_CLASSNOTREG;
}

void CoFreeUnusedLibraries() {}
