// Round trips through the whole library: what Save writes, Load reads back to
// the same cards, properties, parameters and decoded values (compared as
// descriptions, support/model_text.h); the XML of real files satisfies a real XML parser.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <sstream>

#include "support/corpus.h"
#include <tarvovcard/cards.hpp>

#include "support/builders.h"
#include "support/doubles.h"
#include "support/files.h"
#include "support/model_text.h"

namespace tarvovcard::writer {
namespace {

using namespace testing;

// Saves the collection to saved.vcf and loads that again: the same cards
// come back, in the collection returned.
CComPtr<IVCardColl> ExpectComesBack(IVCardColl* collection, const ScratchDir& dir) {
  CComPtr<IVCardColl> again = Collection();
  EXPECT_EQ(collection->Save(Name(dir / "saved.vcf")), S_OK);
  EXPECT_EQ(again->Load(Name(dir / "saved.vcf")), S_OK);
  EXPECT_EQ(DescribeAll(again, Detail::kEverything), DescribeAll(collection, Detail::kEverything))
      << ReadFile(dir / "saved.vcf");
  return again;
}

// Files written the way phones, mail clients and address books export them
// (tests/reader/exports), the sample and a generated corpus: every card and
// property is kept, nothing is lost, and what Save writes reads back to the
// same model. Saved again it gives the same bytes, also into the file it came
// from; saved there as XML, a real XML parser reads every card and what the
// row says from it.
TEST(RoundTrip, ExportsSampleAndCorpusLoadWholeComeBackAndGiveWellFormedXml) {
  struct Source {
    std::string file;
    long cards, properties;
    std::vector<std::pair<std::string, std::string>> xml = {};  // An XPath and its value.
  };
  ScratchDir dir;
  tarvovcard::testing::CorpusOptions options;
  options.cards = 50000;
  tarvovcard::testing::CorpusCounts corpus;
  WriteFile(dir / "corpus.vcf", tarvovcard::testing::GenerateCorpus(options, &corpus));
  const std::string source = TARVOVCARD_SOURCE_DIR, exports = source + "/tests/reader/exports/";
  std::vector<Source> sources = {
      {dir / "corpus.vcf", corpus.cards, corpus.properties},
      // The label's Quoted-Printable CR LF line breaks read back as one line
      // feed each, and the URL with its ampersand.
      {source + "/examples/sample.vcf",
       2,
       25,
       {{"//LABEL", "Building 4\nStorgatan 12\n752 20 Uppsala\nSweden"},
        {"//URL", "http://www.example.org/~ada?lang=en&page=1"}}},
  };
  std::istringstream manifest(ReadFile(exports + "MANIFEST.txt"));
  for (Source row; manifest >> row.file >> row.cards >> row.properties;)
    sources.push_back({exports + row.file, row.cards, row.properties});
  EXPECT_GE(sources.size(), 14u);
  // A property outside the vocabulary is an element of its own name.
  for (Source& row : sources)
    if (row.file.ends_with("/webmail_export.vcf")) row.xml = {{"count(//CATEGORIES)", "5"}};
  const bool lint = std::system("command -v xmllint >/dev/null 2>&1") == 0;
  for (Source& row : sources) {
    SCOPED_TRACE(row.file);
    const std::string in = dir / "in.vcf";
    WriteFile(in, ReadFile(row.file));
    CComPtr<IVCardColl> original = Collection();
    EXPECT_EQ(original->Load(Name(in)), S_OK);
    EXPECT_TRUE(cards::Cards(original).Complete());
    const tarvovcard::testing::CorpusCounts counts = tarvovcard::testing::CountLoaded(original);
    EXPECT_EQ(counts.cards, row.cards);
    EXPECT_EQ(counts.properties, row.properties);
    CComPtr<IVCardColl> again = ExpectComesBack(original, dir);
    const std::string saved = ReadFile(dir / "saved.vcf");
    ASSERT_EQ(again->Save(Name(dir / "again.vcf")), S_OK);
    EXPECT_TRUE(ReadFile(dir / "again.vcf") == saved);
    ASSERT_EQ(original->Save(CComVariant()), S_OK);
    EXPECT_TRUE(ReadFile(in) == saved);
    ASSERT_EQ(original->SaveAsXML(CComVariant(), CComBSTR(u"cards.xsl")), S_OK);
    row.xml.push_back({"count(/vCardSet/vCard)", std::to_string(row.cards)});
    for (const auto& [xpath, value] : row.xml) {
      if (!lint) break;
      const std::string command = "xmllint --xpath 'string(" + xpath + ")' " + in;
      const int status = std::system((command + " >" + in + ".out 2>&1").c_str());
      EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << ReadFile(in + ".out");
      EXPECT_EQ(ReadFile(in + ".out"), value + "\n") << xpath;
    }
  }
}

// The reader's fuzz seeds, among them inputs the fuzzer once found changing
// on the way (a line refused at an empty ENCODING= before a line of 8-bit
// bytes): whatever Load made of them, Save writes and Load reads back.
TEST(RoundTrip, FuzzSeedsComeBackTheSame) {
  const std::filesystem::path folder =
      std::filesystem::path(TARVOVCARD_SOURCE_DIR) / "fuzz" / "seeds" / "reader";
  ScratchDir dir;
  int seeds = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    SCOPED_TRACE(entry.path().string());
    ++seeds;
    CComPtr<IVCardColl> original = Collection();
    ::testing::internal::CaptureStderr();
    original->Load(Name(entry.path().string()));
    ::testing::internal::GetCapturedStderr();
    ExpectComesBack(original, dir);
  }
  EXPECT_GE(seeds, 4);
}

// Cards that only a client can build, in the forms the writer has to choose
// for them (CardBuilder in support/builders.h describes the lines): each comes back the same.
TEST(RoundTrip, WhatSaveWritesLoadReadsBack) {
  const char16_t* const rows[] = {
      // An empty quoted-printable value before another property.
      u"NOTE;ENCODING=QUOTED-PRINTABLE: / TEL:+1 555",
      // Components ending in a backslash or holding one before a semicolon.
      u"ADR:text:C:\\dir\\|text:a\\;b|text:next",
      // A quoted-printable component holding a semicolon.
      u"ORG:text:Smith; Jones\r\nand Co|text:R&D",
      // TYPE values that are no keywords.
      u"TEL;TYPE=X-A;TYPE=OTHER;TYPE=HOME:1",
      // A BASE64 property with several values, one of them empty.
      u"PHOTO:bytes:|bytes:first|bytes:|bytes:second block / FN:after",
      u"X-:v",
      // AGENT with text instead of a card.
      u"AGENT:CID:agent@example.org / AGENT:",
      // Nested cards in other properties than AGENT, after a text.
      u"X-FRIEND:card{FN:Nested} / NOTE:two cards follow|card|card",
  };
  ScratchDir dir;
  for (const char16_t* row : rows) {
    CardBuilder builder;
    SCOPED_TRACE(Text(row));
    ExpectComesBack(Collection({builder.Build(row)}), dir);
  }
}

}  // namespace
}  // namespace tarvovcard::writer
