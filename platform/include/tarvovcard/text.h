// The text helpers every layer shares: views of BSTRs and setter arguments,
// ASCII letter case, and UTF-8 <-> UTF-16 through the runtime's code-page
// functions. Header-only, so that any layer (the runtime's own sources
// included) can use it without a library of its own.
//
// The vCard-specific conversions (ANSI or UTF-8 by a value's CHARSET, other
// character sets, dates) build on these in coding/; the registry file keeps
// unpaired surrogates in its own lossless form and has its own coder.
#pragma once

#include <string>
#include <string_view>

#include "tarvovcard/platform/oleauto.h"
#include "tarvovcard/platform/winnls.h"

namespace tarvovcard {

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

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD. Throws
// std::bad_alloc when memory runs out.
inline std::string ToUtf8(std::u16string_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string result(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), length, result.data(), size, nullptr, nullptr);
  return result;
}

// UTF-8 to UTF-16; malformed bytes become U+FFFD. Throws std::bad_alloc when
// memory runs out.
inline std::u16string FromUtf8(std::string_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  if (size <= 0) return {};
  std::u16string result(static_cast<std::size_t>(size), u'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), length, result.data(), size);
  return result;
}

}  // namespace tarvovcard
