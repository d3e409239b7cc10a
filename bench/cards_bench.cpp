// The whole life of a Load, stage by stage, on a vCard file:
//   read     the file's bytes into memory already there (the floor)
//   load     VCardColl::Load
//   walk     every value's DecodedValue, nested cards included
//   save     Save as vCard text
//   xml      SaveAsXML
//   release  the release of the collection and every object in it
// Each stage runs in every round and prints its median with its ratio to the
// plain read, which travels between machines better than absolute times; then
// the peak memory of the process, and the memory the loaded tree takes per
// property line (the growth of the resident set over the first Load).
//
//   cards_bench [--rounds N] FILE        every stage, N rounds (default 5)
//   cards_bench --walk FILE              Load and walk once, print nothing:
//                                        the program to put beside a peer
//                                        reader (peer-ratio)
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tarvovcard/tarvovcard.h"
#include "tarvovcard/text.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

[[noreturn]] void Fail(const char* what, HRESULT status) {
  std::fprintf(stderr, "cards_bench: %s: 0x%08X\n", what, static_cast<unsigned>(status));
  std::exit(1);
}

double PlainRead(const std::string& path, std::string& into) {
  const Clock::time_point start = Clock::now();
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) Fail("open", E_FAIL);
  std::size_t total = 0;
  for (ssize_t got;
       total < into.size() && (got = ::read(fd, into.data() + total, into.size() - total)) > 0;) {
    total += static_cast<std::size_t>(got);
  }
  ::close(fd);
  return Seconds(start);
}

// The memory resident in the process now: the loaded tree lives partly in
// malloc's heap and partly in mappings of the library's own, so the
// resident set is what counts both.
std::size_t ResidentBytes() {
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (!statm) return 0;
  unsigned long size = 0, resident = 0;
  const int got = std::fscanf(statm, "%lu %lu", &size, &resident);
  std::fclose(statm);
  return got == 2 ? resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)) : 0;
}

CComVariant FileArgument(const std::string& path) {
  const std::u16string wide = tarvovcard::FromUtf8(path);
  return CComVariant(wide.c_str());
}

// Reads every value's decoded form; counts the property lines.
void Walk(IVCard* card, long* properties) {
  CComPtr<IVCardPropertyColl> list;
  if (HRESULT hr = card->get_Properties(&list); FAILED(hr)) Fail("Properties", hr);
  LONG count = 0;
  list->get_Count(&count);
  *properties += count;
  for (LONG i = 0; i < count; ++i) {
    CComPtr<IVCardProperty> property;
    if (HRESULT hr = list->Item(i, &property); FAILED(hr)) Fail("Item", hr);
    CComPtr<IVCardValueColl> values;
    property->get_Values(&values);
    LONG value_count = 0;
    values->get_Count(&value_count);
    for (LONG j = 0; j < value_count; ++j) {
      CComPtr<IVCardValue> value;
      values->Item(j, &value);
      CComVariant decoded;
      if (HRESULT hr = value->get_DecodedValue(&decoded); FAILED(hr)) Fail("DecodedValue", hr);
      if (decoded.vt == VT_UNKNOWN) {
        CComPtr<IVCard> nested;
        decoded.punkVal->QueryInterface(IID_IVCard, reinterpret_cast<void**>(&nested));
        if (nested) Walk(nested, properties);
      }
    }
  }
}

long WalkAll(IVCardColl* collection) {
  LONG cards = 0;
  collection->get_Count(&cards);
  long properties = 0;
  for (LONG i = 0; i < cards; ++i) {
    CComPtr<IVCard> card;
    collection->Item(i, &card);
    Walk(card, &properties);
  }
  return properties;
}

CComPtr<IVCardColl> NewCollection() {
  CComPtr<IVCardColl> collection;
  const HRESULT hr = CoCreateInstance(CLSID_VCardColl, nullptr, CLSCTX_ALL, IID_IVCardColl,
                                      reinterpret_cast<void**>(&collection));
  if (FAILED(hr)) Fail("CoCreateInstance", hr);
  return collection;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 5;
  bool walk_only = false;
  std::string path;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::puts(
          "usage: cards_bench [--rounds N] FILE\n"
          "       cards_bench --walk FILE\n\n"
          "Times Load, a walk of every DecodedValue, Save, SaveAsXML and the release\n"
          "of the tree on FILE, each as a median of N rounds (default 5) and as a\n"
          "ratio to a plain read of the file; then the peak memory and the memory\n"
          "of the loaded tree per property line. --walk loads and walks once and\n"
          "prints nothing.");
      return 0;
    }
    if (arg == "--rounds" && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--walk") {
      walk_only = true;
    } else {
      path = arg;
    }
  }
  if (path.empty()) {
    std::fputs("usage: cards_bench [--rounds N] FILE (--help for more)\n", stderr);
    return 2;
  }
  const CComVariant file = FileArgument(path);

  if (walk_only) {
    CComPtr<IVCardColl> collection = NewCollection();
    const HRESULT hr = collection->Load(file);
    if (FAILED(hr) && hr != HRESULT_FROM_WIN32(ERROR_INVALID_DATA)) Fail("Load", hr);
    WalkAll(collection);
    return 0;
  }

  std::FILE* probe = std::fopen(path.c_str(), "rb");
  if (!probe) Fail("open", E_FAIL);
  std::fseek(probe, 0, SEEK_END);
  const long size = std::ftell(probe);
  std::fclose(probe);
  std::string buffer(static_cast<std::size_t>(size), '\0');
  const std::string saved = path + ".bench.vcf", xml = path + ".bench.xml";
  const CComVariant saved_name = FileArgument(saved), xml_name = FileArgument(xml);

  std::vector<double> read, load, walk, save, to_xml, release;
  long properties = 0;
  LONG cards = 0;
  double tree_bytes = 0;
  for (int r = 0; r < rounds; ++r) {
    read.push_back(PlainRead(path, buffer));
    CComPtr<IVCardColl> collection = NewCollection();
    const std::size_t resident_before = ResidentBytes();
    Clock::time_point start = Clock::now();
    const HRESULT hr = collection->Load(file);
    load.push_back(Seconds(start));
    if (FAILED(hr) && hr != HRESULT_FROM_WIN32(ERROR_INVALID_DATA)) Fail("Load", hr);
    // The first round's is the one from fresh memory; later rounds may reuse
    // pages the last one freed.
    if (r == 0) tree_bytes = static_cast<double>(ResidentBytes() - resident_before);
    collection->get_Count(&cards);
    start = Clock::now();
    properties = WalkAll(collection);
    walk.push_back(Seconds(start));
    start = Clock::now();
    if (HRESULT s = collection->Save(saved_name); FAILED(s)) Fail("Save", s);
    save.push_back(Seconds(start));
    start = Clock::now();
    if (HRESULT s = collection->SaveAsXML(xml_name, CComBSTR(u"cards.xsl")); FAILED(s))
      Fail("SaveAsXML", s);
    to_xml.push_back(Seconds(start));
    start = Clock::now();
    collection.Release();
    release.push_back(Seconds(start));
  }
  std::remove(saved.c_str());
  std::remove(xml.c_str());

  const double mb = static_cast<double>(size) / 1e6, floor = Median(read);
  std::printf("file: %.1f MB, %d cards, %ld properties; medians of %d rounds\n", mb,
              static_cast<int>(cards), properties, rounds);
  std::printf("%-8s %10s %14s\n", "", "seconds", "x plain read");
  const struct {
    const char* name;
    const std::vector<double>* times;
  } stages[] = {{"read", &read}, {"load", &load},  {"walk", &walk},
                {"save", &save}, {"xml", &to_xml}, {"release", &release}};
  for (const auto& stage : stages) {
    const double t = Median(*stage.times);
    std::printf("%-8s %10.3f %14.1f\n", stage.name, t, t / floor);
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const double peak_mib = static_cast<double>(usage.ru_maxrss) / 1024.0;
  std::printf("peak memory: %.0f MiB (%.1f x the file, the read buffer included)\n", peak_mib,
              peak_mib * 1048576.0 / static_cast<double>(size));
  if (properties > 0) {
    std::printf("memory of the loaded tree: %.0f bytes per property line\n",
                tree_bytes / static_cast<double>(properties));
  }
  return 0;
}
