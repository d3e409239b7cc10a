#include "coding/charsets.h"

#include <iconv.h>

#include <bit>
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

std::string WideToCharset(BSTR text, std::string_view name, bool* lossless) {
  iconv_t cd = from_wide.Get(kWide, name);
  if (cd == reinterpret_cast<iconv_t>(-1)) _com_issue_error(E_INVALIDARG);
  if (lossless) *lossless = true;
  std::size_t units = text ? std::char_traits<char16_t>::length(text) : 0;
  // Four bytes per unit covers every multi-byte set with its shifts.
  std::string out(4 * units + 8, '\0');
  char* in = reinterpret_cast<char*>(text);
  std::size_t in_left = units * sizeof(char16_t);
  char* put = out.data();
  std::size_t out_left = out.size();
  while (in_left > 0) {
    if (iconv(cd, &in, &in_left, &put, &out_left) != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG || out_left == 0) break;
    // A character the set lacks (or half a surrogate pair): "?" for it.
    if (lossless) *lossless = false;
    *put++ = '?';
    --out_left;
    std::size_t skip = in_left >= 4 && (reinterpret_cast<char16_t*>(in)[0] & 0xFC00) == 0xD800 &&
                               (reinterpret_cast<char16_t*>(in)[1] & 0xFC00) == 0xDC00
                           ? 4
                           : 2;
    in += skip;
    in_left -= skip < in_left ? skip : in_left;
  }
  iconv(cd, nullptr, nullptr, &put, &out_left);
  out.resize(static_cast<std::size_t>(put - out.data()));
  return out;
}

}  // namespace tarvovcard::coding
