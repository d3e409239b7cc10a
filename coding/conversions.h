// Character-set and date conversions between vCard file text and stored values.
//
// Values hold text as UTF-16 (BSTR) and dates as DATE; files carry 8-bit text,
// in the ANSI code page (Windows-1252 here) unless a value's CHARSET says
// "UTF-8". The text conversions go through the platform's code-page functions;
// the date conversions through its date parser and calendar break-down.
#pragma once

#include <string>
#include <string_view>

#include "tarvovcard/platform/atlbase.h"

namespace tarvovcard::coding {

// Marks a date that could not be read: one day below the valid range. It is
// stored like any other date and formats as empty text.
inline constexpr DATE kInvalidDate = -657435.0;
// The valid range of dates: 1 January 100 to 31 December 9999 00:00, inclusive.
inline constexpr DATE kMinValidDate = -657434.0;
inline constexpr DATE kMaxValidDate = 2958465.0;

// Converts NUL-terminated 8-bit text to UTF-16, from UTF-8 when `utf8` is set,
// else from the ANSI code page. A null pointer counts as empty text. Malformed
// UTF-8 is converted as well as the platform can (U+FFFD for what it cannot
// read); should the UTF-8 conversion fail outright, the text is read as ANSI.
// The result is never null (empty text gives an empty string) and belongs to
// the caller through the CComBSTR. Throws _com_error(E_OUTOFMEMORY) when the
// string cannot be allocated.
CComBSTR NarrowToWide(const char* text, bool utf8);

// Converts UTF-16 text, up to its first NUL, to 8-bit text: to UTF-8 when
// `utf8` is set, else to the ANSI code page, where characters the code page
// lacks become "?". A null string gives empty text. Should the UTF-8
// conversion fail, the text is converted to ANSI. Throws
// _com_error(0x80070000 | last error) when the ANSI conversion fails and
// _com_error(E_OUTOFMEMORY) when the result cannot be allocated.
std::string WideToNarrow(BSTR text, bool utf8);
// WideToNarrow(text, false) of text held in a view.
std::string WideViewToAnsi(std::u16string_view text);

// Reads the date text of a BDAY or REV value: the basic and extended forms
// 19960415, 1996-04-15, 19960415T083000, 1996-04-15T08:30:00, each with an
// optional "Z" (the clock time is kept as written: no zone arithmetic), and
// whatever else the platform's date parser reads once dashes and colons are
// put in and a zone designator or offset sign is blanked. Text that cannot be
// read, including text too short for those insertions (empty text, a lone LF,
// "1995", "19960415T08"), gives kInvalidDate. Never throws, and allocates only
// for text of more than a hundred characters.
DATE ParseDateText(const char* text) noexcept;

// Formats a date with a strftime pattern (the writers use "%Y%m%dT%H%M%S").
// The fields are printed exactly as stored, whatever the machine's time zone
// and daylight-saving rules; the zone conversions %z and %Z print nothing, and
// %s is meaningless. An invalid date, a null pattern, or a result that does
// not fit in 4095 characters gives empty text.
std::string FormatDateText(DATE date, const char* pattern);

// True when the date lies within kMinValidDate..kMaxValidDate (never for NaN).
constexpr bool IsValidDate(DATE date) noexcept {
  return date >= kMinValidDate && date <= kMaxValidDate;
}

}  // namespace tarvovcard::coding
