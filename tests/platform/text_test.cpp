// Text of the runtime stand-in: BSTR, GUID text, code pages, paths, the
// per-thread last error.
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

namespace {

std::string_view Bytes(std::u16string_view s) {
  return {reinterpret_cast<const char*>(s.data()), s.size() * 2};
}

// Every way of making a string: its length in characters and in bytes (also
// stored in the four bytes before the text), its bytes, and a whole NUL after.
TEST(Bstr, Allocation) {
  const OLECHAR nuls[] = {u'a', u'\0', u'b', u'\0', u'c'};
  const struct {
    BSTR s;
    UINT len, byte_len;
    std::string_view bytes;
  } cases[] = {
      {SysAllocString(u"abc"), 3, 6, Bytes(u"abc")},
      {SysAllocString(u""), 0, 0, ""},
      {SysAllocStringLen(nuls, 5), 5, 10, Bytes({nuls, 5})},           // embedded NULs kept
      {SysAllocString(nuls), 1, 2, Bytes(u"a")},                       // stops at the first NUL
      {SysAllocStringLen(nullptr, 4), 4, 8, Bytes({u"\0\0\0\0", 4})},  // null source: zeroed
      {SysAllocStringByteLen("hello", 5), 2, 5, "hello"},              // odd byte length
  };
  for (const auto& c : cases) {
    ASSERT_NE(c.s, nullptr);
    EXPECT_EQ(SysStringLen(c.s), c.len);
    EXPECT_EQ(SysStringByteLen(c.s), c.byte_len);
    const char* p = reinterpret_cast<const char*>(c.s);
    ULONG prefix = 0;
    std::memcpy(&prefix, p - 4, 4);
    EXPECT_EQ(prefix, c.byte_len);
    EXPECT_EQ(std::string_view(p, c.byte_len), c.bytes);
    EXPECT_EQ(p[c.byte_len], '\0');
    EXPECT_EQ(p[c.byte_len + 1], '\0');
    SysFreeString(c.s);
  }
  // Null reads as empty.
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);
}

TEST(Bstr, ReallocAndHolder) {
  BSTR s = SysAllocString(u"hello world");
  ASSERT_TRUE(SysReAllocStringLen(&s, s + 6, 5));  // may read itself
  EXPECT_EQ(std::u16string_view(s, SysStringLen(s)), u"world");
  BSTR null = nullptr;
  ASSERT_TRUE(SysReAllocStringLen(&null, u"xy", 2));
  EXPECT_EQ(SysStringLen(null), 2u);
  EXPECT_FALSE(SysReAllocStringLen(nullptr, u"xy", 2));
  SysFreeString(null);
  SysFreeString(s);

  const OLECHAR text[] = {u'x', u'\0', u'y'};
  CComBSTR a(text, 3);
  CComBSTR b(a);  // copies keep embedded NULs
  EXPECT_EQ(b.Length(), 3u);
  EXPECT_NE(static_cast<BSTR>(a), static_cast<BSTR>(b));
  BSTR out = nullptr;
  ASSERT_EQ(b.CopyTo(&out), S_OK);
  EXPECT_EQ(SysStringLen(out), 3u);
  SysFreeString(out);
  ASSERT_EQ(CComBSTR().CopyTo(&out), S_OK);
  EXPECT_EQ(out, nullptr);
}

constexpr GUID kSample = {
    0x12345678, 0x9ABC, 0xDEF0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};

TEST(GuidText, FormatsUpperCaseWithBraces) {
  char16_t text[39];
  EXPECT_EQ(StringFromGUID2(kSample, text, 39), 39);
  EXPECT_EQ(std::u16string(text), u"{12345678-9ABC-DEF0-0123-456789ABCDEF}");
  EXPECT_EQ(StringFromGUID2(IID_IClassFactory, text, 39), 39);
  EXPECT_EQ(std::u16string(text), u"{00000001-0000-0000-C000-000000000046}");
  EXPECT_EQ(StringFromGUID2(kSample, text, 38), 0);  // no room for the terminator
  EXPECT_EQ(StringFromGUID2(kSample, nullptr, 39), 0);
  // Round trip through the text form.
  GUID g{};
  StringFromGUID2(IID_ISupportErrorInfo, text, 39);
  ASSERT_EQ(CLSIDFromString(text, &g), S_OK);
  EXPECT_TRUE(IsEqualGUID(g, IID_ISupportErrorInfo));
  ASSERT_EQ(IIDFromString(u"{00000000-0000-0000-C000-000000000046}", &g), S_OK);
  EXPECT_TRUE(IsEqualIID(g, IID_IUnknown));
  EXPECT_EQ(CLSIDFromString(u"{12345678-9ABC-DEF0-0123-456789ABCDEF}", nullptr), E_INVALIDARG);
}

TEST(GuidText, Parses) {
  const struct {
    const char16_t* text;
    HRESULT hr;
    GUID guid = GUID_NULL;
  } cases[] = {
      {u"{12345678-9abc-DEF0-0123-456789abcdef}", S_OK, kSample},  // either case
      {nullptr, S_OK, GUID_NULL},                                  // null is the null GUID
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
    GUID g = kSample;
    EXPECT_EQ(CLSIDFromString(c.text, &g), c.hr);
    EXPECT_TRUE(FAILED(c.hr) || IsEqualGUID(g, c.guid));
  }
}

std::u16string ToWide(UINT cp, const std::string& bytes) {
  const int size = static_cast<int>(bytes.size());
  const int n = MultiByteToWideChar(cp, 0, bytes.data(), size, nullptr, 0);
  EXPECT_GT(n, 0);
  std::u16string out(static_cast<std::size_t>(n), u'\0');
  EXPECT_EQ(MultiByteToWideChar(cp, 0, bytes.data(), size, out.data(), n), n);
  return out;
}

std::string ToNarrow(UINT cp, const std::u16string& text, BOOL* used_default = nullptr,
                     const char* default_char = nullptr) {
  const int size = static_cast<int>(text.size());
  const int n =
      WideCharToMultiByte(cp, 0, text.data(), size, nullptr, 0, default_char, used_default);
  EXPECT_GT(n, 0);
  std::string out(static_cast<std::size_t>(n), '\0');
  EXPECT_EQ(
      WideCharToMultiByte(cp, 0, text.data(), size, out.data(), n, default_char, used_default), n);
  return out;
}

TEST(CodePage, AnsiIsWindows1252AndEveryByteRoundTrips) {
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::u16string wide = ToWide(CP_ACP, all);
  ASSERT_EQ(wide.size(), 255u);
  EXPECT_EQ(wide[0x80 - 1], u'\u20AC');
  EXPECT_EQ(wide[0x9F - 1], u'\u0178');
  EXPECT_EQ(wide[0xE9 - 1], u'\u00E9');
  // The five undefined bytes stand for the C1 controls of the same value.
  for (int b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(wide[b - 1], char16_t(b)) << b;
  BOOL used = TRUE;
  EXPECT_EQ(ToNarrow(CP_ACP, wide, &used), all);
  EXPECT_FALSE(used);
  // Outside Windows-1252 (a surrogate pair is one character): the default.
  const std::u16string text = u"a\u0100b\u0080c\U0001F600d";
  EXPECT_EQ(ToNarrow(CP_ACP, text, &used), "a?b?c?d");
  EXPECT_TRUE(used);
  EXPECT_EQ(ToNarrow(CP_ACP, text, nullptr, "#"), "a#b#c#d");
}

TEST(CodePage, Conversions) {
  enum Way { kBoth, kToWide, kToNarrow };
  const std::u16string rfd = u"\uFFFD";
  std::string long_bytes;  // long ASCII runs around non-ASCII: the word-at-a-time path
  std::u16string long_wide;
  for (int i = 0; i < 100; ++i) {
    long_bytes += i % 7 ? "abcdefghij" : "abcdefghij\xC3\xA9";
    long_wide += i % 7 ? u"abcdefghij" : u"abcdefghij\u00E9";
  }
  const struct {
    UINT cp;
    std::string bytes;
    std::u16string wide;
    Way way;
  } cases[] = {
      {CP_UTF8, "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z", u"A\u00E9\u20AC\U0001F600z", kBoth},
      {CP_UTF8, long_bytes, long_wide, kBoth},
      {CP_ACP, "\xC3\xA9", u"\u00C3\u00A9", kBoth},
      {CP_ACP, "\x80", u"\u20AC", kBoth},
      // Malformed UTF-8 becomes replacement characters.
      {CP_UTF8, "a\x80z", u"a\uFFFDz", kToWide},            // stray continuation
      {CP_UTF8, "a\xC3z", u"a\uFFFDz", kToWide},            // truncated, next byte read afresh
      {CP_UTF8, "a\xC3", u"a\uFFFD", kToWide},              // truncated at the end
      {CP_UTF8, "\xC0\xAF", rfd + rfd, kToWide},            // overlong
      {CP_UTF8, "\xE0\x80\x80", rfd + rfd + rfd, kToWide},  // overlong
      {CP_UTF8, "\xED\xA0\x80", rfd + rfd + rfd, kToWide},  // encoded surrogate
      {CP_UTF8, "\xF4\x90\x80\x80", rfd + rfd + rfd + rfd, kToWide},  // above U+10FFFF
      {CP_UTF8, "\xE2\x82z", u"\uFFFDz", kToWide},  // one replacement for the broken prefix
      {CP_UTF8, "\xF0\x9F\x98", rfd, kToWide},
      {CP_UTF8, "\xFF\xFE", rfd + rfd, kToWide},
      // Unpaired surrogates become replacement characters.
      {CP_UTF8,
       "a\xEF\xBF\xBD"
       "b",
       {u'a', char16_t(0xD83D), u'b'},
       kToNarrow},
      {CP_UTF8, "\xEF\xBF\xBD", {char16_t(0xDE00)}, kToNarrow},
      {CP_UTF8, "\xEF\xBF\xBD\xEF\xBF\xBD", {char16_t(0xDE00), char16_t(0xD83D)}, kToNarrow},
  };
  for (const auto& c : cases) {
    if (c.way != kToNarrow) {
      EXPECT_EQ(ToWide(c.cp, c.bytes), c.wide) << c.bytes;
    }
    if (c.way != kToWide) {
      EXPECT_EQ(ToNarrow(c.cp, c.wide), c.bytes) << c.bytes;
    }
  }
}

// Lengths with and without the terminator, and the failures with their last
// error (0: the call succeeds and leaves it alone).
TEST(CodePage, LengthsBuffersAndBadArguments) {
  char16_t wide[9];
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, wide, 4), 4);
  EXPECT_EQ(std::u16string(wide), u"abc");
  char narrow[4], two[2] = {'x', 'x'};
  BOOL used = FALSE;
  // Each call with the last error it leaves.
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
      {mb(CP_ACP, "abc", -1, nullptr, 0), {4, 0}},
      {wc(CP_UTF8, u"\u00E9", -1, nullptr, 0), {3, 0}},
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
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u00E9x", -1, narrow, 3, nullptr, nullptr), 3);
  EXPECT_STREQ(narrow, "\xE9x");
  // An explicit length stops there, NUL or not.
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "a\0b", 3, wide, 4), 3);
  EXPECT_EQ(std::u16string_view(wide, 3), std::u16string_view(u"a\0b", 3));
}

TEST(LastError, IsPerThread) {
  SetLastError(ERROR_DISK_FULL);
  DWORD seen = 1;
  std::thread([&] {
    seen = GetLastError();
    SetLastError(ERROR_ACCESS_DENIED);
  }).join();
  EXPECT_EQ(seen, ERROR_SUCCESS);
  EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
}

TEST(Path, RemoveFileSpecAndStripPath) {
  // Input, what PathRemoveFileSpec leaves and returns, what PathStripPath leaves.
  const struct {
    std::string path;
    std::string folder;
    BOOL removed;
    const char* name;  // null: not checked
  } cases[] = {
      {"C:\\dir\\x.vcf", "C:\\dir", TRUE, "x.vcf"},
      {"D:\\a\\b\\x.vcf", "D:\\a\\b", TRUE, "x.vcf"},
      {"C:\\x.vcf", "C:\\", TRUE, "x.vcf"},
      {"\\x.vcf", "\\", TRUE, "x.vcf"},
      {"x.vcf", "", TRUE, "x.vcf"},
      {"/home/u/x.vcf", "/home/u", TRUE, "x.vcf"},
      {"/x.vcf", "/", TRUE, "x.vcf"},
      {"dir/sub\\x.vcf", "dir/sub", TRUE, "x.vcf"},
      {"C:x.vcf", "C:", TRUE, "x.vcf"},
      {"C:\\dir\\", "C:\\dir", TRUE, "dir\\"},
      {"\\\\server\\share\\x.vcf", "\\\\server\\share", TRUE, "x.vcf"},
      {"C:\\", "C:\\", FALSE, nullptr},  // nothing left to remove
      {"/", "/", FALSE, nullptr},
      {"", "", FALSE, ""},
      {std::string(1000, 'd') + "/" + std::string(500, 'f'), std::string(1000, 'd'), TRUE,
       nullptr},  // no length limit
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
}

TEST(Path, AppendJoinsWithOneSeparator) {
  const struct {
    const char *path, *more, *joined;
  } cases[] = {
      {"/home/u", "x.vcf", "/home/u/x.vcf"},
      {"C:\\dir", "x.vcf", "C:\\dir/x.vcf"},
      {"C:\\dir\\", "x.vcf", "C:\\dir\\x.vcf"},
      {"/home/u/", "/x.vcf", "/home/u/x.vcf"},
      {"/home/u", "\\x.vcf", "/home/u/x.vcf"},
      {"", "x.vcf", "x.vcf"},
      {"/home/u", "", "/home/u"},
  };
  char buffer[64];
  for (const auto& c : cases) {
    std::snprintf(buffer, sizeof buffer, "%s", c.path);
    EXPECT_TRUE(PathAppendA(buffer, c.more));
    EXPECT_STREQ(buffer, c.joined);
  }
  EXPECT_FALSE(PathAppendA(nullptr, "x"));
  EXPECT_FALSE(PathAppendA(buffer, nullptr));
  char16_t wide[64] = u"C:\\dir";
  EXPECT_TRUE(PathAppendW(wide, u"x.vcf"));
  EXPECT_EQ(std::u16string(wide), u"C:\\dir/x.vcf");
  wide[0] = u'\0';
  EXPECT_TRUE(PathAppendW(wide, u"x.vcf"));
  EXPECT_EQ(std::u16string(wide), u"x.vcf");
}

TEST(Path, FileExistsChecksTheFileSystem) {
  EXPECT_TRUE(PathFileExistsA(TARVOVCARD_SOURCE_DIR "/CMakeLists.txt"));
  EXPECT_TRUE(PathFileExistsA(TARVOVCARD_SOURCE_DIR));
  SetLastError(0);
  EXPECT_FALSE(PathFileExistsA(TARVOVCARD_SOURCE_DIR "/no such file.vcf"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(PathFileExistsA(nullptr));
}

}  // namespace
