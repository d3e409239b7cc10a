// Reading speed: generates a large vCard file and reads it four ways, each
// several times, keeping the best time of each:
//   read   the file's bytes into memory (the floor: what any reader pays)
//   scan   the text-mode input and the scanner alone
//   parse  the scanner and the grammar alone (ParseFile, its events counting cards)
//   load   VCardColl::Load: every object made, every value decoded
// and prints their speeds relative to the plain read, which travel between
// machines better than absolute times.
//
//   reader_bench [megabytes [rounds [parse|load]]]   (default: 80 MB, 3 rounds, both)
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "reader/input.h"
#include "reader/parser.h"
#include "reader/scanner.h"
#include "support/corpus.h"
#include "tarvovcard/tarvovcard.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// The file's bytes into memory that is already there: the read alone, without
// the page faults of fresh memory, which vary from round to round far more
// than the read does.
double PlainRead(const std::string& path, std::string& into) {
  Clock::time_point start = Clock::now();
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) std::abort();
  std::size_t total = 0;
  for (ssize_t got;
       total < into.size() && (got = ::read(fd, into.data() + total, into.size() - total)) > 0;) {
    total += static_cast<std::size_t>(got);
  }
  ::close(fd);
  double seconds = Seconds(start);
  if (total != into.size()) std::abort();
  return seconds;
}

double ScanOnly(const std::string& path, long* tokens) {
  Clock::time_point start = Clock::now();
  tarvovcard::reader::InputSource input;
  if (input.Open(path.c_str()) != 0) std::abort();
  tarvovcard::reader::Scanner scanner(input);
  *tokens = 0;
  while (scanner.Next() != 0) ++*tokens;
  return Seconds(start);
}

// Counts the cards; every other event is the default, which does nothing.
struct CardCounter final : tarvovcard::reader::ParseEvents {
  long cards = 0;
  void OnEndCard() override { ++cards; }
};

double ParseOnly(const std::string& path, long* cards) {
  CardCounter counter;
  Clock::time_point start = Clock::now();
  int result = tarvovcard::reader::ParseFile(counter, path.c_str());
  *cards = counter.cards;
  double seconds = Seconds(start);
  if (result != 0) std::fprintf(stderr, "parse result %d\n", result);
  return seconds;
}

double Load(const std::string& path, LONG* cards) {
  CComPtr<IVCardColl> collection;
  if (FAILED(CoCreateInstance(CLSID_VCardColl, nullptr, CLSCTX_ALL, IID_IVCardColl,
                              reinterpret_cast<void**>(&collection)))) {
    std::abort();
  }
  std::vector<OLECHAR> wide(path.begin(), path.end());
  wide.push_back(0);
  CComVariant argument;
  argument.vt = VT_BSTR;
  argument.bstrVal = SysAllocString(wide.data());
  Clock::time_point start = Clock::now();
  HRESULT status = collection->Load(argument);
  double seconds = Seconds(start);
  if (status != S_OK) std::fprintf(stderr, "Load status 0x%08X\n", static_cast<unsigned>(status));
  collection->get_Count(cards);
  return seconds;  // the release of the cards is not counted
}

}  // namespace

int main(int argc, char** argv) {
  double megabytes = argc > 1 ? std::atof(argv[1]) : 80.0;
  int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  // Only one of the two, for profiling.
  std::string only = argc > 3 ? argv[3] : "";

  // About 1 kB per card with these options.
  tarvovcard::testing::CorpusOptions options;
  options.seed = 2026;
  options.photo_every = 8;
  options.photo_bytes = 1500;
  options.cards = 1000;
  std::string sample = tarvovcard::testing::GenerateCorpus(options);
  options.cards = static_cast<int>(megabytes * 1e6 / (static_cast<double>(sample.size()) / 1000));
  tarvovcard::testing::CorpusCounts counts;
  std::string text = tarvovcard::testing::GenerateCorpus(options, &counts);
  // Named for this process: two benches in one folder keep their own files.
  std::string path = "reader_bench-" + std::to_string(::getpid()) + ".vcf";
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  double mb = static_cast<double>(text.size()) / 1e6;
  // Reused by every plain read, its pages touched once here.
  std::string read_buffer(text.size(), '\0');
  text = std::string();
  std::printf("file: %.1f MB, %ld cards, %ld properties, %ld values\n", mb, counts.cards,
              counts.properties + counts.nested_properties, counts.values);

  double best_read = 1e9, best_scan = 1e9, best_parse = 1e9, best_load = 1e9;
  long tokens = 0;
  for (int r = 0; r < rounds; ++r) {
    best_read = std::min(best_read, PlainRead(path, read_buffer));
    if (only != "load") best_scan = std::min(best_scan, ScanOnly(path, &tokens));
    long parsed = 0;
    if (only != "load") {
      best_parse = std::min(best_parse, ParseOnly(path, &parsed));
      // Nested cards end too.
      if (parsed != counts.cards + counts.nested_cards)
        std::fprintf(stderr, "parsed %ld cards\n", parsed);
    }
    LONG loaded = counts.cards;
    if (only != "parse") best_load = std::min(best_load, Load(path, &loaded));
    if (loaded != counts.cards) std::fprintf(stderr, "loaded %d cards\n", static_cast<int>(loaded));
  }
  std::printf("%-6s %9s %14s\n", "", "MB/s", "x plain read");
  std::printf("%-6s %9.1f %14.3f\n", "read", mb / best_read, 1.0);
  std::printf("%-6s %9.1f %14.3f\n", "scan", mb / best_scan, best_read / best_scan);
  std::printf("%-6s %9.1f %14.3f\n", "parse", mb / best_parse, best_read / best_parse);
  std::printf("%-6s %9.1f %14.3f\n", "load", mb / best_load, best_read / best_load);
  std::printf("scan: %ld tokens, %.1f ns per token\n", tokens, best_scan * 1e9 / tokens);
  std::printf("load: %.0f cards/s, %.2f us per value\n", counts.cards / best_load,
              best_load * 1e6 / static_cast<double>(counts.values));
  std::remove(path.c_str());
  return 0;
}
