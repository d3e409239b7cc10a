// Builds cards for the writer tests through the public objects, the way the
// reader does: values get their parent first, then their content.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <tarvovcard/tarvovcard.h>

namespace tarvovcard::writer::testing {

template <class Interface>
CComPtr<Interface> Create(const CLSID& clsid) {
  CComPtr<Interface> object;
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, uuidof<Interface>(),
                             reinterpret_cast<void**>(&object)),
            S_OK);
  return object;
}

inline CComPtr<IVCard> NewCard() {
  return Create<IVCard>(CLSID_VCard);
}

inline CComPtr<IVCardPropertyColl> PropertiesOf(IVCard* card) {
  CComPtr<IVCardPropertyColl> properties;
  EXPECT_EQ(card->get_Properties(&properties), S_OK);
  return properties;
}

inline LONG CountOf(IVCardPropertyColl* collection) {
  LONG count = -1;
  EXPECT_EQ(collection->get_Count(&count), S_OK);
  return count;
}

inline CComPtr<IVCardProperty> AddProperty(IVCard* card, const char16_t* name,
                                           const char16_t* group = nullptr) {
  CComPtr<IVCardProperty> property = Create<IVCardProperty>(CLSID_VCardProperty);
  EXPECT_EQ(property->put_Name(CComBSTR(name)), S_OK) << "name";
  if (group) {
    EXPECT_EQ(property->put_Group(CComBSTR(group)), S_OK);
  }
  EXPECT_EQ(PropertiesOf(card)->Add(property), S_OK);
  return property;
}

inline CComPtr<IVCardParameter> AddParameter(IVCardProperty* property, const char16_t* name,
                                             const char16_t* value) {
  CComPtr<IVCardParameter> parameter = Create<IVCardParameter>(CLSID_VCardParameter);
  EXPECT_EQ(parameter->put_Name(CComBSTR(name)), S_OK) << "parameter name";
  EXPECT_EQ(parameter->put_Value(CComBSTR(value)), S_OK);
  CComPtr<IVCardParameterColl> parameters;
  EXPECT_EQ(property->get_Parameters(&parameters), S_OK);
  EXPECT_EQ(parameters->Add(parameter), S_OK);
  return parameter;
}

// A value with its parent set and nothing stored, appended to the property.
inline CComPtr<IVCardValue> AddEmpty(IVCardProperty* property) {
  CComPtr<IVCardValue> value = Create<IVCardValue>(CLSID_VCardValue);
  EXPECT_EQ(value->putref_Parent(property), S_OK);
  CComPtr<IVCardValueColl> values;
  EXPECT_EQ(property->get_Values(&values), S_OK);
  EXPECT_EQ(values->Add(value), S_OK);
  return value;
}

// A value set from file text, as the reader sets it.
inline CComPtr<IVCardValue> AddEncoded(IVCardProperty* property, const char* text) {
  CComPtr<IVCardValue> value = AddEmpty(property);
  VARIANT encoded;
  VariantInit(&encoded);
  encoded.vt = VT_BYREF | VT_I1;
  encoded.pcVal = const_cast<char*>(text);
  EXPECT_EQ(value->put_EncodedValue(encoded), S_OK);
  return value;
}

// A value set from decoded text (which may add an ENCODING parameter).
inline CComPtr<IVCardValue> AddText(IVCardProperty* property, const char16_t* text) {
  CComPtr<IVCardValue> value = AddEmpty(property);
  CComVariant decoded;
  decoded.bstrVal = SysAllocString(text);
  decoded.vt = VT_BSTR;
  EXPECT_EQ(value->put_DecodedValue(decoded), S_OK);
  return value;
}

inline CComPtr<IVCardValue> AddDate(IVCardProperty* property, DATE date) {
  CComPtr<IVCardValue> value = AddEmpty(property);
  CComVariant decoded;
  decoded.vt = VT_DATE;
  decoded.date = date;
  EXPECT_EQ(value->put_DecodedValue(decoded), S_OK);
  return value;
}

inline CComPtr<IVCardValue> AddBytes(IVCardProperty* property, const std::string& bytes) {
  CComPtr<IVCardValue> value = AddEmpty(property);
  CComVariant decoded;
  decoded.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  decoded.vt = VT_ARRAY | VT_UI1;
  void* data = nullptr;
  EXPECT_EQ(SafeArrayAccessData(decoded.parray, &data), S_OK);
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  SafeArrayUnaccessData(decoded.parray);
  EXPECT_EQ(value->put_DecodedValue(decoded), S_OK);
  return value;
}

inline CComPtr<IVCardValue> AddCard(IVCardProperty* property, IVCard* card) {
  CComPtr<IVCardValue> value = AddEmpty(property);
  CComVariant decoded;
  decoded.vt = VT_UNKNOWN;
  decoded.punkVal = card;
  card->AddRef();
  EXPECT_EQ(value->put_DecodedValue(decoded), S_OK);
  return value;
}

// The card of the documentation's example: VERSION 2.1, N Doe;John;;;,
// TEL;HOME;VOICE and a one-pixel GIF as PHOTO.
inline CComPtr<IVCard> ExampleCard() {
  CComPtr<IVCard> card = NewCard();
  AddEncoded(AddProperty(card, u"VERSION"), "2.1");
  CComPtr<IVCardProperty> n = AddProperty(card, u"N");
  for (const char* part : {"Doe", "John", "", "", ""}) AddEncoded(n, part);
  CComPtr<IVCardProperty> tel = AddProperty(card, u"TEL");
  AddParameter(tel, u"TYPE", u"HOME");
  AddParameter(tel, u"TYPE", u"VOICE");
  AddEncoded(tel, "+1 555 0100");
  CComPtr<IVCardProperty> photo = AddProperty(card, u"PHOTO");
  AddParameter(photo, u"ENCODING", u"BASE64");
  AddParameter(photo, u"TYPE", u"GIF");
  AddEncoded(photo, "R0lGODlhAQABAIAAAP///wAAACwAAAAAAQABAAACAkQBADs=");
  return card;
}

inline CComPtr<IVCardColl> NewCollection(std::initializer_list<IVCard*> cards = {}) {
  CComPtr<IVCardColl> collection = Create<IVCardColl>(CLSID_VCardColl);
  for (IVCard* card : cards) EXPECT_EQ(collection->Add(card), S_OK);
  return collection;
}

// The names of a card's properties, in order.
inline std::vector<std::u16string> PropertyNames(IVCard* card) {
  std::vector<std::u16string> names;
  CComPtr<IVCardPropertyColl> properties = PropertiesOf(card);
  for (LONG i = 0, n = CountOf(properties); i < n; ++i) {
    CComPtr<IVCardProperty> property;
    EXPECT_EQ(properties->Item(i, &property), S_OK);
    CComBSTR name;
    property->get_Name(&name);
    names.emplace_back(name.m_str ? name.m_str : u"");
  }
  return names;
}

// A VARIANT holding one file name, or a list of them.
inline CComVariant NameArgument(const std::string& name) {
  CComVariant argument;
  argument.bstrVal = SysAllocStringLen(nullptr, static_cast<UINT>(name.size()));
  for (std::size_t i = 0; i < name.size(); ++i) {
    argument.bstrVal[i] = static_cast<char16_t>(static_cast<unsigned char>(name[i]));
  }
  argument.vt = VT_BSTR;
  return argument;
}

inline CComVariant NameListArgument(const std::vector<std::string>& names) {
  CComVariant argument;
  argument.parray = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(names.size()));
  argument.vt = VT_ARRAY | VT_BSTR;
  for (LONG i = 0; i < static_cast<LONG>(names.size()); ++i) {
    CComVariant one = NameArgument(names[static_cast<std::size_t>(i)]);
    EXPECT_EQ(SafeArrayPutElement(argument.parray, &i, one.bstrVal), S_OK);
  }
  return argument;
}

}  // namespace tarvovcard::writer::testing
