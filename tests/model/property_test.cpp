// The property object: its fields, its parameter queries and its three
// structured views.
#include <string>

#include "model_test_support.h"

namespace tarvovcard::testing {
namespace {

TEST(VCardProperty, NewPropertyIsUnknownWithEmptyNameGroupAndCollections) {
  auto property = Create<IVCardProperty>(CLSID_VCardProperty);
  EVCardProperty type;
  CComBSTR name, group;
  CComPtr<IVCardParameterColl> p1, p2;
  CComPtr<IVCardValueColl> v1, v2;
  ExpectStatuses({
      {CALL(property->get_Type(&type)), S_OK},
      {CALL(property->get_Name(&name)), S_OK},
      {CALL(property->get_Group(&group)), S_OK},
      {CALL(property->get_Parameters(&p1)), S_OK},
      {CALL(property->get_Parameters(&p2)), S_OK},
      {CALL(property->get_Values(&v1)), S_OK},
      {CALL(property->get_Values(&v2)), S_OK},
      {CALL(property->get_Parameters(nullptr)), E_POINTER},
      {CALL(property->get_Name(nullptr)), E_POINTER},
      {CALL(property->QueryParameterByType(VCARD_PARAM_TYPE, nullptr)), E_POINTER},
      {CALL(property->QueryParameterByName(nullptr, nullptr)), E_POINTER},
      {CALL(property->put_Group(CComBSTR(u"home.work"))), S_OK},
  });
  EXPECT_EQ(type, VCARD_PROP_UNKNOWN);
  ASSERT_NE(name.m_str, nullptr);  // present, length 0
  ASSERT_NE(group.m_str, nullptr);
  EXPECT_EQ(name.Length() + group.Length(), 0u);
  EXPECT_EQ(p1, p2);  // the property's own collection, every time
  EXPECT_EQ(v1, v2);
  EXPECT_EQ(CountOf(p1) + CountOf(v1), 0);
  // The group is free text; a null one reads as empty.
  group.Empty();
  property->get_Group(&group);
  EXPECT_EQ(Str(group), u"home.work");
  EXPECT_EQ(property->put_Group(nullptr), S_OK);
  group.Empty();
  property->get_Group(&group);
  ASSERT_NE(group.m_str, nullptr);
  EXPECT_EQ(group.Length(), 0u);
}

// The results are new collections of the property's own objects, not copies;
// names compare without case. Foreign parameters are asked for their type.
TEST(VCardProperty, QueryParameterByTypeAndByNameSelectTheSameObjects) {
  StubParameter foreign(VCARD_PARAM_TYPE, u"tYPE", u"CELL");
  {
    auto property = MakeProperty(u"TEL", u"TYPE=HOME,ENCODING=8BIT,Type=VOICE");
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
// first NUL: what was cut off does not count, so no encoding is set. On a
// property of another type every component answers E_NOTIMPL, before
// E_POINTER, and creates nothing.
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
    CComPtr<IVCardValueColl> values;
    property->get_Values(&values);
    ASSERT_EQ(CountOf(values), c.position + 1);
    for (LONG k = 0; k < c.position; ++k) {  // "first", then the gaps
      CComPtr<IVCardValue> value;
      CComPtr<IVCardProperty> parent;
      CComVariant decoded;
      values->Item(k, &value);
      ASSERT_EQ(value->get_Parent(&parent), S_OK);
      EXPECT_EQ(parent, property);
      value->get_DecodedValue(&decoded);
      EXPECT_EQ(decoded.vt, k == 0 ? VT_BSTR : VT_EMPTY);
      read.Empty();
      ASSERT_EQ((&c)[k - c.position].get(property, &read), S_OK);  // rows in position order
      ASSERT_NE(read.m_str, nullptr);
      EXPECT_EQ(Str(read), k == 0 ? u"first" : u"");
    }
    read.Empty();
    ASSERT_EQ(c.get(property, &read), S_OK);
    EXPECT_EQ(Str(read), u"Part");
    EXPECT_EQ(ParametersOf(property), u"");

    auto other = MakeProperty(u"TEL");
    BSTR out = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(c.get(other, nullptr), E_NOTIMPL);
    EXPECT_EQ(c.get(other, &out), E_NOTIMPL);
    EXPECT_EQ(c.put(other, CComBSTR(u"x")), E_NOTIMPL);
    CComPtr<IVCardValueColl> none;
    other->get_Values(&none);
    EXPECT_EQ(CountOf(none), 0);
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
    CComPtr<IVCardPropertyAddress> address;
    CComPtr<IVCardPropertyOrganisation> org;
    ASSERT_EQ(property->get_AsAddress(&address), S_OK);  // whatever the type
    ASSERT_EQ(property->get_AsOrganisation(&org), S_OK);
  }
  ASSERT_EQ(view->put_GivenName(CComBSTR(u"Ann")), S_OK);
  CComBSTR given;
  view->get_GivenName(&given);
  EXPECT_EQ(Str(given), u"Ann");
  CComPtr<ISupportErrorInfo> info;
  ASSERT_EQ(view.QueryInterface(&info), S_OK);
  EXPECT_EQ(info->InterfaceSupportsErrorInfo(IID_IVCardProperty), S_OK);
  EXPECT_EQ(info->InterfaceSupportsErrorInfo(IID_IVCardPropertyName), S_FALSE);
}

TEST(VCardPropertyViews, ComponentThatIsNoTextFailsWithANullString) {
  auto property = MakeProperty(u"N");
  CComVariant date;
  date.vt = VT_DATE;
  date.date = 35000.0;
  ASSERT_EQ(AddTextValue(property, u"")->put_DecodedValue(date), S_OK);
  CComPtr<IVCardPropertyName> view;
  property->get_AsName(&view);
  BSTR family = reinterpret_cast<BSTR>(1);
  EXPECT_EQ(view->get_FamilyName(&family), E_FAIL);
  EXPECT_EQ(family, nullptr);
}

}  // namespace
}  // namespace tarvovcard::testing
