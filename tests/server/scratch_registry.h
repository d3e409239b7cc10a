// A registry file of the test's own in a scratch folder, so that no test ever
// reads or changes the user's registry; and short ways to read and write it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/files.h"
#include "tarvovcard/platform/winreg.h"

class ScratchRegistry {
 public:
  ScratchRegistry() {
    if (RegSetRegistryFile(path_.c_str()) != ERROR_SUCCESS)
      throw std::runtime_error("RegSetRegistryFile failed");
  }
  // Away from the user's file even after the test: a path that no longer
  // exists reads as an empty registry.
  ~ScratchRegistry() { RegSetRegistryFile((dir_ / "gone/registry").c_str()); }

  const std::string& path() const { return path_; }
  std::string Text() const { return tarvovcard::testing::ReadFile(path_); }

 private:
  tarvovcard::testing::ScratchDir dir_;
  std::string path_ = dir_ / "registry";
};

// A test with a scratch registry of its own.
class ScratchRegistryTest : public ::testing::Test {
 protected:
  ScratchRegistry scratch_;
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
  return !RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) && !RegCloseKey(h);
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
