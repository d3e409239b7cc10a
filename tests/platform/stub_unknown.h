// A stack-allocated IUnknown whose count catches stray AddRef and Release: a
// test ends with it back at 1, the creator's reference.
#pragma once

#include "tarvovcard/platform/unknwn.h"

struct StubUnknown : IUnknown {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    const bool known = IsEqualIID(riid, IID_IUnknown);
    *ppv = known ? static_cast<IUnknown*>(this) : nullptr;
    if (known) AddRef();
    return known ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  ULONG refs = 1;
};
