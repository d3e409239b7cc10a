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

// A property with a name and the parameters of a list "NAME=VALUE,...".
inline CComPtr<IVCardProperty> MakeProperty(const char16_t* name,
                                            std::u16string_view parameters = u"") {
  auto property = Create<IVCardProperty>(CLSID_VCardProperty);
  CComPtr<IVCardParameterColl> collection;
  EXPECT_EQ(property->put_Name(CComBSTR(name)), S_OK);
  EXPECT_EQ(property->get_Parameters(&collection), S_OK);
  while (!parameters.empty()) {
    const std::u16string_view item = parameters.substr(0, parameters.find(u','));
    parameters.remove_prefix(std::min(parameters.size(), item.size() + 1));
    const std::size_t equals = item.find(u'=');
    EXPECT_EQ(collection->Add(MakeParameter(item.substr(0, equals), item.substr(equals + 1))),
              S_OK);
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

// A text value of the property, appended the way the reader does it: parent
// first, then the content, then Add.
inline CComPtr<IVCardValue> AddTextValue(IVCardProperty* property, const char16_t* text) {
  auto value = Create<IVCardValue>(CLSID_VCardValue);
  EXPECT_EQ(value->putref_Parent(property), S_OK);
  EXPECT_EQ(value->put_DecodedValue(CComVariant(text)), S_OK);
  CComPtr<IVCardValueColl> values;
  EXPECT_EQ(property->get_Values(&values), S_OK);
  EXPECT_EQ(values->Add(value), S_OK);
  return value;
}

// The IUnknown of a stack-allocated element implemented outside the library:
// it answers IUnknown and its interface, and counts the references that a
// test checks at its end (back to 1).
template <class Interface>
struct Counted : Interface {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    const bool known = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, uuidof<Interface>());
    *ppv = known ? static_cast<Interface*>(this) : nullptr;
    if (known) AddRef();
    return known ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  ULONG refs = 1;
};

// A parameter with a fixed type, name and value that counts its type queries.
struct StubParameter : Counted<IVCardParameter> {
  StubParameter(EVCardParameter type, const char16_t* name, const char16_t* value)
      : type(type), name(name), value(value) {}
  HRESULT STDMETHODCALLTYPE get_Type(EVCardParameter* pVal) override {
    ++type_queries;
    *pVal = type;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* pVal) override {
    *pVal = SysAllocString(name);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Value(BSTR* pVal) override {
    *pVal = SysAllocString(value);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Type(EVCardParameter) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Name(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Value(BSTR) override { return E_NOTIMPL; }

  EVCardParameter type;
  const char16_t* name;
  const char16_t* value;
  int type_queries = 0;
};

// A property that forwards to one of the library's own, so that the library
// cannot see its implementation. It counts its QueryParameterByType calls;
// with `failure` set, Type and Name fail with it.
struct ForeignProperty : Counted<IVCardProperty> {
  explicit ForeignProperty(IVCardProperty* inner, HRESULT failure = S_OK)
      : inner(inner), failure(failure) {}
#define FORWARD(method, Argument)                         \
  HRESULT STDMETHODCALLTYPE method(Argument a) override { \
    return inner->method(a);                              \
  }
  FORWARD(put_Type, EVCardProperty)
  FORWARD(put_Name, BSTR)
  FORWARD(get_Group, BSTR*)
  FORWARD(put_Group, BSTR)
  FORWARD(get_Parameters, IVCardParameterColl**)
  FORWARD(get_Values, IVCardValueColl**)
  FORWARD(get_AsAddress, IVCardPropertyAddress**)
  FORWARD(get_AsName, IVCardPropertyName**)
  FORWARD(get_AsOrganisation, IVCardPropertyOrganisation**)
#undef FORWARD
  HRESULT STDMETHODCALLTYPE get_Type(EVCardProperty* p) override {
    return FAILED(failure) ? failure : inner->get_Type(p);
  }
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* p) override {
    return FAILED(failure) ? failure : inner->get_Name(p);
  }
  HRESULT STDMETHODCALLTYPE QueryParameterByType(EVCardParameter t,
                                                 IVCardParameterColl** p) override {
    ++parameter_queries;
    return inner->QueryParameterByType(t, p);
  }
  HRESULT STDMETHODCALLTYPE QueryParameterByName(BSTR n, IVCardParameterColl** p) override {
    return inner->QueryParameterByName(n, p);
  }

  IVCardProperty* inner;
  HRESULT failure;
  int parameter_queries = 0;
};

}  // namespace tarvovcard::testing
