// The parameter and property objects: their fields, the name vocabulary
// through the setters, the property's parameter queries and its three
// structured views.
#include <string>

#include "support/builders.h"
#include "support/doubles.h"
#include "support/model_text.h"

namespace tarvovcard::testing {
namespace {

// A new parameter has no name, value or type; put_Value copies up to the
// first NUL, keeps an empty value a string and makes a null one null.
TEST(VCardParameter, FieldsAndStatuses) {
  auto parameter = Create<IVCardParameter>(CLSID_VCardParameter);
  EVCardParameter type;
  BSTR name = reinterpret_cast<BSTR>(1), value = reinterpret_cast<BSTR>(1);
  ExpectStatuses({
      {CALL(parameter->get_Type(&type)), S_OK},
      {CALL(parameter->get_Name(&name)), S_OK},
      {CALL(parameter->get_Value(&value)), S_OK},
      {CALL(parameter->get_Type(nullptr)), E_POINTER},
      {CALL(parameter->get_Name(nullptr)), E_POINTER},
      {CALL(parameter->get_Value(nullptr)), E_POINTER},
  });
  EXPECT_EQ(type, VCARD_PARAM_UNKNOWN);
  EXPECT_EQ(name, nullptr);
  EXPECT_EQ(value, nullptr);
  const char16_t with_nul[] = {u'H', u'O', 0, u'M', u'E'};
  const std::pair<CComBSTR, const char16_t*> cases[] = {
      {CComBSTR(u""), u""}, {CComBSTR(with_nul, 5), u"HO"}, {CComBSTR(), u"<null>"}};
  for (const auto& [in, out] : cases) {
    CComBSTR read;
    ASSERT_EQ(parameter->put_Value(in), S_OK);
    ASSERT_EQ(parameter->get_Value(&read), S_OK);
    EXPECT_EQ(read ? Str(read) : u"<null>", out);
  }
}

constexpr LONG kRefused = -100;

// Names an object that is called "X-PRIOR" (an extension), which a refused
// name leaves; a name of a table type comes back as `canonical` from put_Type.
template <class Type, class Object>
void ExpectName(Object* object, const char16_t* name, LONG expected, LONG extension,
                const std::u16string& canonical) {
  const bool refused = expected == kRefused;
  Type type;
  CComBSTR kept;
  EXPECT_EQ(object->put_Name(CComBSTR(name)), refused ? E_INVALIDARG : S_OK);
  ASSERT_EQ(object->get_Type(&type), S_OK);
  ASSERT_EQ(object->get_Name(&kept), S_OK);
  EXPECT_EQ(type, refused ? extension : expected);
  EXPECT_EQ(Str(kept), refused ? u"X-PRIOR" : std::u16string(name));  // as set
  if (refused || expected == extension) return;
  kept.Empty();
  ASSERT_EQ(object->put_Name(CComBSTR(u"X-PRIOR")), S_OK);
  ASSERT_EQ(object->put_Type(static_cast<Type>(expected)), S_OK);
  ASSERT_EQ(object->get_Name(&kept), S_OK);
  EXPECT_EQ(Str(kept), canonical);
}

// The interface's names by type number, then names outside them. Property
// names compare exactly and are extensions when they begin with "X-";
// parameter names ignore case and are extensions with "X-" anywhere.
const char16_t* const kPropertyNames[] = {
    u"FN",     u"N",   u"PHOTO", u"BDAY",  u"ADR",  u"LABEL",   u"TEL",   u"EMAIL",
    u"MAILER", u"TZ",  u"GEO",   u"TITLE", u"ROLE", u"LOGO",    u"AGENT", u"ORG",
    u"NOTE",   u"REV", u"SOUND", u"URL",   u"UID",  u"VERSION", u"KEY"};
const char16_t* const kParameterNames[] = {u"TYPE", u"VALUE", u"ENCODING", u"CHARSET", u"LANGUAGE"};
const struct {
  const char16_t* name;
  LONG property;
  LONG parameter;
} kOtherNames[] = {
    {u"charset", kRefused, VCARD_PARAM_CHARSET},
    {u"Charset", kRefused, VCARD_PARAM_CHARSET},
    {u"language", kRefused, VCARD_PARAM_LANGUAGE},
    {u"X-", VCARD_PROP_X, VCARD_PARAM_X},
    {u"X-ICQ", VCARD_PROP_X, VCARD_PARAM_X},
    {u"X-Custom", VCARD_PROP_X, VCARD_PARAM_X},
    {u"AX-B", kRefused, VCARD_PARAM_X},
    {u"x-icq", kRefused, kRefused},
    {u"Tel", kRefused, kRefused},
    {u"tel", kRefused, kRefused},
    {u"TEL ", kRefused, kRefused},
    {u"FOO", kRefused, kRefused},
    {u"HOME", kRefused, kRefused},
    {u"TYPES", kRefused, kRefused},
    {u"ENC", kRefused, kRefused},
    {u"", kRefused, kRefused},
    {nullptr, kRefused, kRefused},
};

TEST(Vocabulary, NamesGiveTypesAndTypesGiveCanonicalNames) {
  for (LONG type = 0; type < 23; ++type) {
    const char16_t* name = kPropertyNames[type];
    SCOPED_TRACE(type);
    ExpectName<EVCardProperty>(MakeProperty(u"X-PRIOR").p, name, type, VCARD_PROP_X, name);
    ExpectName<EVCardParameter>(MakeParameter(u"X-PRIOR", u"").p, name, kRefused, VCARD_PARAM_X,
                                u"");
  }
  for (LONG type = 0; type < 5; ++type) {
    const char16_t* name = kParameterNames[type];
    SCOPED_TRACE(type);
    ExpectName<EVCardProperty>(MakeProperty(u"X-PRIOR").p, name, kRefused, VCARD_PROP_X, u"");
    ExpectName<EVCardParameter>(MakeParameter(u"X-PRIOR", u"").p, name, type, VCARD_PARAM_X, name);
  }
  for (const auto& c : kOtherNames) {
    std::u16string name = c.name ? c.name : u"";
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    ExpectName<EVCardProperty>(MakeProperty(u"X-PRIOR").p, c.name, c.property, VCARD_PROP_X, name);
    for (char16_t& ch : name) ch = ch >= u'a' && ch <= u'z' ? ch - u'a' + u'A' : ch;
    ExpectName<EVCardParameter>(MakeParameter(u"X-PRIOR", u"").p, c.name, c.parameter,
                                VCARD_PARAM_X, name);
  }
}

TEST(Vocabulary, TypesWithoutCanonicalNameAreRefused) {
  auto property = MakeProperty(u"X-ICQ");
  auto parameter = MakeParameter(u"X-Custom", u"");
  for (LONG type : {LONG{VCARD_PROP_X}, LONG{VCARD_PROP_UNKNOWN}, LONG{24}, LONG{-2}})
    EXPECT_EQ(property->put_Type(static_cast<EVCardProperty>(type)), E_INVALIDARG) << type;
  for (LONG type : {LONG{VCARD_PARAM_X}, LONG{VCARD_PARAM_UNKNOWN}, LONG{6}, LONG{-2}})
    EXPECT_EQ(parameter->put_Type(static_cast<EVCardParameter>(type)), E_INVALIDARG) << type;
  // Both keep their names and types.
  ASSERT_EQ(Get(property.p, &IVCardProperty::get_Parameters)->Add(parameter), S_OK);
  EXPECT_EQ(Describe(property, Detail::kEverything), "23#X-ICQ;5:X-Custom=:");
}

// A new property: no type, empty name and group, its own two collections,
// the same each time. The group is free text; a null one reads as empty.
TEST(VCardProperty, NewPropertyIsUnknownWithEmptyNameGroupAndCollections) {
  auto property = Create<IVCardProperty>(CLSID_VCardProperty);
  EVCardProperty type;
  CComBSTR name;
  CComPtr<IVCardParameterColl> p1, p2;
  CComPtr<IVCardValueColl> v1, v2;
  ExpectStatuses({
      {CALL(property->get_Type(&type)), S_OK},
      {CALL(property->get_Name(&name)), S_OK},
      {CALL(property->get_Parameters(&p1)), S_OK},
      {CALL(property->get_Parameters(&p2)), S_OK},
      {CALL(property->get_Values(&v1)), S_OK},
      {CALL(property->get_Values(&v2)), S_OK},
      {CALL(property->get_Parameters(nullptr)), E_POINTER},
      {CALL(property->get_Name(nullptr)), E_POINTER},
      {CALL(property->QueryParameterByType(VCARD_PARAM_TYPE, nullptr)), E_POINTER},
      {CALL(property->QueryParameterByName(nullptr, nullptr)), E_POINTER},
  });
  EXPECT_EQ(type, VCARD_PROP_UNKNOWN);
  ASSERT_NE(name.m_str, nullptr);
  EXPECT_EQ(name.Length(), 0u);
  EXPECT_EQ(p1, p2);
  EXPECT_EQ(v1, v2);
  EXPECT_EQ(CountOf(p1) + CountOf(v1), 0);
  const auto group = [&property] {
    CComBSTR read;
    EXPECT_EQ(property->get_Group(&read), S_OK);
    EXPECT_NE(read.m_str, nullptr);
    return Str(read);
  };
  EXPECT_EQ(group(), u"");
  ASSERT_EQ(property->put_Group(CComBSTR(u"home.work")), S_OK);
  EXPECT_EQ(group(), u"home.work");
  ASSERT_EQ(property->put_Group(nullptr), S_OK);
  EXPECT_EQ(group(), u"");
}

// The results are new collections of the property's own objects, not copies;
// names compare without case. Foreign parameters are asked for their type.
TEST(VCardProperty, QueryParameterByTypeAndByNameSelectTheSameObjects) {
  StubParameter foreign(VCARD_PARAM_TYPE, u"tYPE", u"CELL");
  {
    auto property = MakeProperty(u"TEL;TYPE=HOME;ENCODING=8BIT;Type=VOICE");
    CComPtr<IVCardParameterColl> parameters, by_type, by_name, none, empty;
    property->get_Parameters(&parameters);
    ASSERT_EQ(parameters->Add(&foreign), S_OK);
    ASSERT_EQ(property->QueryParameterByType(VCARD_PARAM_TYPE, &by_type), S_OK);
    ASSERT_EQ(property->QueryParameterByName(CComBSTR(u"type"), &by_name), S_OK);
    ASSERT_EQ(property->QueryParameterByType(VCARD_PARAM_CHARSET, &none), S_OK);
    EXPECT_EQ(CountOf(by_type), 3);
    EXPECT_EQ(CountOf(by_name), 3);
    EXPECT_EQ(CountOf(none), 0);
    CComPtr<IVCardParameter> own, selected;
    parameters->Item(2, &own);
    by_type->Item(1, &selected);
    EXPECT_EQ(own, selected);
    ASSERT_EQ(by_type->Remove(0), S_OK);
    EXPECT_EQ(CountOf(parameters), 4);
    // A property that never had a parameter.
    ASSERT_EQ(MakeProperty(u"NOTE")->QueryParameterByType(VCARD_PARAM_ENCODING, &empty), S_OK);
    EXPECT_EQ(CountOf(empty), 0);
  }
  EXPECT_EQ(foreign.refs, 1u);
}

// Each view component by its property and position.
struct Component {
  const char16_t* property;
  LONG position;
  std::function<HRESULT(IVCardProperty*, BSTR*)> get;
  std::function<HRESULT(IVCardProperty*, BSTR)> put;
};
template <class View, class Method>
auto OnView(Method View::*method) {
  return [method](IVCardProperty* property, auto argument) {
    CComPtr<View> view;
    EXPECT_EQ(property->QueryInterface(uuidof<View>(), reinterpret_cast<void**>(&view)), S_OK);
    return (view.p->*method)(argument);
  };
}
#define COMPONENT(View, Name, property, position) \
  { property, position, OnView(&View::get_##Name), OnView(&View::put_##Name) }
const Component kComponents[] = {
    COMPONENT(IVCardPropertyName, FamilyName, u"N", 0),
    COMPONENT(IVCardPropertyName, GivenName, u"N", 1),
    COMPONENT(IVCardPropertyName, AdditionalNames, u"N", 2),
    COMPONENT(IVCardPropertyName, NamePrefix, u"N", 3),
    COMPONENT(IVCardPropertyName, NameSuffix, u"N", 4),
    COMPONENT(IVCardPropertyAddress, PostOfficeAddress, u"ADR", 0),
    COMPONENT(IVCardPropertyAddress, Extended, u"ADR", 1),
    COMPONENT(IVCardPropertyAddress, Street, u"ADR", 2),
    COMPONENT(IVCardPropertyAddress, Locality, u"ADR", 3),
    COMPONENT(IVCardPropertyAddress, Region, u"ADR", 4),
    COMPONENT(IVCardPropertyAddress, PostalCode, u"ADR", 5),
    COMPONENT(IVCardPropertyAddress, Country, u"ADR", 6),
    COMPONENT(IVCardPropertyOrganisation, OrganisationName, u"ORG", 0),
    COMPONENT(IVCardPropertyOrganisation, OrganisationalUnit, u"ORG", 1),
};
#undef COMPONENT

// A setter fills the positions before its own with empty values owned by the
// property, which read as empty text (S_OK), and takes its text up to the
// first NUL: what was cut off does not count, so no encoding is set. A
// component that is no text fails with a null string. On a property of
// another type every component answers E_NOTIMPL, before E_POINTER, and
// creates nothing.
TEST(VCardPropertyViews, EachComponentStandsAtItsPosition) {
  const char16_t text[] = {u'P', u'a', u'r', u't', 0, u'\n', u'x'};
  for (const Component& c : kComponents) {
    SCOPED_TRACE(::testing::Message() << c.position);
    auto property = MakeProperty(c.property);
    if (c.position > 0) AddTextValue(property, u"first");
    CComBSTR read;
    ASSERT_EQ(c.get(property, &read), S_OK);  // behind the last value
    EXPECT_EQ(Str(read), u"");
    ASSERT_EQ(c.put(property, CComBSTR(text, 7)), S_OK);
    std::string described = ToUtf8(c.property) + ":";  // "first", then the gaps
    std::u16string gaps = std::u16string(c.property) + u":";
    for (LONG k = 0; k < c.position; ++k) {
      described += k == 0 ? "first|" : "empty|";
      gaps += u"empty|";
    }
    EXPECT_EQ(Describe(property), described + "Part");
    CComPtr<IVCardValueColl> values = Get(property.p, &IVCardProperty::get_Values);
    for (LONG k = 0; k < c.position; ++k) {
      CComPtr<IVCardValue> value;
      ASSERT_EQ(values->Item(k, &value), S_OK);
      EXPECT_EQ(Get(value.p, &IVCardValue::get_Parent), property);
      read.Empty();
      ASSERT_EQ((&c)[k - c.position].get(property, &read), S_OK);  // rows in position order
      ASSERT_NE(read.m_str, nullptr);
      EXPECT_EQ(Str(read), k == 0 ? u"first" : u"");
    }
    read.Empty();
    ASSERT_EQ(c.get(property, &read), S_OK);
    EXPECT_EQ(Str(read), u"Part");
    BSTR no_text = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(c.get(MakeProperty(gaps + u"date:0"), &no_text), E_FAIL);
    EXPECT_EQ(no_text, nullptr);

    auto other = MakeProperty(u"TEL");
    BSTR out = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(c.get(other, nullptr), E_NOTIMPL);
    EXPECT_EQ(c.get(other, &out), E_NOTIMPL);
    EXPECT_EQ(c.put(other, CComBSTR(u"x")), E_NOTIMPL);
    EXPECT_EQ(Describe(other), "TEL:");
  }
}

TEST(VCardPropertyViews, AreThePropertyItselfAndKeepItAlive) {
  CComPtr<IVCardPropertyName> view;
  CComPtr<IUnknown> a, b;
  {
    auto property = MakeProperty(u"N");
    ASSERT_EQ(property->get_AsName(&view), S_OK);
    property.QueryInterface(&a);
    view.QueryInterface(&b);
    EXPECT_EQ(a, b);
    EXPECT_NE(Get(property.p, &IVCardProperty::get_AsAddress), nullptr);  // whatever the type
    EXPECT_NE(Get(property.p, &IVCardProperty::get_AsOrganisation), nullptr);
  }
  ASSERT_EQ(view->put_GivenName(CComBSTR(u"Ann")), S_OK);
  CComBSTR given;
  view->get_GivenName(&given);
  EXPECT_EQ(Str(given), u"Ann");
  CComPtr<ISupportErrorInfo> info;
  ASSERT_EQ(view.QueryInterface(&info), S_OK);
  EXPECT_EQ(info->InterfaceSupportsErrorInfo(IID_IVCardPropertyName), S_FALSE);
}

}  // namespace
}  // namespace tarvovcard::testing
