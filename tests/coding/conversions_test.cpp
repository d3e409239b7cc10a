// Character-set and date conversions where a value cannot show them: every
// byte against the platform's conversion, null and cut-off text, characters
// the ANSI code page lacks, and the date forms of BDAY and REV, which the
// reader and the writers convert. Text in values is tested through them in
// tests/model/value_coding_test.cpp.
#include "coding/conversions.h"

#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "tarvovcard/platform/winnls.h"

namespace tarvovcard::coding {
namespace {

using namespace std::string_literals;

std::u16string ToU16(BSTR text) {
  return std::u16string(text, SysStringLen(text));
}

DATE MakeDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  const auto w = [](int field) { return static_cast<WORD>(field); };
  SYSTEMTIME fields{w(year), w(month), 0, w(day), w(hour), w(minute), w(second), 0};
  DATE date = 0;
  EXPECT_TRUE(SystemTimeToVariantTime(&fields, &date));
  return date;
}

// ASCII text takes a shortcut around the platform's conversion; every byte,
// alone and next to ASCII, must come out as the platform would convert it,
// and ANSI text must come back byte for byte.
TEST(NarrowToWide, AgreesWithThePlatformConversionForEveryByte) {
  auto platform = [](const std::string& text, UINT code_page) {
    char16_t wide[16] = {};
    int written = MultiByteToWideChar(code_page, 0, text.c_str(), -1, wide, 16);
    EXPECT_GT(written, 0);
    return std::u16string(wide, written > 0 ? written - 1 : 0);
  };
  for (int byte = 1; byte < 256; ++byte) {
    for (const std::string& text :
         {std::string(1, static_cast<char>(byte)), "ab"s + static_cast<char>(byte) + "yz"}) {
      SCOPED_TRACE(byte);
      EXPECT_EQ(ToU16(NarrowToWide(text.c_str(), false)), platform(text, CP_ACP));
      EXPECT_EQ(ToU16(NarrowToWide(text.c_str(), true)), platform(text, CP_UTF8));
      EXPECT_EQ(WideToNarrow(NarrowToWide(text.c_str(), false), false), text);
    }
  }
}

TEST(NarrowToWide, NullAndCutOffText) {
  for (bool utf8 : {false, true}) {
    for (const char* text : {"", static_cast<const char*>(nullptr)}) {
      const CComBSTR wide = NarrowToWide(text, utf8);
      ASSERT_NE(wide.m_str, nullptr);  // never a null string
      EXPECT_EQ(wide.Length(), 0u);
    }
    const CComBSTR embedded(u"ab\0cd", 5);
    EXPECT_EQ(WideToNarrow(embedded, utf8), "ab");
    EXPECT_EQ(WideToNarrow(nullptr, utf8), "");
  }
  // A character outside the ANSI code page becomes its default character.
  EXPECT_EQ(WideToNarrow(CComBSTR(u"a\u4E2Db"), false), "a?b");
}

TEST(ParseDateText, ReadsTheFormsOfBdayAndRev) {
  const DATE day = MakeDate(1996, 4, 15);
  const DATE morning = MakeDate(1996, 4, 15, 8, 30);
  const std::string padding(300, ' ');
  const struct {
    std::string text;
    DATE date;
  } cases[] = {
      {"19960415", day},
      {"1996-04-15", day},
      {"19960415T083000", morning},
      {"1996-04-15T08:30:00", morning},
      {"1996-04-15T08:30:00Z", morning},
      {"19960415T083000Z", morning},
      {"1996-04-15 08:30:00", morning},
      // A zone offset is not applied: the date keeps the clock time as written.
      {"1996-04-15T08:30:00-05:00", morning},
      {"19960415T083000+0500", morning},
      // The sign of a negative offset is no date dash: the basic date still
      // gets its dashes, and the date is kept rather than lost.
      {"19960415T083000-0500", morning},
      {"19951031T222710Z", MakeDate(1995, 10, 31, 22, 27, 10)},
      {"20210314T023000", MakeDate(2021, 3, 14, 2, 30)},  // skipped in New York
      // Longer than the local buffer.
      {"1996-04-15T08:30:00Z" + padding, morning},
      {"19960415T083000" + padding, morning},
      {std::string(5000, 'x'), kInvalidDate},
      {"unknown", kInvalidDate},
      {"199504", kInvalidDate},  // read as "1995-04-"
      {"1996-13-45", kInvalidDate},
      {"19960415-0500", kInvalidDate},
      // Too short for the dashes and colons put into the basic forms: as
      // unreadable as any other, so that the reader goes on with the next value.
      {"", kInvalidDate},
      {"\n", kInvalidDate},
      {"1", kInvalidDate},
      {"1995", kInvalidDate},
      {"19954", kInvalidDate},
      {"19960415T08", kInvalidDate},
      {"1996041508", kInvalidDate},
  };
  EXPECT_EQ(day, 35170.0);
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(ParseDateText(c.text.c_str()), c.date) << c.text;
  EXPECT_EQ(ParseDateText(nullptr), kInvalidDate);
}

// The fields as stored, whatever the time zone and its daylight-saving rules
// (CMake runs these tests again in two zones); weekday and day of the year
// worked out from the date;
// four digits for a year below 1000, so that it reads back as the same date;
// nothing for the zone, for an invalid date and for more than 4095 characters.
TEST(FormatDateText, PrintsTheStoredFields) {
  const std::string stamp = "%Y%m%dT%H%M%S";
  const DATE day = MakeDate(1996, 4, 15);
  const struct {
    DATE date;
    std::string pattern;
    std::string text;
  } cases[] = {
      {MakeDate(1996, 4, 15, 8, 30), stamp, "19960415T083000"},
      {MakeDate(1995, 10, 31, 22, 27, 10), stamp, "19951031T222710"},
      {kMaxValidDate, stamp, "99991231T000000"},
      {MakeDate(100, 1, 1), stamp, "01000101T000000"},
      {ParseDateText("19951031T222710Z"), stamp, "19951031T222710"},
      {ParseDateText("20210314T023000Z"), stamp, "20210314T023000"},
      {MakeDate(2021, 3, 14, 2, 30), stamp, "20210314T023000"},  // New York skips it
      {MakeDate(2021, 11, 7, 1, 30), stamp, "20211107T013000"},  // ... and has it twice
      {MakeDate(2021, 9, 26, 2, 15), stamp, "20210926T021500"},  // Auckland skips it
      {day, "%A %a %j %u %w", "Monday Mon 106 1 1"},
      {MakeDate(2000, 12, 31), "%A %j", "Sunday 366"},
      {MakeDate(1899, 12, 30), "%A %j", "Saturday 364"},
      {MakeDate(999, 12, 31), "%Y|%%Y|%%%Y", "0999|%Y|%0999"},
      {day, "[%z%Z]", "[]"},
      {day, "", ""},
      {kInvalidDate, stamp, ""},
      {2958465.5, stamp, ""},
      {-657434.5, stamp, ""},
      {std::numeric_limits<double>::quiet_NaN(), "%Y", ""},
      {day, std::string(4095, 'x'), std::string(4095, 'x')},
      {day, std::string(4096, 'x'), ""},
      {day, std::string(4092, 'x') + "%Y", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatDateText(c.date, c.pattern.c_str()), c.text) << c.pattern.substr(0, 20);
    if (c.pattern == stamp && !c.text.empty()) {
      EXPECT_EQ(ParseDateText(c.text.c_str()), c.date);
    }
  }
  EXPECT_EQ(FormatDateText(day, nullptr), "");
}

TEST(IsValidDate, AcceptsTheYears100To9999) {
  static_assert(IsValidDate(kMinValidDate) && IsValidDate(kMaxValidDate));
  static_assert(!IsValidDate(kInvalidDate));
  EXPECT_TRUE(IsValidDate(0.0));
  EXPECT_FALSE(IsValidDate(-657434.0001));
  EXPECT_FALSE(IsValidDate(2958465.0001));
  EXPECT_FALSE(IsValidDate(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_EQ(kMinValidDate, MakeDate(100, 1, 1));
  EXPECT_EQ(kMaxValidDate, MakeDate(9999, 12, 31));
}

}  // namespace
}  // namespace tarvovcard::coding
