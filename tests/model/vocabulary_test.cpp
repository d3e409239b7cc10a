// The name tables and the five lookups, directly and through the setters that
// apply them.
#include "model/vocabulary.h"

#include "model_test_support.h"

namespace tarvovcard::model {
namespace {

using testing::Create;
using testing::Str;

TEST(Vocabulary, PropertyNamesCompareExactlyAndXPrefixIsCaseSensitive) {
  EVCardProperty type = VCARD_PROP_UNKNOWN;
  EXPECT_TRUE(PropertyTypeFromName(u"TEL", &type));
  EXPECT_EQ(type, VCARD_PROP_TEL);
  for (const auto& entry : kPropertyNames) {
    ASSERT_TRUE(PropertyTypeFromName(entry.name, &type));
    EXPECT_EQ(type, entry.type);
    EXPECT_EQ(CanonicalPropertyName(entry.type), entry.name);
  }
  EXPECT_TRUE(PropertyTypeFromName(u"X-", &type));
  EXPECT_EQ(type, VCARD_PROP_X);
  EXPECT_TRUE(PropertyTypeFromName(u"X-ICQ", &type));
  EXPECT_EQ(type, VCARD_PROP_X);
  for (std::u16string_view refused : {u"Tel", u"tel", u"x-icq", u"AX-B", u"FOO", u"", u"TEL "}) {
    EXPECT_FALSE(PropertyTypeFromName(refused, &type))
        << std::string(refused.begin(), refused.end());
  }
}

TEST(Vocabulary, PropertyTypesWithoutCanonicalName) {
  EXPECT_EQ(CanonicalPropertyName(VCARD_PROP_UID), u"UID");
  EXPECT_EQ(CanonicalPropertyName(VCARD_PROP_FN), u"FN");
  EXPECT_EQ(CanonicalPropertyName(VCARD_PROP_KEY), u"KEY");
  EXPECT_TRUE(CanonicalPropertyName(VCARD_PROP_X).empty());
  EXPECT_TRUE(CanonicalPropertyName(VCARD_PROP_UNKNOWN).empty());
  EXPECT_TRUE(CanonicalPropertyName(static_cast<EVCardProperty>(24)).empty());
  EXPECT_TRUE(CanonicalPropertyName(static_cast<EVCardProperty>(-2)).empty());
}

TEST(Vocabulary, ParameterNamesIgnoreCaseAndXMarkerMayStandAnywhere) {
  EVCardParameter type = VCARD_PARAM_UNKNOWN;
  for (std::u16string_view name : {u"charset", u"Charset", u"CHARSET"}) {
    ASSERT_TRUE(ParameterTypeFromName(name, &type));
    EXPECT_EQ(type, VCARD_PARAM_CHARSET);
  }
  EXPECT_TRUE(ParameterTypeFromName(u"language", &type));
  EXPECT_EQ(type, VCARD_PARAM_LANGUAGE);
  EXPECT_TRUE(ParameterTypeFromName(u"X-FOO", &type));
  EXPECT_EQ(type, VCARD_PARAM_X);
  EXPECT_TRUE(ParameterTypeFromName(u"AX-B", &type));
  EXPECT_EQ(type, VCARD_PARAM_X);
  for (std::u16string_view refused : {u"HOME", u"x-foo", u"", u"TYPES", u"ENC"}) {
    EXPECT_FALSE(ParameterTypeFromName(refused, &type));
  }
  EXPECT_EQ(CanonicalParameterName(VCARD_PARAM_ENCODING), u"ENCODING");
  EXPECT_TRUE(CanonicalParameterName(VCARD_PARAM_X).empty());
  EXPECT_TRUE(CanonicalParameterName(VCARD_PARAM_UNKNOWN).empty());
}

TEST(Vocabulary, ValueKindFollowsTheVariantTagExactly) {
  VARIANT v;
  VariantInit(&v);
  EXPECT_EQ(ValueKindOf(v), VCARD_VALUE_STRING);  // never set
  v.vt = VT_BSTR;
  EXPECT_EQ(ValueKindOf(v), VCARD_VALUE_STRING);
  v.vt = VT_DATE;
  EXPECT_EQ(ValueKindOf(v), VCARD_VALUE_DATE);
  v.vt = VT_UNKNOWN;
  EXPECT_EQ(ValueKindOf(v), VCARD_VALUE_VCARD);
  v.vt = VT_ARRAY | VT_UI1;
  EXPECT_EQ(ValueKindOf(v), VCARD_VALUE_BYTEARRAY);
  v.vt = VT_ARRAY | VT_I1;
  EXPECT_EQ(ValueKindOf(v), VCARD_VALUE_STRING);
  v.vt = VT_I4;
  EXPECT_EQ(ValueKindOf(v), VCARD_VALUE_STRING);
}

TEST(Vocabulary, PropertySettersKeepTypeAndNameInAgreement) {
  auto property = Create<IVCardProperty>(CLSID_VCardProperty);
  EXPECT_EQ(property->put_Name(CComBSTR(u"TEL")), S_OK);
  EXPECT_EQ(property->put_Name(CComBSTR(u"tel")), E_INVALIDARG);
  EXPECT_EQ(property->put_Name(CComBSTR(u"Tel")), E_INVALIDARG);
  EXPECT_EQ(property->put_Name(nullptr), E_INVALIDARG);
  EVCardProperty type;
  CComBSTR name;
  EXPECT_EQ(property->get_Type(&type), S_OK);
  EXPECT_EQ(type, VCARD_PROP_TEL);
  EXPECT_EQ(property->get_Name(&name), S_OK);
  EXPECT_EQ(Str(name), u"TEL");

  EXPECT_EQ(property->put_Type(VCARD_PROP_ORG), S_OK);
  name.Empty();
  property->get_Name(&name);
  EXPECT_EQ(Str(name), u"ORG");

  for (LONG refused : {LONG{VCARD_PROP_X}, LONG{VCARD_PROP_UNKNOWN}, LONG{24}}) {
    EXPECT_EQ(property->put_Type(static_cast<EVCardProperty>(refused)), E_INVALIDARG);
  }
  EXPECT_EQ(property->put_Type(VCARD_PROP_UID), S_OK);
  name.Empty();
  property->get_Name(&name);
  EXPECT_EQ(Str(name), u"UID");

  // An extension name is kept letter for letter; the type says X.
  EXPECT_EQ(property->put_Name(CComBSTR(u"X-ICQ")), S_OK);
  property->get_Type(&type);
  EXPECT_EQ(type, VCARD_PROP_X);
  name.Empty();
  property->get_Name(&name);
  EXPECT_EQ(Str(name), u"X-ICQ");
}

TEST(Vocabulary, ParameterSettersKeepTheNameAsSet) {
  auto parameter = Create<IVCardParameter>(CLSID_VCardParameter);
  EXPECT_EQ(parameter->put_Name(CComBSTR(u"charset")), S_OK);
  EVCardParameter type;
  CComBSTR name;
  parameter->get_Type(&type);
  EXPECT_EQ(type, VCARD_PARAM_CHARSET);
  parameter->get_Name(&name);
  EXPECT_EQ(Str(name), u"charset");

  EXPECT_EQ(parameter->put_Type(VCARD_PARAM_CHARSET), S_OK);
  name.Empty();
  parameter->get_Name(&name);
  EXPECT_EQ(Str(name), u"CHARSET");

  EXPECT_EQ(parameter->put_Type(VCARD_PARAM_X), E_INVALIDARG);
  EXPECT_EQ(parameter->put_Type(VCARD_PARAM_UNKNOWN), E_INVALIDARG);
  EXPECT_EQ(parameter->put_Type(VCARD_PARAM_ENCODING), S_OK);
  name.Empty();
  parameter->get_Name(&name);
  EXPECT_EQ(Str(name), u"ENCODING");

  EXPECT_EQ(parameter->put_Name(CComBSTR(u"X-Custom")), S_OK);
  parameter->get_Type(&type);
  EXPECT_EQ(type, VCARD_PARAM_X);
  name.Empty();
  parameter->get_Name(&name);
  EXPECT_EQ(Str(name), u"X-Custom");
}

}  // namespace
}  // namespace tarvovcard::model
