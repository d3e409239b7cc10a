// Code-page conversion between 8-bit text and UTF-16.
//
// CP_ACP is Windows-1252 whatever the locale. Its five undefined bytes (0x81,
// 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control characters of the same value
// and back, so every byte survives a round trip. CP_UTF8 replaces each
// maximal malformed subsequence of the input with U+FFFD, and an unpaired
// surrogate with U+FFFD when encoding.
//
// Both directions share one shape: count or write, one code point at a time,
// with a word-at-a-time pass over ASCII runs (the reader converts millions of
// short strings, almost all ASCII). The writer stops at the end of the output
// and reports ERROR_INSUFFICIENT_BUFFER; what it has written stays.
#include <climits>
#include <cstdint>
#include <cstring>

#include "tarvovcard/platform/winnls.h"

namespace {

// Windows-1252 bytes 0x80..0x9F.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98
};

char16_t AnsiToWide(unsigned char b) {
  return b >= 0x80 && b < 0xA0 ? kHighControls[b - 0x80] : static_cast<char16_t>(b);
}

// The Windows-1252 byte for a UTF-16 unit, or -1 when there is none.
int WideToAnsi(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
  for (int i = 0; i < 32; ++i)
    if (kHighControls[i] == c) return 0x80 + i;
  return -1;
}

constexpr char16_t kReplacement = 0xFFFD;

int Fail(DWORD error) {
  SetLastError(error);
  return 0;
}

// True when the 8 bytes at p are all ASCII.
bool AsciiWord(const unsigned char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return (word & 0x8080808080808080ull) == 0;
}

// Collects output units, either counting them (no buffer) or writing them.
// Counting never fails; the total is checked against the int range at the end.
template <class Unit>
class Sink {
 public:
  Sink(Unit* out, int capacity) : out_(out), capacity_(out ? capacity : 0) {}
  // False when the output is full.
  bool Put(Unit c) {
    if (out_) {
      if (n_ >= capacity_) return false;
      out_[n_] = c;
    }
    ++n_;
    return true;
  }
  // Room for k more units (always, when counting).
  bool Room(int k) const { return !out_ || capacity_ - n_ >= k; }
  Unit* Cursor() const { return out_ + n_; }
  void Advance(int k) { n_ += k; }
  bool Counting() const { return !out_; }
  std::int64_t Count() const { return n_; }

 private:
  Unit* out_;
  std::int64_t capacity_;
  std::int64_t n_ = 0;
};
using WideSink = Sink<char16_t>;
using ByteSink = Sink<char>;

// Copies an ASCII run from in[*i] as long as whole words are ASCII.
template <class Unit>
void CopyAsciiRun(const unsigned char* in, int length, int* i, Sink<Unit>& sink) {
  while (length - *i >= 8 && AsciiWord(in + *i) && sink.Room(8)) {
    if (!sink.Counting()) {
      Unit* out = sink.Cursor();
      for (int k = 0; k < 8; ++k) out[k] = static_cast<Unit>(in[*i + k]);
    }
    sink.Advance(8);
    *i += 8;
  }
}

bool DecodeAnsi(const unsigned char* in, int length, WideSink& sink) {
  for (int i = 0; i < length;) {
    CopyAsciiRun(in, length, &i, sink);
    if (i >= length) break;
    if (!sink.Put(AnsiToWide(in[i]))) return false;
    ++i;
  }
  return true;
}

bool IsContinuation(unsigned char b) {
  return (b & 0xC0) == 0x80;
}

bool DecodeUtf8(const unsigned char* in, int length, WideSink& sink) {
  for (int i = 0; i < length;) {
    CopyAsciiRun(in, length, &i, sink);
    if (i >= length) break;
    const unsigned char lead = in[i];
    if (lead < 0x80) {
      if (!sink.Put(lead)) return false;
      ++i;
      continue;
    }
    // The number of continuation bytes and the range allowed for the first
    // one, which rules out overlong forms, surrogates and values above
    // U+10FFFF.
    int extra = 0;
    unsigned char low = 0x80, high = 0xBF;
    char32_t cp = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1;
      cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2;
      cp = lead & 0x0F;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
      cp = lead & 0x07;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      // A stray continuation byte or a lead byte that is never valid.
      if (!sink.Put(kReplacement)) return false;
      ++i;
      continue;
    }
    int j = i + 1;
    bool complete = true;
    for (int k = 0; k < extra; ++k, ++j) {
      if (j >= length) {
        complete = false;
        break;
      }
      const unsigned char b = in[j];
      if (k == 0 ? (b < low || b > high) : !IsContinuation(b)) {
        complete = false;
        break;
      }
      cp = (cp << 6) | (b & 0x3F);
    }
    // A malformed sequence is replaced as a whole up to the byte that broke
    // it, which is then read afresh.
    i = j;
    if (!complete) {
      if (!sink.Put(kReplacement)) return false;
    } else if (cp >= 0x10000) {
      cp -= 0x10000;
      if (!sink.Put(static_cast<char16_t>(0xD800 + (cp >> 10))) ||
          !sink.Put(static_cast<char16_t>(0xDC00 + (cp & 0x3FF))))
        return false;
    } else if (!sink.Put(static_cast<char16_t>(cp))) {
      return false;
    }
  }
  return true;
}

bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// True when the 4 units at p are all ASCII.
bool AsciiUnits(const char16_t* p) {
  return ((p[0] | p[1] | p[2] | p[3]) & 0xFF80) == 0;
}

void CopyAsciiUnits(const char16_t* in, int length, int* i, ByteSink& sink) {
  while (length - *i >= 4 && AsciiUnits(in + *i) && sink.Room(4)) {
    if (!sink.Counting()) {
      char* out = sink.Cursor();
      for (int k = 0; k < 4; ++k) out[k] = static_cast<char>(in[*i + k]);
    }
    sink.Advance(4);
    *i += 4;
  }
}

bool EncodeAnsi(const char16_t* in, int length, char default_char, BOOL* used_default,
                ByteSink& sink) {
  for (int i = 0; i < length;) {
    CopyAsciiUnits(in, length, &i, sink);
    if (i >= length) break;
    const char16_t c = in[i++];
    const int b = WideToAnsi(c);
    if (b >= 0) {
      if (!sink.Put(static_cast<char>(b))) return false;
      continue;
    }
    // A surrogate pair is one character and gets one default character.
    if (IsHighSurrogate(c) && i < length && IsLowSurrogate(in[i])) ++i;
    if (used_default) *used_default = TRUE;
    if (!sink.Put(default_char)) return false;
  }
  return true;
}

bool EncodeUtf8(const char16_t* in, int length, ByteSink& sink) {
  for (int i = 0; i < length;) {
    CopyAsciiUnits(in, length, &i, sink);
    if (i >= length) break;
    char32_t cp = in[i++];
    if (cp < 0x80) {
      if (!sink.Put(static_cast<char>(cp))) return false;
      continue;
    }
    if (IsHighSurrogate(cp) && i < length && IsLowSurrogate(in[i])) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i++] - 0xDC00);
    } else if (IsHighSurrogate(cp) || IsLowSurrogate(cp)) {
      cp = kReplacement;
    }
    char bytes[4];
    int n;
    if (cp < 0x800) {
      bytes[0] = static_cast<char>(0xC0 | (cp >> 6));
      n = 1;
    } else if (cp < 0x10000) {
      bytes[0] = static_cast<char>(0xE0 | (cp >> 12));
      bytes[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      n = 2;
    } else {
      bytes[0] = static_cast<char>(0xF0 | (cp >> 18));
      bytes[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      n = 3;
    }
    bytes[n++] = static_cast<char>(0x80 | (cp & 0x3F));
    // A character is written whole or not at all.
    if (!sink.Room(n)) return false;
    for (int k = 0; k < n; ++k) sink.Put(bytes[k]);
  }
  return true;
}

// The result of a conversion: the count, or 0 with the reason.
int Finish(bool fitted, std::int64_t count) {
  if (!fitted) return Fail(ERROR_INSUFFICIENT_BUFFER);
  if (count > INT_MAX) return Fail(ERROR_INVALID_PARAMETER);
  return static_cast<int>(count);
}

int Utf16Length(LPCWSTR s) {
  const char16_t* p = s;
  while (*p) ++p;
  return static_cast<int>(p - s);
}

}  // namespace

int MultiByteToWideChar(UINT CodePage, DWORD /*dwFlags*/, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar) {
  if (!lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
      (!lpWideCharStr && cchWideChar != 0) ||
      (static_cast<const void*>(lpMultiByteStr) == static_cast<const void*>(lpWideCharStr)))
    return Fail(ERROR_INVALID_PARAMETER);
  if (CodePage != CP_ACP && CodePage != CP_UTF8) return Fail(ERROR_INVALID_PARAMETER);
  const int length =
      cbMultiByte == -1 ? static_cast<int>(std::strlen(lpMultiByteStr)) + 1 : cbMultiByte;
  const auto* in = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
  WideSink sink(cchWideChar ? lpWideCharStr : nullptr, cchWideChar);
  const bool ok = CodePage == CP_UTF8 ? DecodeUtf8(in, length, sink) : DecodeAnsi(in, length, sink);
  return Finish(ok, sink.Count());
}

int WideCharToMultiByte(UINT CodePage, DWORD /*dwFlags*/, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        BOOL* lpUsedDefaultChar) {
  if (!lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
      (!lpMultiByteStr && cbMultiByte != 0) ||
      (static_cast<const void*>(lpMultiByteStr) == static_cast<const void*>(lpWideCharStr)))
    return Fail(ERROR_INVALID_PARAMETER);
  if (CodePage == CP_UTF8) {
    if (lpDefaultChar || lpUsedDefaultChar) return Fail(ERROR_INVALID_PARAMETER);
  } else if (CodePage != CP_ACP) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const int length = cchWideChar == -1 ? Utf16Length(lpWideCharStr) + 1 : cchWideChar;
  if (lpUsedDefaultChar) *lpUsedDefaultChar = FALSE;
  ByteSink sink(cbMultiByte ? lpMultiByteStr : nullptr, cbMultiByte);
  const bool ok = CodePage == CP_UTF8
                      ? EncodeUtf8(lpWideCharStr, length, sink)
                      : EncodeAnsi(lpWideCharStr, length, lpDefaultChar ? *lpDefaultChar : '?',
                                   lpUsedDefaultChar, sink);
  return Finish(ok, sink.Count());
}
