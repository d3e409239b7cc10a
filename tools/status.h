// Status codes as the client reports them.
#pragma once

#include <string>

#include <tarvovcard/status.h>
#include <tarvovcard/tarvovcard.h>

namespace tarvovcard::tools {

// The code as "0x" and eight upper-case hexadecimal digits.
std::string FormatStatus(HRESULT status);

// Writes, when `status` is not S_OK, one line on stderr:
//   tarvovcard: STEP[ FILE]: 0x80070002 no such file
// and returns whether the step succeeded (S_OK).
bool CheckStep(HRESULT status, const std::string& step, const std::string& file = {});

// The same, with what was found wrong on the file system put after the
// meaning: "... 0x8007006E the file cannot be opened or created (the folder
// out does not exist)". No cause: as CheckStep.
bool CheckStep(HRESULT status, const std::string& step, const std::string& file,
               const std::string& cause);

}  // namespace tarvovcard::tools
