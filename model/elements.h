// One way to read each kind of element, whatever made it.
//
// A collection may hold a client's own implementation of a property or a
// parameter beside the library's. The library's own are read from their
// fields, without reference traffic or copies; anybody else's through the
// interface, each string kept in a holder the caller passes. A view stays
// valid while the element lives and its holder is neither reused nor gone.
// A failing interface call throws its _com_error, which the operation's
// boundary turns into its status.
#pragma once

#include <string_view>

#include "model/parameter.h"
#include "model/property.h"
#include "tarvovcard/text.h"

namespace tarvovcard::model {

EVCardParameter TypeOf(IVCardParameter* parameter);
std::u16string_view NameOf(IVCardParameter* parameter, CComBSTR& holder);
std::u16string_view ValueOf(IVCardParameter* parameter, CComBSTR& holder);

EVCardProperty TypeOf(IVCardProperty* property);
std::u16string_view NameOf(IVCardProperty* property, CComBSTR& holder);

// The value of the property's first parameter of the type, in parameter
// order; false when it has none. Anybody else's property is asked with its
// QueryParameterByType, as a client would ask it.
bool FirstParameterValue(IVCardProperty* property, EVCardParameter type, CComBSTR& holder,
                         std::u16string_view* value);

// Calls visit(parameter) for each parameter of the property, in order, until
// visit returns false. By index, re-reading the count: a parameter
// implemented elsewhere could change the collection while it is asked, and
// such a parameter is held for the length of its call.
template <class Visit>
void ForEachParameter(IVCardProperty* property, Visit&& visit) {
  if (VCardProperty* own = impl_from_IVCardProperty(property)) {
    VCardParameterColl* parameters = own->parameters();
    for (LONG i = 0; i < parameters->size(); ++i) {
      IVCardParameter* parameter = parameters->at(i);
      if (impl_from_IVCardParameter(parameter)) {
        if (!visit(parameter)) return;
      } else if (!visit(CComPtr<IVCardParameter>(parameter).p)) {
        return;
      }
    }
    return;
  }
  CComPtr<IVCardParameterColl> parameters;
  _com_util::CheckError(property->get_Parameters(&parameters));
  LONG count = 0;
  _com_util::CheckError(parameters->get_Count(&count));
  for (LONG i = 0; i < count; ++i) {
    CComPtr<IVCardParameter> parameter;
    _com_util::CheckError(parameters->Item(i, &parameter));
    if (!visit(parameter.p)) return;
  }
}

// The one filter of the queries: a new collection of the class `clsid`
// holding, in order, the elements of `source` that pass `test`. By index,
// re-reading the size: an element implemented elsewhere could change the
// collection while it is tested. The status of the first failure, with
// *result null.
template <class Collection, class Test>
HRESULT Filter(const Collection& source, REFCLSID clsid, Test&& test,
               typename Collection::Interface** result) noexcept {
  using Interface = typename Collection::Interface;
  using Element = typename Collection::Element;
  if (!result) return E_POINTER;
  *result = nullptr;
  return frame::ComBoundary([&] {
    CComPtr<Interface> selected = frame::CreateObject<Interface>(clsid);
    Collection* own = frame::ImplFrom<Collection>(selected.p);
    for (LONG i = 0; i < source.size(); ++i) {
      CComPtr<Element> element(source.at(i));
      if (!test(element.p)) continue;
      if (own) {
        own->Append(element);
      } else {
        _com_util::CheckError(selected->Add(element));
      }
    }
    *result = selected.Detach();
    return S_OK;
  });
}

}  // namespace tarvovcard::model
