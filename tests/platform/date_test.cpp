#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>

#include "tarvovcard/platform/oleauto.h"

namespace {

SYSTEMTIME Time(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0) {
  SYSTEMTIME st{};
  st.wYear = year;
  st.wMonth = month;
  st.wDay = day;
  st.wHour = hour;
  st.wMinute = minute;
  st.wSecond = second;
  return st;
}

DATE ToDate(SYSTEMTIME st) {
  DATE d = 0;
  EXPECT_TRUE(SystemTimeToVariantTime(&st, &d));
  return d;
}

SYSTEMTIME FromDate(DATE d) {
  SYSTEMTIME st{};
  EXPECT_TRUE(VariantTimeToSystemTime(d, &st)) << d;
  return st;
}

HRESULT Parse(const char16_t* text, DATE* out) {
  return VarDateFromStr(text, LOCALE_USER_DEFAULT, 0, out);
}

TEST(Date, KnownValues) {
  EXPECT_EQ(ToDate(Time(1899, 12, 30)), 0.0);
  EXPECT_EQ(ToDate(Time(1900, 1, 1)), 2.0);
  EXPECT_EQ(ToDate(Time(1996, 4, 15)), 35170.0);
  EXPECT_DOUBLE_EQ(ToDate(Time(1996, 4, 15, 8, 30)), 35170.0 + 8.5 / 24);
  EXPECT_EQ(ToDate(Time(2000, 2, 29)), 36585.0);
  EXPECT_EQ(ToDate(Time(1600, 3, 1)), -109511.0);

  const SYSTEMTIME st = FromDate(35170.0 + 8.5 / 24);
  EXPECT_EQ(st.wYear, 1996);
  EXPECT_EQ(st.wMonth, 4);
  EXPECT_EQ(st.wDay, 15);
  EXPECT_EQ(st.wDayOfWeek, 1);  // a Monday
  EXPECT_EQ(st.wHour, 8);
  EXPECT_EQ(st.wMinute, 30);
  EXPECT_EQ(st.wSecond, 0);
  EXPECT_EQ(FromDate(0.0).wDayOfWeek, 6);  // 30 December 1899, a Saturday
}

TEST(Date, NegativeDatesKeepTheTimeOfDayAsFraction) {
  // -1.25 is 29 December 1899 06:00, not 28 December 18:00.
  SYSTEMTIME st = FromDate(-1.25);
  EXPECT_EQ(st.wYear, 1899);
  EXPECT_EQ(st.wMonth, 12);
  EXPECT_EQ(st.wDay, 29);
  EXPECT_EQ(st.wHour, 6);
  EXPECT_EQ(ToDate(Time(1899, 12, 29, 6)), -1.25);
  // Between -1 and 0 the day is 30 December itself.
  st = FromDate(-0.5);
  EXPECT_EQ(st.wDay, 30);
  EXPECT_EQ(st.wHour, 12);
}

TEST(Date, RoundTripsEveryDayOfSomeCenturies) {
  // Whole days across leap-year rules, before and after the epoch.
  for (long day = -657434; day <= 2958465; day += 997) {
    SYSTEMTIME st = FromDate(static_cast<DATE>(day));
    ASSERT_EQ(ToDate(st), static_cast<DATE>(day)) << day;
  }
  for (long day = -800; day <= 800; ++day) {
    SYSTEMTIME st = FromDate(static_cast<DATE>(day));
    ASSERT_EQ(ToDate(st), static_cast<DATE>(day)) << day;
  }
  // Times of day, both signs.
  for (int seconds = 0; seconds < 86400; seconds += 61) {
    for (WORD year : {1601, 1899, 1999, 9999}) {
      SYSTEMTIME st = Time(year, 12, 29, seconds / 3600, seconds / 60 % 60, seconds % 60);
      SYSTEMTIME back = FromDate(ToDate(st));
      ASSERT_EQ(back.wDay, 29);
      ASSERT_EQ(back.wHour * 3600 + back.wMinute * 60 + back.wSecond, seconds);
    }
  }
}

TEST(Date, RoundsToTheNearestSecond) {
  const double second = 1.0 / 86400;
  SYSTEMTIME st = FromDate(35170.0 + 10 * second + 0.49 * second);
  EXPECT_EQ(st.wSecond, 10);
  st = FromDate(35170.0 + 10 * second + 0.51 * second);
  EXPECT_EQ(st.wSecond, 11);
  EXPECT_EQ(st.wMilliseconds, 0);
  // Half a second before midnight belongs to the next day.
  st = FromDate(35170.0 + 1 - 0.4 * second);
  EXPECT_EQ(st.wDay, 16);
  EXPECT_EQ(st.wHour, 0);
  st = FromDate(-2.0 - (1 - 0.4 * second));  // 28 December 1899, 23:59:59.6
  EXPECT_EQ(st.wDay, 29);
  EXPECT_EQ(st.wHour, 0);
}

TEST(Date, ValidRangeEdges) {
  SYSTEMTIME st = FromDate(-657434.0);
  EXPECT_EQ(st.wYear, 100);
  EXPECT_EQ(st.wMonth, 1);
  EXPECT_EQ(st.wDay, 1);
  st = FromDate(2958465.0);
  EXPECT_EQ(st.wYear, 9999);
  EXPECT_EQ(st.wMonth, 12);
  EXPECT_EQ(st.wDay, 31);
  st = FromDate(2958465.5);  // still 31 December 9999
  EXPECT_EQ(st.wHour, 12);
  st = FromDate(-657434.5);  // 1 January 100, 12:00
  EXPECT_EQ(st.wDay, 1);
  EXPECT_EQ(st.wHour, 12);

  SYSTEMTIME out{};
  EXPECT_FALSE(VariantTimeToSystemTime(-657435.0, &out));  // the invalid-date marker
  EXPECT_FALSE(VariantTimeToSystemTime(2958466.0, &out));
  EXPECT_FALSE(VariantTimeToSystemTime(2958465.99999999, &out));  // rounds into year 10000
  EXPECT_FALSE(VariantTimeToSystemTime(1e300, &out));
  EXPECT_FALSE(VariantTimeToSystemTime(std::numeric_limits<double>::quiet_NaN(), &out));

  DATE d = 0;
  SYSTEMTIME bad = Time(99, 12, 31);
  EXPECT_FALSE(SystemTimeToVariantTime(&bad, &d));
  bad = Time(10000, 1, 1);
  EXPECT_FALSE(SystemTimeToVariantTime(&bad, &d));
  bad = Time(1999, 2, 29);
  EXPECT_FALSE(SystemTimeToVariantTime(&bad, &d));
  bad = Time(1999, 13, 1);
  EXPECT_FALSE(SystemTimeToVariantTime(&bad, &d));
  bad = Time(1999, 1, 1, 24);
  EXPECT_FALSE(SystemTimeToVariantTime(&bad, &d));
}

TEST(Date, ParsesTheNormalisedForms) {
  DATE d = 0;
  ASSERT_EQ(Parse(u"1996-04-15", &d), S_OK);
  EXPECT_EQ(d, 35170.0);
  ASSERT_EQ(Parse(u"1996-04-15 08:30:00", &d), S_OK);
  EXPECT_DOUBLE_EQ(d, 35170.0 + 8.5 / 24);
  ASSERT_EQ(Parse(u"  1996-04-15 08:30:00 ", &d), S_OK);  // spaces around, as after a "Z"
  EXPECT_DOUBLE_EQ(d, 35170.0 + 8.5 / 24);
  // Zone offsets are ignored: the date keeps the clock time as written.
  for (const char16_t* text : {u"1996-04-15 08:30:00 0500", u"1996-04-15 08:30:00-05:00",
                               u"1996-04-15 08:30:00+0100 ", u"1996-04-15 08:30 +01"}) {
    ASSERT_EQ(Parse(text, &d), S_OK);
    EXPECT_DOUBLE_EQ(d, 35170.0 + 8.5 / 24);
  }
  ASSERT_EQ(Parse(u"1995-10-31 22:27:10", &d), S_OK);
  EXPECT_DOUBLE_EQ(d, 35003.0 + (22 * 3600 + 27 * 60 + 10) / 86400.0);
  ASSERT_EQ(Parse(u"1996-4-5 8:30", &d), S_OK);
  EXPECT_DOUBLE_EQ(d, 35160.0 + 8.5 / 24);
  ASSERT_EQ(Parse(u"1899-12-29 06:00", &d), S_OK);
  EXPECT_EQ(d, -1.25);
  ASSERT_EQ(Parse(u"0100-01-01", &d), S_OK);
  EXPECT_EQ(d, -657434.0);
  ASSERT_EQ(Parse(u"9999-12-31\t", &d), S_OK);
  EXPECT_EQ(d, 2958465.0);
}

TEST(Date, RejectsWhatItCannotRead) {
  const char16_t* texts[] = {
      u"",
      u"   ",
      u"unknown",
      u"1995-04-",  // from a six-digit basic form
      u"19960415",  // no dashes
      u"19960415 0830:00: 0500",
      u"1996-04-15 08:30:00 25:00",  // no such zone offset
      u"1996-04-15 08:30:00 +05:00x",
      u"1996-04-15T08:30:00",
      u"1996-04-15 08",
      u"1996-04-15 08:",
      u"1996-04-15 08:30:",
      u"1996-04-15 08:30:00x",
      u"1996-04-15x",
      u"1996-13-01",
      u"1996-00-10",
      u"1996-02-30",
      u"1995-02-29",
      u"1996-04-00",
      u"1996-04-15 24:00",
      u"1996-04-15 23:60",
      u"1996-04-15 23:59:60",
      u"0099-12-31",
      u"96-04-15",
      u"19960-04-15",
      u"1996-004-15",
  };
  for (const char16_t* text : texts) {
    DATE d = 123.0;
    EXPECT_EQ(Parse(text, &d), DISP_E_TYPEMISMATCH)
        << std::string(text, text + std::char_traits<char16_t>::length(text));
    EXPECT_EQ(d, 123.0);
  }
  DATE d = 0;
  EXPECT_EQ(Parse(nullptr, &d), DISP_E_TYPEMISMATCH);  // null reads as empty
  EXPECT_EQ(Parse(u"1996-04-15", nullptr), E_INVALIDARG);
}

TEST(Date, NoTimeZoneDependence) {
  const char* saved = std::getenv("TZ");
  const std::string old = saved ? saved : "";
  DATE results[2];
  SYSTEMTIME times[2];
  const char* zones[2] = {"UTC0", "EST5EDT,M3.2.0,M11.1.0"};
  for (int i = 0; i < 2; ++i) {
    setenv("TZ", zones[i], 1);
    tzset();
    ASSERT_EQ(Parse(u"1996-04-15 08:30:00", &results[i]), S_OK);
    times[i] = FromDate(results[i]);
  }
  if (saved)
    setenv("TZ", old.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
  EXPECT_EQ(results[0], results[1]);
  EXPECT_EQ(times[0].wHour, 8);
  EXPECT_EQ(times[1].wHour, 8);
  EXPECT_EQ(times[1].wDay, 15);
}

}  // namespace
