// The registry stand-in: the key tree, its file, and concurrent writers.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "server/scratch_registry.h"

namespace {

std::vector<std::u16string> SubKeys(HKEY h) {
  std::vector<std::u16string> names;
  for (DWORD i = 0;; ++i) {
    char16_t name[256];
    DWORD len = 256;
    LONG r = RegEnumKeyExW(h, i, name, &len, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_NO_MORE_ITEMS) break;
    EXPECT_EQ(r, ERROR_SUCCESS);
    if (r != ERROR_SUCCESS) break;
    names.emplace_back(name, len);
  }
  return names;
}

class Registry : public ::testing::Test {
 protected:
  ScratchRegistry scratch_;
};

TEST_F(Registry, KeysAreFoundWithoutRegardToCaseAndKeepTheirCase) {
  HKEY h = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"Alpha\\Beta\\gamma", 0, nullptr, 0, KEY_WRITE,
                            nullptr, &h, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  RegCloseKey(h);
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"ALPHA\\beta", 0, nullptr, 0, KEY_WRITE, nullptr,
                            &h, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  EXPECT_EQ(SubKeys(h), std::vector<std::u16string>{u"gamma"});
  RegCloseKey(h);
  EXPECT_TRUE(RegKeyExists(u"alpha\\BETA\\Gamma"));
  EXPECT_FALSE(RegKeyExists(u"Alpha\\Gamma"));

  ASSERT_EQ(RegPut(u"beta", nullptr), ERROR_SUCCESS);
  ASSERT_EQ(RegPut(u"Charlie", nullptr), ERROR_SUCCESS);
  // Enumerated in the order of their names, without regard to case.
  EXPECT_EQ(SubKeys(HKEY_CLASSES_ROOT),
            (std::vector<std::u16string>{u"Alpha", u"beta", u"Charlie"}));

  // A name too small a buffer for, and malformed paths.
  char16_t small[3];
  DWORD len = 3;
  EXPECT_EQ(RegEnumKeyExW(HKEY_CLASSES_ROOT, 0, small, &len, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Alpha\\\\Beta", 0, KEY_READ, &h), ERROR_BADKEY);
  EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"Alpha\\", 0, nullptr, 0, KEY_WRITE, nullptr, &h,
                            nullptr),
            ERROR_BADKEY);
  EXPECT_EQ(RegOpenKeyExW(reinterpret_cast<HKEY>(std::uintptr_t{12345}), nullptr, 0, KEY_READ, &h),
            ERROR_INVALID_HANDLE);
}

TEST_F(Registry, ValuesAreReadWithTheirSizesAndDeleted) {
  ASSERT_EQ(RegPut(u"K", u"default text"), ERROR_SUCCESS);
  ASSERT_EQ(RegPut(u"K", u"Apartment", u"ThreadingModel"), ERROR_SUCCESS);
  EXPECT_EQ(RegText(u"K"), u"default text");
  EXPECT_EQ(RegText(u"k", u"threadingmodel"), u"Apartment");
  EXPECT_EQ(RegText(u"K", u"Other"), u"<none>");

  HKEY h = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"K", 0, KEY_READ, &h), ERROR_SUCCESS);
  DWORD size = 0, type = 0;
  EXPECT_EQ(RegQueryValueExW(h, u"ThreadingModel", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 20u);  // "Apartment" and its NUL
  char16_t buf[4];
  size = sizeof buf;
  EXPECT_EQ(RegQueryValueExW(h, u"ThreadingModel", nullptr, nullptr, reinterpret_cast<LPBYTE>(buf),
                             &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 20u);
  DWORD subKeys = 9, values = 9;
  EXPECT_EQ(RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 0u);
  EXPECT_EQ(values, 1u);

  const BYTE dword[4] = {1, 0, 0, 0};
  EXPECT_EQ(RegSetValueExW(h, u"N", 0, REG_DWORD, dword, 4), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteValueW(h, u"threadingMODEL"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(h, u"ThreadingModel"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueW(h, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(RegText(u"K"), u"<none>");
  EXPECT_TRUE(RegKeyExists(u"K"));
  RegCloseKey(h);
}

TEST_F(Registry, DeleteKeyNeedsAnEmptyKeyAndDeleteTreeTakesEverything) {
  ASSERT_EQ(RegPut(u"CLSID\\{X}\\InprocServer32", u"lib.so"), ERROR_SUCCESS);
  ASSERT_EQ(RegPut(u"CLSID\\{X}\\ProgID", u"A.B.1"), ERROR_SUCCESS);
  HKEY inproc = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID\\{X}\\InprocServer32", 0, KEY_READ, &inproc),
            ERROR_SUCCESS);

  EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"CLSID\\{X}"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"CLSID\\{X}\\ProgID"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"CLSID\\{X}\\ProgID"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"clsid\\{x}"), ERROR_SUCCESS);
  EXPECT_FALSE(RegKeyExists(u"CLSID\\{X}"));
  EXPECT_TRUE(RegKeyExists(u"CLSID"));

  // A handle whose key went away says so.
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(inproc, nullptr, nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(inproc), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(inproc), ERROR_INVALID_HANDLE);

  // A null sub-key empties the key itself and keeps it.
  ASSERT_EQ(RegPut(u"CLSID\\{Y}", u"Y Class"), ERROR_SUCCESS);
  HKEY clsid = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID", 0, KEY_READ, &clsid), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeW(clsid, nullptr), ERROR_SUCCESS);
  EXPECT_TRUE(SubKeys(clsid).empty());
  RegCloseKey(clsid);
  EXPECT_TRUE(RegKeyExists(u"CLSID"));
}

TEST_F(Registry, EveryChangeIsInTheFileAndAnyTextComesBack) {
  // Separators, escapes, control characters, non-ASCII, a surrogate pair and
  // an unpaired surrogate.
  const std::u16string odd = u"a=b%c\\d\ne\tf \u00e9\U0001F600\xD800!";
  ASSERT_EQ(RegPut(u"Odd name = 100%", odd.c_str(), u"v=1"), ERROR_SUCCESS);
  ASSERT_EQ(RegPut(u"Odd name = 100%\\child", u"x"), ERROR_SUCCESS);
  std::string text = scratch_.Text();
  EXPECT_EQ(text.rfind("TarvovCard registry 1\n", 0), 0u) << text;
  EXPECT_NE(text.find("K Odd name %3D 100%25\\child\n"), std::string::npos) << text;

  // Another file, then back: what comes back is what the file holds.
  ScratchRegistry other;
  EXPECT_FALSE(RegKeyExists(u"Odd name = 100%"));
  ASSERT_EQ(RegSetRegistryFile(scratch_.path().c_str()), ERROR_SUCCESS);
  EXPECT_EQ(RegText(u"odd NAME = 100%", u"V=1"), odd);
  EXPECT_EQ(RegText(u"Odd name = 100%\\child"), u"x");
}

TEST_F(Registry, AFailedWriteLeavesTheFileAndTheTreeAsTheyWere) {
  ASSERT_EQ(RegPut(u"Kept", u"1"), ERROR_SUCCESS);
  const std::string before = scratch_.Text();
  // The temporary file cannot be created where a folder stands.
  const std::string tmp = scratch_.path() + ".tmp." + std::to_string(getpid());
  ASSERT_EQ(mkdir(tmp.c_str(), 0700), 0);
  EXPECT_EQ(RegPut(u"Lost", u"2"), ERROR_CANTWRITE);
  EXPECT_FALSE(RegKeyExists(u"Lost"));
  EXPECT_EQ(scratch_.Text(), before);
  rmdir(tmp.c_str());
  EXPECT_EQ(RegPut(u"Lost", u"2"), ERROR_SUCCESS);
  EXPECT_TRUE(RegKeyExists(u"Lost"));
}

// A line of no known kind, or a file cut short (no final line end).
TEST_F(Registry, ACorruptFileIsReportedAndNeverOverwritten) {
  for (const char* text :
       {"TarvovCard registry 1\nK ok\nX what\n", "TarvovCard registry 1\nK ok"}) {
    std::ofstream(scratch_.path(), std::ios::binary) << text;
    HKEY h = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"ok", 0, KEY_READ, &h), ERROR_BADDB);
    EXPECT_EQ(RegPut(u"new", u"1"), ERROR_BADDB);
    EXPECT_EQ(scratch_.Text(), text);
  }
}

TEST_F(Registry, AnUpdateWritesAllOrNothing) {
  ASSERT_EQ(RegBeginUpdate(), ERROR_SUCCESS);
  ASSERT_EQ(RegPut(u"A", u"1"), ERROR_SUCCESS);
  ASSERT_EQ(RegBeginUpdate(), ERROR_SUCCESS);  // nested
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

// Children write keys of their own at the same time; none may be lost.
TEST_F(Registry, ProcessesChangingAtOnceKeepEachOthersChanges) {
  constexpr int kChildren = 4, kKeys = 20;
  auto key = [](int c, int k) {
    return u"P" + std::u16string(1, u'0' + c) + u"\\K" + std::u16string(1, u'A' + k);
  };
  std::vector<pid_t> children;
  for (int c = 0; c < kChildren; ++c) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      for (int k = 0; k < kKeys; ++k) {
        const bool grouped = k % 2 == 1;  // half of them through an update of their own
        if (grouped && RegBeginUpdate() != ERROR_SUCCESS) ++failures;
        if (RegPut(key(c, k), u"v") != ERROR_SUCCESS) ++failures;
        if (grouped && RegEndUpdate(TRUE) != ERROR_SUCCESS) ++failures;
      }
      _exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int c = 0; c < kChildren; ++c)
    for (int k = 0; k < kKeys; ++k) EXPECT_EQ(RegText(key(c, k)), u"v") << c << " " << k;
}

}  // namespace
