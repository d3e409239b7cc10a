// What a value's coding needs of its parent property, and what it changes
// there: the pure value coding (coding/value_coding.h) is handed the rules
// read here and says which parameters a decoded text wants, which are then
// applied here.
#pragma once

#include <string_view>

#include "coding/value_coding.h"
#include "tarvovcard/automation_types.h"
#include "tarvovcard/platform/atlbase.h"

namespace tarvovcard::model {

class VCardProperty;

// Replaces every parameter of `type` by one new parameter with `value`,
// appended at the end. A removal that fails is passed over; any other
// failing call throws its _com_error.
void ReplaceParameters(IVCardParameterColl* parameters, EVCardParameter type,
                       std::u16string_view value);

// The four value operations on a stored variant and its (borrowed, possibly
// null) parent, with the parent's implementation when it is the library's
// own (null otherwise). Each is an operation boundary: it returns a status code and
// throws nothing.
HRESULT GetDecodedValue(const VARIANT& stored, VARIANT* out) noexcept;
HRESULT PutDecodedValue(VARIANT& stored, IVCardProperty* parent, VCardProperty* parent_impl,
                        const VARIANT& in) noexcept;
HRESULT GetEncodedValue(const VARIANT& stored, IVCardProperty* parent, VCardProperty* parent_impl,
                        VARIANT* out) noexcept;
HRESULT PutEncodedValue(VARIANT& stored, IVCardProperty* parent, VCardProperty* parent_impl,
                        const VARIANT& in) noexcept;

}  // namespace tarvovcard::model
