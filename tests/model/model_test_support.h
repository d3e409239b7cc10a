// Helpers of the object-model tests: creation by class identity, strings,
// parameter lists written as "NAME=VALUE,...", reference counts, and elements
// implemented outside the library whose counts catch stray AddRef and Release.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

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

// One line of a status table: the call as written and the status it must
// give. The calls run in order, so a line may rely on the ones before it.
struct StatusCase {
  const char* call;
  std::function<HRESULT()> run;
  HRESULT expected;
};
#define CALL(expression) #expression, [&]() -> HRESULT { return expression; }
inline void ExpectStatuses(std::initializer_list<StatusCase> cases) {
  for (const StatusCase& c : cases) EXPECT_EQ(c.run(), c.expected) << c.call;
}

// The count seen from outside: AddRef and Release return the new count.
inline ULONG Refs(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

// Of a collection, held in a CComPtr or as a plain pointer.
template <class Collection>
LONG CountOf(const Collection& collection) {
  LONG n = -1;
  EXPECT_EQ(collection->get_Count(&n), S_OK);
  return n;
}

inline CComPtr<IVCardParameter> MakeParameter(std::u16string_view name, std::u16string_view value) {
  auto parameter = Create<IVCardParameter>(CLSID_VCardParameter);
  EXPECT_EQ(parameter->put_Name(CComBSTR(name.data(), static_cast<UINT>(name.size()))), S_OK);
  EXPECT_EQ(parameter->put_Value(CComBSTR(value.data(), static_cast<UINT>(value.size()))), S_OK);
  return parameter;
}

inline void AddParameter(IVCardProperty* property, std::u16string_view name,
                         std::u16string_view value) {
  CComPtr<IVCardParameterColl> parameters;
  ASSERT_EQ(property->get_Parameters(&parameters), S_OK);
  ASSERT_EQ(parameters->Add(MakeParameter(name, value)), S_OK);
}

// A property with a name and the parameters of a list "NAME=VALUE,...".
inline CComPtr<IVCardProperty> MakeProperty(const char16_t* name,
                                            std::u16string_view parameters = u"") {
  auto property = Create<IVCardProperty>(CLSID_VCardProperty);
  EXPECT_EQ(property->put_Name(CComBSTR(name)), S_OK);
  while (!parameters.empty()) {
    const std::u16string_view item = parameters.substr(0, parameters.find(u','));
    parameters.remove_prefix(std::min(parameters.size(), item.size() + 1));
    const std::size_t equals = item.find(u'=');
    AddParameter(property, item.substr(0, equals), item.substr(equals + 1));
  }
  return property;
}

// The property's parameters as a list "NAME=VALUE,..." in order.
inline std::u16string ParametersOf(IVCardProperty* property) {
  CComPtr<IVCardParameterColl> parameters;
  EXPECT_EQ(property->get_Parameters(&parameters), S_OK);
  std::u16string list;
  for (LONG i = 0; i < CountOf(parameters); ++i) {
    CComPtr<IVCardParameter> parameter;
    CComBSTR name, value;
    EXPECT_EQ(parameters->Item(i, &parameter), S_OK);
    parameter->get_Name(&name);
    parameter->get_Value(&value);
    list += (list.empty() ? u"" : u",") + Str(name) + u"=" + Str(value);
  }
  return list;
}

// A value of the property, appended the way the reader does it: parent first,
// then the content, then Add.
inline CComPtr<IVCardValue> AddValue(IVCardProperty* property, const VARIANT& content) {
  auto value = Create<IVCardValue>(CLSID_VCardValue);
  EXPECT_EQ(value->putref_Parent(property), S_OK);
  EXPECT_EQ(value->put_DecodedValue(content), S_OK);
  CComPtr<IVCardValueColl> values;
  EXPECT_EQ(property->get_Values(&values), S_OK);
  EXPECT_EQ(values->Add(value), S_OK);
  return value;
}
inline CComPtr<IVCardValue> AddTextValue(IVCardProperty* property, const char16_t* text) {
  return AddValue(property, CComVariant(text));
}

// A stack-allocated parameter implemented outside the library: fixed type,
// name and value, a count of the type queries, and reference counts that a
// test checks at its end (back to 1).
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
    ++type_queries;
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
  int type_queries = 0;
};

// A stack-allocated property implemented outside the library, forwarding to
// one of the library's own so that the library cannot see its
// implementation. It counts its references and QueryParameterByType calls;
// with `failure` set, Type and Name fail with it.
struct ForeignProperty : IVCardProperty {
  explicit ForeignProperty(IVCardProperty* inner, HRESULT failure = S_OK)
      : inner(inner), failure(failure) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IVCardProperty)) {
      return E_NOINTERFACE;
    }
    *ppv = static_cast<IVCardProperty*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE get_Type(EVCardProperty* p) override {
    return FAILED(failure) ? failure : inner->get_Type(p);
  }
  HRESULT STDMETHODCALLTYPE put_Type(EVCardProperty t) override { return inner->put_Type(t); }
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* p) override {
    return FAILED(failure) ? failure : inner->get_Name(p);
  }
  HRESULT STDMETHODCALLTYPE put_Name(BSTR n) override { return inner->put_Name(n); }
  HRESULT STDMETHODCALLTYPE get_Group(BSTR* p) override { return inner->get_Group(p); }
  HRESULT STDMETHODCALLTYPE put_Group(BSTR g) override { return inner->put_Group(g); }
  HRESULT STDMETHODCALLTYPE get_Parameters(IVCardParameterColl** p) override {
    return inner->get_Parameters(p);
  }
  HRESULT STDMETHODCALLTYPE get_Values(IVCardValueColl** p) override {
    return inner->get_Values(p);
  }
  HRESULT STDMETHODCALLTYPE QueryParameterByType(EVCardParameter t,
                                                 IVCardParameterColl** p) override {
    ++parameter_queries;
    return inner->QueryParameterByType(t, p);
  }
  HRESULT STDMETHODCALLTYPE QueryParameterByName(BSTR n, IVCardParameterColl** p) override {
    return inner->QueryParameterByName(n, p);
  }
  HRESULT STDMETHODCALLTYPE get_AsAddress(IVCardPropertyAddress** p) override {
    return inner->get_AsAddress(p);
  }
  HRESULT STDMETHODCALLTYPE get_AsName(IVCardPropertyName** p) override {
    return inner->get_AsName(p);
  }
  HRESULT STDMETHODCALLTYPE get_AsOrganisation(IVCardPropertyOrganisation** p) override {
    return inner->get_AsOrganisation(p);
  }

  IVCardProperty* inner;
  HRESULT failure;
  ULONG refs = 1;
  int parameter_queries = 0;
};

}  // namespace tarvovcard::testing
