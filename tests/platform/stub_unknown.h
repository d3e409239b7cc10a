// A stack-allocated IUnknown whose counts catch stray AddRef and Release.
#pragma once

#include "tarvovcard/platform/unknwn.h"

struct StubUnknown : IUnknown {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown)) return E_NOINTERFACE;
    *ppv = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }

  // The creator's reference; a test ends with this back at 1.
  ULONG refs = 1;
};
