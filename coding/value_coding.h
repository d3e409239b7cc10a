// Decoded and encoded values: the rules that map a value's stored content (a
// UTF-16 string, a date, an embedded card, a byte array) to the 8-bit text of
// a vCard file and back, according to its property's structure and its first
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
// code page. The ENCODING values compare exactly, upper case. A stored byte
// array always reads back as Base64 text. The structured properties are N,
// ADR, ORG and SOUND.
//
// This layer is pure: the object model reads the rules from a value's parent
// (model/coding_rules.h) and hands them in; what a decoded text wants of the
// parent's parameters comes back as WantedParameters, which the model
// applies. Text that needs Quoted-Printable (a control character, or a
// character above 0x7F in a property that is not structured) and every byte
// array want one ENCODING at the end in place of all; text that the
// property's character set cannot represent, on a property whose first
// CHARSET is not "UTF-8", wants one CHARSET=UTF-8 in place of all, so saving
// it loses nothing.
//
// Encoded text crosses as VT_BYREF|VT_I1: a pointer to NUL-terminated 8-bit
// text. Text handed in is only read during the call; text handed out is a new
// buffer from CoTaskMemAlloc that the receiver frees (ClearEncodedValue).
#pragma once

#include <string>
#include <string_view>

#include "tarvovcard/automation_types.h"

namespace tarvovcard::coding {

inline constexpr VARTYPE kEncodedTextType = VT_BYREF | VT_I1;
inline constexpr VARTYPE kByteArrayType = VT_ARRAY | VT_UI1;

// What a property's first ENCODING parameter says.
enum class ValueEncoding { kNone, kQuotedPrintable, kBase64, kOther };

// The parts of a parent property that the rules consult.
struct ValueCodingRules {
  bool structured = false;  // N, ADR, ORG or SOUND: values are components
  ValueEncoding encoding = ValueEncoding::kNone;
  bool utf8 = false;  // the first CHARSET is "UTF-8", in any letter case
  // Another first CHARSET that iconv knows, as written; empty for the ANSI
  // code page (no CHARSET, or one that iconv does not know).
  std::string charset;
};

// The rules' encoding for the value of a first ENCODING parameter, and their
// character set for the value of a first CHARSET parameter.
ValueEncoding EncodingOf(std::u16string_view value) noexcept;
void ReadCharset(std::u16string_view value, ValueCodingRules& rules);

// What a decoded text wants of its parent's parameters.
struct WantedParameters {
  bool quoted_printable = false;  // one ENCODING=QUOTED-PRINTABLE in place of all
  bool utf8 = false;              // one CHARSET=UTF-8 in place of all
};
WantedParameters WantedFor(std::u16string_view text, const ValueCodingRules& rules);

// The file text of a stored string or byte array (a byte array ignores the
// rules). Throws _com_error.
std::string EncodeStored(const VARIANT& stored, const ValueCodingRules& rules);
// Decodes file text into `stored` (cleared first): a string, or a byte array
// under BASE64. Throws _com_error.
void DecodeInto(const char* text, const ValueCodingRules& rules, VARIANT& stored);

// Copies a decoded value given to a setter into `stored` (cleared first):
// VT_BSTR, VT_DATE, VT_UNKNOWN (asked for IVCard) or a byte array; the caller
// has checked the type. Returns the status of the step that failed.
HRESULT StoreDecoded(const VARIANT& in, VARIANT& stored) noexcept;
// Copies an encoded date or card given to a setter into `stored` (cleared
// first); E_NOINTERFACE for an object that is no card.
HRESULT StoreEncodedObject(const VARIANT& in, VARIANT& stored) noexcept;

// Hands text out as VT_BYREF|VT_I1 in a new buffer; clears *out first.
// Throws _com_error(E_OUTOFMEMORY).
void SetEncodedText(std::string_view text, VARIANT* out);

// Releases what get EncodedValue handed out: the text buffer of a
// VT_BYREF|VT_I1 result, or whatever else the variant owns. Leaves VT_EMPTY.
void ClearEncodedValue(VARIANT* encoded) noexcept;

}  // namespace tarvovcard::coding
