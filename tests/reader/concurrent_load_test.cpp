// Two collections load files on two threads at once. Built with
// ThreadSanitizer (the library and the runtime stand-in too), so that any
// state a Load shared with another Load shows up as a data race; and the
// cards read must be exactly those of a Load alone.
//
// A plain program rather than a GoogleTest one, so that every line of code in
// it is instrumented.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "reader/parser.h"
#include "support/corpus.h"
#include "support/corpus_tally.h"
#include "tarvovcard/tarvovcard.h"

namespace {

int g_failures = 0;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "FAILED: %s\n", what);
    ++g_failures;
  }
}

std::string WriteFile(const std::string& name, const std::string& text) {
  std::string path = std::string(TARVOVCARD_BINARY_DIR) + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
  return path;
}

// Loads path into a new collection rounds times; the number of cards and of
// properties of the last Load.
void LoadRepeatedly(const std::string& path, int rounds, LONG* cards, long* properties,
                    HRESULT* status) {
  CComPtr<IVCardColl> collection;
  if (FAILED(CoCreateInstance(CLSID_VCardColl, nullptr, CLSCTX_ALL, IID_IVCardColl,
                              reinterpret_cast<void**>(&collection)))) {
    *status = E_FAIL;
    return;
  }
  std::vector<OLECHAR> wide(path.begin(), path.end());
  wide.push_back(0);
  VARIANT argument;
  VariantInit(&argument);
  argument.vt = VT_BSTR;
  argument.bstrVal = SysAllocString(wide.data());
  for (int i = 0; i < rounds; ++i) *status = collection->Load(argument);
  VariantClear(&argument);
  collection->get_Count(cards);
  *properties = tarvovcard::testing::CountLoaded(collection).properties;
}

}  // namespace

int main() {
  tarvovcard::testing::CorpusOptions first;
  first.seed = 7;
  first.cards = 1500;
  tarvovcard::testing::CorpusCounts first_counts;
  std::string first_path =
      WriteFile("concurrent_a.vcf", tarvovcard::testing::GenerateCorpus(first, &first_counts));
  tarvovcard::testing::CorpusOptions second = first;
  second.seed = 8;
  second.cards = 1100;
  second.crlf = false;
  tarvovcard::testing::CorpusCounts second_counts;
  std::string second_path =
      WriteFile("concurrent_b.vcf", tarvovcard::testing::GenerateCorpus(second, &second_counts));
  // A file with an unreadable line in the middle, read alongside: its error
  // counts only for its own Load.
  std::string bad_path = WriteFile("concurrent_bad.vcf",
                                   "BEGIN:VCARD\nFN:a\nEND:VCARD\n"
                                   "BEGIN:VCARD\nTEL;HOME 1\nEND:VCARD\n");

  LONG cards[3] = {};
  long properties[3] = {};
  HRESULT status[3] = {};
  {
    std::thread a(LoadRepeatedly, first_path, 3, &cards[0], &properties[0], &status[0]);
    std::thread b(LoadRepeatedly, second_path, 4, &cards[1], &properties[1], &status[1]);
    std::thread c(LoadRepeatedly, bad_path, 50, &cards[2], &properties[2], &status[2]);
    a.join();
    b.join();
    c.join();
  }
  Check(status[0] == S_OK, "first file's status");
  Check(cards[0] == first_counts.cards, "first file's cards");
  Check(properties[0] == first_counts.properties, "first file's properties");
  Check(status[1] == S_OK, "second file's status");
  Check(cards[1] == second_counts.cards, "second file's cards");
  Check(properties[1] == second_counts.properties, "second file's properties");
  Check(status[2] == HRESULT_FROM_WIN32(ERROR_INVALID_DATA), "bad file's status");
  Check(cards[2] == 2, "bad file's cards");

  // The parser alone, on two threads, each with its own events.
  struct CardCounter : tarvovcard::reader::ParseEvents {
    long* cards;
    explicit CardCounter(long* c) : cards(c) {}
    void OnEndCard() override { ++*cards; }
  };
  auto parse = [](const std::string& path, long* cards_seen, int* result) {
    CardCounter counter(cards_seen);
    *result = tarvovcard::reader::ParseFile(counter, path.c_str());
  };
  long seen[2] = {};
  int results[2] = {-1, -1};
  {
    std::thread a(parse, first_path, &seen[0], &results[0]);
    std::thread b(parse, second_path, &seen[1], &results[1]);
    a.join();
    b.join();
  }
  Check(results[0] == 0 && results[1] == 0, "parse results");
  Check(seen[0] == first_counts.cards + first_counts.nested_cards, "first file's parsed cards");
  Check(seen[1] == second_counts.cards + second_counts.nested_cards, "second file's parsed cards");

  if (g_failures == 0) std::printf("concurrent loads: all checks passed\n");
  return g_failures == 0 ? 0 : 1;
}
