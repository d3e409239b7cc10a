#include "model/elements.h"

namespace tarvovcard::model {
namespace {

using _com_util::CheckError;

// The first parameter of the type, asked as a client asks: QueryParameterByType,
// then its first element, whose value is copied (the collection is the only
// hold on it).
void FirstByQuery(IVCardProperty* property, EVCardParameter type, FirstValue& first) {
  CComPtr<IVCardParameterColl> selected;
  CheckError(property->QueryParameterByType(type, &selected));
  LONG count = 0;
  CheckError(selected->get_Count(&count));
  if (count == 0) return;
  CComPtr<IVCardParameter> parameter;
  CheckError(selected->Item(0, &parameter));
  first.holder.Empty();
  CheckError(parameter->get_Value(&first.holder));
  first.value = BstrView(first.holder);
  first.found = true;
}

}  // namespace

void PropertyRef::FirstParameterValues(EVCardParameter a, FirstValue& first_a, EVCardParameter b,
                                       FirstValue& first_b) const {
  if (!own_) {
    FirstByQuery(property_, a, first_a);
    FirstByQuery(property_, b, first_b);
    return;
  }
  ForEachParameter([&](const ParameterRef& parameter) {
    const EVCardParameter type = parameter.type();
    FirstValue* first = type == a ? &first_a : type == b ? &first_b : nullptr;
    if (first && !first->found) {
      first->value = parameter.value(first->holder);
      first->found = true;
    }
    return !(first_a.found && first_b.found);
  });
}

void PropertyRef::FirstParameterValue(EVCardParameter type, FirstValue& first) const {
  if (!own_) {
    FirstByQuery(property_, type, first);
    return;
  }
  ForEachParameter([&](const ParameterRef& parameter) {
    if (parameter.type() != type) return true;
    first.value = parameter.value(first.holder);
    first.found = true;
    return false;
  });
}

}  // namespace tarvovcard::model
