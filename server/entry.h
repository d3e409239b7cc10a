// The entry points that the library exports (C linkage, default visibility).
#pragma once

#include <string>

#include "tarvovcard/automation_types.h"

extern "C" {
// The class object of one of the eight classes, asked for riid.
TARVOVCARD_API HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
// S_OK when no instance, no class-object reference beyond the module's own and
// no LockServer lock remains; else S_FALSE.
TARVOVCARD_API HRESULT DllCanUnloadNow();
}

namespace tarvovcard::server {

// The full path of the file this library (or the program it is linked into)
// was loaded from; empty if it cannot be found.
std::string ModulePath();

}  // namespace tarvovcard::server
