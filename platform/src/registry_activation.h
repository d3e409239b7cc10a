// The registry side of object activation, kept apart from the class table.
//
// CoCreateInstance and CoGetClassObject call ActivateFromRegistry when no
// published module serves a class; it finds the class's InprocServer32 in the
// registry and loads that library, whose initialisation publishes it with
// CoRegisterModule. The caller then looks the class up again. It is called
// without any lock of the runtime held, since loading runs the library's
// initialisation, which calls back into the runtime.
#pragma once

#include "tarvovcard/platform/objbase.h"

namespace tv_platform {

// S_OK when a library was loaded for the class (it may still not serve it);
// REGDB_E_CLASSNOTREG when the registry does not know the class, or the
// failure of loading the library. Internal to the runtime: not exported.
__attribute__((visibility("hidden"))) HRESULT ActivateFromRegistry(REFCLSID rclsid);

}  // namespace tv_platform
