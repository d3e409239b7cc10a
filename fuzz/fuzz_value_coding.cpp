// The value coding on any encoded text: for a property chosen by the first
// bytes (its name, ENCODING and CHARSET), the text is stored as read from a
// file, its decoded form is stored again in a fresh value of a like property,
// and what that encodes must decode to the same value.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tarvovcard/tarvovcard.h"

namespace {

template <class Interface>
CComPtr<Interface> Create(const CLSID& clsid) {
  CComPtr<Interface> object;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, uuidof<Interface>(),
                              reinterpret_cast<void**>(&object))))
    std::abort();
  return object;
}

CComPtr<IVCardProperty> NewProperty(const char16_t* name, const char16_t* encoding,
                                    const char16_t* charset) {
  CComPtr<IVCardProperty> property = Create<IVCardProperty>(CLSID_VCardProperty);
  if (FAILED(property->put_Name(CComBSTR(name)))) std::abort();
  CComPtr<IVCardParameterColl> parameters;
  property->get_Parameters(&parameters);
  const std::pair<const char16_t*, const char16_t*> wanted[] = {{u"ENCODING", encoding},
                                                                {u"CHARSET", charset}};
  for (const auto& [parameter_name, value] : wanted) {
    if (!value) continue;
    CComPtr<IVCardParameter> parameter = Create<IVCardParameter>(CLSID_VCardParameter);
    parameter->put_Name(CComBSTR(parameter_name));
    parameter->put_Value(CComBSTR(value));
    parameters->Add(parameter);
  }
  return property;
}

CComPtr<IVCardValue> NewValue(IVCardProperty* property) {
  CComPtr<IVCardValue> value = Create<IVCardValue>(CLSID_VCardValue);
  if (FAILED(value->putref_Parent(property))) std::abort();
  return value;
}

bool Same(const VARIANT& a, const VARIANT& b) {
  if (a.vt != b.vt) return false;
  if (a.vt == VT_BSTR) {
    return SysStringLen(a.bstrVal) == SysStringLen(b.bstrVal) &&
           std::memcmp(a.bstrVal, b.bstrVal, SysStringLen(a.bstrVal) * sizeof(OLECHAR)) == 0;
  }
  if (a.vt == (VT_ARRAY | VT_UI1)) {
    const ULONG size = a.parray->rgsabound[0].cElements;
    return size == b.parray->rgsabound[0].cElements &&
           (size == 0 || std::memcmp(a.parray->pvData, b.parray->pvData, size) == 0);
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static const char16_t* const kNames[] = {u"N", u"ADR", u"ORG", u"NOTE", u"PHOTO", u"X-A"};
  static const char16_t* const kEncodings[] = {nullptr, u"QUOTED-PRINTABLE", u"BASE64", u"8BIT"};
  static const char16_t* const kCharsets[] = {nullptr, u"UTF-8", u"ISO-8859-1", nullptr};
  const std::uint8_t choice = data[0];
  const char16_t* name = kNames[(choice & 0x7) % 6];
  const char16_t* encoding = kEncodings[(choice >> 3) & 0x3];
  const char16_t* charset = kCharsets[(choice >> 5) & 0x3];
  // Text from a file is NUL-terminated and never holds a line feed outside a
  // quoted-printable soft break; the scanner sees to that.
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  text = text.substr(0, text.find('\0'));

  CComPtr<IVCardProperty> read = NewProperty(name, encoding, charset);
  CComPtr<IVCardValue> from_file = NewValue(read);
  VARIANT encoded;
  VariantInit(&encoded);
  encoded.vt = VT_BYREF | VT_I1;
  encoded.pcVal = text.data();
  if (FAILED(from_file->put_EncodedValue(encoded))) return 0;
  CComVariant first;
  if (FAILED(from_file->get_DecodedValue(&first))) std::abort();

  // A client sets that decoded value on a like property; the value coding may
  // add the ENCODING and CHARSET it needs. Its encoded text read back as a
  // file would be must give the same value.
  CComPtr<IVCardProperty> written = NewProperty(name, encoding, charset);
  CComPtr<IVCardValue> client = NewValue(written);
  if (FAILED(client->put_DecodedValue(first))) std::abort();
  VARIANT out;
  VariantInit(&out);
  if (FAILED(client->get_EncodedValue(&out))) std::abort();
  CComPtr<IVCardValue> reread = NewValue(written);
  const HRESULT hr = reread->put_EncodedValue(out);
  if (out.vt == (VT_BYREF | VT_I1)) CoTaskMemFree(out.pcVal);
  if (FAILED(hr)) std::abort();
  CComVariant second;
  if (FAILED(reread->get_DecodedValue(&second))) std::abort();
  if (!Same(first, second)) std::abort();
  return 0;
}
