// register and unregister: DllRegisterServer / DllUnregisterServer of the
// library installed beside the tool, or of a library file named on the
// command line.
#include "tools/register_command.h"

#include <dlfcn.h>

#include <cstdio>
#include <optional>
#include <string>

#include "tools/client.h"
#include "tools/library.h"
#include "tools/status.h"

namespace tarvovcard::tools {
namespace {

struct RegisterArguments {
  std::string registry;
  std::string library;
};

std::optional<RegisterArguments> Parse(const Command& command, Arguments arguments,
                                       int* exit_code) {
  RegisterArguments parsed;
  bool options_done = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (!options_done && argument == "--") {
      options_done = true;
    } else if (!options_done && argument == "--registry") {
      if (i + 1 == arguments.size()) {
        *exit_code = UsageError(command, "--registry needs a file name");
        return std::nullopt;
      }
      parsed.registry = arguments[++i];
    } else if (!options_done && argument.rfind("--registry=", 0) == 0) {
      parsed.registry = argument.substr(11);
    } else if (!options_done && argument.size() > 1 && argument[0] == '-') {
      *exit_code = UsageError(command, "unknown option '" + argument + "'");
      return std::nullopt;
    } else if (parsed.library.empty()) {
      parsed.library = argument;
    } else {
      *exit_code = UsageError(command, "only one LIBRARY may be given");
      return std::nullopt;
    }
  }
  return parsed;
}

// Calls the entry point of a library file: loads it, calls, unloads it.
HRESULT CallLibraryEntry(const std::string& library, const char* entry) {
  void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    std::fprintf(stderr, "tarvovcard: %s\n", dlerror());
    return CO_E_DLLNOTFOUND;
  }
  auto function = reinterpret_cast<HRESULT (*)()>(dlsym(handle, entry));
  const HRESULT hr = function ? function() : CO_E_ERRORINDLL;
  dlclose(handle);
  return hr;
}

int Update(const char* name, Arguments arguments, bool do_register) {
  const Command& command = *FindCommand(name);
  int exit_code = kExitOk;
  const std::optional<RegisterArguments> parsed = Parse(command, arguments, &exit_code);
  if (!parsed) return exit_code;
  if (!parsed->registry.empty() && !UseRegistryFile(parsed->registry)) return kExitFailed;
  const char* entry = do_register ? "DllRegisterServer" : "DllUnregisterServer";
  const std::string library = parsed->library.empty() ? OwnLibraryPath() : parsed->library;
  const HRESULT hr = CallLibraryEntry(library, entry);
  if (!CheckStep(hr, name, library)) return kExitFailed;
  std::printf("%s in %s\n", do_register ? "registered" : "unregistered", RegGetRegistryFile());
  return kExitOk;
}

}  // namespace

int RunRegister(const GlobalOptions&, Arguments arguments) {
  return Update("register", arguments, true);
}

int RunUnregister(const GlobalOptions&, Arguments arguments) {
  return Update("unregister", arguments, false);
}

bool UseRegistryFile(const std::string& file) {
  const LONG r = RegSetRegistryFile(file.c_str());
  if (r == ERROR_SUCCESS) return true;
  CheckStep(HRESULT_FROM_WIN32(static_cast<DWORD>(r)), "use the registry file", file);
  return false;
}

HRESULT CreateCollectionByProgId(const std::string& progid, CComPtr<IVCardColl>& collection) {
  collection.Release();
  CLSID clsid = GUID_NULL;
  HRESULT hr = CLSIDFromProgID(ToBstr(progid), &clsid);
  if (!CheckStep(hr, "look up the ProgID", progid)) return hr;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IVCardColl,
                        reinterpret_cast<void**>(&collection));
  CheckStep(hr, "create the card collection", progid);
  return hr;
}

}  // namespace tarvovcard::tools
