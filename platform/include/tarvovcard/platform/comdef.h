// The exception that carries a status code inside an operation.
//
// Failures inside an operation are thrown as _com_error and caught at the
// operation's boundary, which returns the code: nothing else crosses an
// interface.
#pragma once

#include "tarvovcard/platform/wtypes.h"

class _com_error {
 public:
  explicit _com_error(HRESULT hr) noexcept : hr_(hr) {}
  HRESULT Error() const noexcept { return hr_; }

 private:
  HRESULT hr_;
};

[[noreturn]] inline void _com_issue_error(HRESULT hr) {
  throw _com_error(hr);
}

namespace _com_util {
// Throws _com_error for a failure code; success codes (S_FALSE too) pass.
inline void CheckError(HRESULT hr) {
  if (FAILED(hr)) _com_issue_error(hr);
}
}  // namespace _com_util
