// Module state of the library: the object map (the eight creatable classes)
// and their class objects. The lock count that tells whether the library may
// be unloaded is the frame's (frame/module_lock.h); each class object guards
// its own counter with its own mutex.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <mutex>
#include <span>

#include "frame/module_lock.h"
#include "tarvovcard/platform/unknwn.h"

namespace tarvovcard::server {

// Makes an instance of the entry's class: plain when outer is null, aggregated
// otherwise, and answers riid. ppv is valid and already cleared.
using InstanceCreatorFn = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

// One creatable class, with what the registration scripts need.
struct ObjectMapEntry {
  const CLSID* clsid;
  InstanceCreatorFn create_instance;
  int registry_resource;                        // REGISTRY resource number of its script
  const char16_t* class_name;                   // u"VCard"
  const char16_t* description;                  // u"VCard Class"
  const char16_t* prog_id;                      // u"TarvovCard.VCard.1"
  const char16_t* version_independent_prog_id;  // u"TarvovCard.VCard"
};

inline constexpr std::size_t kObjectMapSize = 8;

// The object map, in its fixed order: VCard, VCardProperty, VCardValue,
// VCardParameter, VCardColl, VCardParameterColl, VCardPropertyColl,
// VCardValueColl (scripts 101, 102, 103, 105, 106, 107, 108, 109).
std::span<const ObjectMapEntry, kObjectMapSize> ObjectMap() noexcept;

class ClassFactory;

class Module {
 public:
  constexpr Module() noexcept = default;
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  // Start and stop of the library (its process attach and detach).
  void Init(HMODULE instance, const GUID& libid) noexcept;
  // Gives back the module's reference to every class object it created.
  void Term() noexcept;

  HMODULE instance() const noexcept { return instance_; }
  const GUID& libid() const noexcept { return libid_; }

  // The library's lock count (frame/module_lock.h).
  LONG Lock() noexcept { return frame::LockModule(); }
  LONG Unlock() noexcept { return frame::UnlockModule(); }
  LONG GetLockCount() const noexcept { return frame::ModuleLockCount(); }

  // The class object of rclsid, created on the first request and kept until
  // Term, asked for riid. CLASS_E_CLASSNOTAVAILABLE for a class not in the map.
  HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) noexcept;

 private:
  HMODULE instance_ = nullptr;
  GUID libid_{};
  std::mutex class_objects_mutex_;
  std::array<ClassFactory*, kObjectMapSize> class_objects_{};
};

// The one module of this library (constant-initialised: usable before any
// dynamic initialiser, from the library's start function on).
extern Module g_module;
inline Module& TheModule() noexcept {
  return g_module;
}

// The class object of one map entry: IUnknown and IClassFactory.
class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(InstanceCreatorFn create_instance) noexcept
      : create_instance_(create_instance) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                           void** ppvObject) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

 private:
  ~ClassFactory() = default;

  InstanceCreatorFn create_instance_;
  std::mutex mutex_;  // guards ref_count_ and the lock decision taken with it
  ULONG ref_count_ = 0;
};

}  // namespace tarvovcard::server
