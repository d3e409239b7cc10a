#include "support/corpus.h"

#include <algorithm>
#include <array>

namespace tarvovcard::testing {
namespace {

// A small generator whose sequence is fixed by its seed on every platform
// (the standard distributions are not).
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }
  bool OneIn(int n) { return n > 0 && Below(n) == 0; }
  template <class T, std::size_t N>
  const T& Pick(const std::array<T, N>& items) {
    return items[static_cast<std::size_t>(Below(static_cast<int>(N)))];
  }

 private:
  std::uint64_t state_;
};

constexpr std::array<const char*, 8> kGiven = {"Anna", "Bernd", "Carla", "Dmitri",
                                               "Eve",  "Frank", "Gita",  "Hiro"};
constexpr std::array<const char*, 8> kFamily = {"Smith",    "Jones", "Okafor", "Larsen",
                                                "Nakamura", "Rossi", "Dubois", "Kowalski"};
// Raw Windows-1252 bytes, as many exporters write them without a CHARSET.
constexpr std::array<const char*, 3> kAnsiNames = {"M\xFCller", "Fran\xE7oise", "\xC5sa"};
// UTF-8, written with CHARSET=UTF-8.
constexpr std::array<const char*, 3> kUtf8Names = {"J\xC3\xBCrgen", "Se\xC3\xB1or",
                                                   "\xE5\xB1\xB1\xE7\x94\xB0"};
constexpr std::array<const char*, 4> kTelTypes = {"WORK;VOICE", "HOME", "CELL", "FAX;WORK"};
constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

class Writer {
 public:
  Writer(const CorpusOptions& options, CorpusCounts* counts)
      : options_(options), counts_(counts), random_(options.seed) {}

  std::string Generate() {
    text_.reserve(static_cast<std::size_t>(options_.cards) * 700);
    for (int i = 0; i < options_.cards; ++i) Card(i);
    return std::move(text_);
  }

 private:
  const char* Eol() const { return options_.crlf ? "\r\n" : "\n"; }

  // One property line: its text (without line end) and what it holds.
  void Line(const std::string& line, int parameters, int values) {
    text_ += line;
    text_ += Eol();
    ++properties_in_card_;
    counts_->parameters += parameters;
    counts_->values += values;
  }

  void Card(int index) {
    text_ += std::string("BEGIN:VCARD") + Eol();
    properties_in_card_ = 0;
    const char* given = random_.Pick(kGiven);
    const char* family = random_.Pick(kFamily);
    std::string n = std::to_string(index);

    Line("VERSION:2.1", 0, 1);
    Line(std::string("N:") + family + ";" + given + ";;Dr.;", 0, 5);
    Line(std::string("FN:") + given + " " + family + " " + n, 0, 1);
    if (random_.OneIn(3)) {
      const std::string types = random_.Pick(kTelTypes);
      Line("item" + n + ".TEL;" + types + ":+1 555 " + n, 1 + std::ranges::count(types, ';'), 1);
    } else {
      // Lower-case names are read under their canonical names.
      Line("tel;home:+44 20 " + n, 1, 1);
    }
    Line(std::string("EMAIL;INTERNET:") + given + "." + family + "@example.com", 1, 1);
    if (random_.OneIn(2))
      Line("ADR;WORK;POSTAL:;Suite " + n + ";12 Main St.;Springfield;IL;62701;USA", 2, 7);
    Line("ORG:Example Corp;R\\;D", 0, 2);
    if (random_.OneIn(2))  // Quoted-printable with a soft line break.
      Line("NOTE;ENCODING=QUOTED-PRINTABLE:First line=0D=0ASecond line of card " + n +
               " is long enough to be =" + Eol() + "wrapped=3D",
           1, 1);
    if (random_.OneIn(3)) Line(std::string("X-ANSI-NAME:") + random_.Pick(kAnsiNames), 0, 1);
    if (random_.OneIn(3))
      Line(std::string("X-UTF8-NAME;CHARSET=UTF-8:") + random_.Pick(kUtf8Names), 1, 1);
    if (random_.OneIn(4)) text_ += Eol();  // A blank line between property lines is skipped.
    Line("X-MS-OL-DEFAULT-POSTAL-ADDRESS;X-FOO-BAR=baz:2", 1, 1);
    if (random_.OneIn(2)) Line("BDAY:19" + std::to_string(50 + random_.Below(50)) + "0412", 0, 1);
    Line("REV:19951031T222710Z", 0, 1);
    if (options_.photo_every > 0 && index % options_.photo_every == 0) Photo();
    if (index % 7 == 3) Agent(index);  // One card in seven has an AGENT with a nested card.
    counts_->properties += properties_in_card_;
    counts_->properties_per_card.push_back(properties_in_card_);
    ++counts_->cards;
    text_ += std::string("END:VCARD") + Eol();
  }

  void Photo() {
    std::string block = std::string("PHOTO;ENCODING=BASE64;TYPE=JPEG:") + Eol();
    const int groups = options_.photo_bytes / 3;
    for (int g = 0; g < groups; ++g) {
      if (g % 19 == 0) block += "    ";
      for (int k = 0; k < 4; ++k) block += kBase64Alphabet[random_.Below(64)];
      if (g % 19 == 18 || g == groups - 1) block += Eol();
    }
    Line(block, 2, 1);  // and the blank line that ends the block
  }

  void Agent(int index) {
    Line("AGENT:", 0, 1);  // the nested card is its value
    text_ += std::string("BEGIN:VCARD") + Eol();
    const int outer = properties_in_card_;
    properties_in_card_ = 0;
    Line("VERSION:2.1", 0, 1);
    Line("FN:Assistant of " + std::to_string(index), 0, 1);
    Line("TEL;WORK:+1 555 0000", 1, 1);
    counts_->nested_properties += properties_in_card_;
    ++counts_->nested_cards;
    properties_in_card_ = outer;
    text_ += std::string("END:VCARD") + Eol();
  }

  const CorpusOptions& options_;
  CorpusCounts* counts_;
  Random random_;
  std::string text_;
  int properties_in_card_ = 0;
};

}  // namespace

std::string GenerateCorpus(const CorpusOptions& options, CorpusCounts* counts) {
  CorpusCounts ignored;
  CorpusCounts* target = counts ? counts : &ignored;
  *target = CorpusCounts();
  return Writer(options, target).Generate();
}

}  // namespace tarvovcard::testing
