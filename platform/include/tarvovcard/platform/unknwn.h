// The base interfaces of the component runtime.
//
// Interfaces are abstract classes in slot order with no virtual destructor:
// objects are destroyed by their own Release, never through an interface.
#pragma once

#include "tarvovcard/platform/wtypes.h"

struct tagVARIANT;
using VARIANT = tagVARIANT;

extern "C" const IID IID_IUnknown;
extern "C" const IID IID_IClassFactory;
extern "C" const IID IID_IDispatch;
extern "C" const IID IID_IEnumVARIANT;
extern "C" const IID IID_ISupportErrorInfo;

struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;
};

struct IClassFactory : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                                   void** ppvObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};

// Only the type of VARIANT::pdispVal: no class of this system answers IDispatch,
// and enumerators hand out their elements' own interfaces under this tag.
struct IDispatch : IUnknown {};

struct IEnumVARIANT : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** ppEnum) = 0;
};

struct ISupportErrorInfo : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) = 0;
};

// The IID of an interface type, for typed helpers such as CComPtr::QueryInterface
// (the platform's __uuidof). Every interface header specialises it.
template <class Interface>
struct InterfaceTraits;

#define TV_DECLARE_INTERFACE_IID(Interface, iid) \
  template <>                                    \
  struct InterfaceTraits<Interface> {            \
    static const IID& Iid() { return iid; }      \
  };

template <class Interface>
inline const IID& uuidof() {
  return InterfaceTraits<Interface>::Iid();
}

TV_DECLARE_INTERFACE_IID(IUnknown, IID_IUnknown)
TV_DECLARE_INTERFACE_IID(IClassFactory, IID_IClassFactory)
TV_DECLARE_INTERFACE_IID(IDispatch, IID_IDispatch)
TV_DECLARE_INTERFACE_IID(IEnumVARIANT, IID_IEnumVARIANT)
TV_DECLARE_INTERFACE_IID(ISupportErrorInfo, IID_ISupportErrorInfo)
