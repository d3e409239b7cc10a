// DATE: days since 30 December 1899 00:00 with the time of day as fraction.
//
// All arithmetic is on the proleptic Gregorian calendar with whole day numbers;
// nothing here looks at the time zone, the locale or the C library's clock.
// For dates before the epoch the platform's convention holds: the integer part
// counts days back and the fraction is the absolute time of that day, so -1.25
// is 29 December 1899 06:00 (not 28 December 18:00).
#include <cmath>

#include "tarvovcard/platform/oleauto.h"

namespace {

constexpr long kSecondsPerDay = 86400;
// Day numbers of 1 January 100 and 31 December 9999.
constexpr long kFirstDay = -657434;
constexpr long kLastDay = 2958465;

// Days from 1 January 1970 to the given civil date (H. Hinnant's algorithm).
constexpr long DaysFromCivil(long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

struct Civil {
  long year;
  unsigned month;
  unsigned day;
};

constexpr Civil CivilFromDays(long z) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long y = static_cast<long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {y + (m <= 2), m, d};
}

// The day number (0 = 30 December 1899) of a civil date.
constexpr long kEpoch = DaysFromCivil(1899, 12, 30);
static_assert(DaysFromCivil(100, 1, 1) - kEpoch == kFirstDay);
static_assert(DaysFromCivil(9999, 12, 31) - kEpoch == kLastDay);

bool IsLeap(long y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned DaysInMonth(long y, unsigned m) {
  static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

bool IsValidDateTime(long year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                     unsigned second) {
  return year >= 100 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= DaysInMonth(year, month) && hour < 24 && minute < 60 && second < 60;
}

// The DATE of a valid date and time.
DATE ToDate(long year, unsigned month, unsigned day, unsigned hour, unsigned minute,
            unsigned second) {
  const long days = DaysFromCivil(year, month, day) - kEpoch;
  const double fraction = static_cast<double>(hour * 3600 + minute * 60 + second) / kSecondsPerDay;
  return days >= 0 ? days + fraction : days - fraction;
}

bool IsSpace(OLECHAR c) {
  return c == u' ' || c == u'\t';
}
bool IsDigit(OLECHAR c) {
  return c >= u'0' && c <= u'9';
}

// Reads between min_digits and max_digits decimal digits at *p.
bool ReadNumber(const OLECHAR*& p, int min_digits, int max_digits, unsigned* value) {
  unsigned v = 0;
  int n = 0;
  while (n < max_digits && IsDigit(*p)) {
    v = v * 10 + static_cast<unsigned>(*p - u'0');
    ++p;
    ++n;
  }
  *value = v;
  return n >= min_digits;
}

bool Expect(const OLECHAR*& p, OLECHAR c) {
  if (*p != c) return false;
  ++p;
  return true;
}

}  // namespace

HRESULT VarDateFromStr(LPCOLESTR strIn, LCID /*lcid*/, ULONG /*dwFlags*/, DATE* pdateOut) {
  if (!pdateOut) return E_INVALIDARG;
  // A null string reads as empty, which is no date.
  if (!strIn) return DISP_E_TYPEMISMATCH;

  // YYYY-M[M]-D[D] [H[H]:M[M][:S[S]]], surrounded by spaces or tabs.
  const OLECHAR* p = strIn;
  while (IsSpace(*p)) ++p;
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!ReadNumber(p, 4, 4, &year) || !Expect(p, u'-') || !ReadNumber(p, 1, 2, &month) ||
      !Expect(p, u'-') || !ReadNumber(p, 1, 2, &day))
    return DISP_E_TYPEMISMATCH;
  const OLECHAR* after_date = p;
  while (IsSpace(*p)) ++p;
  if (*p && p != after_date) {
    if (!ReadNumber(p, 1, 2, &hour) || !Expect(p, u':') || !ReadNumber(p, 1, 2, &minute))
      return DISP_E_TYPEMISMATCH;
    if (*p == u':' && !(++p, ReadNumber(p, 1, 2, &second))) return DISP_E_TYPEMISMATCH;
    while (IsSpace(*p)) ++p;
    // A zone offset after the time ("-05:00", "+0100", or "0500" once its sign
    // has become a space) is read and ignored: dates hold the clock time as
    // written, and dropping the whole date for its offset would lose it.
    if (*p == u'+' || *p == u'-' || IsDigit(*p)) {
      if (*p == u'+' || *p == u'-') ++p;
      unsigned zone_hours = 0, zone_minutes = 0;
      if (!ReadNumber(p, 2, 2, &zone_hours) || zone_hours > 14) return DISP_E_TYPEMISMATCH;
      if (*p == u':') ++p;
      if (IsDigit(*p) && (!ReadNumber(p, 2, 2, &zone_minutes) || zone_minutes > 59))
        return DISP_E_TYPEMISMATCH;
      while (IsSpace(*p)) ++p;
    }
  }
  if (*p) return DISP_E_TYPEMISMATCH;
  if (!IsValidDateTime(year, month, day, hour, minute, second)) return DISP_E_TYPEMISMATCH;
  *pdateOut = ToDate(year, month, day, hour, minute, second);
  return S_OK;
}

INT VariantTimeToSystemTime(DATE vtime, SYSTEMTIME* lpSystemTime) {
  if (!lpSystemTime || !std::isfinite(vtime)) return FALSE;
  if (vtime <= kFirstDay - 1 || vtime >= kLastDay + 1) return FALSE;
  const double whole = std::trunc(vtime);
  long days = static_cast<long>(whole);
  // The fraction is the time of day whatever the sign; round to the second.
  long seconds = std::lround(std::fabs(vtime - whole) * kSecondsPerDay);
  if (seconds >= kSecondsPerDay) {
    // 23:59:59.6 rounds to midnight of the next calendar day.
    seconds -= kSecondsPerDay;
    ++days;
  }
  if (days < kFirstDay || days > kLastDay) return FALSE;
  const Civil civil = CivilFromDays(days + kEpoch);
  lpSystemTime->wYear = static_cast<WORD>(civil.year);
  lpSystemTime->wMonth = static_cast<WORD>(civil.month);
  lpSystemTime->wDay = static_cast<WORD>(civil.day);
  // Day 0 (30 December 1899) was a Saturday (6; Sunday is 0).
  lpSystemTime->wDayOfWeek = static_cast<WORD>(((days + 6) % 7 + 7) % 7);
  lpSystemTime->wHour = static_cast<WORD>(seconds / 3600);
  lpSystemTime->wMinute = static_cast<WORD>(seconds / 60 % 60);
  lpSystemTime->wSecond = static_cast<WORD>(seconds % 60);
  lpSystemTime->wMilliseconds = 0;
  return TRUE;
}

INT SystemTimeToVariantTime(SYSTEMTIME* lpSystemTime, DATE* pvtime) {
  if (!lpSystemTime || !pvtime) return FALSE;
  const SYSTEMTIME& st = *lpSystemTime;
  if (!IsValidDateTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond))
    return FALSE;
  // Milliseconds are ignored, as dates carry whole seconds here.
  *pvtime = ToDate(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
  return TRUE;
}
