// VCardProperty: one property line of a card (a type and name, an optional
// group, its parameters and its values), and the three structured views of
// N, ADR and ORG, which are this same object through another interface.
//
// The two collections are created with the property (by class identity, as
// every object) and owned by it. A view reads and writes the property's
// values by position, so a component is stored once, as a value.
//
// The property keeps the list of values whose Parent it is (see model/value.h)
// and clears their link when it is destroyed.
#pragma once

#include <string_view>

#include "model/collection.h"
#include "frame/com_object.h"
#include "tarvovcard/automation_types.h"
#include "tarvovcard/platform/atlbase.h"

namespace tarvovcard::model {

class VCardParameter;
class VCardValue;

class VCardProperty : public IVCardProperty,
                      public IVCardPropertyName,
                      public IVCardPropertyAddress,
                      public IVCardPropertyOrganisation,
                      public ISupportErrorInfo,
                      public frame::ComObjectRoot {
 public:
  static const IID& ImplIid() noexcept;
  IUnknown* GetInterface(REFIID riid) noexcept;
  HRESULT FinalConstruct();

  // IVCardProperty
  HRESULT STDMETHODCALLTYPE get_Type(EVCardProperty* pVal) override;
  HRESULT STDMETHODCALLTYPE put_Type(EVCardProperty newVal) override;
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_Name(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_Group(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_Group(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_Parameters(IVCardParameterColl** pVal) override;
  HRESULT STDMETHODCALLTYPE get_Values(IVCardValueColl** pVal) override;
  HRESULT STDMETHODCALLTYPE QueryParameterByType(EVCardParameter search_type,
                                                 IVCardParameterColl** pVal) override;
  HRESULT STDMETHODCALLTYPE QueryParameterByName(BSTR search_name,
                                                 IVCardParameterColl** pVal) override;
  HRESULT STDMETHODCALLTYPE get_AsAddress(IVCardPropertyAddress** pVal) override;
  HRESULT STDMETHODCALLTYPE get_AsName(IVCardPropertyName** pVal) override;
  HRESULT STDMETHODCALLTYPE get_AsOrganisation(IVCardPropertyOrganisation** pVal) override;

  // IVCardPropertyName (N)
  HRESULT STDMETHODCALLTYPE get_FamilyName(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_FamilyName(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_GivenName(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_GivenName(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_AdditionalNames(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_AdditionalNames(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_NamePrefix(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_NamePrefix(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_NameSuffix(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_NameSuffix(BSTR newVal) override;

  // IVCardPropertyAddress (ADR)
  HRESULT STDMETHODCALLTYPE get_PostOfficeAddress(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_PostOfficeAddress(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_Extended(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_Extended(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_Street(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_Street(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_Locality(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_Locality(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_Region(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_Region(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_PostalCode(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_PostalCode(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_Country(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_Country(BSTR newVal) override;

  // IVCardPropertyOrganisation (ORG)
  HRESULT STDMETHODCALLTYPE get_OrganisationName(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_OrganisationName(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_OrganisationalUnit(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_OrganisationalUnit(BSTR newVal) override;

  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

  // Internal fast paths (the builder, the value coding, the writers).
  EVCardProperty type() const noexcept { return type_; }
  // The name as stored: the table's canonical name or the copy that was set.
  std::u16string_view name() const noexcept;
  std::u16string_view group() const noexcept;
  // The property's own collections, borrowed. The parameter collection is
  // null until the first parameter is added or a client asks for it.
  VCardParameterColl* parameters() const noexcept {
    return static_cast<VCardParameterColl*>(parameters_.p);
  }
  VCardValueColl* values() const noexcept { return static_cast<VCardValueColl*>(values_.p); }
  // put_Type for a type known to have a canonical name: nothing is copied.
  // False (nothing changed) for a type without one.
  bool SetCanonicalType(EVCardProperty type) noexcept;
  // A name that a file gave and the vocabulary lacks (CATEGORIES): kept as
  // read, with the type VCARD_PROP_UNKNOWN, so that nothing of the line is
  // lost. Clients cannot set such a name (put_Name stays exact).
  void SetNameAsRead(CComBSTR&& name) noexcept {
    type_ = VCARD_PROP_UNKNOWN;
    custom_name_ = std::move(name);
  }
  // put_Group taking over a string already allocated.
  void SetGroup(CComBSTR&& group) noexcept { group_ = std::move(group); }

 protected:
  VCardProperty() = default;
  ~VCardProperty();

 private:
  friend class VCardValue;

  IVCardProperty* Identity() noexcept { return static_cast<IVCardProperty*>(this); }
  HRESULT GetComponent(EVCardProperty required, LONG position, BSTR* pVal) noexcept;
  HRESULT PutComponent(EVCardProperty required, LONG position, BSTR newVal) noexcept;

  // The fields are kept few: a Load makes a property per line, and each one
  // fits a smaller allocation this way. Without a custom name the name is the
  // table's name of the type.
  EVCardProperty type_ = VCARD_PROP_UNKNOWN;
  CComBSTR custom_name_;  // an "X-" name, as set, or a name as read
  CComBSTR group_;        // null reads as the empty group
  // Always the library's own collections (checked at construction), so the
  // implementations are these same pointers cast down.
  CComPtr<IVCardParameterColl> parameters_;  // made on first use (get_Parameters)
  CComPtr<IVCardValueColl> values_;
  VCardValue* dependants_ = nullptr;  // values whose Parent this is
};

inline VCardProperty* impl_from_IVCardProperty(IVCardProperty* iface) noexcept {
  return frame::ImplFrom<VCardProperty>(iface);
}

}  // namespace tarvovcard::model
