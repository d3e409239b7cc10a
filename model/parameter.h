// VCardParameter: one parameter of a property line (TYPE=HOME, ENCODING=BASE64,
// CHARSET=UTF-8, X-...=...): a type, a name and a value.
//
// Type and name always agree through the vocabulary: a setter of one sets
// both or neither. The name is kept letter for letter as set ("charset" stays
// "charset"); a canonical name is not copied at all but refers to the table.
#pragma once

#include <cstdint>
#include <string_view>

#include "frame/com_object.h"
#include "tarvovcard/automation_types.h"
#include "tarvovcard/platform/atlbase.h"

namespace tarvovcard::model {

class VCardParameter : public IVCardParameter,
                       public ISupportErrorInfo,
                       public frame::ComObjectRoot {
 public:
  static const IID& ImplIid() noexcept;
  IUnknown* GetInterface(REFIID riid) noexcept;

  HRESULT STDMETHODCALLTYPE get_Type(EVCardParameter* pVal) override;
  HRESULT STDMETHODCALLTYPE put_Type(EVCardParameter newVal) override;
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_Name(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_Value(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_Value(BSTR newVal) override;

  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

  // Internal fast paths (the builder and the value coding).
  EVCardParameter type() const noexcept { return static_cast<EVCardParameter>(type_); }
  // The value as stored (null when never set); borrowed.
  BSTR value() const noexcept { return value_; }
  // The name as stored: the table's canonical name or the copy that was set.
  std::u16string_view name() const noexcept;
  // Sets type and canonical name; false (nothing changed) for a type without one.
  bool SetType(EVCardParameter type) noexcept;
  // A name that a file gave and the vocabulary lacks (FOO in NOTE;FOO=bar):
  // kept as read, with the type VCARD_PARAM_UNKNOWN. Clients cannot set such
  // a name (put_Name stays exact).
  void SetNameAsRead(CComBSTR&& name) noexcept {
    type_ = VCARD_PARAM_UNKNOWN;
    custom_name_ = std::move(name);
  }

 protected:
  VCardParameter() = default;
  ~VCardParameter() { ForgetValue(); }

 private:
  // Lets go of the value without freeing it when it is a shared text.
  void ForgetValue() noexcept;

  // Without a custom name the name is the table's name of the type (none
  // before the first setter); a Load makes many parameters, and each fits a
  // smaller allocation without a copy of that view. The type is kept in 16
  // bits so that it and the flag share the 4 bytes beside the counter.
  std::int16_t type_ = VCARD_PARAM_UNKNOWN;  // an EVCardParameter
  // The value is one of the process's shared texts (HOME, UTF-8, ...), which
  // no parameter frees; see parameter.cpp.
  bool value_shared_ = false;
  CComBSTR custom_name_;  // a name not spelt as the table spells it, as set
  CComBSTR value_;
};

inline VCardParameter* impl_from_IVCardParameter(IVCardParameter* iface) noexcept {
  return frame::ImplFrom<VCardParameter>(iface);
}

}  // namespace tarvovcard::model
