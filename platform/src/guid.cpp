#include "tarvovcard/platform/unknwn.h"

// The runtime's own interface identifiers, with the platform's values.
extern "C" {
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IEnumVARIANT = {0x00020404, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_ISupportErrorInfo = {
    0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
}

namespace {

constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

// The byte values of a GUID in text order: Data1..Data3 as numbers (most
// significant first), then Data4 byte by byte.
void ToBytes(REFGUID g, std::uint8_t* b) {
  for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(g.Data1 >> (24 - 8 * i));
  b[4] = static_cast<std::uint8_t>(g.Data2 >> 8);
  b[5] = static_cast<std::uint8_t>(g.Data2);
  b[6] = static_cast<std::uint8_t>(g.Data3 >> 8);
  b[7] = static_cast<std::uint8_t>(g.Data3);
  for (int i = 0; i < 8; ++i) b[8 + i] = g.Data4[i];
}

// Positions of the dashes in "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
constexpr bool IsDashPosition(int i) {
  return i == 9 || i == 14 || i == 19 || i == 24;
}
constexpr int kGuidTextLength = 38;

}  // namespace

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
  if (!lpsz || cchMax < kGuidTextLength + 1) return 0;
  std::uint8_t bytes[16];
  ToBytes(rguid, bytes);
  int out = 0;
  int byte = 0;
  lpsz[out++] = u'{';
  while (out < kGuidTextLength - 1) {
    if (IsDashPosition(out)) {
      lpsz[out++] = u'-';
      continue;
    }
    lpsz[out++] = kHexDigits[bytes[byte] >> 4];
    lpsz[out++] = kHexDigits[bytes[byte] & 0xF];
    ++byte;
  }
  lpsz[out++] = u'}';
  lpsz[out++] = u'\0';
  return out;
}

HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid) {
  if (!pclsid) return E_INVALIDARG;
  // A null string stands for the null GUID, as on the platform.
  if (!lpsz) {
    *pclsid = GUID_NULL;
    return S_OK;
  }
  std::uint8_t bytes[16];
  int byte = 0;
  int i = 0;
  if (lpsz[i++] != u'{') return CO_E_CLASSSTRING;
  while (i < kGuidTextLength - 1) {
    if (IsDashPosition(i)) {
      if (lpsz[i++] != u'-') return CO_E_CLASSSTRING;
      continue;
    }
    // A NUL fails here, so the text is never read past its end.
    const int high = HexValue(lpsz[i]);
    if (high < 0) return CO_E_CLASSSTRING;
    const int low = HexValue(lpsz[i + 1]);
    if (low < 0) return CO_E_CLASSSTRING;
    bytes[byte++] = static_cast<std::uint8_t>(high << 4 | low);
    i += 2;
  }
  if (lpsz[i++] != u'}' || lpsz[i] != u'\0') return CO_E_CLASSSTRING;
  pclsid->Data1 = static_cast<std::uint32_t>(bytes[0]) << 24 |
                  static_cast<std::uint32_t>(bytes[1]) << 16 |
                  static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
  pclsid->Data2 = static_cast<std::uint16_t>(bytes[4] << 8 | bytes[5]);
  pclsid->Data3 = static_cast<std::uint16_t>(bytes[6] << 8 | bytes[7]);
  for (int k = 0; k < 8; ++k) pclsid->Data4[k] = bytes[8 + k];
  return S_OK;
}

HRESULT IIDFromString(LPCOLESTR lpsz, IID* piid) {
  return CLSIDFromString(lpsz, piid);
}
