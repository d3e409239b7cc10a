// Character-set and date conversions: both code pages each way, the date forms
// of BDAY and REV, unreadable dates, and date formatting that does not depend
// on the machine's time zone.
#include "coding/conversions.h"

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <optional>
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
  SYSTEMTIME fields{};
  fields.wYear = static_cast<WORD>(year);
  fields.wMonth = static_cast<WORD>(month);
  fields.wDay = static_cast<WORD>(day);
  fields.wHour = static_cast<WORD>(hour);
  fields.wMinute = static_cast<WORD>(minute);
  fields.wSecond = static_cast<WORD>(second);
  DATE date = 0;
  EXPECT_TRUE(SystemTimeToVariantTime(&fields, &date));
  return date;
}

// Sets the process's time zone for one test and restores it afterwards.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (old_)
      setenv("TZ", old_->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  std::optional<std::string> old_;
};

TEST(NarrowToWide, ConvertsFromUtf8OrTheAnsiCodePage) {
  EXPECT_EQ(ToU16(NarrowToWide("\xC3\xA9", true)), u"\u00E9");
  EXPECT_EQ(ToU16(NarrowToWide("\xC3\xA9", false)), u"\u00C3\u00A9");
  EXPECT_EQ(ToU16(NarrowToWide("\xF0\x9F\x98\x80", true)), u"\U0001F600");
  EXPECT_EQ(ToU16(NarrowToWide("\x80 \x9F", false)), u"\u20AC \u0178");
  EXPECT_EQ(ToU16(NarrowToWide("plain", false)), u"plain");
}

// ASCII text takes a shortcut around the platform's conversion; every byte,
// alone and next to ASCII, must come out as the platform would convert it.
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
    }
  }
}

TEST(NarrowToWide, ReadsMalformedUtf8Leniently) {
  EXPECT_EQ(ToU16(NarrowToWide("a\xFF"
                               "b",
                               true)),
            u"a\uFFFDb");
  EXPECT_EQ(ToU16(NarrowToWide("a\xC3", true)), u"a\uFFFD");
}

TEST(NarrowToWide, GivesAnEmptyStringForEmptyOrNullText) {
  for (bool utf8 : {false, true}) {
    const CComBSTR empty = NarrowToWide("", utf8);
    ASSERT_NE(empty.m_str, nullptr);
    EXPECT_EQ(empty.Length(), 0u);
    const CComBSTR null = NarrowToWide(nullptr, utf8);
    ASSERT_NE(null.m_str, nullptr);
    EXPECT_EQ(null.Length(), 0u);
  }
}

TEST(WideToNarrow, ConvertsToUtf8OrTheAnsiCodePage) {
  const CComBSTR e_acute(u"\u00E9");
  EXPECT_EQ(WideToNarrow(e_acute, true), "\xC3\xA9");
  EXPECT_EQ(WideToNarrow(e_acute, false), "\xE9");
  const CComBSTR euro(u"\u20AC");
  EXPECT_EQ(WideToNarrow(euro, false), "\x80");
  EXPECT_EQ(WideToNarrow(CComBSTR(u"\U0001F600"), true), "\xF0\x9F\x98\x80");
}

TEST(WideToNarrow, ReplacesWhatTheTargetCannotHold) {
  // A character outside the ANSI code page becomes its default character; an
  // unpaired surrogate becomes U+FFFD in UTF-8.
  EXPECT_EQ(WideToNarrow(CComBSTR(u"a\u4E2Db"), false), "a?b");
  const char16_t lone_surrogate[] = {u'a', 0xD800, u'b', 0};
  EXPECT_EQ(WideToNarrow(CComBSTR(lone_surrogate), true),
            "a\xEF\xBF\xBD"
            "b");
}

TEST(WideToNarrow, StopsAtTheFirstNulAndReadsNullAsEmpty) {
  const CComBSTR embedded(u"ab\0cd", 5);
  EXPECT_EQ(WideToNarrow(embedded, false), "ab");
  EXPECT_EQ(WideToNarrow(embedded, true), "ab");
  EXPECT_EQ(WideToNarrow(nullptr, false), "");
  EXPECT_EQ(WideToNarrow(nullptr, true), "");
  EXPECT_EQ(WideToNarrow(CComBSTR(u""), true), "");
}

TEST(WideToNarrow, ReversesNarrowToWide) {
  std::string ansi;
  for (int b = 1; b < 256; ++b) ansi.push_back(static_cast<char>(b));
  EXPECT_EQ(WideToNarrow(NarrowToWide(ansi.c_str(), false), false), ansi);
  const std::string utf8 =
      "Gr\xC3\xBC\xC3\x9F"
      "e \xE2\x82\xAC \xF0\x9F\x98\x80";
  EXPECT_EQ(WideToNarrow(NarrowToWide(utf8.c_str(), true), true), utf8);
}

TEST(ParseDateText, ReadsTheBasicAndExtendedForms) {
  const DATE day = MakeDate(1996, 4, 15);
  EXPECT_EQ(day, 35170.0);
  EXPECT_EQ(ParseDateText("19960415"), day);
  EXPECT_EQ(ParseDateText("1996-04-15"), day);

  const DATE morning = MakeDate(1996, 4, 15, 8, 30);
  EXPECT_DOUBLE_EQ(ParseDateText("19960415T083000"), morning);
  EXPECT_DOUBLE_EQ(ParseDateText("1996-04-15T08:30:00"), morning);
  EXPECT_DOUBLE_EQ(ParseDateText("1996-04-15T08:30:00Z"), morning);
  EXPECT_DOUBLE_EQ(ParseDateText("19960415T083000Z"), morning);
  EXPECT_DOUBLE_EQ(ParseDateText("1996-04-15 08:30:00"), morning);
  // A zone offset is not applied: the date keeps the clock time as written.
  EXPECT_DOUBLE_EQ(ParseDateText("1996-04-15T08:30:00-05:00"), morning);
  EXPECT_DOUBLE_EQ(ParseDateText("19960415T083000+0500"), morning);
  // The sign of a negative offset is no date dash: the basic date still gets
  // its dashes, and the date is kept rather than lost.
  EXPECT_DOUBLE_EQ(ParseDateText("19960415T083000-0500"), morning);

  EXPECT_DOUBLE_EQ(ParseDateText("19951031T222710Z"), MakeDate(1995, 10, 31, 22, 27, 10));
}

TEST(ParseDateText, ReadsTextLongerThanItsLocalBuffer) {
  const std::string padding(300, ' ');
  EXPECT_DOUBLE_EQ(ParseDateText(("1996-04-15T08:30:00Z" + padding).c_str()),
                   MakeDate(1996, 4, 15, 8, 30));
  EXPECT_DOUBLE_EQ(ParseDateText(("19960415T083000" + padding).c_str()),
                   MakeDate(1996, 4, 15, 8, 30));
  EXPECT_EQ(ParseDateText(std::string(5000, 'x').c_str()), kInvalidDate);
}

TEST(ParseDateText, GivesTheInvalidDateForUnreadableText) {
  EXPECT_EQ(ParseDateText("unknown"), kInvalidDate);
  EXPECT_EQ(ParseDateText("199504"), kInvalidDate);  // read as "1995-04-"
  EXPECT_EQ(ParseDateText("1996-13-45"), kInvalidDate);
  EXPECT_EQ(ParseDateText("19960415-0500"), kInvalidDate);
  EXPECT_EQ(ParseDateText(nullptr), kInvalidDate);
}

// Text too short for the dashes and colons put into the basic forms is as
// unreadable as any other: the reader must go on with the next value.
TEST(ParseDateText, GivesTheInvalidDateForTextTooShortToNormalise) {
  for (const char* text : {"", "\n", "1", "1995", "19954", "19960415T08", "1996041508"}) {
    EXPECT_EQ(ParseDateText(text), kInvalidDate) << '"' << text << '"';
  }
}

TEST(FormatDateText, PrintsTheStoredFields) {
  EXPECT_EQ(FormatDateText(MakeDate(1996, 4, 15, 8, 30), "%Y%m%dT%H%M%S"), "19960415T083000");
  EXPECT_EQ(FormatDateText(MakeDate(1995, 10, 31, 22, 27, 10), "%Y%m%dT%H%M%S"), "19951031T222710");
  EXPECT_EQ(FormatDateText(kMaxValidDate, "%Y%m%dT%H%M%S"), "99991231T000000");
  // Day of the week and of the year are worked out from the date.
  EXPECT_EQ(FormatDateText(MakeDate(1996, 4, 15), "%A %a %j %u %w"), "Monday Mon 106 1 1");
  EXPECT_EQ(FormatDateText(MakeDate(2000, 12, 31), "%A %j"), "Sunday 366");
  EXPECT_EQ(FormatDateText(MakeDate(1899, 12, 30), "%A %j"), "Saturday 364");
  EXPECT_EQ(FormatDateText(MakeDate(2021, 3, 14), ""), "");
}

// A year below 1000 keeps four digits, so that the text reads back as the
// same date instead of another one.
TEST(FormatDateText, PrintsYearsWithFourDigits) {
  const DATE date = MakeDate(100, 1, 1);
  EXPECT_EQ(FormatDateText(date, "%Y%m%dT%H%M%S"), "01000101T000000");
  EXPECT_EQ(ParseDateText(FormatDateText(date, "%Y%m%dT%H%M%S").c_str()), date);
  EXPECT_EQ(FormatDateText(MakeDate(999, 12, 31), "%Y|%%Y|%%%Y"), "0999|%Y|%0999");
}

TEST(FormatDateText, KeepsTheZoneDesignatorOut) {
  const DATE date = ParseDateText("19951031T222710Z");
  EXPECT_EQ(FormatDateText(date, "%Y%m%dT%H%M%S"), "19951031T222710");
  EXPECT_EQ(FormatDateText(date, "[%z%Z]"), "[]");
}

TEST(FormatDateText, GivesEmptyTextForAnInvalidDate) {
  EXPECT_EQ(FormatDateText(kInvalidDate, "%Y%m%dT%H%M%S"), "");
  EXPECT_EQ(FormatDateText(2958465.5, "%Y%m%dT%H%M%S"), "");
  EXPECT_EQ(FormatDateText(-657434.5, "%Y%m%dT%H%M%S"), "");
  EXPECT_EQ(FormatDateText(std::numeric_limits<double>::quiet_NaN(), "%Y"), "");
  EXPECT_EQ(FormatDateText(MakeDate(1996, 4, 15), nullptr), "");
}

TEST(FormatDateText, FillsAtMost4095Characters) {
  const DATE date = MakeDate(1996, 4, 15);
  EXPECT_EQ(FormatDateText(date, std::string(4095, 'x').c_str()), std::string(4095, 'x'));
  EXPECT_EQ(FormatDateText(date, std::string(4096, 'x').c_str()), "");
  EXPECT_EQ(FormatDateText(date, (std::string(4092, 'x') + "%Y").c_str()), "");
}

// Neither the zone nor its daylight-saving rules move a field: 2:30 on
// 14 March 2021 does not exist in New York's time, and 1:30 on 7 November 2021
// exists twice, yet both print as stored.
TEST(FormatDateText, DoesNotDependOnTheTimeZone) {
  for (const char* zone : {"UTC0", "EST5EDT,M3.2.0,M11.1.0", "NZST-12NZDT,M9.5.0,M4.1.0/3"}) {
    SCOPED_TRACE(zone);
    ScopedTimeZone scoped(zone);
    EXPECT_EQ(FormatDateText(MakeDate(2021, 3, 14, 2, 30), "%Y%m%dT%H%M%S"), "20210314T023000");
    EXPECT_EQ(FormatDateText(MakeDate(2021, 11, 7, 1, 30), "%Y%m%dT%H%M%S"), "20211107T013000");
    EXPECT_EQ(FormatDateText(MakeDate(2021, 9, 26, 2, 15), "%Y%m%dT%H%M%S"), "20210926T021500");
    EXPECT_EQ(FormatDateText(ParseDateText("20210314T023000Z"), "%Y%m%dT%H%M%S"),
              "20210314T023000");
    EXPECT_DOUBLE_EQ(ParseDateText("20210314T023000"), MakeDate(2021, 3, 14, 2, 30));
  }
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
