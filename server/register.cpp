// DllRegisterServer and DllUnregisterServer: the eight classes' scripts and
// the type library, registered under the library's own full path.
//
// Everything runs as one registry update, so a failure anywhere leaves the
// registry exactly as it was before the call.
#include <unistd.h>

#include <new>
#include <string>

#include "server/entry.h"
#include "server/module.h"
#include "server/registrar.h"
#include "tarvovcard/automation_types.h"
#include "tarvovcard/platform/winnls.h"
#include "tarvovcard/platform/winreg.h"

extern "C" {
TARVOVCARD_API HRESULT DllRegisterServer();
TARVOVCARD_API HRESULT DllUnregisterServer();
}

namespace tarvovcard::server {
namespace {

// The path as UTF-16, for the registry; nullopt unless it converts back to
// the very same bytes. File names on this system are bytes, and a name that
// is not UTF-8 would be registered with replacement characters: a key that
// names no file, which the loader could only report much later.
std::optional<std::u16string> Wide(const std::string& s) {
  if (s.empty()) return std::u16string();
  const int size = static_cast<int>(s.size());
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), size, nullptr, 0);
  if (n <= 0) return std::nullopt;
  std::u16string out(static_cast<std::size_t>(n), u'\0');
  if (MultiByteToWideChar(CP_UTF8, 0, s.data(), size, out.data(), n) != n) return std::nullopt;
  std::string back(s.size(), '\0');
  if (WideCharToMultiByte(CP_UTF8, 0, out.data(), n, back.data(), size, nullptr, nullptr) != size ||
      back != s)
    return std::nullopt;
  return out;
}

// The library's path made absolute (the loader reports it as it was asked
// for, which may be relative).
std::optional<std::string> FullModulePath() {
  std::string path = ModulePath();
  if (path.empty()) return std::nullopt;
  if (path[0] != '/') {
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return std::nullopt;
    path = std::string(cwd) + "/" + path;
  }
  return path;
}

HRESULT UpdateServer(bool do_register) noexcept {
  try {
    auto path = FullModulePath();
    if (!path) return E_UNEXPECTED;
    std::string folder = path->substr(0, path->find_last_of('/'));
    auto module = Wide(*path);
    auto helpdir = Wide(folder.empty() ? "/" : folder);
    if (!module || !helpdir) return HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION);
    const RegistrarVariables variables = {{u"MODULE", *module}, {u"HELPDIR", *helpdir}};

    auto idl = FindResource("TYPELIB", 1);
    IdlLibrary library;
    if (!idl || !ReadIdl(*idl, &library, nullptr)) return TYPE_E_LIBNOTREGISTERED;

    if (LONG r = RegBeginUpdate()) return HRESULT_FROM_WIN32(static_cast<DWORD>(r));
    HRESULT hr = S_OK;
    for (const ObjectMapEntry& entry : ObjectMap()) {
      hr = UpdateRegistryFromResource(entry.registry_resource, do_register, variables);
      if (FAILED(hr)) break;
    }
    if (SUCCEEDED(hr))
      hr = RunRegistrationScript(TypeLibraryScript(library), do_register, variables);
    LONG end = RegEndUpdate(SUCCEEDED(hr) ? TRUE : FALSE);
    if (SUCCEEDED(hr) && end != ERROR_SUCCESS) hr = HRESULT_FROM_WIN32(static_cast<DWORD>(end));
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace
}  // namespace tarvovcard::server

HRESULT DllRegisterServer() {
  return tarvovcard::server::UpdateServer(true);
}

HRESULT DllUnregisterServer() {
  return tarvovcard::server::UpdateServer(false);
}
