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

TEST(Vocabulary, NamesGiveTypesAndTypesGiveCanonicalNames) {
  for (const NameCase& c : kNames) {
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
