// The registry stand-in: the key tree, its values, its file, updates and concurrent writers.
// A write that fails is one of the registrar's failure rows (server_test.cpp).
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "server/scratch_registry.h"

namespace {

std::vector<std::u16string> SubKeys(HKEY h) {
  std::vector<std::u16string> names;
  char16_t name[256];
  DWORD len = 256;
  for (DWORD i = 0; RegEnumKeyExW(h, i, name, &len, nullptr, nullptr, nullptr, nullptr) == 0;
       ++i, len = 256)
    names.emplace_back(name, len);
  return names;
}
LONG Create(const char16_t* path, HKEY* h, DWORD* disposition = nullptr) {
  return RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, KEY_WRITE, nullptr, h,
                         disposition);
}
LONG Open(const char16_t* path, HKEY* h) {
  return RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, h);
}

using Registry = ScratchRegistryTest;

TEST_F(Registry, KeysAndValuesAreFoundWithoutRegardToCaseKeepTheirCaseAndAreDeleted) {
  HKEY h = nullptr, gamma = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(Create(u"Alpha\\Beta\\gamma", &gamma, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  ASSERT_EQ(Create(u"ALPHA\\beta", &h, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  EXPECT_EQ(SubKeys(h), std::vector<std::u16string>{u"gamma"});
  RegCloseKey(h);
  EXPECT_FALSE(RegKeyExists(u"Alpha\\Gamma"));
  ASSERT_EQ(RegPut(u"beta", nullptr), ERROR_SUCCESS);
  ASSERT_EQ(RegPut(u"Charlie\\Delta", nullptr), ERROR_SUCCESS);
  EXPECT_EQ(SubKeys(HKEY_CLASSES_ROOT),
            (std::vector<std::u16string>{u"Alpha", u"beta", u"Charlie"}));
  char16_t small[3];
  DWORD len = 3;
  EXPECT_EQ(RegEnumKeyExW(HKEY_CLASSES_ROOT, 0, small, &len, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  EXPECT_EQ(Open(u"Alpha\\\\Beta", &h), ERROR_BADKEY);
  EXPECT_EQ(Create(u"Alpha\\", &h), ERROR_BADKEY);
  EXPECT_EQ(RegOpenKeyExW(reinterpret_cast<HKEY>(std::uintptr_t{12345}), nullptr, 0, KEY_READ, &h),
            ERROR_INVALID_HANDLE);

  EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Alpha\\Beta"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Charlie\\delta"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Charlie\\Delta"), ERROR_FILE_NOT_FOUND);
  // A null sub-key empties the key itself and keeps it.
  ASSERT_EQ(Open(u"Alpha", &h), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeW(h, nullptr), ERROR_SUCCESS);
  EXPECT_TRUE(SubKeys(h).empty());
  RegCloseKey(h);
  EXPECT_TRUE(RegKeyExists(u"Alpha"));
  DWORD size = 0;  // a handle whose key went away says so
  EXPECT_EQ(RegQueryValueExW(gamma, nullptr, nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(gamma), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(gamma), ERROR_INVALID_HANDLE);

  // Values: found without regard to case, read with their sizes, deleted.
  ASSERT_EQ(RegPut(u"K", u"default text"), ERROR_SUCCESS);
  ASSERT_EQ(RegPut(u"K", u"Apartment", u"ThreadingModel"), ERROR_SUCCESS);
  EXPECT_EQ(RegText(u"k", u"threadingmodel"), u"Apartment");
  ASSERT_EQ(Open(u"K", &h), ERROR_SUCCESS);
  DWORD type = 0, values = 9;
  EXPECT_EQ(RegQueryValueExW(h, u"ThreadingModel", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 20u);  // "Apartment" and its NUL
  char16_t buf[4];
  size = sizeof buf;
  EXPECT_EQ(RegQueryValueExW(h, u"ThreadingModel", nullptr, nullptr, reinterpret_cast<LPBYTE>(buf),
                             &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 20u);
  EXPECT_EQ(RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(values, 1u);  // the default value is not counted
  const BYTE dword[4] = {1, 0, 0, 0};
  EXPECT_EQ(RegSetValueExW(h, u"N", 0, REG_DWORD, dword, 4), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteValueW(h, u"threadingMODEL"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(h, u"ThreadingModel"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueW(h, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(RegText(u"K"), u"<none>");
  EXPECT_TRUE(RegKeyExists(u"K"));
  RegCloseKey(h);
}

TEST_F(Registry, EveryChangeIsInTheFileAndAnyTextComesBack) {
  // Separators, escapes, control characters, non-ASCII, a surrogate pair and an unpaired surrogate.
  const std::u16string odd = u"a=b%c\\d\ne\tf \u00e9\U0001F600\xD800!";
  ASSERT_EQ(RegPut(u"Odd name = 100%", odd.c_str(), u"v=1"), ERROR_SUCCESS);
  ASSERT_EQ(RegPut(u"Odd name = 100%\\child", u"x"), ERROR_SUCCESS);
  EXPECT_NE(scratch_.Text().find("K Odd name %3D 100%25\\child\n"), std::string::npos);
  ScratchRegistry other;
  EXPECT_FALSE(RegKeyExists(u"Odd name = 100%"));
  ASSERT_EQ(RegSetRegistryFile(scratch_.path().c_str()), ERROR_SUCCESS);
  EXPECT_EQ(RegText(u"odd NAME = 100%", u"V=1"), odd);
}

// A line of no known kind, or a file cut short (no final line end).
TEST_F(Registry, ACorruptFileIsReportedAndNeverOverwritten) {
  for (const char* text :
       {"TarvovCard registry 1\nK ok\nX what\n", "TarvovCard registry 1\nK ok"}) {
    std::ofstream(scratch_.path(), std::ios::binary) << text;
    HKEY h = nullptr;
    EXPECT_EQ(Open(u"ok", &h), ERROR_BADDB);
    EXPECT_EQ(RegPut(u"new", u"1"), ERROR_BADDB);
    EXPECT_EQ(scratch_.Text(), text);
  }
}

TEST_F(Registry, AnUpdateWritesAllOrNothing) {
  ASSERT_EQ(RegBeginUpdate(), ERROR_SUCCESS);
  ASSERT_EQ(RegPut(u"A", u"1"), ERROR_SUCCESS);
  ASSERT_EQ(RegBeginUpdate(), ERROR_SUCCESS);
  ASSERT_EQ(RegPut(u"B", u"2"), ERROR_SUCCESS);
  ASSERT_EQ(RegEndUpdate(TRUE), ERROR_SUCCESS);
  EXPECT_TRUE(RegKeyExists(u"B"));  // seen inside the update, not yet in the file
  EXPECT_EQ(scratch_.Text().find("K B"), std::string::npos);
  EXPECT_EQ(RegSetRegistryFile("/elsewhere"), ERROR_ACCESS_DENIED);
  ASSERT_EQ(RegEndUpdate(TRUE), ERROR_SUCCESS);
  EXPECT_NE(scratch_.Text().find("K B"), std::string::npos);

  ASSERT_EQ(RegBeginUpdate(), ERROR_SUCCESS);
  ASSERT_EQ(RegPut(u"C", u"3"), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"A"), ERROR_SUCCESS);
  ASSERT_EQ(RegEndUpdate(FALSE), ERROR_SUCCESS);
  EXPECT_FALSE(RegKeyExists(u"C"));
  EXPECT_TRUE(RegKeyExists(u"A"));
  EXPECT_EQ(RegEndUpdate(TRUE), ERROR_INVALID_PARAMETER);

  // An inner drop drops the whole update, and the outer commit says so.
  const std::string before = scratch_.Text();
  ASSERT_EQ(RegBeginUpdate(), ERROR_SUCCESS);
  ASSERT_EQ(RegPut(u"D", u"4"), ERROR_SUCCESS);
  ASSERT_EQ(RegBeginUpdate(), ERROR_SUCCESS);
  ASSERT_EQ(RegEndUpdate(FALSE), ERROR_SUCCESS);
  EXPECT_EQ(RegEndUpdate(TRUE), ERROR_CANCELLED);
  EXPECT_FALSE(RegKeyExists(u"D"));
  EXPECT_EQ(scratch_.Text(), before);
}

// Children write keys of their own at the same time, half of them each in an
// update of its own; none may be lost.
TEST_F(Registry, ProcessesChangingAtOnceKeepEachOthersChanges) {
  constexpr int kChildren = 4, kKeys = 20;
  auto key = [](int c, int k) {
    return u"P" + std::u16string{char16_t(u'0' + c), u'\\', char16_t(u'A' + k)};
  };
  for (int c = 0; c < kChildren; ++c) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      bool ok = true;
      for (int k = 0; k < kKeys; ++k) {
        if (k % 2) ok &= RegBeginUpdate() == ERROR_SUCCESS;
        ok &= RegPut(key(c, k), u"v") == ERROR_SUCCESS;
        if (k % 2) ok &= RegEndUpdate(TRUE) == ERROR_SUCCESS;
      }
      _exit(ok ? 0 : 1);
    }
  }
  for (int c = 0, status = 0; c < kChildren; ++c) {
    ASSERT_GT(wait(&status), 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int c = 0; c < kChildren; ++c)
    for (int k = 0; k < kKeys; ++k) EXPECT_EQ(RegText(key(c, k)), u"v") << c << " " << k;
}

}  // namespace
