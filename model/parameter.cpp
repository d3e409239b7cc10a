#include "model/parameter.h"

#include "model/vocabulary.h"

namespace tarvovcard::model {
namespace {
// {2650837A-172A-4D2C-B682-A3744851B671}
constexpr IID kParameterImplIid = {
    0x2650837a, 0x172a, 0x4d2c, {0xb6, 0x82, 0xa3, 0x74, 0x48, 0x51, 0xb6, 0x71}};
}  // namespace

const IID& VCardParameter::ImplIid() noexcept {
  return kParameterImplIid;
}

IUnknown* VCardParameter::GetInterface(REFIID riid) noexcept {
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IVCardParameter)) {
    return static_cast<IVCardParameter*>(this);
  }
  if (IsEqualIID(riid, IID_ISupportErrorInfo)) return static_cast<ISupportErrorInfo*>(this);
  return nullptr;
}

std::u16string_view VCardParameter::name() const noexcept {
  return custom_name_ ? BstrView(custom_name_) : CanonicalParameterName(type_);
}

bool VCardParameter::SetType(EVCardParameter type) noexcept {
  std::u16string_view canonical = CanonicalParameterName(type);
  if (canonical.empty()) return false;
  type_ = type;
  custom_name_.Empty();
  return true;
}

HRESULT VCardParameter::get_Type(EVCardParameter* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = type_;
  return S_OK;
}

HRESULT VCardParameter::put_Type(EVCardParameter newVal) {
  return SetType(newVal) ? S_OK : E_INVALIDARG;
}

HRESULT VCardParameter::get_Name(BSTR* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  if (custom_name_) return custom_name_.CopyTo(pVal);
  std::u16string_view canonical = CanonicalParameterName(type_);
  if (canonical.empty()) return S_OK;  // never named: a null string
  *pVal = SysAllocStringLen(canonical.data(), static_cast<UINT>(canonical.size()));
  return *pVal ? S_OK : E_OUTOFMEMORY;
}

HRESULT VCardParameter::put_Name(BSTR newVal) {
  std::u16string_view name = ArgumentView(newVal);
  EVCardParameter type;
  if (!ParameterTypeFromName(name, &type)) return E_INVALIDARG;
  std::u16string_view canonical = CanonicalParameterName(type);
  if (!canonical.empty() && canonical == name) {
    // Spelt as the table spells it: refer to the table, copy nothing.
    type_ = type;
    custom_name_.Empty();
    return S_OK;
  }
  BSTR copy = SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
  if (!copy) return E_OUTOFMEMORY;
  type_ = type;
  custom_name_.Attach(copy);
  return S_OK;
}

HRESULT VCardParameter::get_Value(BSTR* pVal) {
  return value_.CopyTo(pVal);
}

HRESULT VCardParameter::put_Value(BSTR newVal) {
  return SetTextArgument(value_, newVal);
}

HRESULT VCardParameter::InterfaceSupportsErrorInfo(REFIID riid) {
  return IsEqualIID(riid, IID_IVCardParameter) ? S_OK : S_FALSE;
}

}  // namespace tarvovcard::model
