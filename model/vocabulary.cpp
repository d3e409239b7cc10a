#include "model/vocabulary.h"

#include "tarvovcard/platform/comdef.h"
#include "tarvovcard/platform/winnls.h"

namespace tarvovcard::model {
namespace {

// Canonical names by type number (0..22), from the lookup table.
constexpr std::array<std::u16string_view, 23> MakeNamesByType() {
  std::array<std::u16string_view, 23> names{};
  for (const auto& entry : kPropertyNames) names[entry.type] = entry.name;
  return names;
}
constexpr std::array<std::u16string_view, 23> kPropertyNamesByType = MakeNamesByType();

}  // namespace

bool PropertyTypeFromName(std::u16string_view name, EVCardProperty* type) noexcept {
  for (const auto& entry : kPropertyNames) {
    if (entry.name == name) {
      *type = entry.type;
      return true;
    }
  }
  if (name.starts_with(kPropertyExtensionPrefix)) {
    *type = VCARD_PROP_X;
    return true;
  }
  return false;
}

std::u16string_view CanonicalPropertyName(EVCardProperty type) noexcept {
  if (type < VCARD_PROP_FN || type > VCARD_PROP_KEY) return {};
  return kPropertyNamesByType[type];
}

bool ParameterTypeFromName(std::u16string_view name, EVCardParameter* type) noexcept {
  for (const auto& entry : kParameterNames) {
    if (EqualsIgnoreAsciiCase(entry.name, name)) {
      *type = entry.type;
      return true;
    }
  }
  if (name.find(kParameterExtensionMarker) != std::u16string_view::npos) {
    *type = VCARD_PARAM_X;
    return true;
  }
  return false;
}

std::u16string_view CanonicalParameterName(EVCardParameter type) noexcept {
  if (type < VCARD_PARAM_TYPE || type > VCARD_PARAM_LANGUAGE) return {};
  return kParameterNames[type].name;
}

EVCardValue ValueKindOf(const VARIANT& stored) noexcept {
  switch (stored.vt) {
    case VT_BSTR:
      return VCARD_VALUE_STRING;
    case VT_DATE:
      return VCARD_VALUE_DATE;
    case VT_UNKNOWN:
      return VCARD_VALUE_VCARD;
    case VT_ARRAY | VT_UI1:
      return VCARD_VALUE_BYTEARRAY;
    default:
      return VCARD_VALUE_STRING;
  }
}

std::string AnsiForm(const OLECHAR* text, UINT length) {
  std::string result;
  if (!text || length == 0) return result;
  // Windows-1252 is single-byte: one byte per UTF-16 unit at most.
  result.resize(length);
  int written = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), result.data(),
                                    static_cast<int>(result.size()), nullptr, nullptr);
  if (written <= 0) {
    DWORD error = GetLastError();
    _com_issue_error(error ? HRESULT_FROM_WIN32(error) : E_FAIL);
  }
  result.resize(static_cast<std::size_t>(written));
  return result;
}

}  // namespace tarvovcard::model
