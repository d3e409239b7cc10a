// The vocabulary of the object model: the property and parameter name tables
// and the five lookups that tie names, types and stored values together.
//
// The tables are constant and shared by every object. Setting a name on a
// property or parameter looks its type up; setting a type gives the canonical
// name. Property names compare exactly (canonical names are upper case, "X-"
// names are kept letter for letter); parameter names compare without regard
// to the case of ASCII letters, and any name containing "X-" is an extension.
//
// The name tests are defined on the name's 8-bit form in the ANSI code page.
// Every name in the tables is ASCII, and a character outside the code page
// becomes "?", which no table name contains; so testing the UTF-16 units
// directly gives the same answers without converting anything.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "tarvovcard/text.h"
#include "tarvovcard/automation_types.h"
#include "tarvovcard/platform/atlbase.h"

namespace tarvovcard::model {

struct PropertyNameEntry {
  std::u16string_view name;
  EVCardProperty type;
};

// The 23 canonical property names with their types, in lookup order: the one
// list from which the model's table below and the reader's look-ups are made.
// clang-format off
#define TARVOVCARD_PROPERTY_NAMES(X) \
  X("UID", VCARD_PROP_UID) \
  X("ADR", VCARD_PROP_ADR) \
  X("ORG", VCARD_PROP_ORG) \
  X("N", VCARD_PROP_N) \
  X("FN", VCARD_PROP_FN) \
  X("AGENT", VCARD_PROP_AGENT) \
  X("LOGO", VCARD_PROP_LOGO) \
  X("PHOTO", VCARD_PROP_PHOTO) \
  X("LABEL", VCARD_PROP_LABEL) \
  X("TITLE", VCARD_PROP_TITLE) \
  X("SOUND", VCARD_PROP_SOUND) \
  X("TEL", VCARD_PROP_TEL) \
  X("EMAIL", VCARD_PROP_EMAIL) \
  X("TZ", VCARD_PROP_TZ) \
  X("GEO", VCARD_PROP_GEO) \
  X("NOTE", VCARD_PROP_NOTE) \
  X("URL", VCARD_PROP_URL) \
  X("BDAY", VCARD_PROP_BDAY) \
  X("ROLE", VCARD_PROP_ROLE) \
  X("VERSION", VCARD_PROP_VERSION) \
  X("REV", VCARD_PROP_REV) \
  X("KEY", VCARD_PROP_KEY) \
  X("MAILER", VCARD_PROP_MAILER)
// clang-format on

#define TARVOVCARD_WIDE_ENTRY(name, type) {u"" name, type},
inline constexpr std::array<PropertyNameEntry, 23> kPropertyNames = {
    {TARVOVCARD_PROPERTY_NAMES(TARVOVCARD_WIDE_ENTRY)}};
#undef TARVOVCARD_WIDE_ENTRY
// Stands behind the table: a property name that begins with it is an extension.
inline constexpr std::u16string_view kPropertyExtensionPrefix = u"X-";

struct ParameterNameEntry {
  std::u16string_view name;
  EVCardParameter type;
};

inline constexpr std::array<ParameterNameEntry, 5> kParameterNames = {{
    {u"TYPE", VCARD_PARAM_TYPE},
    {u"VALUE", VCARD_PARAM_VALUE},
    {u"ENCODING", VCARD_PARAM_ENCODING},
    {u"CHARSET", VCARD_PARAM_CHARSET},
    {u"LANGUAGE", VCARD_PARAM_LANGUAGE},
}};
// Stands behind the table: a parameter name that contains it is an extension.
inline constexpr std::u16string_view kParameterExtensionMarker = u"X-";

// 1. Property name to type: VCARD_PROP_X for a name beginning with "X-";
//    false for anything else (tel, x-foo, FOO, the empty name).
bool PropertyTypeFromName(std::u16string_view name, EVCardProperty* type) noexcept;

// 2. Property type to canonical name: the upper-case name of types 0..22;
//    an empty view for VCARD_PROP_X, VCARD_PROP_UNKNOWN and any other number.
std::u16string_view CanonicalPropertyName(EVCardProperty type) noexcept;

// 3. Parameter name to type, ignoring ASCII case; VCARD_PARAM_X for a name
//    that contains "X-"; false for anything else.
bool ParameterTypeFromName(std::u16string_view name, EVCardParameter* type) noexcept;

// 4. Parameter type to canonical name: "TYPE" .. "LANGUAGE" for 0..4; an empty
//    view for anything else.
std::u16string_view CanonicalParameterName(EVCardParameter type) noexcept;

// 5. Kind of a stored value by its variant type tag.
EVCardValue ValueKindOf(const VARIANT& stored) noexcept;

// True for the property types whose text values are ";"-separated components.
constexpr bool IsStructuredProperty(EVCardProperty type) noexcept {
  return type == VCARD_PROP_N || type == VCARD_PROP_ADR || type == VCARD_PROP_ORG ||
         type == VCARD_PROP_SOUND;
}

// The 8-bit form of UTF-16 text in the ANSI code page, characters it lacks
// given as "?". A null string gives empty text.
std::string AnsiForm(const OLECHAR* text, UINT length);

// Stores a setter argument in a text field: a copy up to the first NUL, a null
// string staying null. The field keeps its text when memory runs out.
inline HRESULT SetTextArgument(CComBSTR& field, BSTR newVal) noexcept {
  BSTR copy = nullptr;
  if (newVal) {
    copy = SysAllocString(newVal);
    if (!copy) return E_OUTOFMEMORY;
  }
  field.Attach(copy);
  return S_OK;
}

}  // namespace tarvovcard::model
