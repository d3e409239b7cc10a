#include "coding/codecs.h"

#include <array>
#include <cstdint>

namespace tarvovcard::coding {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Characters written as themselves by the Quoted-Printable encoder: TAB and the
// printable ASCII characters other than !"#$=@[\]^`{|}~.
constexpr std::string_view kQuotedPrintableLiterals =
    "\t %&'()*+,-./0123456789:;<>?ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";

// Longest run of encoded characters on one Quoted-Printable line, not counting
// the "=" of the soft break that ends it.
constexpr std::size_t kQuotedPrintableLineWidth = 76;

constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::string_view kBase64Indent = "    ";
// Groups of three bytes (four characters) per Base64 line: 68 characters.
constexpr std::size_t kBase64GroupsPerLine = 17;

// Width of each byte in Quoted-Printable output: 1 for a literal, 3 for "=XX".
constexpr std::array<std::uint8_t, 256> kQuotedPrintableWidth = [] {
  std::array<std::uint8_t, 256> widths{};
  widths.fill(3);
  for (char c : kQuotedPrintableLiterals) widths[static_cast<unsigned char>(c)] = 1;
  return widths;
}();

// Value of an upper-case hex digit, or -1: "=3d" is not an escape.
constexpr std::array<std::int8_t, 256> kHexValue = [] {
  std::array<std::int8_t, 256> values{};
  values.fill(-1);
  for (int i = 0; i < 16; ++i) values[static_cast<unsigned char>(kHexDigits[i])] = i;
  return values;
}();

// What the Quoted-Printable decoder does with a byte outside an escape.
enum QuotedPrintableClass : std::uint8_t { kCopy, kEscape, kEndOfValue, kDrop };
constexpr std::array<std::uint8_t, 256> kQuotedPrintableClass = [] {
  std::array<std::uint8_t, 256> classes{};
  classes.fill(kCopy);
  classes['='] = kEscape;
  classes['\n'] = kEndOfValue;
  classes[0xFF] = kDrop;
  return classes;
}();

// The 6-bit value of each Base64 character; negative for every byte that the
// decoder skips (white space, the "=" padding, anything else).
constexpr std::array<std::int16_t, 256> kBase64Value = [] {
  std::array<std::int16_t, 256> values{};
  values.fill(-1);
  for (std::size_t i = 0; i < kBase64Alphabet.size(); ++i)
    values[static_cast<unsigned char>(kBase64Alphabet[i])] = static_cast<std::int16_t>(i);
  return values;
}();

}  // namespace

std::string DecodeQuotedPrintable(std::string_view text) {
  // Decoding never lengthens the text, so the result is written in place into
  // a buffer of the input's size and cut to length at the end.
  std::string result(text.size(), '\0');
  char* out = result.data();
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = in + text.size();

  while (in != end) {
    const unsigned char c = *in++;
    const std::uint8_t kind = kQuotedPrintableClass[c];
    if (kind == kCopy) {
      *out++ = static_cast<char>(c);
      continue;
    }
    if (kind == kDrop) continue;
    if (kind == kEndOfValue) break;
    // Fast path: a well-formed escape "=XX".
    if (end - in >= 2) {
      const int high = kHexValue[in[0]];
      const int low = kHexValue[in[1]];
      if ((high | low) >= 0) {
        *out++ = static_cast<char>(high << 4 | low);
        in += 2;
        continue;
      }
    }
    // An escape: up to two hex digits; the first byte that is not one ends the
    // escape and is consumed with it.
    int digits = 0;
    unsigned value = 0;
    bool soft_break = false;
    while (digits < 2 && in != end) {
      const unsigned char next = *in++;
      // A soft line break inside the escape ("=" LF "D0", "=D" "=" LF "0"),
      // as phones write it, joins the escape like any other line.
      if (next == '=' && in != end && *in == '\n') {
        ++in;
        continue;
      }
      const int digit = kHexValue[next];
      if (digit < 0) {
        soft_break = digits == 0 && next == '\n';
        break;
      }
      value = value * 16 + static_cast<unsigned>(digit);
      ++digits;
    }
    if (digits == 2) {
      *out++ = static_cast<char>(value);
    } else if (digits == 1) {
      *out++ = '=';
    } else if (!soft_break) {
      break;  // "=" followed by neither a hex digit nor a LF, or by nothing
    }
  }
  result.resize(static_cast<std::size_t>(out - result.data()));
  return result;
}

std::string EncodeQuotedPrintable(std::string_view data, bool component) {
  // Written into a buffer sized for the worst case (every byte escaped; a
  // soft break after at least 74 columns), then cut to length.
  const std::size_t worst = 3 * data.size();
  std::string result(worst + 2 * (worst / (kQuotedPrintableLineWidth - 2) + 1), '\0');
  char* out = result.data();
  std::size_t column = 0;
  for (const unsigned char c : data) {
    const std::size_t width = component && c == ';' ? 3 : kQuotedPrintableWidth[c];
    if (column + width > kQuotedPrintableLineWidth) {
      *out++ = '=';
      *out++ = '\n';
      column = 0;
    }
    if (width == 1) {
      *out++ = static_cast<char>(c);
    } else {
      *out++ = '=';
      *out++ = kHexDigits[c >> 4];
      *out++ = kHexDigits[c & 0x0F];
    }
    column += width;
  }
  result.resize(static_cast<std::size_t>(out - result.data()));
  return result;
}

void DecodeBase64(std::string_view text, std::vector<unsigned char>& bytes) {
  bytes.clear();
  // n characters give at most 6n/8 bytes; the vector is cut to length at the end.
  bytes.resize(text.size() / 4 * 3 + 3);
  unsigned char* out = bytes.data();
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = in + text.size();

  std::uint32_t sextets = 0;  // the characters of the group read so far
  int count = 0;              // how many: 0..3
  while (in != end) {
    // Fast path: a whole group of four alphabet characters at a group start,
    // which is nearly every group of a well-formed value.
    if (count == 0 && end - in >= 4) {
      const int a = kBase64Value[in[0]];
      const int b = kBase64Value[in[1]];
      const int c = kBase64Value[in[2]];
      const int d = kBase64Value[in[3]];
      if ((a | b | c | d) >= 0) {
        const auto group = static_cast<std::uint32_t>(a << 18 | b << 12 | c << 6 | d);
        *out++ = static_cast<unsigned char>(group >> 16);
        *out++ = static_cast<unsigned char>(group >> 8);
        *out++ = static_cast<unsigned char>(group);
        in += 4;
        continue;
      }
    }
    const int v = kBase64Value[*in++];
    if (v < 0) continue;  // skipped: neither ends the value nor breaks the group
    sextets = sextets << 6 | static_cast<std::uint32_t>(v);
    if (++count == 4) {
      *out++ = static_cast<unsigned char>(sextets >> 16);
      *out++ = static_cast<unsigned char>(sextets >> 8);
      *out++ = static_cast<unsigned char>(sextets);
      sextets = 0;
      count = 0;
    }
  }
  // A partial group gives its whole bytes; the bits left over are dropped.
  if (count == 2) {
    *out++ = static_cast<unsigned char>(sextets >> 4);
  } else if (count == 3) {
    *out++ = static_cast<unsigned char>(sextets >> 10);
    *out++ = static_cast<unsigned char>(sextets >> 2);
  }
  bytes.resize(static_cast<std::size_t>(out - bytes.data()));
}

std::string EncodeBase64(std::span<const unsigned char> bytes) {
  const std::size_t groups = (bytes.size() + 2) / 3;
  const std::size_t line_breaks = groups == 0 ? 0 : (groups - 1) / kBase64GroupsPerLine;
  std::string result(kBase64Indent.size() + 4 * groups + line_breaks * (1 + kBase64Indent.size()),
                     '\0');
  char* out = result.data();
  out += kBase64Indent.copy(out, kBase64Indent.size());

  const unsigned char* in = bytes.data();
  const unsigned char* const end = in + bytes.size();
  std::size_t on_line = 0;
  auto start_group = [&] {
    if (on_line == kBase64GroupsPerLine) {
      *out++ = '\n';
      out += kBase64Indent.copy(out, kBase64Indent.size());
      on_line = 0;
    }
    ++on_line;
  };
  for (; end - in >= 3; in += 3) {
    start_group();
    const std::uint32_t group = std::uint32_t{in[0]} << 16 | std::uint32_t{in[1]} << 8 | in[2];
    *out++ = kBase64Alphabet[group >> 18];
    *out++ = kBase64Alphabet[(group >> 12) & 0x3F];
    *out++ = kBase64Alphabet[(group >> 6) & 0x3F];
    *out++ = kBase64Alphabet[group & 0x3F];
  }
  if (in != end) {
    // One or two bytes left: padded to four characters with "=".
    start_group();
    const bool two = end - in == 2;
    const std::uint32_t group = std::uint32_t{in[0]} << 16 | (two ? std::uint32_t{in[1]} << 8 : 0);
    *out++ = kBase64Alphabet[group >> 18];
    *out++ = kBase64Alphabet[(group >> 12) & 0x3F];
    *out++ = two ? kBase64Alphabet[(group >> 6) & 0x3F] : '=';
    *out++ = '=';
  }
  return result;
}

std::string EncodeBase64(std::string_view bytes) {
  return EncodeBase64(std::span<const unsigned char>(
      reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
}

}  // namespace tarvovcard::coding
