#include "server/module.h"

#include <new>

namespace tarvovcard::server {

constinit Module g_module;

void Module::Init(HMODULE instance, const GUID& libid) noexcept {
  instance_ = instance;
  libid_ = libid;
}

void Module::Term() noexcept {
  std::array<ClassFactory*, kObjectMapSize> held{};
  {
    std::lock_guard guard(class_objects_mutex_);
    held.swap(class_objects_);
  }
  // Released outside the mutex: a class object's destruction takes its own.
  for (ClassFactory* factory : held) {
    if (factory) factory->Release();
  }
}

HRESULT Module::GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) noexcept {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  auto map = ObjectMap();
  std::size_t index = 0;
  while (index < map.size() && !IsEqualCLSID(*map[index].clsid, rclsid)) ++index;
  if (index == map.size()) return CLASS_E_CLASSNOTAVAILABLE;

  ClassFactory* factory = nullptr;
  {
    std::lock_guard guard(class_objects_mutex_);
    factory = class_objects_[index];
    if (!factory) {
      factory = new (std::nothrow) ClassFactory(map[index].create_instance);
      if (!factory) return E_OUTOFMEMORY;
      factory->AddRef();  // the module's own reference, kept until Term
      class_objects_[index] = factory;
    }
    // Asked while the module's reference is certain to be held.
    return factory->QueryInterface(riid, ppv);
  }
}

HRESULT ClassFactory::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) {
    return E_NOINTERFACE;
  }
  *ppv = static_cast<IClassFactory*>(this);
  AddRef();
  return S_OK;
}

ULONG ClassFactory::AddRef() {
  std::lock_guard guard(mutex_);
  ULONG count = ++ref_count_;
  // The module's reference is the first; any other holder keeps the library.
  if (count == 2) TheModule().Lock();
  return count;
}

ULONG ClassFactory::Release() {
  ULONG count;
  {
    std::lock_guard guard(mutex_);
    count = --ref_count_;
    if (count == 1) TheModule().Unlock();
  }
  if (count == 0) delete this;
  return count;
}

HRESULT ClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) {
  if (!ppvObject) return E_POINTER;
  *ppvObject = nullptr;
  if (pUnkOuter && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  return create_instance_(pUnkOuter, riid, ppvObject);
}

HRESULT ClassFactory::LockServer(BOOL fLock) {
  if (fLock) {
    TheModule().Lock();
  } else {
    TheModule().Unlock();
  }
  return S_OK;
}

}  // namespace tarvovcard::server
