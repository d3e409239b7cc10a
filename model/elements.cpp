#include "model/elements.h"

namespace tarvovcard::model {

using _com_util::CheckError;

EVCardParameter TypeOf(IVCardParameter* parameter) {
  if (VCardParameter* own = impl_from_IVCardParameter(parameter)) return own->type();
  EVCardParameter type;
  CheckError(parameter->get_Type(&type));
  return type;
}

std::u16string_view NameOf(IVCardParameter* parameter, CComBSTR& holder) {
  if (VCardParameter* own = impl_from_IVCardParameter(parameter)) return own->name();
  holder.Empty();
  CheckError(parameter->get_Name(&holder));
  return BstrView(holder);
}

std::u16string_view ValueOf(IVCardParameter* parameter, CComBSTR& holder) {
  if (VCardParameter* own = impl_from_IVCardParameter(parameter)) return BstrView(own->value());
  holder.Empty();
  CheckError(parameter->get_Value(&holder));
  return BstrView(holder);
}

EVCardProperty TypeOf(IVCardProperty* property) {
  if (VCardProperty* own = impl_from_IVCardProperty(property)) return own->type();
  EVCardProperty type;
  CheckError(property->get_Type(&type));
  return type;
}

std::u16string_view NameOf(IVCardProperty* property, CComBSTR& holder) {
  if (VCardProperty* own = impl_from_IVCardProperty(property)) return own->name();
  holder.Empty();
  CheckError(property->get_Name(&holder));
  return BstrView(holder);
}

bool FirstParameterValue(IVCardProperty* property, EVCardParameter type, CComBSTR& holder,
                         std::u16string_view* value) {
  if (impl_from_IVCardProperty(property)) {
    bool found = false;
    ForEachParameter(property, [&](IVCardParameter* parameter) {
      if (TypeOf(parameter) != type) return true;
      *value = ValueOf(parameter, holder);
      found = true;
      return false;
    });
    return found;
  }
  CComPtr<IVCardParameterColl> selected;
  CheckError(property->QueryParameterByType(type, &selected));
  LONG count = 0;
  CheckError(selected->get_Count(&count));
  if (count == 0) return false;
  CComPtr<IVCardParameter> first;
  CheckError(selected->Item(0, &first));
  // The collection is the caller's only hold on the parameter: its value is
  // copied, whoever made it.
  holder.Empty();
  CheckError(first->get_Value(&holder));
  *value = BstrView(holder);
  return true;
}

}  // namespace tarvovcard::model
