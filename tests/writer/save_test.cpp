// Save and SaveAsXML: where the cards go, the refused arguments, the
// stylesheet and what a failure of any file call leaves behind, compared on
// whole files; and round trips through the whole library: what Save writes,
// Load reads back to the same model (support/model_text.h), and the XML of
// real files satisfies a real XML parser.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <set>
#include <sstream>

#include <tarvovcard/cards.hpp>

#include "support/builders.h"
#include "support/corpus.h"
#include "support/doubles.h"
#include "support/files.h"
#include "support/model_text.h"

namespace tarvovcard::writer {
namespace {

using namespace testing;

constexpr HRESULT kOpenFailed = HRESULT_FROM_WIN32(ERROR_OPEN_FAILED);
constexpr HRESULT kDiskFull = HRESULT_FROM_WIN32(ERROR_DISK_FULL);
constexpr HRESULT kWriteFault = HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);

// The cards named by `letters` (FN:A ...) as Save or SaveAsXML writes them
// ("_" for none), or `letters` itself when it is no card ("old").
std::string Saved(bool xml, const std::string& letters, std::u16string_view href) {
  if (letters == "old") return letters;
  std::string text;
  std::u16string cards;
  for (char16_t c : letters == "_" ? "" : letters) {
    text += CrLf("BEGIN:VCARD\nVERSION:2.1\nFN:" + std::string(1, char(c)) + "\nEND:VCARD\n");
    cards += u"<vCard version=\"2.1\">\n<VERSION>2.1</VERSION>\n<FN>" + std::u16string(1, c) +
             u"</FN>\n</vCard>\n";
  }
  const std::u16string instruction =
      u"<?xml-stylesheet type=\"text/xsl\" href=\"" + std::u16string(href) + u"\"?>\n";
  return xml ? XmlDocument(cards, href.empty() ? u"" : instruction) : text;
}

enum Writers { kText = 1, kXml = 2, kBoth = 3 };
struct FileRow {
  const char* what;
  Writers writers;
  CComVariant target;
  Failure fail;
  HRESULT status;
  const char* files;              // a, b and c afterwards: their cards, "old" or "-" (none)
  const char* untouched = "";     // Cards that must not have been touched (no VERSION added).
  const char16_t* xsl = nullptr;  // The stylesheet, and as the document names it:
  const char16_t* href = u"";
  const char* cards = "ABC";  // b: a card B that cannot be written, x: one without a file.
};

// The rows' files are in a folder with a long name that is no ASCII, which
// is also the current one: before each row a and b hold "old" with
// permissions 0640, c does not exist, l is a link to a and f one to
// /dev/full. The cards A, B and C have files of their own for the empty
// argument: a, b (relative, spelt with "..") and a again (spelt another way).
// Whatever fails, a target keeps its old content and permissions, links stay
// links, devices stay devices, and no temporary file is left.
TEST(Save, WhereCardsGoAndWhatAFailureOfAnyFileCallLeaves) {
  using enum Call;
  ScratchDir scratch;
  std::string dir = scratch / "caf\xC3\xA9\xE4\xB8\x80";
  for (char c : std::string("abcde")) dir += "/" + std::string(60, c);
  std::filesystem::create_directories(dir);
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  auto in = [&](const char* name) { return dir + "/" + name; };
  CComVariant numbers, no_array;
  numbers.parray = SafeArrayCreateVector(VT_I4, 0, 1);
  numbers.vt = VT_ARRAY | VT_I4;
  no_array.vt = VT_ARRAY | VT_BSTR;
  no_array.parray = nullptr;
  const CComVariant one = Name(in("a")), each, two = NameList({in("a"), in("b")}),
                    list = NameList({in("a"), in("b"), in("c"), in("d")});
  const FileRow rows[] = {
      {"one", kBoth, one, {}, S_OK, "ABC old -"},
      {"no cards", kBoth, one, {}, S_OK, "_ old -", "", nullptr, u"", ""},
      {"open", kBoth, one, {kOpen}, kOpenFailed, "old old -", "ABC"},
      {"write", kText, one, {kWrite}, kDiskFull, "old old -"},
      // The byte-order mark is part of the open.
      {"the mark", kXml, one, {kWrite, 0}, kOpenFailed, "old old -", "ABC"},
      {"the header", kXml, one, {kWrite, 1}, kWriteFault, "old old -", "ABC"},
      {"a card", kXml, one, {kWrite, 4}, kWriteFault, "old old -"},
      {"close", kBoth, one, {kClose}, kDiskFull, "old old -"},
      {"sync", kBoth, one, {kSync}, kDiskFull, "old old -"},
      {"rename", kBoth, one, {kRename}, kWriteFault, "old old -"},
      {"a card fails", kText, one, {}, E_POINTER, "old old -", "C", nullptr, u"", "AbC"},
      {"list", kBoth, list, {}, S_OK, "A B C"},
      {"list: open", kText, list, {kOpen}, kOpenFailed, "old old -", "BC"},
      // A short write gives up its file like a failed close; the next goes on.
      {"list: first write", kText, list, {kWrite}, kDiskFull, "old B C"},
      {"list: first close", kBoth, list, {kClose}, kDiskFull, "old B C"},
      // The header of a per-card document.
      {"list: a header", kXml, list, {kWrite, 1}, E_UNEXPECTED, "old old -", "BC"},
      {"list: more cards than names", kBoth, two, {}, kOpenFailed, "A B -"},
      {"each", kBoth, each, {}, S_OK, "AC B -"},
      // A document given up after its first card gets none of its later ones.
      {"each: first close", kBoth, each, {kClose}, kDiskFull, "old B -"},
      // a was begun for A and C; C never came: nothing of it replaces a.
      {"each: a card fails", kXml, each, {}, E_FAIL, "old old -", "C", nullptr, u"", "AbC"},
      {"each: nameless card", kBoth, each, {}, kOpenFailed, "old old -", "", nullptr, u"", "x"},
      {"link", kBoth, Name(in("l")), {}, S_OK, "ABC old -"},
      {"full disk", kBoth, Name(in("f")), {}, kDiskFull, "old old -"},
      {"device", kBoth, Name("/dev/null"), {}, S_OK, "old old -"},
      {"a number", kBoth, CComVariant(LONG(1)), {}, E_INVALIDARG, "old old -", "ABC"},
      {"numbers", kBoth, numbers, {}, E_INVALIDARG, "old old -", "ABC"},
      {"no array", kBoth, no_array, {}, E_INVALIDARG, "old old -", "ABC"},
      {"in a plain file", kBoth, Name(in("plain/a")), {}, kOpenFailed, "old old -", "ABC"},
      {"empty name", kBoth, Name(""), {}, kOpenFailed, "old old -", "ABC"},
      // The stylesheet instruction, escaped, white space as character
      // references, in every document; a name no XML can hold is refused.
      {"xsl", kXml, one, {}, S_OK, "ABC old -", "", u"", u""},
      {"xsl", kXml, one, {}, S_OK, "ABC old -", "", u"a&b\"\u00E9\u4E00", u"a&amp;b&quot;\u00E9?"},
      {"xsl", kXml, list, {}, S_OK, "A B C", "", u"a\tb\nc\r.xsl", u"a&#9;b&#10;c&#13;.xsl"},
      {"xsl", kXml, one, {}, E_INVALIDARG, "old old -", "ABC", u"K\x01"},
      {"xsl", kXml, list, {}, E_INVALIDARG, "old old -", "ABC", u"\xFFFF"},
      {"xsl", kXml, one, {}, E_INVALIDARG, "old old -", "ABC", u"\xFFFE"},
      {"xsl", kXml, one, {}, E_INVALIDARG, "old old -", "ABC", u"a\xD800z"},
      {"xsl", kXml, one, {}, E_INVALIDARG, "old old -", "ABC", u"a\xDC00"},
  };
  for (const FileRow& row : rows) {
    for (const bool xml : {false, true}) {
      if (!(row.writers & (xml ? kXml : kText))) continue;
      if (std::string_view(row.what) == "full disk" && !std::filesystem::exists("/dev/full"))
        continue;
      SCOPED_TRACE((xml ? "XML " : "vCard ") + std::string(row.what) + " " +
                   Text(row.xsl ? row.xsl : u""));
      for (const auto& entry : std::filesystem::directory_iterator(dir))
        std::filesystem::remove_all(entry);
      for (const char* name : {"a", "b"}) {
        WriteFile(in(name), "old");
        ::chmod(in(name).c_str(), 0640);
      }
      WriteFile(in("plain"), "");
      std::filesystem::create_directory(in("sub"));
      std::filesystem::create_symlink(in("a"), in("l"));
      std::filesystem::create_symlink("/dev/full", in("f"));
      CardBuilder builder;
      CComPtr<IVCardColl> collection = Collection();
      for (const char* c = row.cards; *c; ++c) {
        const std::u16string fn = u"FN:" + std::u16string(1, char16_t(std::toupper(*c)));
        CComPtr<IVCard> card = builder.Build(*c != 'b' ? fn
                                             : xml     ? u"FN:B / N:date:1"
                                                       : u"FN:B / NOTE:orphan:x");
        EXPECT_EQ(collection->Add(card), S_OK);
        const int i = std::toupper(*c) - 'A';
        if (*c == 'x') continue;
        card->put_FolderPath(Name(i == 1 ? "" : i == 2 ? in("sub/..") : dir).bstrVal);
        card->put_Filename(Bstr(i == 1 ? u"sub/../b" : u"a"));
      }
      HRESULT status;
      {
        FailingFiles files(row.fail);
        status = xml ? collection->SaveAsXML(row.target, CComBSTR(row.xsl))
                     : collection->Save(row.target);
      }
      EXPECT_EQ(status, row.status);
      std::set<std::string> names = {"a", "b", "f", "l", "plain", "sub"}, listing;
      std::istringstream expected(row.files);
      for (const char* name : {"a", "b", "c"}) {
        std::string content;
        expected >> content;
        if (content == "-") continue;
        EXPECT_EQ(ReadFile(in(name)), Saved(xml, content, row.href)) << name;
        if (*name == 'c')
          names.insert(name);
        else
          EXPECT_EQ(std::filesystem::status(in(name)).permissions(), std::filesystem::perms(0640))
              << name;
      }
      for (const auto& entry : std::filesystem::directory_iterator(dir))
        listing.insert(entry.path().filename().string());
      EXPECT_EQ(listing, names);
      EXPECT_TRUE(std::filesystem::is_symlink(in("l")) && std::filesystem::is_symlink(in("f")));
      EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
      EXPECT_TRUE(std::filesystem::is_character_file(in("f")) ||
                  !std::filesystem::exists("/dev/full"));
      for (const char* c = row.untouched; *c; ++c)
        EXPECT_TRUE(cards::Card(builder.cards[*c - 'A']).Find("VERSION").empty()) << *c;
    }
  }
  std::filesystem::current_path(previous);
}

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
  CorpusCounts corpus;
  WriteFile(dir / "corpus.vcf", GenerateCorpus({.cards = 50000}, &corpus));
  const std::string source = TARVOVCARD_SOURCE_DIR, exports = source + "/tests/reader/exports/";
  // The sample's label: Quoted-Printable CR LF line breaks read back as one
  // line feed each.
  std::vector<Source> sources = {
      {dir / "corpus.vcf", corpus.cards, corpus.properties},
      {source + "/examples/sample.vcf",
       2,
       25,
       {{"//LABEL", "Building 4\nStorgatan 12\n752 20 Uppsala\nSweden"}}},
  };
  std::istringstream manifest(ReadFile(exports + "MANIFEST.txt"));
  for (Source row; manifest >> row.file >> row.cards >> row.properties;)
    sources.push_back({exports + row.file, row.cards, row.properties});
  EXPECT_GE(sources.size(), 14u);
  const bool lint = std::system("command -v xmllint >/dev/null 2>&1") == 0;
  for (Source& row : sources) {
    SCOPED_TRACE(row.file);
    const std::string in = dir / "in.vcf";
    WriteFile(in, ReadFile(row.file));
    CComPtr<IVCardColl> original = Collection();
    EXPECT_EQ(original->Load(Name(in)), S_OK);
    EXPECT_TRUE(cards::Cards(original).Complete());
    const CorpusCounts counts = CountLoaded(original);
    EXPECT_EQ(counts.cards, row.cards);
    EXPECT_EQ(counts.properties, row.properties);
    CComPtr<IVCardColl> again = ExpectComesBack(original, dir);
    const std::string saved = ReadFile(dir / "saved.vcf");
    ASSERT_EQ(again->Save(Name(dir / "again.vcf")), S_OK);
    EXPECT_TRUE(ReadFile(dir / "again.vcf") == saved);
    ASSERT_EQ(original->Save(CComVariant()), S_OK);
    EXPECT_TRUE(ReadFile(in) == saved);
    ASSERT_EQ(original->SaveAsXML(CComVariant(), CComBSTR(u"cards.xsl")), S_OK);
    if (!lint) continue;
    row.xml.push_back({"count(/vCardSet/vCard)", std::to_string(row.cards)});
    for (const auto& [xpath, value] : row.xml) {
      const std::string command = "xmllint --xpath 'string(" + xpath + ")' " + in;
      const int status = std::system((command + " >" + in + ".out 2>&1").c_str());
      EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << ReadFile(in + ".out");
      EXPECT_EQ(ReadFile(in + ".out"), value + "\n") << xpath;
    }
  }
}

// Cards that only a client can build, in the forms the writer has to choose
// for them (CardBuilder, support/builders.h), and whatever Load made of the
// reader's fuzz seeds, among them inputs the fuzzer once found changing on the
// way (a line refused at an empty ENCODING= before a line of 8-bit bytes):
// Save writes them and Load reads them back the same.
TEST(RoundTrip, WhatSaveWritesLoadReadsBack) {
  const char16_t* const rows[] = {
      u"NOTE;ENCODING=QUOTED-PRINTABLE: / TEL:+1 555",  // empty QP value before another property
      u"ADR:text:C:\\dir\\|text:a\\;b|text:next",       // a backslash at the end, before a ';'
      u"ORG:text:Smith; Jones\r\nand Co|text:R&D",      // a QP component holding a semicolon
      u"TEL;TYPE=X-A;TYPE=OTHER;TYPE=HOME:1",           // TYPE values that are no keywords
      u"PHOTO:bytes:|bytes:first|bytes:|bytes:second block / FN:after",  // several, one empty
      u"X-:v",
      u"AGENT:CID:agent@example.org / AGENT:",                        // text instead of a card
      u"X-FRIEND:card{FN:Nested} / NOTE:two cards follow|card|card",  // not in AGENT, after text
  };
  ScratchDir dir;
  for (const char16_t* row : rows) {
    CardBuilder builder;
    SCOPED_TRACE(Text(row));
    ExpectComesBack(Collection({builder.Build(row)}), dir);
  }
  int seeds = 0;
  for (const auto& entry : std::filesystem::directory_iterator(
           std::filesystem::path(TARVOVCARD_SOURCE_DIR) / "fuzz/seeds/reader")) {
    SCOPED_TRACE(entry.path().string());
    CComPtr<IVCardColl> original = Collection();
    ::testing::internal::CaptureStderr();
    original->Load(Name(entry.path().string()));
    ::testing::internal::GetCapturedStderr();
    ExpectComesBack(original, dir);
    ++seeds;
  }
  EXPECT_GE(seeds, 4);
}

}  // namespace
}  // namespace tarvovcard::writer
