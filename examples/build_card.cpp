// A small client: builds a card by hand through the public interfaces,
// queries it, prints what it finds, and releases everything, after which the
// library reports that it may be unloaded.
//
//   g++ -std=c++20 build_card.cpp $(pkg-config --cflags --libs tarvovcard)
#include <cstdio>
#include <string>

#include <tarvovcard/tarvovcard.h>

extern "C" HRESULT DllCanUnloadNow();

namespace {

// Stops the program at the first failure, with the step and its code.
void Check(HRESULT hr, const char* step) {
  if (FAILED(hr)) {
    std::fprintf(stderr, "build_card: %s failed: 0x%08X\n", step, static_cast<unsigned>(hr));
    throw _com_error(hr);
  }
}

template <class Interface>
CComPtr<Interface> Create(REFCLSID clsid, const char* what) {
  CComPtr<Interface> object;
  Check(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, uuidof<Interface>(),
                         reinterpret_cast<void**>(&object)),
        what);
  return object;
}

std::string Narrow(BSTR text) {
  std::string result;
  for (UINT i = 0; text && i < SysStringLen(text); ++i) {
    result += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
  }
  return result;
}

// A property with its name, parameters (name=value pairs) and text values.
CComPtr<IVCardProperty> AddProperty(IVCardPropertyColl* properties, const char16_t* name,
                                    std::initializer_list<const char16_t*> parameters,
                                    std::initializer_list<const char16_t*> values) {
  auto property = Create<IVCardProperty>(CLSID_VCardProperty, "creating a property");
  Check(property->put_Name(CComBSTR(name)), "naming a property");

  CComPtr<IVCardParameterColl> parameter_list;
  Check(property->get_Parameters(&parameter_list), "reading the parameters");
  for (auto it = parameters.begin(); it != parameters.end(); it += 2) {
    auto parameter = Create<IVCardParameter>(CLSID_VCardParameter, "creating a parameter");
    Check(parameter->put_Name(CComBSTR(it[0])), "naming a parameter");
    Check(parameter->put_Value(CComBSTR(it[1])), "setting a parameter value");
    Check(parameter_list->Add(parameter), "adding a parameter");
  }

  CComPtr<IVCardValueColl> value_list;
  Check(property->get_Values(&value_list), "reading the values");
  for (const char16_t* text : values) {
    auto value = Create<IVCardValue>(CLSID_VCardValue, "creating a value");
    // The parent first: the value's coding rules come from its property.
    Check(value->putref_Parent(property), "setting the parent");
    CComVariant decoded;
    decoded.vt = VT_BSTR;
    decoded.bstrVal = SysAllocString(text);
    Check(value->put_DecodedValue(decoded), "setting a value");
    Check(value_list->Add(value), "adding a value");
  }
  Check(properties->Add(property), "adding a property");
  return property;
}

int BuildAndQuery() {
  auto card = Create<IVCard>(CLSID_VCard, "creating the card");
  CComPtr<IVCardPropertyColl> properties;
  Check(card->get_Properties(&properties), "reading the properties");

  AddProperty(properties, u"FN", {}, {u"Ann Example"});
  AddProperty(properties, u"TEL", {u"TYPE", u"HOME", u"TYPE", u"VOICE"}, {u"+1 555 0100"});
  AddProperty(properties, u"TEL", {u"TYPE", u"WORK"}, {u"+1 555 0199"});
  AddProperty(properties, u"EMAIL", {u"TYPE", u"INTERNET"}, {u"ann@example.org"});

  // The N property filled through its view.
  auto name = AddProperty(properties, u"N", {}, {});
  CComPtr<IVCardPropertyName> name_view;
  Check(name->get_AsName(&name_view), "asking for the name view");
  Check(name_view->put_FamilyName(CComBSTR(u"Example")), "setting the family name");
  Check(name_view->put_GivenName(CComBSTR(u"Ann")), "setting the given name");
  Check(name_view->put_NameSuffix(CComBSTR(u"Jr.")), "setting the suffix");

  CComBSTR family, given, prefix;
  Check(name_view->get_FamilyName(&family), "reading the family name");
  Check(name_view->get_GivenName(&given), "reading the given name");
  Check(name_view->get_NamePrefix(&prefix), "reading the prefix");  // never set: empty
  std::printf("N: family=%s given=%s prefix=\"%s\"\n", Narrow(family).c_str(),
              Narrow(given).c_str(), Narrow(prefix).c_str());

  // The home voice number: both TYPE values must be there.
  CComPtr<IVCardPropertyColl> home;
  Check(card->QueryPropertyByParameter(VCARD_PROP_TEL, VCARD_PARAM_TYPE, CComBSTR(u"home;voice"),
                                       &home),
        "querying by parameter");
  LONG count = 0;
  Check(home->get_Count(&count), "counting the result");
  for (LONG i = 0; i < count; ++i) {
    CComPtr<IVCardProperty> tel;
    Check(home->Item(i, &tel), "reading the result");
    CComPtr<IVCardValueColl> values;
    Check(tel->get_Values(&values), "reading the values");
    CComPtr<IVCardValue> number;
    Check(values->Item(0, &number), "reading the number");
    VARIANT encoded;
    VariantInit(&encoded);
    Check(number->get_EncodedValue(&encoded), "encoding the number");
    std::printf("home voice TEL: %s\n", encoded.pcVal);
    CoTaskMemFree(encoded.pcVal);  // encoded text belongs to the caller
  }

  CComPtr<IVCardPropertyColl> phones;
  Check(card->QueryPropertyByType(VCARD_PROP_TEL, &phones), "querying by type");
  LONG phone_count = 0;
  Check(phones->get_Count(&phone_count), "counting the phones");
  std::printf("TEL properties: %d, home voice: %d\n", phone_count, count);
  return count == 1 && phone_count == 2 ? 0 : 1;
}

}  // namespace

int main() {
  CoInitialize(nullptr);
  int status = 1;
  try {
    status = BuildAndQuery();
  } catch (const _com_error&) {
    status = 1;
  }
  // Every reference is given back: nothing holds the library any more.
  const HRESULT unload = DllCanUnloadNow();
  std::printf("DllCanUnloadNow: %s\n", unload == S_OK ? "S_OK" : "S_FALSE");
  CoUninitialize();
  return status == 0 && unload == S_OK ? 0 : 1;
}
