#include "model/vcard.h"

#include "model/parameter.h"
#include "model/property.h"
#include "model/vocabulary.h"

namespace tarvovcard::model {
namespace {

// {C61BE6E7-5325-46E5-ABB7-25763D25DFE5}
constexpr IID kCardImplIid = {
    0xc61be6e7, 0x5325, 0x46e5, {0xab, 0xb7, 0x25, 0x76, 0x3d, 0x25, 0xdf, 0xe5}};

using frame::ComBoundary;

// The type of a property without reference traffic for the library's own.
EVCardProperty TypeOf(IVCardProperty* property) {
  if (VCardProperty* impl = impl_from_IVCardProperty(property)) return impl->type();
  EVCardProperty type;
  _com_util::CheckError(property->get_Type(&type));
  return type;
}

// Exact name comparison, UTF-16 unit for unit.
bool NameEquals(IVCardProperty* property, std::u16string_view wanted) {
  if (VCardProperty* impl = impl_from_IVCardProperty(property)) return impl->name() == wanted;
  CComBSTR name;
  _com_util::CheckError(property->get_Name(&name));
  return BstrView(name) == wanted;
}

}  // namespace

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

bool PassesParameterTest(IVCardProperty* property, EVCardParameter search_parameter,
                         const std::vector<std::string_view>& tokens) {
  std::size_t pairs = 0;
  auto count_pairs = [&](std::u16string_view value) {
    const std::string narrow = AnsiForm(value.data(), static_cast<UINT>(value.size()));
    for (std::string_view token : tokens) pairs += EqualsIgnoreAsciiCase(narrow, token);
  };

  auto count_parameter = [&](IVCardParameter* parameter) {
    if (VCardParameter* impl = impl_from_IVCardParameter(parameter)) {
      if (impl->type() == search_parameter) count_pairs(BstrView(impl->value()));
      return;
    }
    EVCardParameter type;
    _com_util::CheckError(parameter->get_Type(&type));
    if (type != search_parameter) return;
    CComBSTR value;
    _com_util::CheckError(parameter->get_Value(&value));
    count_pairs(BstrView(value));
  };

  if (VCardProperty* impl = impl_from_IVCardProperty(property)) {
    VCardParameterColl* parameters = impl->parameters();
    for (LONG i = 0; i < parameters->size(); ++i) {
      count_parameter(CComPtr<IVCardParameter>(parameters->at(i)));
    }
  } else {
    CComPtr<IVCardParameterColl> parameters;
    _com_util::CheckError(property->get_Parameters(&parameters));
    LONG count = 0;
    _com_util::CheckError(parameters->get_Count(&count));
    for (LONG i = 0; i < count; ++i) {
      CComPtr<IVCardParameter> parameter;
      _com_util::CheckError(parameters->Item(i, &parameter));
      count_parameter(parameter);
    }
  }
  return pairs >= tokens.size();
}

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
  properties_ = frame::CreateObject<IVCardPropertyColl>(CLSID_VCardPropertyColl);
  properties_impl_ = impl_from_IVCardPropertyColl(properties_);
  // The card works on its collection directly; it is always the library's own.
  return properties_impl_ ? S_OK : E_NOINTERFACE;
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

template <class Test>
HRESULT VCard::Query(Test&& test, IVCardPropertyColl** pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  return ComBoundary([&] {
    CComPtr<IVCardPropertyColl> result =
        frame::CreateObject<IVCardPropertyColl>(CLSID_VCardPropertyColl);
    VCardPropertyColl* result_impl = impl_from_IVCardPropertyColl(result);
    // By index, re-reading the size: a property implemented elsewhere could
    // change the card while it is asked.
    for (LONG i = 0; i < properties_impl_->size(); ++i) {
      CComPtr<IVCardProperty> property(properties_impl_->at(i));
      if (!test(property.p)) continue;
      if (result_impl) {
        result_impl->Append(property);
      } else {
        _com_util::CheckError(result->Add(property));
      }
    }
    *pVal = result.Detach();
    return S_OK;
  });
}

HRESULT VCard::QueryPropertyByType(EVCardProperty Type, IVCardPropertyColl** pVal) {
  return Query([&](IVCardProperty* property) { return TypeOf(property) == Type; }, pVal);
}

HRESULT VCard::QueryPropertyByName(BSTR Name, IVCardPropertyColl** pVal) {
  const std::u16string_view wanted = BstrView(Name);
  return Query([&](IVCardProperty* property) { return NameEquals(property, wanted); }, pVal);
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
    return Query(
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
      [&](IVCardProperty* property) { return TypeOf(property) == search_property; },
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
