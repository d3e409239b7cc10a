// The name tables through the setters: put_Name gives the type and keeps the
// name as set, put_Type gives the canonical name, and what the tables refuse
// changes nothing. Property names compare exactly and must begin with "X-"
// to be extensions; parameter names ignore case and may hold "X-" anywhere.
#include <string>

#include "model_test_support.h"

namespace tarvovcard::testing {
namespace {

constexpr LONG kRefused = -100;

struct NameCase {
  const char16_t* name;
  LONG property;
  LONG parameter;
};
const NameCase kNames[] = {
    {u"UID", VCARD_PROP_UID, kRefused},
    {u"ADR", VCARD_PROP_ADR, kRefused},
    {u"ORG", VCARD_PROP_ORG, kRefused},
    {u"N", VCARD_PROP_N, kRefused},
    {u"FN", VCARD_PROP_FN, kRefused},
    {u"AGENT", VCARD_PROP_AGENT, kRefused},
    {u"LOGO", VCARD_PROP_LOGO, kRefused},
    {u"PHOTO", VCARD_PROP_PHOTO, kRefused},
    {u"LABEL", VCARD_PROP_LABEL, kRefused},
    {u"TITLE", VCARD_PROP_TITLE, kRefused},
    {u"SOUND", VCARD_PROP_SOUND, kRefused},
    {u"TEL", VCARD_PROP_TEL, kRefused},
    {u"EMAIL", VCARD_PROP_EMAIL, kRefused},
    {u"TZ", VCARD_PROP_TZ, kRefused},
    {u"GEO", VCARD_PROP_GEO, kRefused},
    {u"NOTE", VCARD_PROP_NOTE, kRefused},
    {u"URL", VCARD_PROP_URL, kRefused},
    {u"BDAY", VCARD_PROP_BDAY, kRefused},
    {u"ROLE", VCARD_PROP_ROLE, kRefused},
    {u"VERSION", VCARD_PROP_VERSION, kRefused},
    {u"REV", VCARD_PROP_REV, kRefused},
    {u"KEY", VCARD_PROP_KEY, kRefused},
    {u"MAILER", VCARD_PROP_MAILER, kRefused},
    {u"TYPE", kRefused, VCARD_PARAM_TYPE},
    {u"VALUE", kRefused, VCARD_PARAM_VALUE},
    {u"ENCODING", kRefused, VCARD_PARAM_ENCODING},
    {u"CHARSET", kRefused, VCARD_PARAM_CHARSET},
    {u"LANGUAGE", kRefused, VCARD_PARAM_LANGUAGE},
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

// "CHARSET" for "charset": the canonical form of a parameter name.
std::u16string Upper(std::u16string text) {
  for (char16_t& c : text) c = c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c;
  return text;
}

TEST(Vocabulary, NamesGiveTypesAndTypesGiveCanonicalNames) {
  for (const NameCase& c : kNames) {
    const std::u16string name = c.name ? c.name : u"";
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    // A refused name leaves the name and type set before it.
    auto property = MakeProperty(u"NOTE");
    auto parameter = MakeParameter(u"type", u"HOME");
    EVCardProperty property_type;
    EVCardParameter parameter_type;
    CComBSTR property_name, parameter_name;
    EXPECT_EQ(property->put_Name(CComBSTR(c.name)), c.property == kRefused ? E_INVALIDARG : S_OK);
    EXPECT_EQ(parameter->put_Name(CComBSTR(c.name)), c.parameter == kRefused ? E_INVALIDARG : S_OK);
    ASSERT_EQ(property->get_Type(&property_type), S_OK);
    ASSERT_EQ(property->get_Name(&property_name), S_OK);
    ASSERT_EQ(parameter->get_Type(&parameter_type), S_OK);
    ASSERT_EQ(parameter->get_Name(&parameter_name), S_OK);
    EXPECT_EQ(property_type, c.property == kRefused ? VCARD_PROP_NOTE : c.property);
    EXPECT_EQ(Str(property_name), c.property == kRefused ? u"NOTE" : name);
    EXPECT_EQ(parameter_type, c.parameter == kRefused ? VCARD_PARAM_TYPE : c.parameter);
    EXPECT_EQ(Str(parameter_name), c.parameter == kRefused ? u"type" : name);

    if (c.property != kRefused && c.property != VCARD_PROP_X) {
      property_name.Empty();
      ASSERT_EQ(property->put_Type(VCARD_PROP_NOTE), S_OK);
      ASSERT_EQ(property->put_Type(static_cast<EVCardProperty>(c.property)), S_OK);
      property->get_Name(&property_name);
      EXPECT_EQ(Str(property_name), name);
    }
    if (c.parameter != kRefused && c.parameter != VCARD_PARAM_X) {
      parameter_name.Empty();
      ASSERT_EQ(parameter->put_Type(static_cast<EVCardParameter>(c.parameter)), S_OK);
      parameter->get_Name(&parameter_name);
      EXPECT_EQ(Str(parameter_name), Upper(name));
    }
  }
}

TEST(Vocabulary, TypesWithoutCanonicalNameAreRefused) {
  auto property = MakeProperty(u"X-ICQ");
  for (LONG type : {LONG{VCARD_PROP_X}, LONG{VCARD_PROP_UNKNOWN}, LONG{24}, LONG{-2}}) {
    EXPECT_EQ(property->put_Type(static_cast<EVCardProperty>(type)), E_INVALIDARG) << type;
  }
  auto parameter = MakeParameter(u"X-Custom", u"");
  for (LONG type : {LONG{VCARD_PARAM_X}, LONG{VCARD_PARAM_UNKNOWN}, LONG{6}, LONG{-2}}) {
    EXPECT_EQ(parameter->put_Type(static_cast<EVCardParameter>(type)), E_INVALIDARG) << type;
  }
  CComBSTR property_name, parameter_name;
  property->get_Name(&property_name);
  parameter->get_Name(&parameter_name);
  EXPECT_EQ(Str(property_name), u"X-ICQ");
  EXPECT_EQ(Str(parameter_name), u"X-Custom");
}

}  // namespace
}  // namespace tarvovcard::testing
