// Registration from the command line, and creation through the registry.
//
//   tarvovcard register   [--registry FILE] [LIBRARY]
//   tarvovcard unregister [--registry FILE] [LIBRARY]
//   tarvovcard [--registry FILE] --progid PROGID COMMAND ...
#pragma once

#include <string>

#include <tarvovcard/tarvovcard.h>

#include "tools/commands.h"

namespace tarvovcard::tools {

inline constexpr char kRegisterHelp[] =
    "usage: tarvovcard register [--registry FILE] [LIBRARY]\n"
    "\n"
    "Registers the TarvovCard library: for each of its eight classes the two\n"
    "ProgIDs (TarvovCard.VCardColl.1 and TarvovCard.VCardColl, ...) and the class\n"
    "key with InprocServer32 (the library's full path, ThreadingModel\n"
    "\"Apartment\"), and its type library (TypeLib and Interface keys). The\n"
    "registry is the user's own file unless FILE names another.\n"
    "\n"
    "  --registry FILE  use the registry file FILE\n"
    "  LIBRARY          register this library file instead of the one installed\n"
    "                   beside the tool\n";

inline constexpr char kUnregisterHelp[] =
    "usage: tarvovcard unregister [--registry FILE] [LIBRARY]\n"
    "\n"
    "Removes what 'tarvovcard register' wrote: the ProgIDs, the class keys and\n"
    "the type library's keys (the shared CLSID, TypeLib and Interface keys stay).\n"
    "\n"
    "  --registry FILE  use the registry file FILE\n"
    "  LIBRARY          unregister this library file instead of the one installed\n"
    "                   beside the tool\n";

int RunRegister(const GlobalOptions& options, Arguments arguments);
int RunUnregister(const GlobalOptions& options, Arguments arguments);

// Points the process at another registry file; reports a failure on stderr.
bool UseRegistryFile(const std::string& file);

// Creates an empty VCardColl by looking its ProgID up in the registry
// (CLSIDFromProgID, then CoCreateInstance of that class, which loads the
// registered library: the client has not loaded its own). Reports a failure
// on stderr.
HRESULT CreateCollectionByProgId(const std::string& progid, CComPtr<IVCardColl>& collection);

}  // namespace tarvovcard::tools
