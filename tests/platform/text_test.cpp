// Text of the runtime stand-in: BSTR, GUID text, code pages, paths, the per-thread last error.
// The code pages as a card's values show them are tested in tests/model/value_test.cpp, the
// split of a file name into FolderPath and Filename in tests/reader/load_test.cpp.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "tarvovcard/platform/atlbase.h"
#include "tarvovcard/platform/oleauto.h"
#include "tarvovcard/platform/shlwapi.h"
#include "tarvovcard/platform/winnls.h"
#include "tarvovcard/text.h"

namespace {

std::string_view Bytes(std::u16string_view s) {
  return {reinterpret_cast<const char*>(s.data()), s.size() * 2};
}

// `from` may point into s itself, which is freed only once it is copied.
BSTR Reallocated(BSTR s, const OLECHAR* from, UINT length) {
  EXPECT_TRUE(SysReAllocStringLen(&s, from, length));
  return s;
}

BSTR CopyOf(const CComBSTR& s) {
  BSTR out = nullptr;
  EXPECT_EQ(s.CopyTo(&out), S_OK);
  return out;
}

// Every way of making a string: its length in characters and in bytes (also
// stored in the four bytes before the text), its bytes, and NUL bytes up to a
// whole NUL character after them, an odd byte length too.
TEST(Bstr, Allocation) {
  const OLECHAR nuls[] = {u'a', u'\0', u'b', u'\0', u'c'};
  const CComBSTR held(nuls, 5);
  const BSTR hello = SysAllocString(u"hello world");
  const struct {
    BSTR s;
    UINT len, byte_len;
    std::string_view bytes;
  } cases[] = {
      {SysAllocStringLen(nuls, 5), 5, 10, Bytes({nuls, 5})},           // embedded NULs kept
      {SysAllocStringLen(nullptr, 4), 4, 8, Bytes({u"\0\0\0\0", 4})},  // null source: zeroed
      {SysAllocStringByteLen("hello", 5), 2, 5, "hello"},              // odd byte length
      {Reallocated(hello, hello, 5), 5, 10, Bytes(u"hello")},
      {Reallocated(nullptr, u"xy", 2), 2, 4, Bytes(u"xy")},
      {CComBSTR(held).Detach(), 5, 10, Bytes({nuls, 5})},
      {CopyOf(held), 5, 10, Bytes({nuls, 5})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    ASSERT_NE(c.s, nullptr);
    EXPECT_NE(c.s, held.m_str);
    EXPECT_EQ(SysStringLen(c.s), c.len);
    EXPECT_EQ(SysStringByteLen(c.s), c.byte_len);
    const char* p = reinterpret_cast<const char*>(c.s);
    ULONG prefix = 0;
    std::memcpy(&prefix, p - 4, 4);
    EXPECT_EQ(prefix, c.byte_len);
    EXPECT_EQ(std::string_view(p, c.byte_len), c.bytes);
    for (UINT i = c.byte_len; i < (c.byte_len + 3) / 2 * 2; ++i) EXPECT_EQ(p[i], '\0') << i;
    SysFreeString(c.s);
  }
  // Null reads as empty (and is freed by every empty holder the library destroys).
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  EXPECT_FALSE(SysReAllocStringLen(nullptr, u"xy", 2));
}

constexpr GUID kSample = {
    0x12345678, 0x9ABC, 0xDEF0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};

// Text read as a GUID: in either case, and null as the null GUID. The text written (upper case with
// braces, and its length) is checked as the type library's identifiers and keys (tests/server/).
TEST(GuidText, Parses) {
  const struct {
    const char16_t* text;
    HRESULT hr;
    GUID guid = GUID_NULL;
  } cases[] = {
      {u"{12345678-9abc-DEF0-0123-456789abcdef}", S_OK, kSample},
      {u"{00000000-0000-0000-C000-000000000046}", S_OK, IID_IUnknown},
      {u"{00000001-0000-0000-C000-000000000046}", S_OK, IID_IClassFactory},
      {u"{DF0B3D60-548F-101B-8E65-08002B2BD119}", S_OK, IID_ISupportErrorInfo},
      {nullptr, S_OK, GUID_NULL},
      {u"", CO_E_CLASSSTRING},
      {u"12345678-9ABC-DEF0-0123-456789ABCDEF", CO_E_CLASSSTRING},
      {u"{12345678-9ABC-DEF0-0123-456789ABCDEF", CO_E_CLASSSTRING},
      {u"{12345678-9ABC-DEF0-0123-456789ABCDEF}x", CO_E_CLASSSTRING},
      {u"{12345678-9ABC-DEF0-0123-456789ABCDEG}", CO_E_CLASSSTRING},
      {u"{123456789ABC-DEF0-0123-456789ABCDEF0}", CO_E_CLASSSTRING},
      {u"{12345678-9ABC-DEF0-0123-456789ABCDE}", CO_E_CLASSSTRING},
      {u"{1234", CO_E_CLASSSTRING},
      {u"TarvovCard.VCard", CO_E_CLASSSTRING},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    GUID clsid = kSample, iid = kSample;
    EXPECT_EQ(CLSIDFromString(c.text, &clsid), c.hr);
    EXPECT_EQ(IIDFromString(c.text, &iid), c.hr);
    EXPECT_TRUE(FAILED(c.hr) || (IsEqualGUID(clsid, c.guid) && IsEqualGUID(iid, c.guid)));
  }
  char16_t text[38];  // no room for the terminator
  EXPECT_EQ(StringFromGUID2(kSample, text, 38), 0);
  EXPECT_EQ(StringFromGUID2(kSample, nullptr, 39), 0);
  EXPECT_EQ(CLSIDFromString(u"{12345678-9ABC-DEF0-0123-456789ABCDEF}", nullptr), E_INVALIDARG);
}

// Well-formed UTF-8, and a high surrogate before other text, are a card's (tests/model, reader).
TEST(CodePage, Conversions) {
  enum Way { kToWide, kToNarrow };
  const std::u16string rfd = u"\uFFFD";
  const struct {
    std::string bytes;
    std::u16string wide;
    Way way;
  } cases[] = {
      // Malformed UTF-8 becomes replacement characters.
      {"a\x80z", u"a\uFFFDz", kToWide},                      // stray continuation
      {"a\xC3z", u"a\uFFFDz", kToWide},                      // truncated, next byte read afresh
      {"a\xC3", u"a\uFFFD", kToWide},                        // truncated at the end
      {"\xC0\xAF", rfd + rfd, kToWide},                      // overlong
      {"\xE0\x80\x80", rfd + rfd + rfd, kToWide},            // overlong
      {"\xED\xA0\x80", rfd + rfd + rfd, kToWide},            // encoded surrogate
      {"\xF4\x90\x80\x80", rfd + rfd + rfd + rfd, kToWide},  // above U+10FFFF
      {"\xE2\x82z", u"\uFFFDz", kToWide},  // one replacement for the broken prefix
      {"\xFF\xFE", rfd + rfd, kToWide},    // bytes that never start a character
      // Unpaired surrogates become replacement characters.
      {"\xEF\xBF\xBD", {char16_t(0xDE00)}, kToNarrow},
      {"\xEF\xBF\xBD\xEF\xBF\xBD", {char16_t(0xDE00), char16_t(0xD83D)}, kToNarrow},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    if (c.way == kToWide) {
      EXPECT_EQ(tarvovcard::FromUtf8(c.bytes), c.wide);
    } else {
      EXPECT_EQ(tarvovcard::ToUtf8(c.wide), c.bytes);
    }
  }
  // Windows-1252, with its five undefined bytes as the C1 controls of the
  // same value; outside it (a surrogate pair is one character), the default.
  const char kBytes[] = "\x80\x81\x8D\x8F\x90\x9D\x9F\xE9";
  char16_t wide[8];
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, kBytes, 8, wide, 8), 8);
  EXPECT_EQ(std::u16string_view(wide, 8), u"\u20AC\u0081\u008D\u008F\u0090\u009D\u0178\u00E9");
  // Whether the default was used is what a value's coding asks (tests/model/value_test.cpp).
  auto ansi = [](std::u16string_view text, const char* default_char = nullptr) {
    char out[16];
    const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out,
                                      16, default_char, nullptr);
    return std::string(out, n > 0 ? n : 0);
  };
  EXPECT_EQ(ansi({wide, 8}), kBytes);
  EXPECT_EQ(ansi(u"a\u0100b\u0080c\U0001F600d"), "a?b?c?d");
  EXPECT_EQ(ansi(u"a\u0100b\u0080c\U0001F600d", "#"), "a#b#c#d");
}

// Buffers too small and the failures with their last error (0: the call succeeds and leaves it
// alone), which is the thread's own. A length with the terminator is what the coding layer asks.
TEST(CodePage, LengthsBuffersAndBadArguments) {
  char16_t wide[9];
  char narrow[4], two[2] = {'x', 'x'};
  BOOL used = FALSE;
  auto mb = [](UINT cp, const char* s, int n, char16_t* out, int size) {
    SetLastError(0);
    const int result = MultiByteToWideChar(cp, 0, s, n, out, size);
    return std::pair<int, DWORD>(result, GetLastError());
  };
  auto wc = [](UINT cp, const char16_t* s, int n, char* out, int size, const char* def = nullptr,
               BOOL* used = nullptr) {
    SetLastError(0);
    const int result = WideCharToMultiByte(cp, 0, s, n, out, size, def, used);
    return std::pair<int, DWORD>(result, GetLastError());
  };
  const std::pair<int, DWORD> kSmall = {0, ERROR_INSUFFICIENT_BUFFER};
  const std::pair<int, DWORD> kInvalid = {0, ERROR_INVALID_PARAMETER};
  const std::pair<std::pair<int, DWORD>, std::pair<int, DWORD>> cases[] = {
      {mb(CP_ACP, "abcd", -1, wide, 3), kSmall},
      {mb(CP_UTF8, "0123456789abcdef", 16, wide, 9), kSmall},  // the ASCII fast path too
      {wc(CP_ACP, u"abcdefgh", 8, narrow, 2), kSmall},
      {wc(CP_UTF8, u"a\u20AC", 2, two, 2), kSmall},  // a character whole or not at all
      {mb(CP_ACP, nullptr, -1, wide, 4), kInvalid},
      {mb(CP_ACP, "a", 0, wide, 4), kInvalid},
      {mb(CP_ACP, "a", -2, wide, 4), kInvalid},
      {mb(CP_ACP, "a", 1, nullptr, 4), kInvalid},
      {mb(CP_ACP, "a", 1, wide, -1), kInvalid},
      {mb(1250, "a", 1, wide, 4), kInvalid},
      {wc(CP_UTF8, u"a", 1, narrow, 4, "?"), kInvalid},
      {wc(CP_UTF8, u"a", 1, narrow, 4, nullptr, &used), kInvalid},
      {wc(CP_ACP, nullptr, 1, narrow, 4), kInvalid},
      {wc(CP_ACP, u"a", 0, narrow, 4), kInvalid},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(cases[i].first, cases[i].second) << i;
  EXPECT_EQ(two[1], 'x');
  // An explicit length stops there, NUL or not.
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "a\0b", 3, wide, 4), 3);
  EXPECT_EQ(std::u16string_view(wide, 3), std::u16string_view(u"a\0b", 3));
  SetLastError(ERROR_DISK_FULL);
  DWORD seen = 1;
  std::thread([&] {
    seen = GetLastError();
    SetLastError(ERROR_ACCESS_DENIED);
  }).join();
  EXPECT_EQ(seen, ERROR_SUCCESS);
  EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
}

// "/" and "\" both separate; a root stays. Input, what PathRemoveFileSpec leaves and returns, what
// PathStripPath leaves (null: not checked). Append joins with one separator; a folder and a name
// with none between them, or no folder at all, are joined by Save (tests/writer/save_test.cpp).
TEST(Path, SplitJoinAndExists) {
  const struct {
    std::string path, folder;
    BOOL removed;
    const char* name;
  } cases[] = {
      {"x.vcf", "", TRUE, "x.vcf"},
      {"C:\\x.vcf", "C:\\", TRUE, "x.vcf"},
      {"\\x.vcf", "\\", TRUE, "x.vcf"},
      {"C:x.vcf", "C:", TRUE, "x.vcf"},
      {"C:\\dir\\", "C:\\dir", TRUE, "dir\\"},
      {"C:\\", "C:\\", FALSE, nullptr},  // nothing left to remove
      {"/", "/", FALSE, nullptr},
      {"", "", FALSE, ""},
  };
  for (const auto& c : cases) {
    std::string path = c.path;
    EXPECT_EQ(PathRemoveFileSpecA(path.data()), c.removed) << c.path;
    EXPECT_EQ(path.c_str(), c.folder) << c.path;
    path = c.path;
    PathStripPathA(path.data());
    EXPECT_TRUE(!c.name || path.c_str() == std::string(c.name)) << c.path << ": " << path;
  }
  EXPECT_FALSE(PathRemoveFileSpecA(nullptr));
  PathStripPathA(nullptr);
  const struct {
    const char *path, *more, *joined;
  } joins[] = {
      {"/home/u/", "/x.vcf", "/home/u/x.vcf"},
      {"/home/u", "\\x.vcf", "/home/u/x.vcf"},
      {"/home/u", "", "/home/u"},
  };
  char buffer[64];
  for (const auto& c : joins) {
    std::snprintf(buffer, sizeof buffer, "%s", c.path);
    EXPECT_TRUE(PathAppendA(buffer, c.more));
    EXPECT_STREQ(buffer, c.joined);
  }
  EXPECT_FALSE(PathAppendA(nullptr, "x"));
  EXPECT_FALSE(PathAppendA(buffer, nullptr));
  EXPECT_TRUE(PathFileExistsA(TARVOVCARD_SOURCE_DIR "/CMakeLists.txt"));
  EXPECT_TRUE(PathFileExistsA(TARVOVCARD_SOURCE_DIR));
  SetLastError(0);
  EXPECT_FALSE(PathFileExistsA(TARVOVCARD_SOURCE_DIR "/no such file.vcf"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(PathFileExistsA(nullptr));
}

}  // namespace
