// Object activation: creating objects by class identity.
//
// A module (an in-process server) loaded into the process publishes itself to
// the runtime when it is initialised, with CoRegisterModule; its classes are
// then creatable by CLSID from anywhere in the process, its own internal
// creation included. The runtime asks each published module's
// DllGetClassObject on the first request for a class and remembers the answer,
// so later requests cost a short table scan and no reference counting on the
// class object. A class that no published module serves is looked up in the
// registry (InprocServer32), and that library is loaded.
#pragma once

#include <cstddef>

#include "tarvovcard/platform/unknwn.h"

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
constexpr DWORD CLSCTX_ALL = 0x17;

constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
constexpr DWORD COINIT_MULTITHREADED = 0x0;

// The runtime needs no per-thread set-up; these keep the platform's calling
// pattern and count nesting per thread (S_FALSE when already initialised).
HRESULT CoInitialize(LPVOID pvReserved);
HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
void CoUninitialize();

// REGDB_E_CLASSNOTREG for a class that no module serves.
HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid,
                         LPVOID* ppv);
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv);

// Unloads the libraries that the runtime loaded from the registry and whose
// DllCanUnloadNow answers S_OK.
void CoFreeUnusedLibraries();

// Memory that crosses a boundary with the receiver as owner.
LPVOID CoTaskMemAlloc(std::size_t cb);
void CoTaskMemFree(LPVOID pv);

// ProgID lookups through the registry (HKEY_CLASSES_ROOT\<ProgID>\CLSID and
// HKEY_CLASSES_ROOT\CLSID\{...}\ProgID). *lplpszProgID is CoTaskMemAlloc'ed.
HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid);
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);

using LPFNGETCLASSOBJECT = HRESULT (*)(REFCLSID, REFIID, LPVOID*);
using LPFNCANUNLOADNOW = HRESULT (*)();

// Publishes a loaded module's class table. The runtime keeps no reference to
// the module's class objects beyond what the module itself holds, so a
// published module stays unloadable when nothing else uses it.
HRESULT CoRegisterModule(HMODULE hModule, LPFNGETCLASSOBJECT pfnGetClassObject,
                         LPFNCANUNLOADNOW pfnCanUnloadNow, DWORD* pdwCookie);
// Withdraws a module (at its termination); its classes are no longer found.
HRESULT CoRevokeModule(DWORD dwCookie);
