// Collections load files on three threads at once. Built with
// ThreadSanitizer (the library and the runtime stand-in too), so that any
// state a Load shared with another Load shows up as a data race; and each
// Load must read what it reads alone, an unreadable line counting for its own
// file only. A plain program rather than a GoogleTest one, so that every line
// of code in it is instrumented.
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>

#include "support/corpus.h"
#include "support/corpus_tally.h"
#include "tarvovcard/tarvovcard.h"

namespace {

using tarvovcard::testing::CorpusCounts;

// Writes text to a file, loads it into a new collection `rounds` times and
// counts what the last Load read; false when its status is not `status`.
bool LoadRepeatedly(const std::string& name, const std::string& text, int rounds, HRESULT status,
                    CorpusCounts* counts) {
  const std::string path = std::string(TARVOVCARD_BINARY_DIR) + "/" + name;
  std::ofstream(path, std::ios::binary) << text;
  CComPtr<IVCardColl> collection;
  CoCreateInstance(CLSID_VCardColl, nullptr, CLSCTX_ALL, IID_IVCardColl,
                   reinterpret_cast<void**>(&collection));
  const CComVariant argument(std::u16string(path.begin(), path.end()).c_str());
  HRESULT last = E_FAIL;
  for (int i = 0; collection && i < rounds; ++i) last = collection->Load(argument);
  if (collection) *counts = tarvovcard::testing::CountLoaded(collection);
  std::printf("%s: status %08x, %ld cards\n", name.c_str(), static_cast<unsigned>(last),
              counts->cards);
  return last == status;
}

auto Key(const CorpusCounts& c) {
  return std::tie(c.cards, c.nested_cards, c.properties, c.nested_properties, c.parameters,
                  c.values, c.properties_per_card);
}

}  // namespace

int main() {
  tarvovcard::testing::CorpusOptions options[2];
  options[0].seed = 7;
  options[0].cards = 1500;
  options[1].seed = 8;
  options[1].cards = 1100;
  options[1].crlf = false;
  CorpusCounts expected[3], found[3];
  const std::string texts[] = {
      tarvovcard::testing::GenerateCorpus(options[0], &expected[0]),
      tarvovcard::testing::GenerateCorpus(options[1], &expected[1]),
      "BEGIN:VCARD\nFN:a\nEND:VCARD\nBEGIN:VCARD\nTEL;HOME 1\nEND:VCARD\n"};
  expected[2].cards = 2;
  expected[2].properties = expected[2].values = 1;
  expected[2].properties_per_card = {1, 0};
  bool ok[3] = {};
  auto run = [&](int i, const char* name, int rounds, HRESULT status) {
    ok[i] = LoadRepeatedly(name, texts[i], rounds, status, &found[i]);
  };
  std::thread a(run, 0, "concurrent_a.vcf", 3, S_OK);
  std::thread b(run, 1, "concurrent_b.vcf", 4, S_OK);
  std::thread c(run, 2, "concurrent_bad.vcf", 50, HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
  a.join();
  b.join();
  c.join();
  for (int i = 0; i < 3; ++i) ok[i] = ok[i] && Key(found[i]) == Key(expected[i]);
  const bool passed = ok[0] && ok[1] && ok[2];
  std::printf(passed ? "concurrent loads: all checks passed\n" : "FAILED: not what Load reads\n");
  return passed ? 0 : 1;
}
