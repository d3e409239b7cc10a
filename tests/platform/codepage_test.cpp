#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tarvovcard/platform/winnls.h"

namespace {

std::u16string ToWide(UINT cp, const std::string& bytes) {
  const int n =
      MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  EXPECT_GT(n, 0);
  std::u16string out(static_cast<std::size_t>(n), u'\0');
  EXPECT_EQ(MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n),
            n);
  return out;
}

std::string ToNarrow(UINT cp, const std::u16string& text, BOOL* used_default = nullptr,
                     const char* default_char = nullptr) {
  const int n = WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                    default_char, used_default);
  EXPECT_GT(n, 0);
  std::string out(static_cast<std::size_t>(n), '\0');
  EXPECT_EQ(WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                                default_char, used_default),
            n);
  return out;
}

TEST(CodePage, AnsiIsWindows1252AndEveryByteRoundTrips) {
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::u16string wide = ToWide(CP_ACP, all);
  ASSERT_EQ(wide.size(), 255u);
  EXPECT_EQ(wide[0x80 - 1], u'\u20AC');  // euro sign
  EXPECT_EQ(wide[0x9F - 1], u'\u0178');
  EXPECT_EQ(wide[0xE9 - 1], u'\u00E9');
  // The five undefined bytes stand for the C1 controls of the same value.
  for (int b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(wide[b - 1], char16_t(b)) << b;
  BOOL used = TRUE;
  EXPECT_EQ(ToNarrow(CP_ACP, wide, &used), all);
  EXPECT_FALSE(used);
}

TEST(CodePage, AnsiDefaultCharacter) {
  BOOL used = FALSE;
  // U+0100 and U+0080 are outside Windows-1252; a surrogate pair is one
  // character.
  const std::u16string text = u"a\u0100b\u0080c\U0001F600d";
  EXPECT_EQ(ToNarrow(CP_ACP, text, &used), "a?b?c?d");
  EXPECT_TRUE(used);
  EXPECT_EQ(ToNarrow(CP_ACP, text, nullptr, "#"), "a#b#c#d");
  EXPECT_EQ(ToNarrow(CP_ACP, u"\u20AC"), "\x80");
}

TEST(CodePage, Utf8RoundTrip) {
  const std::u16string text = u"A\u00E9\u20AC\U0001F600z";
  const std::string bytes = ToNarrow(CP_UTF8, text);
  EXPECT_EQ(bytes, "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z");
  EXPECT_EQ(ToWide(CP_UTF8, bytes), text);
  EXPECT_EQ(ToWide(CP_UTF8, "\xC3\xA9"), u"\u00E9");
  EXPECT_EQ(ToWide(CP_ACP, "\xC3\xA9"), u"\u00C3\u00A9");
}

TEST(CodePage, MalformedUtf8BecomesReplacement) {
  struct Case {
    std::string bytes;
    std::u16string wide;
  };
  const Case cases[] = {
      {"a\x80z", u"a\uFFFDz"},                            // stray continuation
      {"a\xC3z", u"a\uFFFDz"},                            // truncated, next byte read afresh
      {"a\xC3", u"a\uFFFD"},                              // truncated at the end
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong
      {"\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},            // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"\xE2\x82z", u"\uFFFDz"},                          // one replacement for the broken prefix
      {"\xF0\x9F\x98", u"\uFFFD"},
      {"\xFF\xFE", u"\uFFFD\uFFFD"},
  };
  for (const Case& c : cases) EXPECT_EQ(ToWide(CP_UTF8, c.bytes), c.wide) << c.bytes;
}

TEST(CodePage, UnpairedSurrogatesBecomeReplacement) {
  const std::u16string lone_high = {u'a', char16_t(0xD83D), u'b'};
  EXPECT_EQ(ToNarrow(CP_UTF8, lone_high),
            "a\xEF\xBF\xBD"
            "b");
  const std::u16string lone_low = {char16_t(0xDE00)};
  EXPECT_EQ(ToNarrow(CP_UTF8, lone_low), "\xEF\xBF\xBD");
  const std::u16string reversed = {char16_t(0xDE00), char16_t(0xD83D)};
  EXPECT_EQ(ToNarrow(CP_UTF8, reversed), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(CodePage, TerminatedLengthCountsTheNul) {
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4);
  char16_t wide[4];
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, wide, 4), 4);
  EXPECT_EQ(std::u16string(wide), u"abc");
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u00E9", -1, nullptr, 0, nullptr, nullptr), 3);
  char narrow[3];
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u00E9x", -1, narrow, 3, nullptr, nullptr), 3);
  EXPECT_STREQ(narrow, "\xE9x");
  // An explicit length stops there, NUL or not.
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "a\0b", 3, wide, 4), 3);
  EXPECT_EQ(wide[1], u'\0');
  EXPECT_EQ(wide[2], u'b');
}

TEST(CodePage, BufferTooSmall) {
  char16_t wide[3];
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcd", -1, wide, 3), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  // The ASCII fast path must not overrun either.
  std::vector<char16_t> small(9);
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "0123456789abcdef", 16, small.data(), 9), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

  // A character is written whole or not at all.
  char narrow[2] = {'x', 'x'};
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a\u20AC", 2, narrow, 2, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(narrow[1], 'x');
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abcdefgh", 8, narrow, 2, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(CodePage, InvalidParameters) {
  char16_t wide[4];
  char narrow[4];
  BOOL used = FALSE;
  const struct {
    int result;
  } calls[] = {
      {MultiByteToWideChar(CP_ACP, 0, nullptr, -1, wide, 4)},
      {MultiByteToWideChar(CP_ACP, 0, "a", 0, wide, 4)},
      {MultiByteToWideChar(CP_ACP, 0, "a", -2, wide, 4)},
      {MultiByteToWideChar(CP_ACP, 0, "a", 1, nullptr, 4)},
      {MultiByteToWideChar(CP_ACP, 0, "a", 1, wide, -1)},
      {MultiByteToWideChar(1250, 0, "a", 1, wide, 4)},
      {WideCharToMultiByte(CP_UTF8, 0, u"a", 1, narrow, 4, "?", nullptr)},
      {WideCharToMultiByte(CP_UTF8, 0, u"a", 1, narrow, 4, nullptr, &used)},
      {WideCharToMultiByte(CP_ACP, 0, nullptr, 1, narrow, 4, nullptr, nullptr)},
      {WideCharToMultiByte(CP_ACP, 0, u"a", 0, narrow, 4, nullptr, nullptr)},
  };
  for (const auto& call : calls) EXPECT_EQ(call.result, 0);
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, narrow, 4, nullptr, &used), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(CodePage, LongAsciiRunsWithAMixedTail) {
  // Exercises the word-at-a-time path around non-ASCII bytes.
  std::string bytes;
  std::u16string wide;
  for (int i = 0; i < 100; ++i) {
    bytes += "abcdefghij";
    wide += u"abcdefghij";
    if (i % 7 == 0) {
      bytes += "\xC3\xA9";
      wide += u"\u00E9";
    }
  }
  EXPECT_EQ(ToWide(CP_UTF8, bytes), wide);
  EXPECT_EQ(ToNarrow(CP_UTF8, wide), bytes);
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

}  // namespace
