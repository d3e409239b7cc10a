#include "coding/charsets.h"

#include <iconv.h>

#include <bit>
#include <bitset>
#include <cerrno>
#include <cstring>
#include <vector>

namespace tarvovcard::coding {
namespace {

constexpr const char* kWide = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

// One open converter, kept while the next conversion names the same set and
// direction. iconv_t is not shareable between threads; each thread has its own.
class Converter {
 public:
  ~Converter() { Close(); }

  // The converter from `from` to `to`, or (iconv_t)-1 when iconv has none.
  iconv_t Get(std::string_view from, std::string_view to) {
    if (cd_ != kNone && from == from_ && to == to_) {
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
      return cd_;
    }
    Close();
    from_.assign(from);
    to_.assign(to);
    cd_ = iconv_open(to_.c_str(), from_.c_str());
    if (cd_ == kNone) from_.clear();
    return cd_;
  }

 private:
  static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);
  void Close() {
    if (cd_ != kNone) iconv_close(cd_);
    cd_ = kNone;
  }
  iconv_t cd_ = kNone;
  std::string from_, to_;
};

thread_local Converter to_wide;
thread_local Converter from_wide;

}  // namespace

bool KnowsCharset(std::string_view name) {
  return !name.empty() && to_wide.Get(name, kWide) != reinterpret_cast<iconv_t>(-1);
}

CComBSTR CharsetToWide(const char* text, std::string_view name) {
  iconv_t cd = to_wide.Get(name, kWide);
  if (cd == reinterpret_cast<iconv_t>(-1)) _com_issue_error(E_INVALIDARG);
  std::size_t length = std::strlen(text);
  // No set that iconv knows gives more UTF-16 units than it had bytes, but a
  // replacement character may stand for one byte: room for two per byte.
  std::vector<char16_t> out(2 * length + 2);
  char* in = const_cast<char*>(text);
  std::size_t in_left = length;
  char* put = reinterpret_cast<char*>(out.data());
  std::size_t out_left = out.size() * sizeof(char16_t);
  while (in_left > 0) {
    if (iconv(cd, &in, &in_left, &put, &out_left) != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) break;  // cannot happen with the room above
    // EILSEQ: a byte the set does not define; EINVAL: a sequence cut off at
    // the end. Either becomes one replacement character.
    if (out_left < sizeof(char16_t)) break;
    const char16_t replacement = u'\uFFFD';
    std::memcpy(put, &replacement, sizeof replacement);
    put += sizeof replacement;
    out_left -= sizeof replacement;
    ++in;
    --in_left;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv(cd, nullptr, nullptr, &put, &out_left);  // the closing shift, if any
  auto units = static_cast<UINT>((reinterpret_cast<char16_t*>(put) - out.data()));
  CComBSTR result(out.data(), units);
  if (!result) _com_issue_error(E_OUTOFMEMORY);
  return result;
}

namespace {

constexpr std::size_t kFailed = static_cast<std::size_t>(-1);

// The ASCII characters that the set reads back as themselves from their own
// byte: all of them in the ASCII-compatible sets, all but "+" in UTF-7, none
// in UTF-16. Those are written as themselves, so that the line feeds, "=" and
// ";" of a value keep their meaning in the file whatever the set would make of
// them (UTF-7 writes "=" as "+AD0-", which breaks a soft line break).
class DirectAscii {
 public:
  const std::bitset<128>& For(std::string_view name) {
    if (name != name_) {
      name_.assign(name);
      direct_.reset();
      iconv_t cd = iconv_open(kWide, name_.c_str());
      if (cd != reinterpret_cast<iconv_t>(-1)) {
        for (int c = 1; c < 128; ++c) {
          char byte = static_cast<char>(c);
          char* in = &byte;
          std::size_t in_left = 1;
          char16_t unit = 0;
          char* put = reinterpret_cast<char*>(&unit);
          std::size_t out_left = sizeof unit;
          iconv(cd, nullptr, nullptr, nullptr, nullptr);
          if (iconv(cd, &in, &in_left, &put, &out_left) != kFailed && out_left == 0 && unit == c) {
            direct_.set(static_cast<std::size_t>(c));
          }
        }
        iconv_close(cd);
      }
    }
    return direct_;
  }

 private:
  std::string name_;
  std::bitset<128> direct_;
};

thread_local DirectAscii direct_ascii;

// Converts `count` units through `cd` and appends the bytes, then the shift
// back to the set's initial state. A character the set lacks (or half a
// surrogate pair) becomes "?" and clears *lossless. The output grows as it
// must: a stateful set may need many bytes for a few units.
void AppendConverted(iconv_t cd, const char16_t* units, std::size_t count, std::string& out,
                     bool* lossless) {
  char* in = reinterpret_cast<char*>(const_cast<char16_t*>(units));
  std::size_t in_left = count * sizeof(char16_t);
  char chunk[256];
  for (;;) {
    char* put = chunk;
    std::size_t out_left = sizeof chunk;
    const bool flushing = in_left == 0;
    const std::size_t result = flushing ? iconv(cd, nullptr, nullptr, &put, &out_left)
                                        : iconv(cd, &in, &in_left, &put, &out_left);
    const int error = errno;
    out.append(chunk, static_cast<std::size_t>(put - chunk));
    if (result != kFailed) {
      if (flushing) return;
      continue;
    }
    if (error == E2BIG) continue;
    if (flushing) return;
    if (lossless) *lossless = false;
    // The replacement in the set's own form, after the shift back.
    put = chunk;
    out_left = sizeof chunk;
    iconv(cd, nullptr, nullptr, &put, &out_left);
    char16_t question = u'?';
    char* question_in = reinterpret_cast<char*>(&question);
    std::size_t question_left = sizeof question;
    if (iconv(cd, &question_in, &question_left, &put, &out_left) == kFailed) *put++ = '?';
    out.append(chunk, static_cast<std::size_t>(put - chunk));
    const auto* at = reinterpret_cast<const char16_t*>(in);
    const std::size_t skip =
        in_left >= 4 && (at[0] & 0xFC00) == 0xD800 && (at[1] & 0xFC00) == 0xDC00 ? 4 : 2;
    in += skip < in_left ? skip : in_left;
    in_left -= skip < in_left ? skip : in_left;
  }
}

}  // namespace

std::string WideToCharset(BSTR text, std::string_view name, bool* lossless) {
  iconv_t cd = from_wide.Get(kWide, name);
  if (cd == reinterpret_cast<iconv_t>(-1)) _com_issue_error(E_INVALIDARG);
  const std::bitset<128>& direct = direct_ascii.For(name);
  if (lossless) *lossless = true;
  const std::size_t units = text ? std::char_traits<char16_t>::length(text) : 0;
  auto is_direct = [&](char16_t unit) { return unit < 128 && direct[unit]; };
  try {
    std::string out;
    out.reserve(units + 8);
    for (std::size_t i = 0; i < units;) {
      if (is_direct(text[i])) {
        out.push_back(static_cast<char>(text[i++]));
        continue;
      }
      std::size_t end = i + 1;
      while (end < units && !is_direct(text[end])) ++end;
      AppendConverted(cd, text + i, end - i, out, lossless);
      i = end;
    }
    return out;
  } catch (const std::bad_alloc&) {
    _com_issue_error(E_OUTOFMEMORY);
  }
}

}  // namespace tarvovcard::coding
