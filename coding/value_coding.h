// Decoded and encoded values: the rules that map a value's stored content (a
// UTF-16 string, a date, an embedded card, a byte array) to the 8-bit text of
// a vCard file and back, according to its property's type and its first
// ENCODING and CHARSET parameters.
//
//   ENCODING            file text -> stored (put)            stored -> file text (get)
//   none                structured: "\;" -> ";"; CHARSET     CHARSET; structured: ";" -> "\;"
//   QUOTED-PRINTABLE    structured: "\;" -> ";"; QP         CHARSET; QP encoding
//                       decoding; CHARSET                    (";" as "=3B" in a component)
//   BASE64              Base64 decoding to a byte array      CHARSET; Base64 encoding
//   anything else       CHARSET only                         CHARSET only
//
// CHARSET means the first CHARSET parameter's set, its name compared without
// regard to letter case: UTF-8 for "UTF-8", any set that iconv knows
// (ISO-8859-2, Shift_JIS, KOI8-R, ...), else, and without a CHARSET, the ANSI
// code page. The ENCODING values compare exactly, upper case.
// A stored byte array always reads back as Base64 text. The structured
// properties are N, ADR, ORG and SOUND.
//
// Setting a decoded value may rewrite the parent's parameters: text that
// needs Quoted-Printable (a control character, or a character above 0x7F in a
// property that is not structured) and every byte array replace all ENCODING
// parameters by one at the end. Text that the property's character set cannot
// represent, on a property whose first CHARSET is not "UTF-8", replaces all
// CHARSET parameters by one CHARSET=UTF-8 at the end, so saving it loses
// nothing.
//
// Encoded text crosses as VT_BYREF|VT_I1: a pointer to NUL-terminated 8-bit
// text. Text handed in is only read during the call; text handed out is a new
// buffer from CoTaskMemAlloc that the receiver frees (ClearEncodedValue).
#pragma once

#include <string>
#include <string_view>

#include "tarvovcard/automation_types.h"

namespace tarvovcard::model {
class VCardProperty;
}

namespace tarvovcard::coding {

inline constexpr VARTYPE kEncodedTextType = VT_BYREF | VT_I1;
inline constexpr VARTYPE kByteArrayType = VT_ARRAY | VT_UI1;

// What a property's first ENCODING parameter says.
enum class ValueEncoding { kNone, kQuotedPrintable, kBase64, kOther };

// The parts of a parent property that the rules consult.
struct ValueCodingRules {
  EVCardProperty property_type = VCARD_PROP_UNKNOWN;
  ValueEncoding encoding = ValueEncoding::kNone;
  bool utf8 = false;  // the first CHARSET is "UTF-8", in any letter case
  // Another first CHARSET that iconv knows, as written; empty for the ANSI
  // code page (no CHARSET, or one that iconv does not know).
  std::string charset;
};

// Reads the rules of a parent property: through parent_impl when the parent is
// the library's own (no collection is created), else through the interface
// (QueryParameterByType). Throws _com_error: E_POINTER without a parent, or the
// code of a failing property operation.
ValueCodingRules ReadCodingRules(IVCardProperty* parent, model::VCardProperty* parent_impl);

// The operations of a value on its stored variant and its (borrowed, possibly
// null) parent. Each is an operation boundary: it returns a status code and
// throws nothing.
HRESULT GetDecodedValue(const VARIANT& stored, VARIANT* out) noexcept;
HRESULT PutDecodedValue(VARIANT& stored, IVCardProperty* parent, model::VCardProperty* parent_impl,
                        const VARIANT& in) noexcept;
HRESULT GetEncodedValue(const VARIANT& stored, IVCardProperty* parent,
                        model::VCardProperty* parent_impl, VARIANT* out) noexcept;
HRESULT PutEncodedValue(VARIANT& stored, IVCardProperty* parent, model::VCardProperty* parent_impl,
                        const VARIANT& in) noexcept;

// Releases what get EncodedValue handed out: the text buffer of a
// VT_BYREF|VT_I1 result, or whatever else the variant owns. Leaves VT_EMPTY.
void ClearEncodedValue(VARIANT* encoded) noexcept;

// An encoded-text variant that borrows text (for put EncodedValue).
inline VARIANT EncodedTextArgument(const char* text) noexcept {
  VARIANT v;
  VariantInit(&v);
  v.vt = kEncodedTextType;
  v.pcVal = const_cast<char*>(text);
  return v;
}

}  // namespace tarvovcard::coding
