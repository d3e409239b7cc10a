// Builders of the tests: objects by class identity, strings and file names as
// the interfaces take them, whole cards from one line, and status tables.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "tarvovcard/tarvovcard.h"
#include "tarvovcard/text.h"

namespace tarvovcard::testing {

// Creates an object by class identity, as a client does; fails the test on error.
template <class Interface>
CComPtr<Interface> Create(REFCLSID clsid) {
  CComPtr<Interface> object;
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, uuidof<Interface>(),
                             reinterpret_cast<void**>(&object)),
            S_OK);
  return object;
}
// A collection of cards, holding `cards`.
inline CComPtr<IVCardColl> Collection(std::initializer_list<IVCard*> cards = {}) {
  CComPtr<IVCardColl> collection = Create<IVCardColl>(CLSID_VCardColl);
  for (IVCard* card : cards) EXPECT_EQ(collection->Add(card), S_OK);
  return collection;
}

// Strings between UTF-16 BSTRs and the UTF-8 of the file system.
inline std::u16string Str(BSTR s) {
  return s ? std::u16string(s, SysStringLen(s)) : u"";
}
inline CComBSTR Bstr(std::u16string_view text) {
  return CComBSTR(text.data(), static_cast<UINT>(text.size()));
}
inline CComBSTR Wide(const std::string& utf8) {
  return Bstr(FromUtf8(utf8));
}

// A file name (UTF-8) or a list of them as the VARIANT of Load and Save.
inline CComVariant Name(const std::string& name) {
  return CComVariant(Wide(name));
}
inline CComVariant NameList(const std::vector<std::string>& names) {
  CComVariant list;
  list.parray = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(names.size()));
  list.vt = VT_ARRAY | VT_BSTR;
  for (LONG i = 0; i < static_cast<LONG>(names.size()); ++i)
    EXPECT_EQ(SafeArrayPutElement(list.parray, &i, Wide(names[std::size_t(i)]).m_str), S_OK);
  return list;
}
// Load with one name (VT_BSTR).
inline HRESULT LoadOne(IVCardColl* collection, const std::string& path) {
  return collection->Load(Name(path));
}

// The count seen from outside: AddRef and Release return the new count.
inline ULONG Refs(IUnknown* object) {
  object->AddRef();
  return object->Release();
}
// Of a collection, held in a CComPtr or as a plain pointer.
template <class Items>
LONG CountOf(const Items& collection) {
  LONG n = -1;
  EXPECT_EQ(collection->get_Count(&n), S_OK);
  return n;
}
// What a getter gives: an interface, held; a text in UTF-16, "<null>" for a
// null string and "<unset>" when the getter wrote none; else the value.
template <class Object, class Out>
auto Get(Object* object, HRESULT (Object::*get)(Out*)) {
  if constexpr (std::is_same_v<Out, BSTR>) {
    static OLECHAR unset[] = u"";
    BSTR text = unset;
    EXPECT_EQ((object->*get)(&text), S_OK);
    if (text == unset) return std::u16string(u"<unset>");
    CComBSTR held;
    held.Attach(text);
    return held ? Str(held) : u"<null>";
  } else if constexpr (std::is_pointer_v<Out>) {
    CComPtr<std::remove_pointer_t<Out>> item;
    EXPECT_EQ((object->*get)(&item), S_OK);
    return item;
  } else {
    Out out{};
    EXPECT_EQ((object->*get)(&out), S_OK);
    return out;
  }
}
inline CComPtr<IVCard> CardAt(IVCardColl* collection, LONG index) {
  CComPtr<IVCard> card;
  EXPECT_EQ(collection->Item(index, &card), S_OK);
  return card;
}

inline CComPtr<IVCardParameter> MakeParameter(std::u16string_view name, std::u16string_view value) {
  auto parameter = Create<IVCardParameter>(CLSID_VCardParameter);
  EXPECT_EQ(parameter->put_Name(Bstr(name)), S_OK);
  EXPECT_EQ(parameter->put_Value(Bstr(value)), S_OK);
  return parameter;
}

// A text value of the property, appended the way the reader does it: parent
// first, then the content, then Add.
inline CComPtr<IVCardValue> AddTextValue(IVCardProperty* property, const char16_t* text) {
  auto value = Create<IVCardValue>(CLSID_VCardValue);
  EXPECT_EQ(value->putref_Parent(property), S_OK);
  EXPECT_EQ(value->put_DecodedValue(CComVariant(text)), S_OK);
  EXPECT_EQ(Get(property, &IVCardProperty::get_Values)->Add(value), S_OK);
  return value;
}

// A value's file text, as put_EncodedValue takes it (the VARIANT borrows it).
inline HRESULT PutEncoded(IVCardValue* value, const char* text) {
  VARIANT encoded{};
  encoded.vt = VT_BYREF | VT_I1;
  encoded.pcVal = const_cast<char*>(text);
  return value->put_EncodedValue(encoded);
}
// A decoded byte array, each unit of `units` one byte.
inline CComVariant Bytes(std::u16string_view units) {
  CComVariant bytes;
  bytes.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(units.size()));
  bytes.vt = VT_ARRAY | VT_UI1;
  for (std::size_t i = 0; i < units.size(); ++i)
    static_cast<unsigned char*>(bytes.parray->pvData)[i] = static_cast<unsigned char>(units[i]);
  return bytes;
}

// Cards built from one line, through the public objects and the way the
// reader builds them (a value gets its parent before its content):
//   card      property / property / ...            ("": no properties)
//   property  NAME[group];PNAME=pvalue;...:value|value|...
//             (no ":": no values; no NAME: the name is never set)
//   value     file text (EncodedValue, each unit one byte), or
//             empty          a value never set
//             text:T date:N  a decoded text or date
//             bytes:B        decoded bytes, each unit one byte
//             orphan:T       a decoded text in a value without a parent: it
//                            cannot be encoded
//             card{card}     a nested card; "card" alone: the previous one again
//             self           the card being described (a loop)
// A backslash in a name takes the next character as it is.
class CardBuilder {
 public:
  friend CComPtr<IVCardProperty> MakeProperty(std::u16string_view line);
  ~CardBuilder();  // Breaks the loops, so that their cards can go.
  CComPtr<IVCard> Build(std::u16string_view text);
  std::vector<CComPtr<IVCard>> cards;  // Every card built, outermost first.

 private:
  CComPtr<IVCardProperty> Property(std::u16string_view text, IVCard* card);
  void Set(IVCardValue* value, std::u16string_view text, IVCard* card);

  CComPtr<IVCard> last_;
  std::vector<CComPtr<IVCardValue>> loops_;
};
// One property of that form, built alone (so no value may be "self").
CComPtr<IVCardProperty> MakeProperty(std::u16string_view line);

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

}  // namespace tarvovcard::testing
