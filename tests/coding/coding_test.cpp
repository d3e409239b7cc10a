// What a value cannot show of the codecs and conversions (the rest is in
// tests/model/value_test.cpp): NUL bytes, null text, and the date forms of
// BDAY and REV, which the reader and the writers convert.
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "coding/codecs.h"
#include "coding/conversions.h"

namespace tarvovcard::coding {
namespace {

using namespace std::string_literals;

DATE MakeDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  const auto w = [](int field) { return static_cast<WORD>(field); };
  SYSTEMTIME fields{w(year), w(month), 0, w(day), w(hour), w(minute), w(second), 0};
  DATE date = 0;
  EXPECT_TRUE(SystemTimeToVariantTime(&fields, &date));
  return date;
}

// A value's text ends at its first NUL; the codecs carry NUL bytes, and
// DecodeBase64 clears its output first. Null text is empty, never a null string.
TEST(Coding, NulBytesAndNullText) {
  EXPECT_EQ(DecodeQuotedPrintable("=00=E9=FF"), "\0\xE9\xFF"s);
  EXPECT_EQ(DecodeQuotedPrintable("a\0\x80\xFE\tb"s), "a\0\x80\xFE\tb"s);
  EXPECT_EQ(EncodeQuotedPrintable("a\0b"s), "a=00b");
  std::vector<unsigned char> bytes{1, 2, 3};
  DecodeBase64("T\0WFu"s, bytes);
  EXPECT_EQ(bytes, (std::vector<unsigned char>{'M', 'a', 'n'}));
  for (bool utf8 : {false, true}) {
    const CComBSTR wide = NarrowToWide(nullptr, utf8);
    ASSERT_NE(wide.m_str, nullptr);
    EXPECT_EQ(wide.Length(), 0u);
    EXPECT_EQ(WideToNarrow(nullptr, utf8), "");
    EXPECT_EQ(WideToNarrow(CComBSTR(u"ab\0cd", 5), utf8), "ab");
  }
}

// Beside the reader's golden table (plain basic forms, a basic stamp with Z,
// the lone LF of an absent value, no date) and the stamps FormatDateText prints and reads back.
TEST(ParseDateText, ReadsTheFormsOfBdayAndRev) {
  const DATE day = MakeDate(1996, 4, 15);
  const DATE morning = MakeDate(1996, 4, 15, 8, 30);
  const std::string padding(300, ' ');
  const struct {
    std::string text;
    DATE date;
  } cases[] = {
      {"1996-04-15", day},
      {"1996-04-15T08:30:00", morning},
      {"1996-04-15 08:30:00", morning},
      // A zone offset is not applied: the date keeps the clock time as written.
      {"1996-04-15T08:30:00-05:00", morning},
      {"19960415T083000+0500", morning},
      {"19960415T083000-0500", morning},  // the sign of the offset is no dash of the date
      // Longer than the local buffer.
      {"1996-04-15T08:30:00Z" + padding, morning},
      {"19960415T083000" + padding, morning},
      {"199504", kInvalidDate},  // read as "1995-04-"
      {"19960415-0500", kInvalidDate},
      // Too short for the dashes and colons of the basic forms: unreadable.
      {"19954", kInvalidDate},
      {"19960415T08", kInvalidDate},
      {"1996041508", kInvalidDate},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(ParseDateText(c.text.c_str()), c.date) << c.text;
  EXPECT_EQ(ParseDateText(nullptr), kInvalidDate);
}

// The fields as stored, whatever the time zone (CMake runs these tests again
// in two); weekday and day of the year from the date; four digits for a year
// below 1000, to read back the same; nothing for the zone, for a date outside
// the years 100 to 9999 and for more than 4095 characters.
TEST(FormatDateText, PrintsTheStoredFields) {
  const std::string stamp = "%Y%m%dT%H%M%S";
  const DATE day = MakeDate(1996, 4, 15);
  const struct {
    DATE date;
    std::string pattern;
    std::string text;
  } cases[] = {
      {kMaxValidDate, stamp, "99991231T000000"},
      {kMinValidDate, stamp, "01000101T000000"},
      {MakeDate(2021, 3, 14, 2, 30), stamp, "20210314T023000"},  // New York skips it
      {MakeDate(2021, 11, 7, 1, 30), stamp, "20211107T013000"},  // ... and has it twice
      {MakeDate(2021, 9, 26, 2, 15), stamp, "20210926T021500"},  // Auckland skips it
      {day, "%A %a %j %u %w", "Monday Mon 106 1 1"},
      {MakeDate(2000, 12, 31), "%A %j", "Sunday 366"},
      {MakeDate(1899, 12, 30), "%A %j", "Saturday 364"},
      {MakeDate(999, 12, 31), "%Y|%%Y|%%%Y", "0999|%Y|%0999"},
      {day, "[%z%Z]", "[]"},
      {day, "", ""},
      {kMaxValidDate + 0.0001, stamp, ""},
      {kMinValidDate - 0.0001, stamp, ""},
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

}  // namespace
}  // namespace tarvovcard::coding
