// Text helpers shared by every layer: views of BSTRs and setter arguments,
// and ASCII letter case. (Character-set conversions are in
// coding/conversions.h and coding/charsets.h.)
#pragma once

#include <string_view>

#include "tarvovcard/platform/atlbase.h"

namespace tarvovcard::coding {

// A view of a BSTR (a null BSTR is the empty string).
inline std::u16string_view BstrView(BSTR s) noexcept {
  return s ? std::u16string_view(s, SysStringLen(s)) : std::u16string_view();
}

// The text of a setter argument: up to the first NUL (a null string is empty).
inline std::u16string_view ArgumentView(const OLECHAR* s) noexcept {
  return s ? std::u16string_view(s) : std::u16string_view();
}

constexpr char UpperAscii(char c) noexcept {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr char16_t UpperAscii(char16_t c) noexcept {
  return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// Equality ignoring the case of ASCII letters, of 8-bit or of UTF-16 text.
template <class Char>
constexpr bool EqualsIgnoreAsciiCase(std::basic_string_view<Char> a,
                                     std::basic_string_view<Char> b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}
inline bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) noexcept {
  return EqualsIgnoreAsciiCase<char>(a, b);
}
inline bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b) noexcept {
  return EqualsIgnoreAsciiCase<char16_t>(a, b);
}

}  // namespace tarvovcard::coding
