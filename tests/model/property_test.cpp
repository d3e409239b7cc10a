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
  ExpectStatuses({
      {CALL(parameter->get_Type(nullptr)), E_POINTER},
      {CALL(parameter->get_Name(nullptr)), E_POINTER},
      {CALL(parameter->get_Value(nullptr)), E_POINTER},
  });
  EXPECT_EQ(Get(parameter.p, &IVCardParameter::get_Type), VCARD_PARAM_UNKNOWN);
  EXPECT_EQ(Get(parameter.p, &IVCardParameter::get_Name), u"<null>");
  EXPECT_EQ(Get(parameter.p, &IVCardParameter::get_Value), u"<null>");
  const char16_t with_nul[] = {u'H', u'O', 0, u'M', u'E'};
  const std::pair<CComBSTR, const char16_t*> cases[] = {
      {CComBSTR(u""), u""}, {CComBSTR(with_nul, 5), u"HO"}, {CComBSTR(), u"<null>"}};
  for (const auto& [in, out] : cases) {
    ASSERT_EQ(parameter->put_Value(in), S_OK);
    EXPECT_EQ(Get(parameter.p, &IVCardParameter::get_Value), out);
  }
}

constexpr LONG kRefused = -100;

// Names an object that is called "X-PRIOR" (an extension), which a refused
// name leaves; a name of a table type comes back as `canonical` from put_Type.
template <class Type, class Object>
void ExpectName(Object* object, const char16_t* name, LONG expected, LONG extension,
                const std::u16string& canonical) {
  const bool refused = expected == kRefused;
  EXPECT_EQ(object->put_Name(CComBSTR(name)), refused ? E_INVALIDARG : S_OK);
  EXPECT_EQ(Get(object, &Object::get_Type), refused ? extension : expected);
  EXPECT_EQ(Get(object, &Object::get_Name), refused ? u"X-PRIOR" : std::u16string(name));  // as set
  if (refused || expected == extension) return;
  ASSERT_EQ(object->put_Name(CComBSTR(u"X-PRIOR")), S_OK);
  ASSERT_EQ(object->put_Type(static_cast<Type>(expected)), S_OK);
  EXPECT_EQ(Get(object, &Object::get_Name), canonical);
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
    {u"X-", VCARD_PROP_X, VCARD_PARAM_X},
    {u"X-Custom", VCARD_PROP_X, VCARD_PARAM_X},
    {u"AX-B", kRefused, VCARD_PARAM_X},
    {u"x-icq", kRefused, kRefused},
    {u"tel", kRefused, kRefused},
    {u"TEL ", kRefused, kRefused},
    {u"HOME", kRefused, kRefused},
    {u"TYPES", kRefused, kRefused},
    {u"ENC", kRefused, kRefused},
    {u"", kRefused, kRefused},
    {nullptr, kRefused, kRefused},
};

TEST(Vocabulary, NamesGiveTypesAndTypesGiveCanonicalNames) {
  const auto expect = [](const char16_t* name, LONG property, LONG parameter) {
    std::u16string canonical = name ? name : u"";
    SCOPED_TRACE(ToUtf8(canonical));
    ExpectName<EVCardProperty>(MakeProperty(u"X-PRIOR").p, name, property, VCARD_PROP_X, canonical);
    for (char16_t& ch : canonical) ch = ch >= u'a' && ch <= u'z' ? ch - u'a' + u'A' : ch;
    ExpectName<EVCardParameter>(MakeParameter(u"X-PRIOR", u"").p, name, parameter, VCARD_PARAM_X,
                                canonical);
  };
  for (LONG type = 0; type < 23; ++type) expect(kPropertyNames[type], type, kRefused);
  for (LONG type = 0; type < 5; ++type) expect(kParameterNames[type], kRefused, type);
  for (const auto& c : kOtherNames) expect(c.name, c.property, c.parameter);
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

// A new property: no type, empty name and group (no parameters or values: the
// writers' golden rows of a bare property). A null group reads as empty.
TEST(VCardProperty, NewPropertyIsUnknownWithEmptyNameAndGroup) {
  auto property = Create<IVCardProperty>(CLSID_VCardProperty);
  ExpectStatuses({
      {CALL(property->get_Parameters(nullptr)), E_POINTER},
      {CALL(property->get_Name(nullptr)), E_POINTER},
      {CALL(property->QueryParameterByName(nullptr, nullptr)), E_POINTER},
  });
  EXPECT_EQ(Get(property.p, &IVCardProperty::get_Type), VCARD_PROP_UNKNOWN);
  EXPECT_EQ(Get(property.p, &IVCardProperty::get_Name), u"");
  EXPECT_EQ(Get(property.p, &IVCardProperty::get_Group), u"");
  ASSERT_EQ(property->put_Group(nullptr), S_OK);
  EXPECT_EQ(Get(property.p, &IVCardProperty::get_Group), u"");
}

// Names compare without case; foreign parameters are asked for their type.
// (That a result is a new collection of the own objects, and a missing
// output: the card's queries, which share the filter.)
TEST(VCardProperty, QueryParameterByTypeAndByNameSelectTheSameObjects) {
  StubParameter foreign(VCARD_PARAM_TYPE, u"tYPE", u"CELL");
  {
    auto property = MakeProperty(u"TEL;TYPE=HOME;ENCODING=8BIT;Type=VOICE");
    CComPtr<IVCardParameterColl> parameters = Get(property.p, &IVCardProperty::get_Parameters);
    CComPtr<IVCardParameterColl> by_type, by_name, empty;
    ASSERT_EQ(parameters->Add(&foreign), S_OK);
    ASSERT_EQ(property->QueryParameterByType(VCARD_PARAM_TYPE, &by_type), S_OK);
    ASSERT_EQ(property->QueryParameterByName(CComBSTR(u"type"), &by_name), S_OK);
    EXPECT_EQ(CountOf(by_type), 3);
    EXPECT_EQ(CountOf(by_name), 3);
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
// property, which read as empty text (S_OK), as do those behind the last (the
// writers' XML rows); it takes its text up to the first NUL: what was cut off
// does not count, so no encoding is set. A component that is no text fails
// with a null string. On a property of another type every component answers
// E_NOTIMPL, before E_POINTER, and creates nothing.
TEST(VCardPropertyViews, EachComponentStandsAtItsPosition) {
  const char16_t text[] = {u'P', u'a', u'r', u't', 0, u'\n', u'x'};
  const auto read = [](const Component& component, IVCardProperty* property) {
    CComBSTR read;
    EXPECT_EQ(component.get(property, &read), S_OK);
    return read ? Str(read) : u"<null>";
  };
  for (const Component& c : kComponents) {
    SCOPED_TRACE(::testing::Message() << c.position);
    auto property = MakeProperty(c.property);
    if (c.position > 0) AddTextValue(property, u"first");
    ASSERT_EQ(c.put(property, CComBSTR(text, 7)), S_OK);
    std::string described = ToUtf8(c.property) + ":";  // "first", then the gaps
    std::u16string gaps = std::u16string(c.property) + u":";
    for (LONG k = 0; k < c.position; ++k) {
      described += k == 0 ? "first|" : "empty|";
      gaps += u"empty|";
    }
    EXPECT_EQ(Describe(property), described + "Part");
    CComPtr<IVCardValueColl> values = Get(property.p, &IVCardProperty::get_Values);
    for (LONG k = 0; k < c.position; ++k) {  // the rows before are those of the positions before
      CComPtr<IVCardValue> value;
      ASSERT_EQ(values->Item(k, &value), S_OK);
      EXPECT_EQ(Get(value.p, &IVCardValue::get_Parent), property);
      EXPECT_EQ(read((&c)[k - c.position], property), k == 0 ? u"first" : u"");
    }
    EXPECT_EQ(read(c, property), u"Part");
    BSTR no_text = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(c.get(MakeProperty(gaps + u"date:0"), &no_text), E_FAIL);
    EXPECT_EQ(no_text, nullptr);

    auto other = MakeProperty(u"TEL");
    EXPECT_EQ(c.get(other, nullptr), E_NOTIMPL);
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
  EXPECT_EQ(Get(view.p, &IVCardPropertyName::get_GivenName), u"Ann");
}

}  // namespace
}  // namespace tarvovcard::testing
