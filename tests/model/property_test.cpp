// The property object: its fields, its parameter queries and its three
// structured views.
#include "model_test_support.h"

namespace tarvovcard::model {
namespace {

using testing::AddParameter;
using testing::AddTextValue;
using testing::CountOf;
using testing::Create;
using testing::MakeProperty;
using testing::Str;

TEST(VCardProperty, NewPropertyIsUnknownWithEmptyNameGroupAndCollections) {
  auto property = Create<IVCardProperty>(CLSID_VCardProperty);
  EVCardProperty type;
  EXPECT_EQ(property->get_Type(&type), S_OK);
  EXPECT_EQ(type, VCARD_PROP_UNKNOWN);
  CComBSTR name, group;
  EXPECT_EQ(property->get_Name(&name), S_OK);
  EXPECT_EQ(property->get_Group(&group), S_OK);
  ASSERT_NE(name.m_str, nullptr);  // present, length 0
  ASSERT_NE(group.m_str, nullptr);
  EXPECT_EQ(name.Length(), 0u);
  EXPECT_EQ(group.Length(), 0u);

  CComPtr<IVCardParameterColl> p1, p2;
  CComPtr<IVCardValueColl> v1, v2;
  ASSERT_EQ(property->get_Parameters(&p1), S_OK);
  ASSERT_EQ(property->get_Parameters(&p2), S_OK);
  ASSERT_EQ(property->get_Values(&v1), S_OK);
  ASSERT_EQ(property->get_Values(&v2), S_OK);
  EXPECT_EQ(p1, p2);  // the property's own collection, every time
  EXPECT_EQ(v1, v2);
  EXPECT_EQ(CountOf(p1), 0);
  EXPECT_EQ(CountOf(v1), 0);
  EXPECT_EQ(property->get_Parameters(nullptr), E_POINTER);
  EXPECT_EQ(property->get_Name(nullptr), E_POINTER);
}

TEST(VCardProperty, GroupIsFreeText) {
  auto property = MakeProperty(u"TEL");
  EXPECT_EQ(property->put_Group(CComBSTR(u"home.work")), S_OK);
  CComBSTR group;
  property->get_Group(&group);
  EXPECT_EQ(Str(group), u"home.work");
  EXPECT_EQ(property->put_Group(nullptr), S_OK);
  group.Empty();
  property->get_Group(&group);
  EXPECT_EQ(group.Length(), 0u);
}

TEST(VCardProperty, QueryParameterByTypeAndByNameSelectTheSameObjects) {
  auto property = MakeProperty(u"TEL");
  AddParameter(property, u"TYPE", u"HOME");
  AddParameter(property, u"ENCODING", u"8BIT");
  AddParameter(property, u"Type", u"VOICE");
  testing::StubParameter foreign(VCARD_PARAM_TYPE, u"tYPE", u"CELL");
  {
    CComPtr<IVCardParameterColl> parameters;
    property->get_Parameters(&parameters);
    ASSERT_EQ(parameters->Add(&foreign), S_OK);

    CComPtr<IVCardParameterColl> by_type;
    ASSERT_EQ(property->QueryParameterByType(VCARD_PARAM_TYPE, &by_type), S_OK);
    ASSERT_EQ(CountOf(by_type), 3);
    CComPtr<IVCardParameter> own, selected;
    parameters->Item(2, &own);
    by_type->Item(1, &selected);
    EXPECT_EQ(own, selected);  // not a copy

    CComPtr<IVCardParameterColl> by_name;
    ASSERT_EQ(property->QueryParameterByName(CComBSTR(u"type"), &by_name), S_OK);
    EXPECT_EQ(CountOf(by_name), 3);

    CComPtr<IVCardParameterColl> none;
    ASSERT_EQ(property->QueryParameterByType(VCARD_PARAM_CHARSET, &none), S_OK);
    EXPECT_EQ(CountOf(none), 0);
    EXPECT_EQ(property->QueryParameterByType(VCARD_PARAM_TYPE, nullptr), E_POINTER);
    EXPECT_EQ(property->QueryParameterByName(nullptr, nullptr), E_POINTER);
    // The results are new collections: changing them leaves the property alone.
    ASSERT_EQ(by_type->Remove(0), S_OK);
    EXPECT_EQ(CountOf(parameters), 4);
  }
  property.Release();
  EXPECT_EQ(foreign.refs, 1u);
}

TEST(VCardProperty, QueryParameterByTypeOnAPropertyWithoutParameters) {
  auto property = MakeProperty(u"NOTE");
  CComPtr<IVCardParameterColl> result;
  ASSERT_EQ(property->QueryParameterByType(VCARD_PARAM_ENCODING, &result), S_OK);
  EXPECT_EQ(CountOf(result), 0);
}

TEST(VCardPropertyViews, AreThisObjectAndTestTheTypeFirst) {
  auto property = MakeProperty(u"TEL");
  CComPtr<IVCardPropertyName> name_view;
  ASSERT_EQ(property->get_AsName(&name_view), S_OK);  // whatever the type
  CComPtr<IUnknown> a, b;
  property.QueryInterface(&a);
  name_view.QueryInterface(&b);
  EXPECT_EQ(a, b);
  EXPECT_EQ(name_view->get_FamilyName(nullptr), E_NOTIMPL);  // before E_POINTER
  CComBSTR text(u"x");
  EXPECT_EQ(name_view->put_FamilyName(text), E_NOTIMPL);
  CComPtr<IVCardPropertyAddress> address_view;
  ASSERT_EQ(property->get_AsAddress(&address_view), S_OK);
  BSTR street = reinterpret_cast<BSTR>(1);
  EXPECT_EQ(address_view->get_Street(&street), E_NOTIMPL);
  CComPtr<IVCardPropertyOrganisation> org_view;
  ASSERT_EQ(property->get_AsOrganisation(&org_view), S_OK);
  EXPECT_EQ(org_view->put_OrganisationName(text), E_NOTIMPL);
  CComPtr<IVCardValueColl> values;
  property->get_Values(&values);
  EXPECT_EQ(CountOf(values), 0);  // nothing was created
}

TEST(VCardPropertyViews, SetterFillsTheGapWithEmptyValuesOwnedByTheProperty) {
  auto property = MakeProperty(u"N");
  AddTextValue(property, u"Smith");
  AddTextValue(property, u"John");
  CComPtr<IVCardPropertyName> view;
  ASSERT_EQ(property->get_AsName(&view), S_OK);
  CComBSTR prefix;
  EXPECT_EQ(view->get_NamePrefix(&prefix), S_OK);  // behind the last value
  ASSERT_NE(prefix.m_str, nullptr);
  EXPECT_EQ(prefix.Length(), 0u);

  ASSERT_EQ(view->put_NamePrefix(CComBSTR(u"Dr.")), S_OK);
  CComPtr<IVCardValueColl> values;
  property->get_Values(&values);
  ASSERT_EQ(CountOf(values), 4);
  for (LONG i = 2; i < 4; ++i) {
    CComPtr<IVCardValue> value;
    values->Item(i, &value);
    CComPtr<IVCardProperty> parent;
    ASSERT_EQ(value->get_Parent(&parent), S_OK);
    EXPECT_EQ(parent, property);
  }
  CComPtr<IVCardValue> gap;
  values->Item(2, &gap);
  CComVariant decoded;
  gap->get_DecodedValue(&decoded);
  EXPECT_EQ(decoded.vt, VT_EMPTY);

  prefix.Empty();
  EXPECT_EQ(view->get_NamePrefix(&prefix), S_OK);
  EXPECT_EQ(Str(prefix), u"Dr.");
  CComBSTR family;
  EXPECT_EQ(view->get_FamilyName(&family), S_OK);
  EXPECT_EQ(Str(family), u"Smith");
}

TEST(VCardPropertyViews, SetterTakesTheTextUpToTheFirstNul) {
  auto property = MakeProperty(u"ORG");
  CComPtr<IVCardPropertyOrganisation> view;
  ASSERT_EQ(property->get_AsOrganisation(&view), S_OK);
  const char16_t with_nul[] = {u'A', u'C', u'M', u'E', 0, u'\n', u'x'};
  ASSERT_EQ(view->put_OrganisationName(CComBSTR(with_nul, 7)), S_OK);
  CComBSTR name;
  view->get_OrganisationName(&name);
  EXPECT_EQ(Str(name), u"ACME");
  // What was cut off does not count: no control character, no encoding.
  CComPtr<IVCardParameterColl> parameters;
  property->get_Parameters(&parameters);
  EXPECT_EQ(CountOf(parameters), 0);
}

// a component that a setter left empty reads as empty text, S_OK.
TEST(VCardPropertyViews, UnsetComponentReadsAsEmptyText) {
  auto property = MakeProperty(u"ADR");
  CComPtr<IVCardPropertyAddress> view;
  ASSERT_EQ(property->get_AsAddress(&view), S_OK);
  ASSERT_EQ(view->put_Country(CComBSTR(u"Utopia")), S_OK);
  CComBSTR component;
  for (auto getter :
       {&IVCardPropertyAddress::get_PostOfficeAddress, &IVCardPropertyAddress::get_Extended,
        &IVCardPropertyAddress::get_Street, &IVCardPropertyAddress::get_Locality,
        &IVCardPropertyAddress::get_Region, &IVCardPropertyAddress::get_PostalCode}) {
    component.Empty();
    EXPECT_EQ((view.p->*getter)(&component), S_OK);
    ASSERT_NE(component.m_str, nullptr);
    EXPECT_EQ(component.Length(), 0u);
  }
  component.Empty();
  EXPECT_EQ(view->get_Country(&component), S_OK);
  EXPECT_EQ(Str(component), u"Utopia");
}

TEST(VCardPropertyViews, ComponentsMapToTheirPositions) {
  auto property = MakeProperty(u"ADR");
  const char16_t* parts[] = {u"PO", u"Ext", u"Street", u"City", u"Region", u"Code", u"Land"};
  for (const char16_t* part : parts) AddTextValue(property, part);
  CComPtr<IVCardPropertyAddress> view;
  property->get_AsAddress(&view);
  CComBSTR street, country;
  view->get_Street(&street);
  view->get_Country(&country);
  EXPECT_EQ(Str(street), u"Street");
  EXPECT_EQ(Str(country), u"Land");

  auto org = MakeProperty(u"ORG");
  CComPtr<IVCardPropertyOrganisation> org_view;
  org->get_AsOrganisation(&org_view);
  ASSERT_EQ(org_view->put_OrganisationalUnit(CComBSTR(u"Research")), S_OK);
  ASSERT_EQ(org_view->put_OrganisationName(CComBSTR(u"ACME")), S_OK);
  CComBSTR unit, name;
  org_view->get_OrganisationalUnit(&unit);
  org_view->get_OrganisationName(&name);
  EXPECT_EQ(Str(unit), u"Research");
  EXPECT_EQ(Str(name), u"ACME");
}

TEST(VCardPropertyViews, ComponentThatIsNoTextFailsWithANullString) {
  auto property = MakeProperty(u"N");
  auto value = Create<IVCardValue>(CLSID_VCardValue);
  value->putref_Parent(property);
  VARIANT date;
  VariantInit(&date);
  date.vt = VT_DATE;
  date.date = 35000.0;
  ASSERT_EQ(value->put_DecodedValue(date), S_OK);
  CComPtr<IVCardValueColl> values;
  property->get_Values(&values);
  values->Add(value);
  CComPtr<IVCardPropertyName> view;
  property->get_AsName(&view);
  BSTR family = reinterpret_cast<BSTR>(1);
  EXPECT_EQ(view->get_FamilyName(&family), E_FAIL);
  EXPECT_EQ(family, nullptr);
}

TEST(VCardProperty, ViewsKeepThePropertyAliveAndAnswerErrorInfo) {
  CComPtr<IVCardPropertyName> view;
  {
    auto property = MakeProperty(u"N");
    property->get_AsName(&view);
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

}  // namespace
}  // namespace tarvovcard::model
