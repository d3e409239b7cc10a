// The calling thread's last operating-system error number.
#include "tarvovcard/platform/wtypes.h"

namespace {
thread_local DWORD last_error = ERROR_SUCCESS;
}

DWORD GetLastError() {
  return last_error;
}

void SetLastError(DWORD dwErrCode) {
  last_error = dwErrCode;
}
