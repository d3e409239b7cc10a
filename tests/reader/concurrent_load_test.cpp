// Collections load files on three threads at once, each Load many times: each
// must read what it reads alone, every card, property, parameter and value
// the generator wrote, and an unreadable line counts for its own file only.
// Built once more with ThreadSanitizer (CMakeLists.txt), so that any state two
// Loads share shows up as a data race.
#include <gtest/gtest.h>

#include <thread>
#include <tuple>

#include "support/builders.h"
#include "support/files.h"
#include "support/model_text.h"
#include "support/corpus.h"

namespace tarvovcard::reader {
namespace {

using testing::CorpusCounts;
using testing::GenerateCorpus;

auto Key(const CorpusCounts& c) {
  return std::tie(c.cards, c.nested_cards, c.properties, c.nested_properties, c.parameters,
                  c.values, c.properties_per_card);
}

TEST(ConcurrentLoad, EachReadsWhatItReadsAlone) {
  CorpusCounts expected[2];
  const std::string paths[] = {
      testing::WriteTestFile("crlf.vcf", GenerateCorpus({.seed = 7, .cards = 1500}, &expected[0])),
      testing::WriteTestFile(
          "lf.vcf", GenerateCorpus({.seed = 8, .cards = 1100, .crlf = false}, &expected[1])),
      testing::WriteTestFile("bad.vcf",
                             "BEGIN:VCARD\nFN:a\nEND:VCARD\nBEGIN:VCARD\nTEL;HOME 1\nEND:VCARD\n")};
  struct {
    HRESULT status;
    std::vector<std::string> cards;
  } together[3], alone[3];
  auto load = [&](int i, int rounds, auto* read) {
    CComPtr<IVCardColl> collection = testing::Collection();
    for (int round = 0; round < rounds; ++round)
      read->status = testing::LoadOne(collection, paths[i]);
    read->cards = testing::DescribeAll(collection);
    EXPECT_TRUE(i == 2 || Key(testing::CountLoaded(collection)) == Key(expected[i])) << i;
  };
  {
    std::jthread a(load, 0, 3, &together[0]), b(load, 1, 4, &together[1]),
        c(load, 2, 50, &together[2]);
  }
  for (int i = 0; i < 3; ++i) {
    load(i, 1, &alone[i]);
    EXPECT_EQ(together[i].status, i < 2 ? S_OK : HRESULT_FROM_WIN32(ERROR_INVALID_DATA)) << i;
    EXPECT_EQ(together[i].status, alone[i].status) << i;
    EXPECT_TRUE(together[i].cards == alone[i].cards) << i;
  }
  EXPECT_EQ(alone[2].cards, (std::vector<std::string>{"FN:a", ""}));
}

}  // namespace
}  // namespace tarvovcard::reader
