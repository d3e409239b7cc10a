// Object frame of the library's classes: reference counting, interface
// lookup, construction and aggregation, in the shape of the platform's ATL.
//
// A class T of the object model is written once, abstract over IUnknown:
//
//   class VCardParameter : public IVCardParameter, public ISupportErrorInfo,
//                          public ComObjectRoot {
//    public:
//     static const IID& ImplIid();          // private identity query, below
//     IUnknown* GetInterface(REFIID riid);  // no reference added; null if unknown
//     HRESULT FinalConstruct();             // optional construction step
//     void FinalRelease();                  // optional release step
//     ...
//   };
//
// and is completed by one of two wrappers:
//
//   ComObject<T>           a plain instance: QueryInterface, AddRef and Release
//                          work on T's own counter.
//   ComAggObject<T>        an aggregated instance: the outer object holds its
//                          non-delegating IUnknown (the ComAggObject itself);
//                          T's interfaces (a ComContainedObject<T>) delegate
//                          QueryInterface, AddRef and Release to the outer.
//
// Counters are plain integers: every class is apartment-threaded, so an object
// is only ever used from the thread that created it. Every instance, plain or
// aggregated, holds one lock on the module from its construction to its
// destruction, which is what DllCanUnloadNow counts.
//
// Private identity query: QueryInterface with T::ImplIid() answers the
// implementation itself (a T*), WITHOUT adding a reference. The identifiers
// are never published; they let the library recognise its own objects behind
// an interface pointer (see the impl_from_* helpers of the model) and fall
// back to the public interface for anybody else's.
#pragma once

#include <new>

#include "frame/module_lock.h"
#include "frame/object_arena.h"
#include "tarvovcard/platform/atlbase.h"
#include "tarvovcard/platform/comdef.h"
#include "tarvovcard/platform/objbase.h"
#include "tarvovcard/platform/unknwn.h"

namespace tarvovcard::frame {

// Runs the body of an interface operation: a _com_error becomes its code, a
// failed allocation E_OUTOFMEMORY, anything else E_UNEXPECTED. Nothing else
// may cross an interface.
template <class F>
inline HRESULT ComBoundary(F&& body) noexcept {
  try {
    return body();
  } catch (const _com_error& e) {
    return e.Error();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

// The common base: the reference counter and the default construction and
// release steps. The wrappers below own the counter's meaning.
//
// It goes last in a class's list of bases, and the class's first field is a
// 4-byte one where it has any: the interfaces' table pointers come first,
// the 4-byte counter after them, and that field fills the 4 bytes beside it.
// Placed first, the counter sits between two table pointers and takes 8
// bytes in every one of the millions of objects of a Load.
class ComObjectRoot {
 public:
  HRESULT FinalConstruct() { return S_OK; }
  void FinalRelease() {}

 protected:
  ComObjectRoot() = default;
  ComObjectRoot(const ComObjectRoot&) = delete;
  ComObjectRoot& operator=(const ComObjectRoot&) = delete;
  ~ComObjectRoot() = default;

  ULONG ref_count_ = 0;

  template <class T>
  friend class ComObject;
  template <class T>
  friend struct Creator;
};

// Answers QueryInterface from T's table; shared by the plain wrapper and the
// outer's non-delegating IUnknown.
template <class T>
inline HRESULT QueryFromTable(T* object, REFIID riid, void** ppv) noexcept {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  IUnknown* unknown = object->GetInterface(riid);
  if (!unknown) return E_NOINTERFACE;
  unknown->AddRef();
  *ppv = unknown;
  return S_OK;
}

// A plain instance.
template <class T>
class ComObject final : public T {
 public:
  ComObject() noexcept { LockModule(); }
  ~ComObject() {
    this->FinalRelease();
    UnlockModule();
  }
  TARVOVCARD_ARENA_ALLOCATED(ComObject)

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv && IsEqualIID(riid, T::ImplIid())) {
      *ppv = static_cast<T*>(this);
      return S_OK;
    }
    return QueryFromTable<T>(this, riid, ppv);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++this->ref_count_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG count = --this->ref_count_;
    if (count == 0) delete this;
    return count;
  }
};

// The inner object of an aggregate: T with its IUnknown delegating to the
// outer object. It lives inside a ComAggObject and is never allocated alone.
template <class T>
class ComContainedObject final : public T {
 public:
  explicit ComContainedObject(IUnknown* outer) noexcept : outer_(outer) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    // The identity query stays inside: the outer object does not know it.
    if (ppv && IsEqualIID(riid, T::ImplIid())) {
      *ppv = static_cast<T*>(this);
      return S_OK;
    }
    return outer_->QueryInterface(riid, ppv);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return outer_->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return outer_->Release(); }

 private:
  IUnknown* outer_;  // not counted: the outer object owns this one
};

// An aggregated instance: the non-delegating IUnknown that the outer object
// holds, with the contained T inside. Its own counter governs its life.
template <class T>
class ComAggObject final : public IUnknown {
 public:
  explicit ComAggObject(IUnknown* outer) noexcept : contained_(outer) { LockModule(); }
  ~ComAggObject() {
    contained_.FinalRelease();
    UnlockModule();
  }
  TARVOVCARD_ARENA_ALLOCATED(ComAggObject)

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown)) {
      *ppv = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    // The interfaces of T, whose AddRef goes to the outer object.
    return QueryFromTable<T>(&contained_, riid, ppv);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++ref_count_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG count = --ref_count_;
    if (count == 0) delete this;
    return count;
  }

  T* contained() noexcept { return &contained_; }

 private:
  ULONG ref_count_ = 0;
  ComContainedObject<T> contained_;

  template <class U>
  friend struct Creator;
};

// The instance creator of a class: the entry of the object map that the class
// object calls. The class object has already checked ppv, cleared *ppv and
// refused aggregation for any interface but IUnknown.
template <class T>
struct Creator {
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept {
    if (!outer) {
      auto* object = new (std::nothrow) ComObject<T>();
      if (!object) return E_OUTOFMEMORY;
      // The construction step runs with the counter raised by one, so that it
      // may hand out and drop references to the new object without killing it.
      ++object->ref_count_;
      HRESULT hr = ComBoundary([&] { return object->FinalConstruct(); });
      --object->ref_count_;
      if (SUCCEEDED(hr)) hr = object->QueryInterface(riid, ppv);
      if (FAILED(hr)) delete object;
      return hr;
    }
    auto* object = new (std::nothrow) ComAggObject<T>(outer);
    if (!object) return E_OUTOFMEMORY;
    ++object->ref_count_;
    HRESULT hr = ComBoundary([&] { return object->contained_.FinalConstruct(); });
    --object->ref_count_;
    if (SUCCEEDED(hr)) hr = object->QueryInterface(riid, ppv);
    if (FAILED(hr)) delete object;
    return hr;
  }
};

// Recovers the implementation behind an interface pointer through the private
// identity query; null for a null pointer and for anybody else's object.
template <class T, class Interface>
inline T* ImplFrom(Interface* iface) noexcept {
  if (!iface) return nullptr;
  void* impl = nullptr;
  if (FAILED(iface->QueryInterface(T::ImplIid(), &impl))) return nullptr;
  return static_cast<T*>(impl);
}

// Makes an instance of the library's own class T directly, without the
// runtime's class table: for the parts an object is made of (a card's
// property collection, a property's value and parameter collections), which
// must be the library's own, whatever a program has registered for their
// class. Throws _com_error on failure.
template <class T, class Interface = typename T::Interface>
inline CComPtr<Interface> CreatePart() {
  CComPtr<Interface> object;
  _com_util::CheckError(
      Creator<T>::CreateInstance(nullptr, uuidof<Interface>(), reinterpret_cast<void**>(&object)));
  return object;
}

}  // namespace tarvovcard::frame

namespace tarvovcard::frame {

// Creates an object by class identity through the runtime, as every object of
// the library is created (its own internal objects included); throws
// _com_error with the runtime's code on failure.
template <class Interface>
inline CComPtr<Interface> CreateObject(REFCLSID clsid) {
  CComPtr<Interface> object;
  _com_util::CheckError(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, uuidof<Interface>(),
                                         reinterpret_cast<void**>(&object)));
  return object;
}

}  // namespace tarvovcard::frame
