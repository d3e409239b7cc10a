// The library's entry points, and its start and stop.
//
// When the dynamic loader maps the library (the platform's process attach),
// the start function initialises the module and publishes it to the runtime,
// so that CoCreateInstance finds the eight classes from then on, inside the
// library too. When the library is unmapped (process detach), the stop
// function withdraws it and gives back the module's class objects.
#include "server/entry.h"

#include <dlfcn.h>

#include <cstdlib>
#include <memory>

#include "server/module.h"
#include "tarvovcard/platform/objbase.h"

namespace tarvovcard::server {
namespace {

DWORD g_module_cookie = 0;

// Any address inside this library.
void AnchorOfThisModule() {}

HMODULE ThisModuleHandle() noexcept {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&AnchorOfThisModule), &info) == 0) return nullptr;
  return info.dli_fbase;
}

__attribute__((constructor)) void LibraryStart() {
  HMODULE instance = ThisModuleHandle();
  TheModule().Init(instance, LIBID_TARVOVCARDLib);
  // A failure leaves the classes unpublished: CoCreateInstance then reports
  // the class as not registered, which is all a start function can do.
  if (FAILED(CoRegisterModule(instance, &DllGetClassObject, &DllCanUnloadNow, &g_module_cookie))) {
    g_module_cookie = 0;
  }
}

__attribute__((destructor)) void LibraryStop() {
  if (g_module_cookie != 0) CoRevokeModule(g_module_cookie);
  g_module_cookie = 0;
  TheModule().Term();
}

}  // namespace

std::string ModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&AnchorOfThisModule), &info) == 0 || !info.dli_fname) {
    return {};
  }
  // The loader reports the name the library was opened by, which may be
  // relative or pass through links and "..": the registry wants a full path
  // that leads here from any folder. The file name itself stays as opened
  // (libtarvovcard.so.1, not the file that link names today), so that an
  // update of the library keeps its registration.
  const std::string opened = info.dli_fname;
  const std::size_t slash = opened.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : opened.substr(0, slash);
  std::unique_ptr<char, decltype(&std::free)> full(
      realpath(folder.empty() ? "/" : folder.c_str(), nullptr), &std::free);
  if (!full) return opened;
  std::string path(full.get());
  if (path != "/") path += '/';
  return path + opened.substr(slash == std::string::npos ? 0 : slash + 1);
}

}  // namespace tarvovcard::server

extern "C" {

TARVOVCARD_API HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  return tarvovcard::server::TheModule().GetClassObject(rclsid, riid, ppv);
}

TARVOVCARD_API HRESULT DllCanUnloadNow() {
  return tarvovcard::server::TheModule().GetLockCount() == 0 ? S_OK : S_FALSE;
}
}
