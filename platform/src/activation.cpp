// Object activation: the table of published modules and the class cache.
//
// The reader creates millions of objects through CoCreateInstance, possibly
// from two threads at once, so a class that has been found once costs a
// lock-free scan of a short table and no reference counting on its class
// object:
//
// - Published modules are a list under a mutex; they change rarely (a module
//   publishes itself when loaded and withdraws at its termination).
// - The class cache is an append-only table of fixed capacity. An entry is
//   written completely before the entry count is raised (release), and readers
//   read the count (acquire) and then only entries below it, so they need no
//   lock. Only an entry's live flag changes later, when its module withdraws.
// - The cache holds NO reference on a class object. The module keeps its own
//   first reference for its whole life; a second one, held here, would count
//   as a client's lock and keep the module loaded forever. The pointer is
//   borrowed, and its entry dies when the module withdraws.
// - A class that no published module serves is looked up in the registry
//   (registry_activation.cpp), without the mutex held, because loading a
//   library runs its initialisation, which publishes it here.
//
// The runtime state is created on first use and never destroyed, so that
// modules unloaded at process exit, after static destruction has begun, can
// still withdraw.
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/src/registry_activation.h"
#include "tarvovcard/platform/objbase.h"

namespace {

constexpr std::size_t kClassCapacity = 128;

struct PublishedModule {
  DWORD cookie;
  HMODULE module;
  LPFNGETCLASSOBJECT get_class_object;
  LPFNCANUNLOADNOW can_unload_now;
};

// How to reach a class: through its class object, borrowed from the module
// that keeps it, or (for a module that makes a new class object per request)
// through the module's DllGetClassObject each time.
struct ClassSource {
  IClassFactory* factory = nullptr;
  LPFNGETCLASSOBJECT get_class_object = nullptr;
};

struct ClassEntry {
  CLSID clsid;
  ClassSource source;
  DWORD cookie;
  std::atomic<bool> live;
};

bool SameGuid(REFGUID a, REFGUID b) {
  return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

// Codes by which a module says that a class is not one of its own.
bool IsNotServed(HRESULT hr) {
  return hr == CLASS_E_CLASSNOTAVAILABLE || hr == REGDB_E_CLASSNOTREG || hr == E_NOINTERFACE;
}

class Runtime {
 public:
  static Runtime& Instance() {
    static Runtime* const runtime = new Runtime;  // deliberately never destroyed
    return *runtime;
  }

  // Finds a class, asking the published modules and then the registry on a
  // miss. REGDB_E_CLASSNOTREG when nothing serves it.
  HRESULT Find(REFCLSID clsid, ClassSource* source) {
    if (FindCached(clsid, source)) return S_OK;
    try {
      return FindUncached(clsid, source);
    } catch (...) {
      // Only locking the mutex can throw here.
      return E_UNEXPECTED;
    }
  }

  HRESULT Register(HMODULE module, LPFNGETCLASSOBJECT get_class_object,
                   LPFNCANUNLOADNOW can_unload_now, DWORD* cookie) {
    try {
      std::lock_guard lock(mutex_);
      modules_.push_back({next_cookie_, module, get_class_object, can_unload_now});
      *cookie = next_cookie_++;
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_UNEXPECTED;
    }
  }

  HRESULT Revoke(DWORD cookie) {
    try {
      std::lock_guard lock(mutex_);
      return RevokeLocked(cookie);
    } catch (...) {
      return E_UNEXPECTED;
    }
  }

 private:
  Runtime() = default;

  HRESULT FindUncached(REFCLSID clsid, ClassSource* source) {
    HRESULT hr = FindInModules(clsid, source);
    if (hr != REGDB_E_CLASSNOTREG) return hr;
    hr = tv_platform::ActivateFromRegistry(clsid);
    if (FAILED(hr)) return hr;
    // The library loaded has published itself (if it is a module at all).
    return FindInModules(clsid, source);
  }

  HRESULT RevokeLocked(DWORD cookie) {
    bool found = false;
    for (auto it = modules_.begin(); it != modules_.end(); ++it) {
      if (it->cookie == cookie) {
        modules_.erase(it);
        found = true;
        break;
      }
    }
    if (!found) return E_INVALIDARG;
    const std::size_t count = class_count_.load(std::memory_order_relaxed);
    for (std::size_t i = 0; i < count; ++i)
      if (classes_[i].cookie == cookie) classes_[i].live.store(false, std::memory_order_release);
    return S_OK;
  }

  bool FindCached(REFCLSID clsid, ClassSource* source) const {
    const std::size_t count = class_count_.load(std::memory_order_acquire);
    for (std::size_t i = 0; i < count; ++i) {
      const ClassEntry& entry = classes_[i];
      if (SameGuid(entry.clsid, clsid) && entry.live.load(std::memory_order_acquire)) {
        *source = entry.source;
        return true;
      }
    }
    return false;
  }

  // Asks each published module in the order of publication.
  HRESULT FindInModules(REFCLSID clsid, ClassSource* source) {
    // Recursive: a module's DllGetClassObject may itself create objects.
    std::lock_guard lock(mutex_);
    // Another thread may have found the class meanwhile.
    if (FindCached(clsid, source)) return S_OK;
    HRESULT failure = REGDB_E_CLASSNOTREG;
    // A copy, since a module's answer may publish or withdraw modules.
    const std::vector<PublishedModule> modules = modules_;
    for (const PublishedModule& module : modules) {
      IClassFactory* factory = nullptr;
      HRESULT hr =
          module.get_class_object(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
      if (FAILED(hr) || !factory) {
        // A module that knows the class but fails to provide it is reported,
        // unless another module serves the class.
        if (FAILED(hr) && !IsNotServed(hr) && failure == REGDB_E_CLASSNOTREG) failure = hr;
        continue;
      }
      // Give the reference back at once: the module keeps its own. A module
      // that does not (the count drops to 0) is asked again on every request.
      const ULONG remaining = factory->Release();
      source->factory = remaining > 0 ? factory : nullptr;
      source->get_class_object = module.get_class_object;
      Cache(clsid, *source, module.cookie);
      return S_OK;
    }
    return failure;
  }

  // Appends an entry; a full table only means that the class is looked up in
  // the modules on every request.
  void Cache(REFCLSID clsid, const ClassSource& source, DWORD cookie) {
    const std::size_t count = class_count_.load(std::memory_order_relaxed);
    if (count == kClassCapacity) return;
    ClassEntry& entry = classes_[count];
    entry.clsid = clsid;
    entry.source = source;
    entry.cookie = cookie;
    entry.live.store(true, std::memory_order_relaxed);
    class_count_.store(count + 1, std::memory_order_release);
  }

  std::recursive_mutex mutex_;
  std::vector<PublishedModule> modules_;
  DWORD next_cookie_ = 1;
  ClassEntry classes_[kClassCapacity] = {};
  std::atomic<std::size_t> class_count_{0};
};

// The start of both activation calls: clears the caller's pointer and finds
// the class, which only an in-process request can reach.
HRESULT FindInProcess(REFCLSID clsid, DWORD context, LPVOID* ppv, ClassSource* source) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if ((context & (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)) == 0) return REGDB_E_CLASSNOTREG;
  return Runtime::Instance().Find(clsid, source);
}

thread_local unsigned init_count = 0;

}  // namespace

HRESULT CoInitialize(LPVOID pvReserved) {
  return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

HRESULT CoInitializeEx(LPVOID /*pvReserved*/, DWORD /*dwCoInit*/) {
  return init_count++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
  if (init_count > 0) --init_count;
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID /*pvReserved*/, REFIID riid,
                         LPVOID* ppv) {
  ClassSource source;
  HRESULT hr = FindInProcess(rclsid, dwClsContext, ppv, &source);
  if (FAILED(hr)) return hr;
  // The caller gets a reference of its own.
  if (source.factory) return source.factory->QueryInterface(riid, ppv);
  return source.get_class_object(rclsid, riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv) {
  ClassSource source;
  HRESULT hr = FindInProcess(rclsid, dwClsContext, ppv, &source);
  if (FAILED(hr)) return hr;
  // The borrowed class object is used without AddRef/Release: its module
  // keeps it alive for as long as the module is published.
  if (source.factory) return source.factory->CreateInstance(pUnkOuter, riid, ppv);
  IClassFactory* factory = nullptr;
  hr = source.get_class_object(rclsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  if (!factory) return E_UNEXPECTED;
  hr = factory->CreateInstance(pUnkOuter, riid, ppv);
  factory->Release();
  return hr;
}

HRESULT CoRegisterModule(HMODULE hModule, LPFNGETCLASSOBJECT pfnGetClassObject,
                         LPFNCANUNLOADNOW pfnCanUnloadNow, DWORD* pdwCookie) {
  if (!pdwCookie) return E_POINTER;
  *pdwCookie = 0;
  if (!pfnGetClassObject) return E_INVALIDARG;
  return Runtime::Instance().Register(hModule, pfnGetClassObject, pfnCanUnloadNow, pdwCookie);
}

HRESULT CoRevokeModule(DWORD dwCookie) {
  return Runtime::Instance().Revoke(dwCookie);
}
