#include "model/coding_rules.h"

#include "frame/com_object.h"
#include "model/elements.h"
#include "model/vocabulary.h"

namespace tarvovcard::model {
namespace {

using _com_util::CheckError;
using coding::kByteArrayType;
using coding::kEncodedTextType;

}  // namespace

namespace {

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

// The rules of a parent property, whoever made it. Throws _com_error:
// E_POINTER without a parent, or the code of a failing property operation.
coding::ValueCodingRules ReadCodingRules(IVCardProperty* parent, VCardProperty* parent_impl) {
  if (!parent) _com_issue_error(E_POINTER);
  coding::ValueCodingRules rules;
  const PropertyRef property(parent, parent_impl);
  rules.structured = IsStructuredProperty(property.type());
  FirstValue encoding, charset;
  property.FirstParameterValues(VCARD_PARAM_ENCODING, encoding, VCARD_PARAM_CHARSET, charset);
  if (encoding.found) rules.encoding = coding::EncodingOf(encoding.value);
  if (charset.found) coding::ReadCharset(charset.value, rules);
  return rules;
}

}  // namespace

void ReplaceParameters(IVCardParameterColl* parameters, EVCardParameter type,
                       std::u16string_view value) {
  RemoveParameters(parameters, type);
  AppendParameter(parameters, type, value);
}

HRESULT GetDecodedValue(const VARIANT& stored, VARIANT* out) noexcept {
  if (!out) return E_POINTER;
  return VariantCopy(out, &stored);
}

HRESULT PutDecodedValue(VARIANT& stored, IVCardProperty* parent, VCardProperty* parent_impl,
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
    if (HRESULT hr = coding::StoreDecoded(in, stored); FAILED(hr)) return hr;
    if (in.vt != VT_BSTR && in.vt != kByteArrayType) return S_OK;
    // The value is stored; what it wants of the parent is not done without one.
    if (!parent) return E_POINTER;
    if (in.vt == kByteArrayType) {
      ReplaceParameters(ParametersOf(parent), VCARD_PARAM_ENCODING, u"BASE64");
      return S_OK;
    }
    const coding::WantedParameters wanted =
        coding::WantedFor(BstrView(stored.bstrVal), ReadCodingRules(parent, parent_impl));
    if (wanted.quoted_printable) {
      ReplaceParameters(ParametersOf(parent), VCARD_PARAM_ENCODING, u"QUOTED-PRINTABLE");
    }
    if (wanted.utf8) ReplaceParameters(ParametersOf(parent), VCARD_PARAM_CHARSET, u"UTF-8");
    return S_OK;
  });
}

HRESULT GetEncodedValue(const VARIANT& stored, IVCardProperty* parent, VCardProperty* parent_impl,
                        VARIANT* out) noexcept {
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
    // A byte array is Base64 whatever its parent says.
    const coding::ValueCodingRules rules = stored.vt == kByteArrayType
                                               ? coding::ValueCodingRules()
                                               : ReadCodingRules(parent, parent_impl);
    coding::SetEncodedText(coding::EncodeStored(stored, rules), out);
    return S_OK;
  });
}

HRESULT PutEncodedValue(VARIANT& stored, IVCardProperty* parent, VCardProperty* parent_impl,
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
    if (in.vt != kEncodedTextType) return coding::StoreEncodedObject(in, stored);
    VariantClear(&stored);
    coding::DecodeInto(in.pcVal ? in.pcVal : "", ReadCodingRules(parent, parent_impl), stored);
    return S_OK;
  });
}

}  // namespace tarvovcard::model
