// Helpers of the object-model tests: creation by class identity, strings, and
// stub objects whose counts catch stray AddRef and Release.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/stub_unknown.h"
#include "server/entry.h"
#include "tarvovcard/tarvovcard.h"

namespace tarvovcard::testing {

// Creates an object by class identity, as a client does; fails the test on error.
template <class Interface>
CComPtr<Interface> Create(REFCLSID clsid) {
  CComPtr<Interface> object;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, uuidof<Interface>(),
                                reinterpret_cast<void**>(&object));
  EXPECT_EQ(hr, S_OK);
  return object;
}

inline std::u16string Str(BSTR s) {
  return s ? std::u16string(s, SysStringLen(s)) : u"";
}

// A property with a name (and optionally a group).
inline CComPtr<IVCardProperty> MakeProperty(const char16_t* name) {
  auto property = Create<IVCardProperty>(CLSID_VCardProperty);
  EXPECT_EQ(property->put_Name(CComBSTR(name)), S_OK);
  return property;
}

inline CComPtr<IVCardParameter> MakeParameter(const char16_t* name, const char16_t* value) {
  auto parameter = Create<IVCardParameter>(CLSID_VCardParameter);
  EXPECT_EQ(parameter->put_Name(CComBSTR(name)), S_OK);
  EXPECT_EQ(parameter->put_Value(CComBSTR(value)), S_OK);
  return parameter;
}

inline void AddParameter(IVCardProperty* property, const char16_t* name, const char16_t* value) {
  CComPtr<IVCardParameterColl> parameters;
  ASSERT_EQ(property->get_Parameters(&parameters), S_OK);
  ASSERT_EQ(parameters->Add(MakeParameter(name, value)), S_OK);
}

inline LONG CountOf(IVCardPropertyColl* c) {
  LONG n = -1;
  EXPECT_EQ(c->get_Count(&n), S_OK);
  return n;
}
inline LONG CountOf(IVCardParameterColl* c) {
  LONG n = -1;
  EXPECT_EQ(c->get_Count(&n), S_OK);
  return n;
}
inline LONG CountOf(IVCardValueColl* c) {
  LONG n = -1;
  EXPECT_EQ(c->get_Count(&n), S_OK);
  return n;
}

// A value of the property, appended the way the reader does it: parent first,
// then the content, then Add.
inline CComPtr<IVCardValue> AddTextValue(IVCardProperty* property, const char16_t* text) {
  auto value = Create<IVCardValue>(CLSID_VCardValue);
  EXPECT_EQ(value->putref_Parent(property), S_OK);
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(text);
  EXPECT_EQ(value->put_DecodedValue(v), S_OK);
  VariantClear(&v);
  CComPtr<IVCardValueColl> values;
  EXPECT_EQ(property->get_Values(&values), S_OK);
  EXPECT_EQ(values->Add(value), S_OK);
  return value;
}

// A stack-allocated parameter implemented outside the library: fixed type,
// name and value, and counts that a test checks at its end (back to 1).
struct StubParameter : IVCardParameter {
  StubParameter(EVCardParameter type, const char16_t* name, const char16_t* value)
      : type(type), name(name), value(value) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IVCardParameter)) {
      return E_NOINTERFACE;
    }
    *ppv = static_cast<IVCardParameter*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }

  HRESULT STDMETHODCALLTYPE get_Type(EVCardParameter* pVal) override {
    *pVal = type;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Type(EVCardParameter) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* pVal) override {
    *pVal = SysAllocString(name);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Name(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Value(BSTR* pVal) override {
    *pVal = SysAllocString(value);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Value(BSTR) override { return E_NOTIMPL; }

  EVCardParameter type;
  const char16_t* name;
  const char16_t* value;
  ULONG refs = 1;
};

// An outer object for aggregation tests: answers only IUnknown and counts
// its references.
using StubOuter = ::StubUnknown;

}  // namespace tarvovcard::testing
