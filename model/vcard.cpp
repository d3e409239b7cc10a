#include "model/vcard.h"

#include "model/elements.h"
#include "model/vocabulary.h"

namespace tarvovcard::model {
namespace {

// {C61BE6E7-5325-46E5-ABB7-25763D25DFE5}
constexpr IID kCardImplIid = {
    0xc61be6e7, 0x5325, 0x46e5, {0xab, 0xb7, 0x25, 0x76, 0x3d, 0x25, 0xdf, 0xe5}};

using frame::ComBoundary;

// Exact name comparison, UTF-16 unit for unit.
bool NameEquals(IVCardProperty* property, std::u16string_view wanted) {
  CComBSTR holder;
  return PropertyRef::Of(property).name(holder) == wanted;
}

// The parameter values of a query cut into tokens at ";" (empty ones
// dropped), whatever their length.
std::vector<std::string_view> SplitParameterValues(std::string_view values) {
  std::vector<std::string_view> tokens;
  std::size_t start = 0;
  while (start < values.size()) {
    std::size_t end = values.find(';', start);
    if (end == std::string_view::npos) end = values.size();
    if (end > start) tokens.push_back(values.substr(start, end - start));
    start = end + 1;
  }
  return tokens;
}

// True when the property's parameters of the type hold the tokens: at least
// as many (parameter, token) matches as tokens. Throws _com_error when a
// parameter fails.
bool PassesParameterTest(IVCardProperty* property, EVCardParameter search_parameter,
                         const std::vector<std::string_view>& tokens) {
  std::size_t pairs = 0;
  auto count_pairs = [&](std::u16string_view value) {
    const std::string narrow = AnsiForm(value.data(), static_cast<UINT>(value.size()));
    for (std::string_view token : tokens) pairs += EqualsIgnoreAsciiCase(narrow, token);
  };

  PropertyRef::Of(property).ForEachParameter([&](const ParameterRef& parameter) {
    if (parameter.type() == search_parameter) {
      CComBSTR holder;
      count_pairs(parameter.value(holder));
    }
    return true;
  });
  return pairs >= tokens.size();
}

}  // namespace

const IID& VCard::ImplIid() noexcept {
  return kCardImplIid;
}

IUnknown* VCard::GetInterface(REFIID riid) noexcept {
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IVCard)) {
    return static_cast<IVCard*>(this);
  }
  if (IsEqualIID(riid, IID_ISupportErrorInfo)) return static_cast<ISupportErrorInfo*>(this);
  return nullptr;
}

HRESULT VCard::FinalConstruct() {
  // The card works on its collection directly: it is the library's own.
  properties_ = frame::CreatePart<VCardPropertyColl>();
  properties_impl_ = static_cast<VCardPropertyColl*>(properties_.p);
  return S_OK;
}

HRESULT VCard::get_FolderPath(BSTR* pVal) {
  return folder_path_.CopyTo(pVal);
}
HRESULT VCard::put_FolderPath(BSTR newVal) {
  return SetTextArgument(folder_path_, newVal);
}
HRESULT VCard::get_Filename(BSTR* pVal) {
  return filename_.CopyTo(pVal);
}
HRESULT VCard::put_Filename(BSTR newVal) {
  return SetTextArgument(filename_, newVal);
}

HRESULT VCard::get_Properties(IVCardPropertyColl** pVal) {
  return properties_.CopyTo(pVal);
}

HRESULT VCard::QueryPropertyByType(EVCardProperty Type, IVCardPropertyColl** pVal) {
  return Filter(
      properties_impl_, CLSID_VCardPropertyColl,
      [&](IVCardProperty* property) { return PropertyRef::Of(property).type() == Type; }, pVal);
}

HRESULT VCard::QueryPropertyByName(BSTR Name, IVCardPropertyColl** pVal) {
  const std::u16string_view wanted = BstrView(Name);
  return Filter(
      properties_impl_, CLSID_VCardPropertyColl,
      [&](IVCardProperty* property) { return NameEquals(property, wanted); }, pVal);
}

template <class Select>
HRESULT VCard::QueryWithParameterTest(Select&& select, EVCardParameter search_parameter,
                                      BSTR parameter_values, IVCardPropertyColl** pVal) noexcept {
  if (!pVal) return E_POINTER;
  return ComBoundary([&] {
    std::u16string_view values_view = BstrView(parameter_values);
    const std::string values = AnsiForm(values_view.data(), static_cast<UINT>(values_view.size()));
    const std::vector<std::string_view> tokens = SplitParameterValues(values);
    const bool any = values_view.empty();
    return Filter(
        properties_impl_, CLSID_VCardPropertyColl,
        [&](IVCardProperty* property) {
          if (!select(property)) return false;
          return any || PassesParameterTest(property, search_parameter, tokens);
        },
        pVal);
  });
}

HRESULT VCard::QueryPropertyByParameter(EVCardProperty search_property,
                                        EVCardParameter search_parameter, BSTR parameter_values,
                                        IVCardPropertyColl** pVal) {
  return QueryWithParameterTest(
      [&](IVCardProperty* property) { return PropertyRef::Of(property).type() == search_property; },
      search_parameter, parameter_values, pVal);
}

HRESULT VCard::QueryPropertyByNameAndParameter(BSTR search_property_name,
                                               EVCardParameter search_parameter,
                                               BSTR parameter_values, IVCardPropertyColl** pVal) {
  const std::u16string_view wanted = BstrView(search_property_name);
  return QueryWithParameterTest(
      [&](IVCardProperty* property) { return NameEquals(property, wanted); }, search_parameter,
      parameter_values, pVal);
}

HRESULT VCard::InterfaceSupportsErrorInfo(REFIID riid) {
  return IsEqualIID(riid, IID_IVCard) ? S_OK : S_FALSE;
}

}  // namespace tarvovcard::model
