#include "coding/value_coding.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "coding/charsets.h"
#include "coding/codecs.h"
#include "coding/conversions.h"
#include "tarvovcard/text.h"
#include "tarvovcard/platform/objbase.h"
#include "tarvovcard/platform/winnls.h"

namespace tarvovcard::coding {
namespace {

constexpr std::u16string_view kQuotedPrintable = u"QUOTED-PRINTABLE";
constexpr std::u16string_view kBase64 = u"BASE64";

}  // namespace

void ReadCharset(std::u16string_view value, ValueCodingRules& rules) {
  std::string name;
  name.reserve(value.size());
  for (char16_t c : value) {
    if (c > 0x7F) return;  // no set has such a name: the ANSI code page
    name.push_back(static_cast<char>(c));
  }
  if (EqualsIgnoreAsciiCase(std::string_view(name), "UTF-8")) {
    rules.utf8 = true;
  } else if (KnowsCharset(name)) {
    rules.charset = std::move(name);
  }
}

namespace {

// 8-bit text in the rules' character set, as UTF-16.
CComBSTR Widen(const char* text, const ValueCodingRules& rules) {
  if (!rules.charset.empty()) return CharsetToWide(text, rules.charset);
  return NarrowToWide(text, rules.utf8);
}

// UTF-16 text in the rules' character set (characters it lacks as "?").
std::string Narrow(BSTR text, const ValueCodingRules& rules, bool* lossless = nullptr) {
  if (!rules.charset.empty()) return WideToCharset(text, rules.charset, lossless);
  return WideToNarrow(text, rules.utf8);
}

// Under an ENCODING other than the two, a structured component keeps its
// escapes as read ("\;" stays in the text), and the file's "\;" is ASCII
// whatever the character set. A set that cannot read that backslash (UTF-7
// has no such character) would turn it into U+FFFD on the way in, and write
// a backslash as a shifted sequence on the way out, so that the ";" after it
// would split the component. For such a set the text is converted piece by
// piece between the escapes, which stay as they are.
constexpr std::string_view kEscape = "\\;";
constexpr std::u16string_view kWideEscape = u"\\;";

bool KeepsEscapesApart(const ValueCodingRules& rules) {
  if (!rules.structured || rules.encoding != ValueEncoding::kOther || rules.charset.empty())
    return false;
  // Sets that read the byte as another character (Shift_JIS: a yen sign)
  // write it back as the same byte, and keep their text whole.
  return BstrView(CharsetToWide(kEscape.data(), rules.charset)).find(u'\uFFFD') !=
         std::u16string_view::npos;
}

CComBSTR WidenApart(std::string_view text, const ValueCodingRules& rules) {
  std::u16string wide;
  for (std::size_t start = 0;;) {
    const std::size_t escape = text.find(kEscape, start);
    const std::string piece(text.substr(start, escape - start));
    wide += BstrView(CharsetToWide(piece.c_str(), rules.charset));
    if (escape == std::string_view::npos) break;
    wide += kWideEscape;
    start = escape + kEscape.size();
  }
  return CComBSTR(wide.data(), static_cast<UINT>(wide.size()));
}

std::string NarrowApart(std::u16string_view text, const ValueCodingRules& rules) {
  std::string narrow;
  for (std::size_t start = 0;;) {
    const std::size_t escape = text.find(kWideEscape, start);
    CComBSTR piece(text.data() + start, static_cast<UINT>(std::min(escape, text.size()) - start));
    narrow += WideToCharset(piece, rules.charset);
    if (escape == std::u16string_view::npos) break;
    narrow += kEscape;
    start = escape + kWideEscape.size();
  }
  return narrow;
}

}  // namespace

ValueEncoding EncodingOf(std::u16string_view value) noexcept {
  if (value == kQuotedPrintable) return ValueEncoding::kQuotedPrintable;
  if (value == kBase64) return ValueEncoding::kBase64;
  return ValueEncoding::kOther;
}

namespace {

// Text that needs Quoted-Printable: a control character anywhere, or, outside
// the structured properties, any character above 0x7F. In a structured
// property, also a backslash at the end or before a ";": written plainly,
// "C:\dir\" and the separator after it would read back as an escaped ";".
bool NeedsQuotedPrintable(std::u16string_view text, bool structured) noexcept {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < 0x20) return true;
    if (c > 0x7F && !structured) return true;
    if (c == u'\\' && structured && (i + 1 == text.size() || text[i + 1] == u';')) return true;
  }
  return false;
}

// False when the ANSI code page lacks a character of the text, which would be
// written as "?".
bool AnsiRepresents(std::u16string_view text) {
  bool all_ascii = true;
  for (char16_t c : text) {
    if (c > 0x7F) {
      all_ascii = false;
      break;
    }
  }
  if (all_ascii) return true;
  std::string narrow(text.size(), '\0');  // single-byte code page
  BOOL used_default = FALSE;
  int written =
      WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                          static_cast<int>(narrow.size()), nullptr, &used_default);
  return written > 0 && !used_default;
}

// False when the rules' character set lacks a character of the text.
bool Represents(std::u16string_view text, const ValueCodingRules& rules) {
  if (rules.charset.empty()) return AnsiRepresents(text);
  if (std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; })) return true;
  CComBSTR copy(text.data(), static_cast<UINT>(text.size()));
  bool lossless = true;
  Narrow(copy, rules, &lossless);
  return lossless;
}

// "\;" becomes ";" until none is left: every run of backslashes directly
// before a semicolon goes.
std::string UnescapeSemicolons(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (char c : text) {
    if (c == ';') {
      while (!result.empty() && result.back() == '\\') result.pop_back();
    }
    result.push_back(c);
  }
  return result;
}

// A backslash before every semicolon (backslashes already there stay single).
std::string EscapeSemicolons(std::string text) {
  std::size_t semicolons = 0;
  for (char c : text) semicolons += c == ';';
  if (semicolons == 0) return text;
  std::string result;
  result.reserve(text.size() + semicolons);
  for (char c : text) {
    if (c == ';') result.push_back('\\');
    result.push_back(c);
  }
  return result;
}

// The bytes of a one-dimensional byte array (first dimension's count).
std::string_view ArrayBytes(SAFEARRAY* array) noexcept {
  if (!array || array->cDims == 0 || !array->pvData) return {};
  return {static_cast<const char*>(array->pvData), array->rgsabound[0].cElements};
}

}  // namespace

void SetEncodedText(std::string_view text, VARIANT* out) {
  auto* buffer = static_cast<char*>(CoTaskMemAlloc(text.size() + 1));
  if (!buffer) _com_issue_error(E_OUTOFMEMORY);
  if (!text.empty()) std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  VariantClear(out);
  out->vt = kEncodedTextType;
  out->pcVal = buffer;
}

WantedParameters WantedFor(std::u16string_view text, const ValueCodingRules& rules) {
  WantedParameters wanted;
  wanted.quoted_printable = NeedsQuotedPrintable(text, rules.structured);
  // Text that the property's character set cannot hold is written in UTF-8.
  wanted.utf8 = !rules.utf8 && !Represents(text, rules);
  return wanted;
}

std::string EncodeStored(const VARIANT& stored, const ValueCodingRules& rules) {
  if (stored.vt == kByteArrayType) return EncodeBase64(ArrayBytes(stored.parray));
  const std::u16string_view stored_text = BstrView(stored.bstrVal);
  if (rules.encoding == ValueEncoding::kOther &&
      stored_text.find(kWideEscape) != std::u16string_view::npos && KeepsEscapesApart(rules))
    return NarrowApart(stored_text, rules);
  std::string text = Narrow(stored.bstrVal, rules);
  switch (rules.encoding) {
    case ValueEncoding::kQuotedPrintable:
      return EncodeQuotedPrintable(text, rules.structured);
    case ValueEncoding::kBase64:
      return EncodeBase64(std::string_view(text));
    case ValueEncoding::kOther:
      return text;
    case ValueEncoding::kNone:
      break;
  }
  return rules.structured ? EscapeSemicolons(std::move(text)) : text;
}

void DecodeInto(const char* text, const ValueCodingRules& rules, VARIANT& stored) {
  VariantClear(&stored);
  std::string decoded;  // used when a step rewrites the text
  switch (rules.encoding) {
    case ValueEncoding::kQuotedPrintable:
      // A "\;" that a phone wrote inside a quoted-printable component is a ";"
      // of the text (the reader keeps it in the component); the writer writes
      // one as "=3B", which is not touched here.
      if (rules.structured && std::strchr(text, ';')) {
        decoded = DecodeQuotedPrintable(UnescapeSemicolons(text));
      } else {
        decoded = DecodeQuotedPrintable(text);
      }
      text = decoded.c_str();
      break;
    case ValueEncoding::kBase64: {
      std::vector<unsigned char> bytes;
      DecodeBase64(text, bytes);
      SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
      if (!array) _com_issue_error(E_OUTOFMEMORY);
      if (!bytes.empty()) std::memcpy(array->pvData, bytes.data(), bytes.size());
      stored.vt = kByteArrayType;
      stored.parray = array;
      return;
    }
    case ValueEncoding::kOther:
      break;
    case ValueEncoding::kNone:
      if (rules.structured && std::strchr(text, ';')) {
        decoded = UnescapeSemicolons(text);
        text = decoded.c_str();
      }
      break;
  }
  CComBSTR wide = rules.encoding == ValueEncoding::kOther && std::strstr(text, kEscape.data()) &&
                          KeepsEscapesApart(rules)
                      ? WidenApart(text, rules)
                      : Widen(text, rules);
  stored.vt = VT_BSTR;
  stored.bstrVal = wide.Detach();
}

HRESULT StoreDecoded(const VARIANT& in, VARIANT& stored) noexcept {
  VariantClear(&stored);
  switch (in.vt) {
    case VT_DATE:
      stored.vt = VT_DATE;
      stored.date = in.date;
      return S_OK;
    case VT_UNKNOWN: {
      if (!in.punkVal) return E_POINTER;
      IVCard* card = nullptr;
      HRESULT hr = in.punkVal->QueryInterface(IID_IVCard, reinterpret_cast<void**>(&card));
      if (FAILED(hr)) return hr;
      stored.vt = VT_UNKNOWN;
      stored.punkVal = card;  // the reference the query gave
      return S_OK;
    }
    case kByteArrayType: {
      SAFEARRAY* copy = nullptr;
      if (in.parray) {
        if (HRESULT hr = SafeArrayCopy(in.parray, &copy); FAILED(hr)) return hr;
      }
      if (!copy) copy = SafeArrayCreateVector(VT_UI1, 0, 0);
      if (!copy) return E_OUTOFMEMORY;
      stored.vt = kByteArrayType;
      stored.parray = copy;
      return S_OK;
    }
    default: {  // VT_BSTR
      std::u16string_view text = BstrView(in.bstrVal);
      BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
      if (!copy) return E_OUTOFMEMORY;
      stored.vt = VT_BSTR;
      stored.bstrVal = copy;
      return S_OK;
    }
  }
}

HRESULT StoreEncodedObject(const VARIANT& in, VARIANT& stored) noexcept {
  VariantClear(&stored);
  if (in.vt == VT_DATE) {
    stored.vt = VT_DATE;
    stored.date = in.date;
    return S_OK;
  }
  if (!in.punkVal) return E_POINTER;
  CComPtr<IVCard> card;
  if (FAILED(in.punkVal->QueryInterface(IID_IVCard, reinterpret_cast<void**>(&card)))) {
    return E_NOINTERFACE;
  }
  return VariantCopy(&stored, &in);  // holds the object as it was given
}

void ClearEncodedValue(VARIANT* encoded) noexcept {
  if (!encoded) return;
  if (encoded->vt == kEncodedTextType) {
    CoTaskMemFree(encoded->pcVal);
    VariantInit(encoded);
    return;
  }
  VariantClear(encoded);
}

}  // namespace tarvovcard::coding
