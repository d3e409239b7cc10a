#include "model/property.h"

#include "model/elements.h"
#include "model/value.h"
#include "model/vocabulary.h"

namespace tarvovcard::model {
namespace {

// {CCF35496-4BC8-414D-A017-A32ED8D4C3B0}
constexpr IID kPropertyImplIid = {
    0xccf35496, 0x4bc8, 0x414d, {0xa0, 0x17, 0xa3, 0x2e, 0xd8, 0xd4, 0xc3, 0xb0}};

using frame::ComBoundary;
using frame::CreateObject;

HRESULT AllocEmpty(BSTR* pVal) noexcept {
  *pVal = SysAllocStringLen(nullptr, 0);
  return *pVal ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

const IID& VCardProperty::ImplIid() noexcept {
  return kPropertyImplIid;
}

IUnknown* VCardProperty::GetInterface(REFIID riid) noexcept {
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IVCardProperty)) return Identity();
  if (IsEqualIID(riid, IID_IVCardPropertyName)) return static_cast<IVCardPropertyName*>(this);
  if (IsEqualIID(riid, IID_IVCardPropertyAddress)) {
    return static_cast<IVCardPropertyAddress*>(this);
  }
  if (IsEqualIID(riid, IID_IVCardPropertyOrganisation)) {
    return static_cast<IVCardPropertyOrganisation*>(this);
  }
  if (IsEqualIID(riid, IID_ISupportErrorInfo)) return static_cast<ISupportErrorInfo*>(this);
  return nullptr;
}

HRESULT VCardProperty::FinalConstruct() {
  // Most property lines of real files carry no parameter, so the parameter
  // collection is made when the first is added or a client asks for it
  // (get_Parameters); the value collection is always needed. Both are the
  // library's own (parameters() and values() cast down).
  values_ = frame::CreatePart<VCardValueColl>();
  return S_OK;
}

VCardProperty::~VCardProperty() {
  // The values that still name this property as parent forget it, wherever
  // they are held, before the value collection lets them go.
  VCardValue* value = dependants_;
  while (value) {
    VCardValue* next = value->next_dependant_;
    value->ParentGone();
    value = next;
  }
  dependants_ = nullptr;
}

std::u16string_view VCardProperty::name() const noexcept {
  return custom_name_ ? BstrView(custom_name_) : CanonicalPropertyName(type_);
}

std::u16string_view VCardProperty::group() const noexcept {
  return BstrView(group_);
}

bool VCardProperty::SetCanonicalType(EVCardProperty type) noexcept {
  std::u16string_view canonical = CanonicalPropertyName(type);
  if (canonical.empty()) return false;
  type_ = type;
  custom_name_.Empty();
  return true;
}

HRESULT VCardProperty::get_Type(EVCardProperty* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = type_;
  return S_OK;
}

HRESULT VCardProperty::put_Type(EVCardProperty newVal) {
  return SetCanonicalType(newVal) ? S_OK : E_INVALIDARG;
}

HRESULT VCardProperty::get_Name(BSTR* pVal) {
  if (!pVal) return E_POINTER;
  if (custom_name_) return custom_name_.CopyTo(pVal);
  std::u16string_view canonical = CanonicalPropertyName(type_);
  *pVal = SysAllocStringLen(canonical.data(), static_cast<UINT>(canonical.size()));
  return *pVal ? S_OK : E_OUTOFMEMORY;
}

HRESULT VCardProperty::put_Name(BSTR newVal) {
  std::u16string_view name = ArgumentView(newVal);
  EVCardProperty type;
  if (!PropertyTypeFromName(name, &type)) return E_INVALIDARG;
  if (type != VCARD_PROP_X) {
    // Equal to a table name: refer to the table, copy nothing.
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

HRESULT VCardProperty::get_Group(BSTR* pVal) {
  if (!pVal) return E_POINTER;
  if (group_) return group_.CopyTo(pVal);
  return AllocEmpty(pVal);
}

HRESULT VCardProperty::put_Group(BSTR newVal) {
  return SetTextArgument(group_, newVal);
}

HRESULT VCardProperty::get_Parameters(IVCardParameterColl** pVal) {
  if (!pVal) return E_POINTER;
  if (!parameters_) {
    *pVal = nullptr;
    const HRESULT hr = ComBoundary([&] {
      parameters_ = frame::CreatePart<VCardParameterColl>();
      return S_OK;
    });
    if (FAILED(hr)) return hr;
  }
  return parameters_.CopyTo(pVal);
}

HRESULT VCardProperty::get_Values(IVCardValueColl** pVal) {
  return values_.CopyTo(pVal);
}

HRESULT VCardProperty::QueryParameterByType(EVCardParameter search_type,
                                            IVCardParameterColl** pVal) {
  return Filter(
      parameters(), CLSID_VCardParameterColl,
      [&](IVCardParameter* parameter) { return ParameterRef::Of(parameter).type() == search_type; },
      pVal);
}

HRESULT VCardProperty::QueryParameterByName(BSTR search_name, IVCardParameterColl** pVal) {
  if (!pVal) return E_POINTER;
  return ComBoundary([&] {
    // Names compare in their 8-bit form, ignoring the case of ASCII letters.
    std::u16string_view wanted_view = BstrView(search_name);
    const std::string wanted = AnsiForm(wanted_view.data(), static_cast<UINT>(wanted_view.size()));
    return Filter(
        parameters(), CLSID_VCardParameterColl,
        [&](IVCardParameter* parameter) {
          CComBSTR holder;
          const std::u16string_view name = ParameterRef::Of(parameter).name(holder);
          return EqualsIgnoreAsciiCase(AnsiForm(name.data(), static_cast<UINT>(name.size())),
                                       wanted);
        },
        pVal);
  });
}

HRESULT VCardProperty::get_AsAddress(IVCardPropertyAddress** pVal) {
  if (!pVal) return E_POINTER;
  *pVal = this;
  (*pVal)->AddRef();
  return S_OK;
}

HRESULT VCardProperty::get_AsName(IVCardPropertyName** pVal) {
  if (!pVal) return E_POINTER;
  *pVal = this;
  (*pVal)->AddRef();
  return S_OK;
}

HRESULT VCardProperty::get_AsOrganisation(IVCardPropertyOrganisation** pVal) {
  if (!pVal) return E_POINTER;
  *pVal = this;
  (*pVal)->AddRef();
  return S_OK;
}

HRESULT VCardProperty::GetComponent(EVCardProperty required, LONG position, BSTR* pVal) noexcept {
  // The type test comes before the test of the output pointer.
  if (type_ != required) return E_NOTIMPL;
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  return ComBoundary([&] {
    if (position >= values()->size()) return AllocEmpty(pVal);
    CComVariant decoded;
    HRESULT hr = values()->at(position)->get_DecodedValue(&decoded);
    if (FAILED(hr)) return hr;
    if (decoded.vt == VT_BSTR) {
      *pVal = decoded.bstrVal;  // handed over, not copied
      decoded.vt = VT_EMPTY;
      return S_OK;
    }
    // A position that a view setter filled in but nobody set reads as empty
    // text: the writers read every component of a view.
    if (decoded.vt == VT_EMPTY) return AllocEmpty(pVal);
    return E_FAIL;
  });
}

HRESULT VCardProperty::PutComponent(EVCardProperty required, LONG position, BSTR newVal) noexcept {
  if (type_ != required) return E_NOTIMPL;
  return ComBoundary([&] {
    while (values()->size() <= position) {
      CComPtr<IVCardValue> value = CreateObject<IVCardValue>(CLSID_VCardValue);
      if (VCardValue* impl = impl_from_IVCardValue(value)) {
        impl->SetParent(this);
      } else {
        _com_util::CheckError(value->putref_Parent(Identity()));
      }
      values()->Append(value);
    }
    // Like every setter, the view takes the text up to its first NUL; the
    // value would otherwise copy the whole counted string, and a NUL in it
    // would turn on Quoted-Printable.
    CComVariant text(static_cast<const OLECHAR*>(newVal));
    CComPtr<IVCardValue> value(values()->at(position));
    return value->put_DecodedValue(text);
  });
}

#define TARVOVCARD_VIEW_COMPONENT(Component, required, position) \
  HRESULT VCardProperty::get_##Component(BSTR* pVal) {           \
    return GetComponent(required, position, pVal);               \
  }                                                              \
  HRESULT VCardProperty::put_##Component(BSTR newVal) {          \
    return PutComponent(required, position, newVal);             \
  }

TARVOVCARD_VIEW_COMPONENT(FamilyName, VCARD_PROP_N, 0)
TARVOVCARD_VIEW_COMPONENT(GivenName, VCARD_PROP_N, 1)
TARVOVCARD_VIEW_COMPONENT(AdditionalNames, VCARD_PROP_N, 2)
TARVOVCARD_VIEW_COMPONENT(NamePrefix, VCARD_PROP_N, 3)
TARVOVCARD_VIEW_COMPONENT(NameSuffix, VCARD_PROP_N, 4)

TARVOVCARD_VIEW_COMPONENT(PostOfficeAddress, VCARD_PROP_ADR, 0)
TARVOVCARD_VIEW_COMPONENT(Extended, VCARD_PROP_ADR, 1)
TARVOVCARD_VIEW_COMPONENT(Street, VCARD_PROP_ADR, 2)
TARVOVCARD_VIEW_COMPONENT(Locality, VCARD_PROP_ADR, 3)
TARVOVCARD_VIEW_COMPONENT(Region, VCARD_PROP_ADR, 4)
TARVOVCARD_VIEW_COMPONENT(PostalCode, VCARD_PROP_ADR, 5)
TARVOVCARD_VIEW_COMPONENT(Country, VCARD_PROP_ADR, 6)

TARVOVCARD_VIEW_COMPONENT(OrganisationName, VCARD_PROP_ORG, 0)
TARVOVCARD_VIEW_COMPONENT(OrganisationalUnit, VCARD_PROP_ORG, 1)

#undef TARVOVCARD_VIEW_COMPONENT

HRESULT VCardProperty::InterfaceSupportsErrorInfo(REFIID riid) {
  return IsEqualIID(riid, IID_IVCardProperty) ? S_OK : S_FALSE;
}

}  // namespace tarvovcard::model
