// A registry file of the test's own in a fresh folder, so that no test ever
// reads or changes the user's registry; and short ways to read and write it.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tarvovcard/platform/winreg.h"

class ScratchRegistry {
 public:
  ScratchRegistry() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tvreg-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    path_ = dir_ + "/registry";
    if (RegSetRegistryFile(path_.c_str()) != ERROR_SUCCESS)
      throw std::runtime_error("RegSetRegistryFile failed");
  }
  ~ScratchRegistry() {
    // Away from the user's file even after the test: a path that no longer
    // exists reads as an empty registry.
    RegSetRegistryFile((dir_ + "/gone/registry").c_str());
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  ScratchRegistry(const ScratchRegistry&) = delete;
  ScratchRegistry& operator=(const ScratchRegistry&) = delete;

  const std::string& path() const { return path_; }
  const std::string& dir() const { return dir_; }
  std::string Text() const {
    std::ostringstream out;
    out << std::ifstream(path_, std::ios::binary).rdbuf();
    return out.str();
  }

 private:
  std::string dir_, path_;
};

// A value of HKCR\key (the default value for a null name); "<none>" when the
// key or the value is missing.
inline std::u16string RegText(const std::u16string& key, const char16_t* name = nullptr) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h)) return u"<none>";
  char16_t buf[1024];
  DWORD size = sizeof buf;
  LONG r = RegQueryValueExW(h, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(buf), &size);
  RegCloseKey(h);
  return r ? u"<none>" : std::u16string(buf, size / 2 - 1);
}

inline bool RegKeyExists(const std::u16string& key) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h)) return false;
  return RegCloseKey(h) == ERROR_SUCCESS;
}

// Creates HKCR\key with a value (none for a null text).
inline LONG RegPut(const std::u16string& key, const char16_t* text,
                   const char16_t* name = nullptr) {
  HKEY h = nullptr;
  LONG r = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h,
                           nullptr);
  if (r || !text) return r ? r : RegCloseKey(h);
  const std::u16string t(text);
  r = RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(t.c_str()),
                     static_cast<DWORD>((t.size() + 1) * 2));
  RegCloseKey(h);
  return r;
}
