// Generated vCard text for tests and benchmarks: any number of cards, the
// same bytes for the same seed on every machine, with the counts a reader
// must find in it.
//
// The cards mix what real address books hold: structured N, ADR and ORG,
// groups, TYPE parameters, quoted-printable notes with soft line breaks,
// UTF-8 and Windows-1252 text, extension properties and parameters with
// hyphenated names, dates, BASE64 photographs and AGENT properties that hold
// a nested card.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvovcard::testing {

struct CorpusOptions {
  std::uint32_t seed = 1;
  int cards = 100;
  // Line ends written as CR LF (as most exporters do) or as LF alone.
  bool crlf = true;
  // One card in photo_every carries a BASE64 photo of photo_bytes bytes
  // (0 for none).
  int photo_every = 10;
  int photo_bytes = 600;
  // One card in agent_every carries an AGENT property with a nested card
  // (0 for none).
  int agent_every = 7;
};

// What a reader finds in a corpus.
struct CorpusCounts {
  long cards = 0;              // top-level cards
  long nested_cards = 0;       // cards inside AGENT properties
  long properties = 0;         // property lines of top-level cards
  long nested_properties = 0;  // property lines of nested cards
  long parameters = 0;         // parameters of every property, nested included
  long values = 0;             // values of every property (a nested card is one), nested included
  // Per top-level card, in order: its number of properties.
  std::vector<int> properties_per_card;
};

// The text of options.cards cards; counts (when given) receives what is in it.
std::string GenerateCorpus(const CorpusOptions& options, CorpusCounts* counts = nullptr);

}  // namespace tarvovcard::testing
