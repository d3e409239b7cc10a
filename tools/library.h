// The component library as the client reaches it. The client does not link
// the library: it loads the copy installed beside it (../lib from the
// program's own folder), unless --progid asks for the class through the
// registry, in which case the runtime loads whatever library is registered.
#pragma once

#include <string>

#include <tarvovcard/tarvovcard.h>

namespace tarvovcard::tools {

// The full name of the library file beside this program (the first of the
// places it may be that exists, else the first of them).
std::string OwnLibraryPath();

// The full name of a shipped file (share/tarvovcard/NAME) beside this
// program: the install's, or the build tree's.
std::string DataFilePath(const std::string& name);

// Loads the library beside this program once; its classes are then known to
// the runtime. Reports a failure on stderr.
HRESULT LoadOwnLibrary();

}  // namespace tarvovcard::tools
