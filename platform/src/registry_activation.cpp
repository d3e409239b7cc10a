// Activation through the registry: ProgIDs, loading a class's library from
// its InprocServer32 key, and unloading the libraries loaded that way once
// they say they may go.
//
// The libraries loaded here are remembered with their dlopen handles; only
// they are ever closed by CoFreeUnusedLibraries. A library linked into the
// program or opened by the program itself keeps its own references, so closing
// the runtime's reference to it never unloads it under its user.
//
// Loading runs the library's initialisation, which publishes the module with
// CoRegisterModule and may even create objects; no lock of this file is held
// while a library is opened, so that re-entry is harmless. Unloading runs the
// library's termination, which withdraws the module.
#include "platform/src/registry_activation.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tarvovcard/platform/winnls.h"
#include "tarvovcard/platform/winreg.h"
#include "tarvovcard/text.h"

namespace {

// The registry key holder: closes what it opened.
class RegKey {
 public:
  RegKey() = default;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey() {
    if (key_) RegCloseKey(key_);
  }
  LONG Open(HKEY parent, const std::u16string& sub) {
    return RegOpenKeyExW(parent, sub.c_str(), 0, KEY_READ, &key_);
  }
  // The key's default value; nullopt with the error number in *error.
  std::optional<std::u16string> DefaultValue(LONG* error) const {
    DWORD bytes = 0;
    LONG r = RegQueryValueExW(key_, nullptr, nullptr, nullptr, nullptr, &bytes);
    while (r == ERROR_SUCCESS) {
      std::u16string text(bytes / sizeof(char16_t), u'\0');
      DWORD size = bytes;
      r = RegQueryValueExW(key_, nullptr, nullptr, nullptr, reinterpret_cast<LPBYTE>(text.data()),
                           &size);
      if (r == ERROR_MORE_DATA) {  // changed meanwhile by another process
        bytes = size;
        r = ERROR_SUCCESS;
        continue;
      }
      if (r != ERROR_SUCCESS) break;
      text.resize(size / sizeof(char16_t));
      while (!text.empty() && text.back() == u'\0') text.pop_back();
      return text;
    }
    *error = r;
    return std::nullopt;
  }

 private:
  HKEY key_ = nullptr;
};

// Reads the default value of HKCR\path into *text: `missing` when the key or
// the value is not there, REGDB_E_READREGDB when the registry cannot be read.
HRESULT ReadDefault(const std::u16string& path, HRESULT missing, std::u16string* text) {
  RegKey key;
  LONG error = key.Open(HKEY_CLASSES_ROOT, path);
  if (error == ERROR_SUCCESS) {
    if (auto value = key.DefaultValue(&error)) {
      *text = std::move(*value);
      return S_OK;
    }
  }
  return error == ERROR_FILE_NOT_FOUND ? missing : REGDB_E_READREGDB;
}

std::u16string GuidText(REFGUID guid) {
  OLECHAR text[40];
  int n = StringFromGUID2(guid, text, 40);
  return std::u16string(text, n > 0 ? static_cast<std::size_t>(n - 1) : 0);
}

// The libraries this runtime loaded, with the handle of its one reference.
struct LoadedLibraries {
  std::recursive_mutex mutex;
  std::vector<void*> handles;
};

LoadedLibraries& Loaded() {
  // Never destroyed: modules unloaded at exit may still reach the runtime.
  static LoadedLibraries* const loaded = new LoadedLibraries;
  return *loaded;
}

}  // namespace

namespace tv_platform {

HRESULT ActivateFromRegistry(REFCLSID rclsid) {
  try {
    std::u16string server;
    HRESULT hr = ReadDefault(u"CLSID\\" + GuidText(rclsid) + u"\\InprocServer32",
                             REGDB_E_CLASSNOTREG, &server);
    if (FAILED(hr)) return hr;
    const std::string path = tarvovcard::ToUtf8(server);
    if (path.empty()) return CO_E_DLLNOTFOUND;
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return access(path.c_str(), F_OK) == 0 ? CO_E_ERRORINDLL : CO_E_DLLNOTFOUND;
    if (!dlsym(handle, "DllGetClassObject")) {
      dlclose(handle);
      return CO_E_ERRORINDLL;
    }
    LoadedLibraries& loaded = Loaded();
    std::lock_guard lock(loaded.mutex);
    for (void* h : loaded.handles) {
      if (h == handle) {
        // Already ours: keep one reference only.
        dlclose(handle);
        return S_OK;
      }
    }
    loaded.handles.push_back(handle);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace tv_platform

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid) {
  if (!lpclsid) return E_INVALIDARG;
  *lpclsid = GUID_NULL;
  if (!lpszProgID || !*lpszProgID) return E_INVALIDARG;
  try {
    std::u16string text;
    HRESULT hr = ReadDefault(std::u16string(lpszProgID) + u"\\CLSID", CO_E_CLASSSTRING, &text);
    if (FAILED(hr)) return hr;
    CLSID clsid;
    if (FAILED(CLSIDFromString(text.c_str(), &clsid))) return CO_E_CLASSSTRING;
    *lpclsid = clsid;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
  if (!lplpszProgID) return E_INVALIDARG;
  *lplpszProgID = nullptr;
  try {
    std::u16string text;
    HRESULT hr =
        ReadDefault(u"CLSID\\" + GuidText(clsid) + u"\\ProgID", REGDB_E_CLASSNOTREG, &text);
    if (FAILED(hr)) return hr;
    const std::size_t bytes = (text.size() + 1) * sizeof(OLECHAR);
    auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (!out) return E_OUTOFMEMORY;
    std::memcpy(out, text.c_str(), bytes);
    *lplpszProgID = out;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

void CoFreeUnusedLibraries() {
  LoadedLibraries& loaded = Loaded();
  std::lock_guard lock(loaded.mutex);
  for (auto it = loaded.handles.begin(); it != loaded.handles.end();) {
    auto canUnload = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(*it, "DllCanUnloadNow"));
    if (canUnload && canUnload() == S_OK) {
      // Its termination withdraws the module from the runtime.
      dlclose(*it);
      it = loaded.handles.erase(it);
    } else {
      ++it;
    }
  }
}
