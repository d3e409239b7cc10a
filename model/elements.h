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

// A parameter, with who made it looked at once: each read takes the
// library's fields or asks the interface.
class ParameterRef {
 public:
  ParameterRef(IVCardParameter* parameter, VCardParameter* own) noexcept
      : parameter_(parameter), own_(own) {}
  static ParameterRef Of(IVCardParameter* parameter) noexcept {
    return ParameterRef(parameter, impl_from_IVCardParameter(parameter));
  }

  EVCardParameter type() const {
    if (own_) return own_->type();
    EVCardParameter type;
    _com_util::CheckError(parameter_->get_Type(&type));
    return type;
  }
  std::u16string_view name(CComBSTR& holder) const {
    if (own_) return own_->name();
    holder.Empty();
    _com_util::CheckError(parameter_->get_Name(&holder));
    return BstrView(holder);
  }
  std::u16string_view value(CComBSTR& holder) const {
    if (own_) return BstrView(own_->value());
    holder.Empty();
    _com_util::CheckError(parameter_->get_Value(&holder));
    return BstrView(holder);
  }
  IVCardParameter* get() const noexcept { return parameter_; }

 private:
  IVCardParameter* parameter_;
  VCardParameter* own_;
};

// The value of a property's first parameter of a type, as
// PropertyRef::FirstParameterValues finds it: `value` points into the
// parameter or into `holder`.
struct FirstValue {
  bool found = false;
  std::u16string_view value;
  CComBSTR holder;
};

// A property, with who made it looked at once (or known already: a value
// keeps its parent's implementation).
class PropertyRef {
 public:
  PropertyRef(IVCardProperty* property, VCardProperty* own) noexcept
      : property_(property), own_(own) {}
  static PropertyRef Of(IVCardProperty* property) noexcept {
    return PropertyRef(property, impl_from_IVCardProperty(property));
  }

  EVCardProperty type() const {
    if (own_) return own_->type();
    EVCardProperty type;
    _com_util::CheckError(property_->get_Type(&type));
    return type;
  }
  std::u16string_view name(CComBSTR& holder) const {
    if (own_) return own_->name();
    holder.Empty();
    _com_util::CheckError(property_->get_Name(&holder));
    return BstrView(holder);
  }

  // Calls visit(ParameterRef) for each parameter, in order, until visit
  // returns false. By index, re-reading the count: a parameter implemented
  // elsewhere could change the collection while it is asked, and such a
  // parameter is held for the length of its call.
  template <class Visit>
  void ForEachParameter(Visit&& visit) const {
    if (own_) {
      VCardParameterColl* parameters = own_->parameters();
      for (LONG i = 0; parameters && i < parameters->size(); ++i) {
        IVCardParameter* parameter = parameters->at(i);
        if (VCardParameter* own_parameter = impl_from_IVCardParameter(parameter)) {
          if (!visit(ParameterRef(parameter, own_parameter))) return;
        } else {
          CComPtr<IVCardParameter> held(parameter);
          if (!visit(ParameterRef(held, nullptr))) return;
        }
      }
      return;
    }
    CComPtr<IVCardParameterColl> parameters;
    _com_util::CheckError(property_->get_Parameters(&parameters));
    LONG count = 0;
    _com_util::CheckError(parameters->get_Count(&count));
    for (LONG i = 0; i < count; ++i) {
      CComPtr<IVCardParameter> parameter;
      _com_util::CheckError(parameters->Item(i, &parameter));
      if (!visit(ParameterRef::Of(parameter))) return;
    }
  }

  // The first parameter of type `a` and the first of type `b`, in parameter
  // order, in one walk of the library's own property. Anybody else's
  // property is asked with its QueryParameterByType, as a client would ask.
  void FirstParameterValues(EVCardParameter a, FirstValue& first_a, EVCardParameter b,
                            FirstValue& first_b) const;
  // The first parameter of the type, found the same way.
  void FirstParameterValue(EVCardParameter type, FirstValue& first) const;

  IVCardProperty* get() const noexcept { return property_; }
  VCardProperty* own() const noexcept { return own_; }

 private:
  IVCardProperty* property_;
  VCardProperty* own_;
};

// The one filter of the queries: a new collection of the class `clsid`
// holding, in order, the elements of `source` (none when it is null) that
// pass `test`. By index,
// re-reading the size: an element implemented elsewhere could change the
// collection while it is tested. The status of the first failure, with
// *result null.
template <class Collection, class Test>
HRESULT Filter(const Collection* source, REFCLSID clsid, Test&& test,
               typename Collection::Interface** result) noexcept {
  using Interface = typename Collection::Interface;
  using Element = typename Collection::Element;
  if (!result) return E_POINTER;
  *result = nullptr;
  return frame::ComBoundary([&] {
    CComPtr<Interface> selected = frame::CreateObject<Interface>(clsid);
    Collection* own = frame::ImplFrom<Collection>(selected.p);
    for (LONG i = 0; source && i < source->size(); ++i) {
      CComPtr<Element> element(source->at(i));
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
