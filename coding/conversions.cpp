#include "coding/conversions.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <vector>

#include "tarvovcard/platform/oleauto.h"
#include "tarvovcard/platform/winnls.h"

namespace tarvovcard::coding {
namespace {

// The status for a failed platform conversion: the last error as an
// operating-system status, a failure even when no error number was set.
HRESULT LastErrorStatus() {
  return static_cast<HRESULT>(0x80070000u | (GetLastError() & 0xFFFFu));
}

// The length of text in UTF-16 units up to its first NUL, at most `limit`.
std::size_t WideLength(const OLECHAR* text, std::size_t limit) {
  std::size_t n = 0;
  while (n < limit && text[n] != u'\0') ++n;
  return n;
}

CComBSTR AnsiToWide(const char* text, std::size_t length) {
  // The ANSI code page has one byte per character, so the string is allocated
  // at its final size and converted in place, terminator included.
  CComBSTR result(nullptr, static_cast<UINT>(length));
  const int written =
      MultiByteToWideChar(CP_ACP, 0, text, -1, result.m_str, static_cast<int>(length) + 1);
  if (written == 0) return CComBSTR(u"");  // a failed conversion leaves empty text
  if (static_cast<std::size_t>(written) != length + 1)
    return CComBSTR(result.m_str, static_cast<UINT>(written - 1));
  return result;
}

std::string WideToAnsi(const OLECHAR* text, std::size_t length) {
  // Room for two bytes per unit, the most any 8-bit code page needs.
  std::string result(2 * length + 1, '\0');
  const int written = WideCharToMultiByte(CP_ACP, 0, text, -1, result.data(),
                                          static_cast<int>(result.size() + 1), nullptr, nullptr);
  if (written == 0) _com_issue_error(LastErrorStatus());
  result.resize(static_cast<std::size_t>(written - 1));
  return result;
}

// Date text is normalised in a buffer of UTF-16 units that has room for the at
// most four dashes and colons inserted. An insertion past the end of the text
// fails, which makes the text unreadable.
class DateTextBuffer {
 public:
  DateTextBuffer(char16_t* units, std::size_t length) : units_(units), length_(length) {}

  std::size_t length() const { return length_; }
  const char16_t* c_str() const { return units_; }

  std::size_t Find(char16_t c) const {
    const char16_t* found = std::find(units_, units_ + length_, c);
    return static_cast<std::size_t>(found - units_);  // length() when absent
  }
  bool Contains(char16_t c) const { return Find(c) != length_; }
  bool ContainsFrom(std::size_t from, char16_t c) const {
    return from < length_ && std::find(units_ + from, units_ + length_, c) != units_ + length_;
  }
  // Inserts c at `index`; false when `index` lies beyond the end of the text.
  [[nodiscard]] bool Insert(std::size_t index, char16_t c) {
    if (index > length_) return false;
    std::memmove(units_ + index + 1, units_ + index, (length_ - index + 1) * sizeof(char16_t));
    units_[index] = c;
    ++length_;
    return true;
  }
  // Replaces the first c by a space when it stands after `after`.
  void BlankFirstAfter(char16_t c, std::size_t after) {
    const std::size_t index = Find(c);
    if (index != length_ && index > after) units_[index] = u' ';
  }

 private:
  char16_t* units_;
  std::size_t length_;
};

// Puts dashes and colons into the basic forms (19960415, 19960415T083000) and
// blanks the "T", the zone designator and the offset sign, so that the
// platform's parser sees 1996-04-15 or 1996-04-15 08:30:00 followed by what
// remains of a zone. False when an insertion falls outside the text.
bool NormaliseDateText(DateTextBuffer& text) {
  if (text.length() == 0) return true;
  // Only a dash within the eight characters of a basic date says that the
  // date already has its dashes: the sign of a zone offset after the time
  // (19960415T083000-0500) does not, or the date would stay unreadable and be
  // lost when the card is written back.
  if (text.Find(u'-') >= 8) {
    if (!text.Insert(4, u'-') || !text.Insert(7, u'-')) return false;
  }
  if (text.length() > 10) {
    text.BlankFirstAfter(u'T', 0);
    if (!text.ContainsFrom(10, u':')) {
      if (!text.Insert(13, u':') || !text.Insert(16, u':')) return false;
    }
    text.BlankFirstAfter(u',', 10);
    text.BlankFirstAfter(u'Z', 10);
    text.BlankFirstAfter(u'+', 10);
    text.BlankFirstAfter(u'-', 10);
  }
  return true;
}

DATE ParseNormalisedDate(DateTextBuffer& text) {
  if (!NormaliseDateText(text)) return kInvalidDate;
  DATE date = 0;
  if (FAILED(VarDateFromStr(text.c_str(), LOCALE_USER_DEFAULT, 0, &date))) return kInvalidDate;
  return date;
}

// Day of the week (0 = Sunday) of a date in the proleptic Gregorian calendar.
int DayOfWeek(int year, int month, int day) {
  static constexpr int kMonthOffset[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) --year;
  return (year + year / 4 - year / 100 + year / 400 + kMonthOffset[month - 1] + day) % 7;
}

// Day of the year, 0 for 1 January.
int DayOfYear(int year, int month, int day) {
  static constexpr int kDaysBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return kDaysBefore[month - 1] + (leap && month > 2 ? 1 : 0) + day - 1;
}

}  // namespace

CComBSTR NarrowToWide(const char* text, bool utf8) {
  if (text == nullptr) text = "";
  const std::size_t length = std::strlen(text);
  // Most file text is ASCII, which both code pages map to the same code
  // points: it is widened byte by byte, without the platform's conversion.
  unsigned char high = 0;
  for (std::size_t i = 0; i < length; ++i) high |= static_cast<unsigned char>(text[i]);
  if (high < 0x80) {
    CComBSTR result(nullptr, static_cast<UINT>(length));
    for (std::size_t i = 0; i < length; ++i) result.m_str[i] = static_cast<OLECHAR>(text[i]);
    return result;
  }
  if (utf8) {
    const int needed = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (needed > 0) {
      CComBSTR result(nullptr, static_cast<UINT>(needed - 1));
      const int written = MultiByteToWideChar(CP_UTF8, 0, text, -1, result.m_str, needed);
      if (written == needed) return result;
      if (written > 0) return CComBSTR(result.m_str, static_cast<UINT>(written - 1));
    }
    // Not even a lenient conversion worked: read the bytes as ANSI instead.
  }
  return AnsiToWide(text, length);
}

std::string WideToNarrow(BSTR text, bool utf8) {
  if (text == nullptr) return {};
  try {
    const std::size_t length = WideLength(text, SysStringLen(text));
    if (utf8) {
      const int needed = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
      if (needed > 0) {
        std::string result(static_cast<std::size_t>(needed - 1), '\0');
        const int written =
            WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), needed, nullptr, nullptr);
        if (written > 0) {
          result.resize(static_cast<std::size_t>(written - 1));
          return result;
        }
      }
      // Fall back to the ANSI code page, which cannot fail for want of room.
    }
    return WideToAnsi(text, length);
  } catch (const std::bad_alloc&) {
    _com_issue_error(E_OUTOFMEMORY);
  }
}

std::string WideViewToAnsi(std::u16string_view text) {
  const std::size_t length = WideLength(text.data(), text.size());
  if (length == 0) return {};
  try {
    // Room for two bytes per unit, the most any 8-bit code page needs.
    std::string result(2 * length, '\0');
    const int written =
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(length), result.data(),
                            static_cast<int>(result.size()), nullptr, nullptr);
    if (written == 0) _com_issue_error(LastErrorStatus());
    result.resize(static_cast<std::size_t>(written));
    return result;
  } catch (const std::bad_alloc&) {
    _com_issue_error(E_OUTOFMEMORY);
  }
}

DATE ParseDateText(const char* text) noexcept {
  if (text == nullptr) text = "";
  // Room for the text, up to four insertions and the terminator. Date text is
  // short; longer text (padding, garbage) goes to the heap.
  constexpr std::size_t kSpare = 4 + 1;
  constexpr std::size_t kLocalUnits = 128;
  const std::size_t length = std::strlen(text);

  char16_t local[kLocalUnits];
  std::vector<char16_t> heap;
  char16_t* units = local;
  if (length + kSpare > kLocalUnits) {
    try {
      heap.resize(length + kSpare);
    } catch (const std::bad_alloc&) {
      return kInvalidDate;  // no date is that long
    }
    units = heap.data();
  }
  // The ANSI code page has one byte per character, so indexes in the wide text
  // are those of the file text. A failed conversion leaves empty text.
  int written = MultiByteToWideChar(CP_ACP, 0, text, -1, units, static_cast<int>(length + 1));
  if (written <= 0) {
    units[0] = u'\0';
    written = 1;
  }
  DateTextBuffer buffer(units, static_cast<std::size_t>(written - 1));
  return ParseNormalisedDate(buffer);
}

std::string FormatDateText(DATE date, const char* pattern) {
  if (pattern == nullptr || !IsValidDate(date)) return {};
  SYSTEMTIME fields{};
  if (!VariantTimeToSystemTime(date, &fields)) return {};

  // The broken-down time is filled and completed here rather than by mktime,
  // which would read the fields as local time and move an hour that a
  // daylight-saving change skips. tm_isdst stays unknown and the zone unset.
  std::tm time{};
  time.tm_year = fields.wYear - 1900;
  time.tm_mon = fields.wMonth - 1;
  time.tm_mday = fields.wDay;
  time.tm_hour = fields.wHour;
  time.tm_min = fields.wMinute;
  time.tm_sec = fields.wSecond;
  time.tm_wday = DayOfWeek(fields.wYear, fields.wMonth, fields.wDay);
  time.tm_yday = DayOfYear(fields.wYear, fields.wMonth, fields.wDay);
  time.tm_isdst = -1;

  // strftime prints years below 1000 with fewer than four digits, and such a
  // text would read back as another date; the year is put in with four digits.
  std::string four_digit_year_pattern;
  for (const char* p = pattern; *p; ++p) {
    if (p[0] == '%' && p[1] == 'Y') {
      char year[8];
      std::snprintf(year, sizeof year, "%04u", static_cast<unsigned>(fields.wYear));
      four_digit_year_pattern += year;
      ++p;
    } else if (p[0] == '%' && p[1] != '\0') {
      four_digit_year_pattern.append(p, 2);
      ++p;
    } else {
      four_digit_year_pattern += *p;
    }
  }

  char text[4096];
  const std::size_t length =
      std::strftime(text, sizeof text, four_digit_year_pattern.c_str(), &time);
  return std::string(text, length);
}

}  // namespace tarvovcard::coding
