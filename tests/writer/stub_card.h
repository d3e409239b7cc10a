// A card that fails: every call returns `failure`. Its reference count lets a
// test see stray AddRef or Release calls.
#pragma once

#include <tarvovcard/tarvovcard.h>

namespace tarvovcard::writer::testing {

class FailingCard : public IVCard {
 public:
  explicit FailingCard(HRESULT failure) : failure_(failure) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (riid == IID_IUnknown || riid == IID_IVCard) {
      *object = static_cast<IVCard*>(this);
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }

  HRESULT STDMETHODCALLTYPE get_FolderPath(BSTR*) override { return failure_; }
  HRESULT STDMETHODCALLTYPE put_FolderPath(BSTR) override { return failure_; }
  HRESULT STDMETHODCALLTYPE get_Filename(BSTR*) override { return failure_; }
  HRESULT STDMETHODCALLTYPE put_Filename(BSTR) override { return failure_; }
  HRESULT STDMETHODCALLTYPE get_Properties(IVCardPropertyColl**) override { return failure_; }
  HRESULT STDMETHODCALLTYPE QueryPropertyByType(EVCardProperty, IVCardPropertyColl**) override {
    return failure_;
  }
  HRESULT STDMETHODCALLTYPE QueryPropertyByParameter(EVCardProperty, EVCardParameter, BSTR,
                                                     IVCardPropertyColl**) override {
    return failure_;
  }
  HRESULT STDMETHODCALLTYPE QueryPropertyByName(BSTR, IVCardPropertyColl**) override {
    return failure_;
  }
  HRESULT STDMETHODCALLTYPE QueryPropertyByNameAndParameter(BSTR, EVCardParameter, BSTR,
                                                            IVCardPropertyColl**) override {
    return failure_;
  }

  ULONG references() const { return references_; }

 private:
  HRESULT failure_;
  ULONG references_ = 1;  // The test's own.
};

}  // namespace tarvovcard::writer::testing
