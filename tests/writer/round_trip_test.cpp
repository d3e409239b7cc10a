// Round trips through the whole library: what Save writes, Load reads back to
// the same cards, properties, parameters and decoded values (compared as
// dumps, writer_test.h); the XML of real files satisfies a real XML parser.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <sstream>

#include "support/corpus.h"
#include "support/corpus_tally.h"
#include "writer_test.h"

namespace tarvovcard::writer {
namespace {

using namespace testing;

std::string Loaded(const std::string& name, IVCardColl* into = nullptr) {
  CComPtr<IVCardColl> collection = into ? into : Collection().p;
  EXPECT_EQ(collection->Load(Name(name)), S_OK) << name;
  return Dump(collection);
}

// Saves the collection and loads the file again: the same cards come back.
void ExpectComesBack(IVCardColl* collection, const ScratchDir& dir) {
  ASSERT_EQ(collection->Save(Name(dir / "saved.vcf")), S_OK);
  EXPECT_EQ(Loaded(dir / "saved.vcf"), Dump(collection)) << ReadFile(dir / "saved.vcf");
}

bool HaveXmlLint() {
  return std::system("command -v xmllint >/dev/null 2>&1") == 0;
}

// The document saved from `collection`, checked by xmllint (its complaints
// go into the test's output); then the string value of each of `xpaths`.
std::vector<std::string> XmlLint(IVCardColl* collection, const std::string& name,
                                 std::vector<std::string> xpaths = {}) {
  EXPECT_EQ(collection->SaveAsXML(Name(name), CComBSTR(u"cards.xsl")), S_OK);
  if (!HaveXmlLint()) return xpaths;
  const int status = std::system(("xmllint --noout '" + name + "' 2>'" + name + ".lint'").c_str());
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << ReadFile(name + ".lint");
  for (std::string& xpath : xpaths) {
    std::system(
        ("xmllint --xpath 'string(" + xpath + ")' '" + name + "' >'" + name + ".out'").c_str());
    xpath = ReadFile(name + ".out");
  }
  return xpaths;
}

TEST(RoundTrip, GeneratedCorpusComesBackWholeAndItsXmlIsWellFormed) {
  ScratchDir dir;
  tarvovcard::testing::CorpusOptions options;
  options.cards = 50000;
  WriteFile(dir / "corpus.vcf", tarvovcard::testing::GenerateCorpus(options, nullptr));
  CComPtr<IVCardColl> original = Collection();
  Loaded(dir / "corpus.vcf", original);
  ExpectComesBack(original, dir);
  // Saving what was read back gives the same bytes again.
  CComPtr<IVCardColl> reloaded = Collection();
  Loaded(dir / "saved.vcf", reloaded);
  ASSERT_EQ(reloaded->Save(Name(dir / "again.vcf")), S_OK);
  EXPECT_TRUE(ReadFile(dir / "saved.vcf") == ReadFile(dir / "again.vcf"));
  XmlLint(original, dir / "corpus.xml");
}

// Files written the way phones, mail clients and address books export them
// (tests/reader/exports): every card and property is kept, nothing is lost,
// and what Save writes reads back to the same model.
TEST(RoundTrip, ExportsOfOtherProgramsLoadWholeAndComeBack) {
  const std::string folder = std::string(TARVOVCARD_SOURCE_DIR) + "/tests/reader/exports/";
  std::istringstream manifest(ReadFile(folder + "MANIFEST.txt"));
  std::string file;
  long cards = 0, properties = 0;
  int files = 0;
  ScratchDir dir;
  while (manifest >> file >> cards >> properties) {
    SCOPED_TRACE(file);
    ++files;
    CComPtr<IVCardColl> original = Collection();
    Loaded(folder + file, original);
    CComPtr<IVCardLoadReport> report;
    ASSERT_EQ(original->QueryInterface(IID_IVCardLoadReport, reinterpret_cast<void**>(&report)),
              S_OK);
    LONG problems = 0;
    ASSERT_EQ(report->get_ProblemCount(&problems), S_OK);
    for (LONG i = 0; i < problems; ++i) {
      VARIANT_BOOL lost = VARIANT_TRUE;
      ASSERT_EQ(report->get_Lost(i, &lost), S_OK);
      EXPECT_EQ(lost, VARIANT_FALSE) << "problem " << i;
    }
    const tarvovcard::testing::CorpusCounts counts = tarvovcard::testing::CountLoaded(original);
    EXPECT_EQ(counts.cards, cards);
    EXPECT_EQ(counts.properties, properties);
    ExpectComesBack(original, dir);
    // A property outside the vocabulary is an element of its own name.
    const bool webmail = file == "webmail_export.vcf";
    const auto found = XmlLint(
        original, dir / "saved.xml",
        webmail ? std::vector<std::string>{"count(//CATEGORIES)"} : std::vector<std::string>{});
    if (webmail && HaveXmlLint()) {
      EXPECT_EQ(found[0], "5\n");
    }
  }
  EXPECT_GE(files, 12);
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
// for them (writer_test.h describes the lines): each comes back the same.
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
    CComPtr<IVCardColl> built = Collection({builder.Build(row)});
    SCOPED_TRACE(Text(row));
    ExpectComesBack(built, dir);
  }
}

TEST(RoundTrip, FileOfTwoCardsSavedBackInPlaceKeepsBoth) {
  ScratchDir dir;
  const std::string text = CrLf(
      "BEGIN:VCARD\nVERSION:2.1\nFN:First\nEND:VCARD\n"
      "BEGIN:VCARD\nVERSION:2.1\nFN:Second\nEND:VCARD\n");
  WriteFile(dir / "two.vcf", text);
  CComPtr<IVCardColl> collection = Collection();
  const std::string loaded = Loaded(dir / "two.vcf", collection);
  EXPECT_EQ(loaded, "21[]VERSION:2.1 / 0[]FN:First\n21[]VERSION:2.1 / 0[]FN:Second\n");
  ASSERT_EQ(collection->Save(CComVariant()), S_OK);
  EXPECT_EQ(ReadFile(dir / "two.vcf"), text);
  EXPECT_EQ(Loaded(dir / "two.vcf"), loaded);
  ASSERT_EQ(collection->SaveAsXML(CComVariant(), nullptr), S_OK);
  EXPECT_EQ(
      ReadFile(dir / "two.vcf"),
      XmlDocument(u"<vCard version=\"2.1\">\n<VERSION>2.1</VERSION>\n<FN>First</FN>\n</vCard>\n"
                  u"<vCard version=\"2.1\">\n<VERSION>2.1</VERSION>\n<FN>Second</FN>\n"
                  u"</vCard>\n"));
}

TEST(RoundTrip, SampleFileComesBackAndItsXmlIsWellFormed) {
  ScratchDir dir;
  CComPtr<IVCardColl> sample = Collection();
  Loaded(std::string(TARVOVCARD_SOURCE_DIR) + "/examples/sample.vcf", sample);
  LONG count = 0;
  sample->get_Count(&count);
  EXPECT_EQ(count, 2);
  ExpectComesBack(sample, dir);
  // The label's Quoted-Printable CR LF line breaks read back as one line feed
  // each, and its URL with its ampersand.
  const std::vector<std::string> expected = {"Building 4\nStorgatan 12\n752 20 Uppsala\nSweden\n",
                                             "http://www.example.org/~ada?lang=en&page=1\n"};
  const auto found = XmlLint(sample, dir / "sample.xml", {"//LABEL", "//URL"});
  if (HaveXmlLint()) {
    EXPECT_EQ(found, expected);
  }
}

}  // namespace
}  // namespace tarvovcard::writer
