// Generated vCard text for tests and benchmarks: any number of cards, the
// same bytes for the same seed on every machine, and the counts a reader must
// find in it. The cards mix what real address books hold: structured N, ADR
// and ORG, groups, TYPE parameters, quoted-printable notes with soft line
// breaks, UTF-8 and Windows-1252 text, extensions with hyphenated names,
// dates, BASE64 photographs and AGENT properties that hold a nested card.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvovcard::testing {

struct CorpusOptions {
  std::uint32_t seed = 1;
  int cards = 100;
  bool crlf = true;       // line ends CR LF, as most exporters write them, else LF
  int photo_every = 10;   // one card in photo_every has a BASE64 photo (0: none)
  int photo_bytes = 600;  // of this many bytes
};

// What a reader finds in a corpus.
struct CorpusCounts {
  long cards = 0;              // top-level cards
  long nested_cards = 0;       // cards inside AGENT properties
  long properties = 0;         // property lines of top-level cards
  long nested_properties = 0;  // property lines of nested cards
  long parameters = 0;         // parameters of every property, nested included
  long values = 0;             // values of every property (a nested card is one), nested included
  std::vector<int> properties_per_card;  // of each top-level card, in order
  bool operator==(const CorpusCounts&) const = default;
};

// The text of options.cards cards; counts (when given) receives what is in it.
std::string GenerateCorpus(const CorpusOptions& options, CorpusCounts* counts = nullptr);

}  // namespace tarvovcard::testing
