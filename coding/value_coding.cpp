#include "coding/value_coding.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "coding/charsets.h"
#include "coding/codecs.h"
#include "coding/conversions.h"
#include "model/parameter.h"
#include "model/property.h"
#include "model/vocabulary.h"
#include "frame/com_object.h"
#include "tarvovcard/platform/objbase.h"
#include "tarvovcard/platform/winnls.h"

namespace tarvovcard::coding {
namespace {

using _com_util::CheckError;

constexpr std::u16string_view kQuotedPrintable = u"QUOTED-PRINTABLE";
constexpr std::u16string_view kBase64 = u"BASE64";
constexpr std::u16string_view kUtf8 = u"UTF-8";

// Fills the character-set part of the rules from a CHARSET value.
void ReadCharset(std::u16string_view value, ValueCodingRules& rules) {
  std::string name;
  name.reserve(value.size());
  for (char16_t c : value) {
    if (c > 0x7F) return;  // no set has such a name: the ANSI code page
    name.push_back(static_cast<char>(c));
  }
  if (model::EqualsIgnoreAsciiCase(name, "UTF-8")) {
    rules.utf8 = true;
  } else if (KnowsCharset(name)) {
    rules.charset = std::move(name);
  }
}

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

ValueEncoding EncodingOf(std::u16string_view value) noexcept {
  if (value == kQuotedPrintable) return ValueEncoding::kQuotedPrintable;
  if (value == kBase64) return ValueEncoding::kBase64;
  return ValueEncoding::kOther;
}

// The value of the first parameter of `type`, as a client would find it:
// QueryParameterByType, then its first element.
bool FirstParameterValueByInterface(IVCardProperty* parent, EVCardParameter type, CComBSTR& value) {
  CComPtr<IVCardParameterColl> selected;
  CheckError(parent->QueryParameterByType(type, &selected));
  LONG count = 0;
  CheckError(selected->get_Count(&count));
  if (count == 0) return false;
  CComPtr<IVCardParameter> first;
  CheckError(selected->Item(0, &first));
  CheckError(first->get_Value(&value));
  return true;
}

// The parent's parameter collection (a new reference).
CComPtr<IVCardParameterColl> ParametersOf(IVCardProperty* parent) {
  CComPtr<IVCardParameterColl> parameters;
  CheckError(parent->get_Parameters(&parameters));
  return parameters;
}

// Removes every parameter of `type`, walking by index (the index stays on a
// removal). A removal that fails is passed over, not reported.
void RemoveParameters(IVCardParameterColl* parameters, EVCardParameter type) {
  LONG count = 0;
  CheckError(parameters->get_Count(&count));
  for (LONG i = 0; i < count;) {
    CComPtr<IVCardParameter> parameter;
    CheckError(parameters->Item(i, &parameter));
    EVCardParameter parameter_type;
    CheckError(parameter->get_Type(&parameter_type));
    if (parameter_type == type && SUCCEEDED(parameters->Remove(i))) {
      CheckError(parameters->get_Count(&count));
    } else {
      ++i;
    }
  }
}

// Appends a new parameter, created by class identity like every object.
void AppendParameter(IVCardParameterColl* parameters, EVCardParameter type,
                     std::u16string_view value) {
  CComPtr<IVCardParameter> parameter = frame::CreateObject<IVCardParameter>(CLSID_VCardParameter);
  CheckError(parameter->put_Type(type));
  CComBSTR text(value.data(), static_cast<UINT>(value.size()));
  CheckError(parameter->put_Value(text));
  CheckError(parameters->Add(parameter));
}

void ReplaceParameters(IVCardProperty* parent, EVCardParameter type, std::u16string_view value) {
  CComPtr<IVCardParameterColl> parameters = ParametersOf(parent);
  RemoveParameters(parameters, type);
  AppendParameter(parameters, type, value);
}

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

// Hands text out as VT_BYREF|VT_I1 in a new buffer; clears *out first.
void SetEncodedText(std::string_view text, VARIANT* out) {
  auto* buffer = static_cast<char*>(CoTaskMemAlloc(text.size() + 1));
  if (!buffer) _com_issue_error(E_OUTOFMEMORY);
  if (!text.empty()) std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  VariantClear(out);
  out->vt = kEncodedTextType;
  out->pcVal = buffer;
}

// The bytes of a one-dimensional byte array (first dimension's count).
std::string_view ArrayBytes(SAFEARRAY* array) noexcept {
  if (!array || array->cDims == 0 || !array->pvData) return {};
  return {static_cast<const char*>(array->pvData), array->rgsabound[0].cElements};
}

}  // namespace

ValueCodingRules ReadCodingRules(IVCardProperty* parent, model::VCardProperty* parent_impl) {
  if (!parent) _com_issue_error(E_POINTER);
  ValueCodingRules rules;
  if (parent_impl) {
    rules.property_type = parent_impl->type();
    model::VCardParameter* encoding = nullptr;
    model::VCardParameter* charset = nullptr;
    if (parent_impl->FirstCodingParameters(&encoding, &charset)) {
      if (encoding) rules.encoding = EncodingOf(model::BstrView(encoding->value()));
      if (charset) ReadCharset(model::BstrView(charset->value()), rules);
      return rules;
    }
    CComBSTR holder;
    std::u16string_view value;
    if (parent_impl->FirstParameterValue(VCARD_PARAM_ENCODING, holder, &value)) {
      rules.encoding = EncodingOf(value);
    }
    if (parent_impl->FirstParameterValue(VCARD_PARAM_CHARSET, holder, &value)) {
      ReadCharset(value, rules);
    }
    return rules;
  }
  CheckError(parent->get_Type(&rules.property_type));
  CComBSTR value;
  if (FirstParameterValueByInterface(parent, VCARD_PARAM_ENCODING, value)) {
    rules.encoding = EncodingOf(model::BstrView(value));
  }
  value.Empty();
  if (FirstParameterValueByInterface(parent, VCARD_PARAM_CHARSET, value)) {
    ReadCharset(model::BstrView(value), rules);
  }
  return rules;
}

HRESULT GetDecodedValue(const VARIANT& stored, VARIANT* out) noexcept {
  if (!out) return E_POINTER;
  return VariantCopy(out, &stored);
}

HRESULT PutDecodedValue(VARIANT& stored, IVCardProperty* parent, model::VCardProperty* parent_impl,
                        const VARIANT& in) noexcept {
  switch (in.vt) {
    case VT_BSTR:
    case VT_DATE:
    case VT_UNKNOWN:
    case kByteArrayType:
      break;
    default:
      return E_INVALIDARG;
  }
  return frame::ComBoundary([&]() -> HRESULT {
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
        if (in.parray) CheckError(SafeArrayCopy(in.parray, &copy));
        if (!copy) copy = SafeArrayCreateVector(VT_UI1, 0, 0);
        if (!copy) return E_OUTOFMEMORY;
        stored.vt = kByteArrayType;
        stored.parray = copy;
        if (!parent) return E_POINTER;
        ReplaceParameters(parent, VCARD_PARAM_ENCODING, kBase64);
        return S_OK;
      }

      default: {  // VT_BSTR
        std::u16string_view text = model::BstrView(in.bstrVal);
        BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (!copy) return E_OUTOFMEMORY;
        stored.vt = VT_BSTR;
        stored.bstrVal = copy;
        if (!parent) return E_POINTER;
        EVCardProperty type;
        if (parent_impl) {
          type = parent_impl->type();
        } else {
          CheckError(parent->get_Type(&type));
        }
        if (NeedsQuotedPrintable(text, model::IsStructuredProperty(type))) {
          ReplaceParameters(parent, VCARD_PARAM_ENCODING, kQuotedPrintable);
        }
        // Text that the property's character set cannot hold is written in
        // UTF-8.
        ValueCodingRules rules = ReadCodingRules(parent, parent_impl);
        if (!rules.utf8 && !Represents(text, rules)) {
          ReplaceParameters(parent, VCARD_PARAM_CHARSET, kUtf8);
        }
        return S_OK;
      }
    }
  });
}

HRESULT GetEncodedValue(const VARIANT& stored, IVCardProperty* parent,
                        model::VCardProperty* parent_impl, VARIANT* out) noexcept {
  if (!out) return E_POINTER;
  switch (stored.vt) {
    case VT_DATE:
    case VT_UNKNOWN:
      return VariantCopy(out, &stored);
    case VT_BSTR:
    case kByteArrayType:
      break;
    default:
      return S_OK;  // an empty value leaves *out as it was passed
  }
  // What the caller passed is released before anything can fail, so that a
  // failure leaves nothing behind for the caller to free or to mistake.
  VariantClear(out);
  return frame::ComBoundary([&] {
    if (stored.vt == kByteArrayType) {
      SetEncodedText(EncodeBase64(ArrayBytes(stored.parray)), out);
      return S_OK;
    }
    ValueCodingRules rules = ReadCodingRules(parent, parent_impl);
    std::string text = Narrow(stored.bstrVal, rules);
    switch (rules.encoding) {
      case ValueEncoding::kQuotedPrintable:
        text = EncodeQuotedPrintable(text, model::IsStructuredProperty(rules.property_type));
        break;
      case ValueEncoding::kBase64:
        text = EncodeBase64(std::string_view(text));
        break;
      case ValueEncoding::kOther:
        break;
      case ValueEncoding::kNone:
        if (model::IsStructuredProperty(rules.property_type)) {
          text = EscapeSemicolons(std::move(text));
        }
        break;
    }
    SetEncodedText(text, out);
    return S_OK;
  });
}

HRESULT PutEncodedValue(VARIANT& stored, IVCardProperty* parent, model::VCardProperty* parent_impl,
                        const VARIANT& in) noexcept {
  switch (in.vt) {
    case kEncodedTextType:
    case VT_DATE:
    case VT_UNKNOWN:
      break;
    default:
      return E_INVALIDARG;
  }
  return frame::ComBoundary([&]() -> HRESULT {
    VariantClear(&stored);
    if (in.vt == VT_DATE) {
      stored.vt = VT_DATE;
      stored.date = in.date;
      return S_OK;
    }
    if (in.vt == VT_UNKNOWN) {
      if (!in.punkVal) return E_POINTER;
      CComPtr<IVCard> card;
      if (FAILED(in.punkVal->QueryInterface(IID_IVCard, reinterpret_cast<void**>(&card)))) {
        return E_NOINTERFACE;
      }
      return VariantCopy(&stored, &in);  // holds the object as it was given
    }

    const char* text = in.pcVal ? in.pcVal : "";
    ValueCodingRules rules = ReadCodingRules(parent, parent_impl);
    std::string decoded;  // used when a step rewrites the text
    switch (rules.encoding) {
      case ValueEncoding::kQuotedPrintable:
        // A "\;" that a phone wrote inside a quoted-printable component is a
        // ";" of the text (the reader keeps it in the component); the writer
        // writes one as "=3B", which is not touched here.
        if (model::IsStructuredProperty(rules.property_type) && std::strchr(text, ';')) {
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
        if (!array) return E_OUTOFMEMORY;
        if (!bytes.empty()) std::memcpy(array->pvData, bytes.data(), bytes.size());
        stored.vt = kByteArrayType;
        stored.parray = array;
        return S_OK;
      }
      case ValueEncoding::kOther:
        break;
      case ValueEncoding::kNone:
        if (model::IsStructuredProperty(rules.property_type) && std::strchr(text, ';')) {
          decoded = UnescapeSemicolons(text);
          text = decoded.c_str();
        }
        break;
    }
    CComBSTR wide = Widen(text, rules);
    stored.vt = VT_BSTR;
    stored.bstrVal = wide.Detach();
    return S_OK;
  });
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
