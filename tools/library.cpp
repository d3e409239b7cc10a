#include "tools/library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "tools/status.h"

namespace tarvovcard::tools {
namespace {

std::string ProgramFolder() {
  std::unique_ptr<char, decltype(&std::free)> exe(realpath("/proc/self/exe", nullptr), &std::free);
  if (!exe) return ".";
  std::string path(exe.get());
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

std::string OwnLibraryPath() {
  const std::string folder = ProgramFolder();
  // The build tree keeps programs in bin/ and libraries in lib/; an install
  // may put libraries in a deeper folder (lib/<triplet>).
  const std::vector<std::string> places = {
      folder + "/../lib/" TARVOVCARD_LIBRARY_NAME,
      folder + "/" TARVOVCARD_BIN_TO_LIB "/" TARVOVCARD_LIBRARY_NAME,
  };
  for (const std::string& place : places) {
    if (access(place.c_str(), F_OK) == 0) return place;
  }
  return places.front();
}

std::string DataFilePath(const std::string& name) {
  const std::string folder = ProgramFolder();
  const std::vector<std::string> places = {
      folder + "/" TARVOVCARD_BIN_TO_DATA "/" + name,
      folder + "/../share/tarvovcard/" + name,
  };
  for (const std::string& place : places) {
    if (access(place.c_str(), F_OK) == 0) return place;
  }
  return places.front();
}

HRESULT LoadOwnLibrary() {
  static void* handle = nullptr;  // kept for the process's lifetime
  if (handle) return S_OK;
  const std::string path = OwnLibraryPath();
  handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    std::fprintf(stderr, "tarvovcard: %s\n", dlerror());
    CheckStep(CO_E_DLLNOTFOUND, "load the library", path);
    return CO_E_DLLNOTFOUND;
  }
  return S_OK;
}

}  // namespace tarvovcard::tools
