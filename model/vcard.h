// VCard: one card. It remembers the folder and file name it was read from or
// is to be written to, owns its property collection (created with the card),
// and answers four queries that select its properties by type, by name and
// by the values of one parameter type.
//
// A query result is a new VCardPropertyColl holding the card's own property
// objects, in card order: changing a property through it changes the card,
// adding to or removing from it does not.
//
// The parameter test of QueryPropertyByParameter and
// QueryPropertyByNameAndParameter cuts parameter_values (in its 8-bit form)
// into tokens at ";" (runs of separators count as one; none at either end
// give empty tokens), and passes a property when the number of (token,
// parameter) pairs whose values are equal, ignoring ASCII case, is at least
// the number of tokens. It counts pairs, not matched tokens. The whole text is
// tokenised, however long.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/collection.h"
#include "frame/com_object.h"
#include "tarvovcard/automation_types.h"
#include "tarvovcard/platform/atlbase.h"

namespace tarvovcard::model {

class VCard : public IVCard, public ISupportErrorInfo, public frame::ComObjectRoot {
 public:
  static const IID& ImplIid() noexcept;
  IUnknown* GetInterface(REFIID riid) noexcept;
  HRESULT FinalConstruct();

  HRESULT STDMETHODCALLTYPE get_FolderPath(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_FolderPath(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_Filename(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_Filename(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_Properties(IVCardPropertyColl** pVal) override;
  HRESULT STDMETHODCALLTYPE QueryPropertyByType(EVCardProperty Type,
                                                IVCardPropertyColl** pVal) override;
  HRESULT STDMETHODCALLTYPE QueryPropertyByParameter(EVCardProperty search_property,
                                                     EVCardParameter search_parameter,
                                                     BSTR parameter_values,
                                                     IVCardPropertyColl** pVal) override;
  HRESULT STDMETHODCALLTYPE QueryPropertyByName(BSTR Name, IVCardPropertyColl** pVal) override;
  HRESULT STDMETHODCALLTYPE QueryPropertyByNameAndParameter(BSTR search_property_name,
                                                            EVCardParameter search_parameter,
                                                            BSTR parameter_values,
                                                            IVCardPropertyColl** pVal) override;

  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

  // Internal fast paths (the builder, the writers).
  VCardPropertyColl* properties() const noexcept { return properties_impl_; }
  BSTR folder_path() const noexcept { return folder_path_; }
  BSTR filename() const noexcept { return filename_; }
  void SetFolderPath(CComBSTR&& folder) noexcept { folder_path_ = std::move(folder); }
  void SetFilename(CComBSTR&& name) noexcept { filename_ = std::move(name); }

 protected:
  VCard() = default;
  ~VCard() = default;

 private:
  // The properties that select passes and, unless parameter_values
  // is empty, that pass the parameter test.
  template <class Select>
  HRESULT QueryWithParameterTest(Select&& select, EVCardParameter search_parameter,
                                 BSTR parameter_values, IVCardPropertyColl** pVal) noexcept;

  CComBSTR folder_path_;
  CComBSTR filename_;
  CComPtr<IVCardPropertyColl> properties_;
  VCardPropertyColl* properties_impl_ = nullptr;  // the same object, borrowed
};

inline VCard* impl_from_IVCard(IVCard* iface) noexcept {
  return frame::ImplFrom<VCard>(iface);
}

}  // namespace tarvovcard::model
