// Save and SaveAsXML: where the cards go, what the files hold, and the
// statuses, compared on whole files.
#include "writer/save.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "card_builder.h"
#include "writer_test_support.h"

namespace tarvovcard::writer {
namespace {

using namespace testing;

constexpr HRESULT kOpenFailed = static_cast<HRESULT>(0x8007006E);
constexpr HRESULT kDiskFull = static_cast<HRESULT>(0x80070070);
constexpr HRESULT kWriteFault = static_cast<HRESULT>(0x8007001D);

const std::string kXmlHeader = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<vCardSet>\n";

CComPtr<IVCard> CardNamed(const char* fn, const std::string& folder = "",
                          const std::string& file = "") {
  CComPtr<IVCard> card = NewCard();
  AddEncoded(AddProperty(card, u"FN"), fn);
  if (!folder.empty()) card->put_FolderPath(NameArgument(folder).bstrVal);
  if (!file.empty()) card->put_Filename(NameArgument(file).bstrVal);
  return card;
}

std::string CardText(const char* fn) {
  return CrLf(std::string("BEGIN:VCARD\nVERSION:2.1\nFN:") + fn + "\nEND:VCARD\n");
}

std::u16string CardXml(const char* fn) {
  const std::string n(fn);
  return u"<vCard version=\"2.1\">\n<VERSION>2.1</VERSION>\n<FN>" +
         std::u16string(n.begin(), n.end()) + u"</FN>\n</vCard>\n";
}

std::string XmlDocument(std::u16string_view cards, std::u16string_view stylesheet = u"") {
  std::u16string text = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n";
  text += stylesheet;
  text += u"<vCardSet>\n";
  text += cards;
  text += u"</vCardSet>\n";
  return Utf16File(text);
}

TEST(Save, OtherArgumentTypesAreRefusedBeforeAnythingIsTouched) {
  CComPtr<IVCard> card = CardNamed("A");
  CComPtr<IVCardColl> collection = NewCollection({card});
  CComVariant number;
  number.vt = VT_I4;
  number.lVal = 1;
  CComVariant numbers;
  numbers.parray = SafeArrayCreateVector(VT_I4, 0, 1);
  numbers.vt = VT_ARRAY | VT_I4;
  VARIANT no_array;  // Not owned: it holds nothing.
  VariantInit(&no_array);
  no_array.vt = VT_ARRAY | VT_BSTR;
  no_array.parray = nullptr;
  for (const VARIANT* argument :
       {static_cast<const VARIANT*>(&number), static_cast<const VARIANT*>(&numbers),
        static_cast<const VARIANT*>(&no_array)}) {
    EXPECT_EQ(collection->Save(*argument), E_INVALIDARG);
    EXPECT_EQ(collection->SaveAsXML(*argument, nullptr), E_INVALIDARG);
  }
  EXPECT_EQ(PropertyNames(card), std::vector<std::u16string>{u"FN"});
}

TEST(Save, OneNameGetsAllCardsAndAnEmptyCollectionAnEmptyFile) {
  ScratchDir dir;
  CComPtr<IVCardColl> empty = NewCollection();
  EXPECT_EQ(empty->Save(NameArgument(dir / "empty.vcf")), S_OK);
  EXPECT_EQ(ReadFile(dir / "empty.vcf"), "");
  EXPECT_EQ(empty->SaveAsXML(NameArgument(dir / "empty.xml"), nullptr), S_OK);
  EXPECT_EQ(ReadFile(dir / "empty.xml"), XmlDocument(u""));

  CComPtr<IVCardColl> two = NewCollection({CardNamed("A"), CardNamed("B")});
  EXPECT_EQ(two->Save(NameArgument(dir / "two.vcf")), S_OK);
  EXPECT_EQ(ReadFile(dir / "two.vcf"), CardText("A") + CardText("B"));
  EXPECT_EQ(two->SaveAsXML(NameArgument(dir / "two.xml"), nullptr), S_OK);
  EXPECT_EQ(ReadFile(dir / "two.xml"), XmlDocument(CardXml("A") + CardXml("B")));
}

TEST(Save, VersionIsReplacedByOneVersionTwoPointOneFirst) {
  ScratchDir dir;
  CComPtr<IVCard> card = NewCard();
  AddEncoded(AddProperty(card, u"FN"), "A");
  CComPtr<IVCardProperty> old_version = AddProperty(card, u"VERSION");
  AddParameter(old_version, u"X-SOURCE", u"phone");
  AddEncoded(old_version, "3.0");
  AddEncoded(AddProperty(card, u"VERSION"), "4.0");
  CComPtr<IVCard> without = NewCard();
  AddEncoded(AddProperty(without, u"FN"), "B");
  CComPtr<IVCardColl> collection = NewCollection({card, without});
  EXPECT_EQ(collection->Save(NameArgument(dir / "v.vcf")), S_OK);
  EXPECT_EQ(ReadFile(dir / "v.vcf"), CardText("A") + CardText("B"));
  // The change stays in the client's cards.
  EXPECT_EQ(PropertyNames(card), (std::vector<std::u16string>{u"VERSION", u"FN"}));
  EXPECT_EQ(PropertyNames(without), (std::vector<std::u16string>{u"VERSION", u"FN"}));
}

TEST(Save, CardsWithoutPropertiesOrWithOnlyVersionAreSavedWithVersion) {
  ScratchDir dir;
  CComPtr<IVCard> only_version = NewCard();
  AddEncoded(AddProperty(only_version, u"VERSION"), "3.0");
  CComPtr<IVCard> nothing = NewCard();
  CComPtr<IVCardColl> collection = NewCollection({only_version, nothing});
  EXPECT_EQ(collection->Save(NameArgument(dir / "v.vcf")), S_OK);
  const std::string card = CrLf("BEGIN:VCARD\nVERSION:2.1\nEND:VCARD\n");
  EXPECT_EQ(ReadFile(dir / "v.vcf"), card + card);
  EXPECT_EQ(collection->SaveAsXML(NameArgument(dir / "v.xml"), nullptr), S_OK);
  const std::u16string xml = u"<vCard version=\"2.1\">\n<VERSION>2.1</VERSION>\n</vCard>\n";
  EXPECT_EQ(ReadFile(dir / "v.xml"), XmlDocument(xml + xml));
}

TEST(Save, NameListGivesEachCardItsFileAndMissingNamesFail) {
  ScratchDir dir;
  CComPtr<IVCard> third = CardNamed("C");
  CComPtr<IVCardColl> collection = NewCollection({CardNamed("A"), CardNamed("B"), third});
  EXPECT_EQ(collection->Save(NameListArgument({dir / "a.vcf", dir / "b.vcf"})), kOpenFailed);
  EXPECT_EQ(ReadFile(dir / "a.vcf"), CardText("A"));
  EXPECT_EQ(ReadFile(dir / "b.vcf"), CardText("B"));
  EXPECT_EQ(PropertyNames(third), (std::vector<std::u16string>{u"VERSION", u"FN"}));

  EXPECT_EQ(collection->SaveAsXML(NameListArgument({dir / "a.xml", dir / "b.xml"}), nullptr),
            kOpenFailed);
  EXPECT_EQ(ReadFile(dir / "a.xml"), XmlDocument(CardXml("A")));
  EXPECT_EQ(ReadFile(dir / "b.xml"), XmlDocument(CardXml("B")));

  // Names beyond the number of cards are not used.
  CComPtr<IVCardColl> one = NewCollection({CardNamed("A")});
  EXPECT_EQ(one->Save(NameListArgument({dir / "x.vcf", dir / "unused.vcf"})), S_OK);
  EXPECT_FALSE(FileExists(dir / "unused.vcf"));
}

TEST(Save, FilesThatCannotBeCreatedGiveOpenFailedAndTouchNoCard) {
  ScratchDir dir;
  WriteFile(dir / "plain", "not a folder");
  CComPtr<IVCard> card = CardNamed("A");
  CComPtr<IVCardColl> collection = NewCollection({card});
  for (const std::string& name : {dir / "missing/out.vcf", dir / "plain/out.vcf", std::string()}) {
    EXPECT_EQ(collection->Save(NameArgument(name)), kOpenFailed) << name;
    EXPECT_EQ(collection->SaveAsXML(NameArgument(name), nullptr), kOpenFailed) << name;
  }
  EXPECT_EQ(PropertyNames(card), std::vector<std::u16string>{u"FN"});

  // A folder that may not be written (root may write anywhere, so the refusal
  // comes from the file operations).
  FailingFiles files;
  files.fail_open = true;
  files.error = EACCES;
  EXPECT_EQ(collection->Save(NameArgument(dir / "denied.vcf")), kOpenFailed);
  EXPECT_EQ(collection->SaveAsXML(NameArgument(dir / "denied.xml"), nullptr), kOpenFailed);
  EXPECT_EQ(collection->Save(NameListArgument({dir / "denied.vcf"})), kOpenFailed);
  EXPECT_EQ(collection->SaveAsXML(CComVariant(), nullptr), kOpenFailed);
}

TEST(Save, EmptyFormWritesEveryCardBackToItsOwnFileAllCardsOfAFileTogether) {
  ScratchDir dir;
  std::filesystem::create_directories(dir / "sub");
  CComPtr<IVCardColl> collection =
      NewCollection({CardNamed("A", dir.path(), "two.vcf"), CardNamed("X", dir / "sub", "x.vcf"),
                     CardNamed("B", dir.path() + "/sub/..", "two.vcf")});
  EXPECT_EQ(collection->Save(CComVariant()), S_OK);
  EXPECT_EQ(ReadFile(dir / "two.vcf"), CardText("A") + CardText("B"));
  EXPECT_EQ(ReadFile(dir / "sub/x.vcf"), CardText("X"));

  // XML goes over the same names: one document per file, all its cards in it.
  EXPECT_EQ(collection->SaveAsXML(CComVariant(), nullptr), S_OK);
  EXPECT_EQ(ReadFile(dir / "two.vcf"), XmlDocument(CardXml("A") + CardXml("B")));
  EXPECT_EQ(ReadFile(dir / "sub/x.vcf"), XmlDocument(CardXml("X")));
}

TEST(Save, EmptyFormWithoutFolderUsesTheCurrentFolderAndWithoutNamesFails) {
  ScratchDir dir;
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  CComPtr<IVCardColl> relative = NewCollection({CardNamed("A", "", "here.vcf")});
  const HRESULT saved = relative->Save(CComVariant());
  std::filesystem::current_path(previous);
  EXPECT_EQ(saved, S_OK);
  EXPECT_EQ(ReadFile(dir / "here.vcf"), CardText("A"));

  CComPtr<IVCardColl> nameless = NewCollection({CardNamed("A")});
  EXPECT_EQ(nameless->Save(CComVariant()), kOpenFailed);
  EXPECT_EQ(nameless->SaveAsXML(CComVariant(), nullptr), kOpenFailed);
}

TEST(Save, LongJoinedPathsAndUnicodeNamesAreWritten) {
  ScratchDir dir;
  std::string folder = dir.path();
  for (int i = 0; i < 5; ++i) folder += "/" + std::string(60, static_cast<char>('a' + i));
  std::filesystem::create_directories(folder);
  ASSERT_GT(folder.size(), 300u);
  CComPtr<IVCardColl> collection = NewCollection({CardNamed("A", folder, "long.vcf")});
  EXPECT_EQ(collection->Save(CComVariant()), S_OK);
  EXPECT_EQ(ReadFile(folder + "/long.vcf"), CardText("A"));

  CComVariant unicode;
  const std::u16string name =
      NameArgument(dir.path()).bstrVal + std::u16string(u"/caf\u00E9\u4E00.xml");
  unicode.bstrVal = SysAllocString(name.c_str());
  unicode.vt = VT_BSTR;
  EXPECT_EQ(collection->SaveAsXML(unicode, nullptr), S_OK);
  EXPECT_TRUE(FileExists(dir / "caf\xC3\xA9\xE4\xB8\x80.xml"));
}

TEST(SaveAsXML, StylesheetInstructionOnlyForANonEmptyNameAndEscaped) {
  ScratchDir dir;
  CComPtr<IVCardColl> collection = NewCollection({CardNamed("A")});
  EXPECT_EQ(collection->SaveAsXML(NameArgument(dir / "a.xml"), CComBSTR(u"")), S_OK);
  EXPECT_EQ(ReadFile(dir / "a.xml"), XmlDocument(CardXml("A")));
  EXPECT_EQ(collection->SaveAsXML(NameArgument(dir / "b.xml"), CComBSTR(u"cards.xsl")), S_OK);
  EXPECT_EQ(
      ReadFile(dir / "b.xml"),
      XmlDocument(CardXml("A"), u"<?xml-stylesheet type=\"text/xsl\" href=\"cards.xsl\"?>\n"));
  EXPECT_EQ(
      collection->SaveAsXML(NameListArgument({dir / "c.xml"}), CComBSTR(u"a&b\"\u00E9\u4E00.xsl")),
      S_OK);
  EXPECT_EQ(ReadFile(dir / "c.xml"), XmlDocument(CardXml("A"),
                                                 u"<?xml-stylesheet type=\"text/xsl\" "
                                                 u"href=\"a&amp;b&quot;\u00E9?.xsl\"?>\n"));
  // White space stays itself as a character reference; what no XML document
  // can hold is refused, and no file is touched.
  EXPECT_EQ(collection->SaveAsXML(NameArgument(dir / "d.xml"), CComBSTR(u"a\tb\nc.xsl")), S_OK);
  EXPECT_EQ(ReadFile(dir / "d.xml"),
            XmlDocument(CardXml("A"),
                        u"<?xml-stylesheet type=\"text/xsl\" href=\"a&#9;b&#10;c.xsl\"?>\n"));
  for (const char16_t* href : {u"K\x01", u"\xFFFF",
                               u"a\xD800"
                               u"b"}) {
    EXPECT_EQ(collection->SaveAsXML(NameArgument(dir / "d.xml"), CComBSTR(href)), E_INVALIDARG);
  }
  EXPECT_EQ(ReadFile(dir / "d.xml"),
            XmlDocument(CardXml("A"),
                        u"<?xml-stylesheet type=\"text/xsl\" href=\"a&#9;b&#10;c.xsl\"?>\n"));
}

// The names in a folder: no temporary file is ever left behind.
std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A save that fails at any step leaves its target as it was (content and
// permissions) and no temporary file; one that succeeds replaces the content
// and keeps the permissions.
TEST(Save, FailureAtAnyStepLeavesTheTargetAsItWas) {
  struct Case {
    const char* what;
    void (*arrange)(FailingFiles& files, bool xml);
    HRESULT save, save_as_xml;
  };
  const Case cases[] = {
      {"nothing fails", [](FailingFiles&, bool) {}, S_OK, S_OK},
      // In XML the first write is the byte-order mark, part of the open.
      {"a write", [](FailingFiles& f, bool xml) { f.writes_before_failure = xml ? 1 : 0; },
       kDiskFull, kWriteFault},
      {"the close", [](FailingFiles& f, bool) { f.fail_close = true; }, kDiskFull, kDiskFull},
      {"the sync", [](FailingFiles& f, bool) { f.fail_sync = true; }, kDiskFull, kDiskFull},
      {"the rename", [](FailingFiles& f, bool) { f.fail_rename = true; }, kWriteFault, kWriteFault},
  };
  CComPtr<IVCardColl> collection = NewCollection({CardNamed("A")});
  for (const Case& c : cases) {
    for (const bool xml : {false, true}) {
      ScratchDir dir;
      const std::string target = dir / "target";
      WriteFile(target, "old");
      ::chmod(target.c_str(), 0640);
      HRESULT status;
      {
        FailingFiles files;
        c.arrange(files, xml);
        status = xml ? collection->SaveAsXML(NameArgument(target), nullptr)
                     : collection->Save(NameArgument(target));
      }
      const std::string what = std::string(c.what) + (xml ? " (XML)" : "");
      EXPECT_EQ(status, xml ? c.save_as_xml : c.save) << what;
      if (status == S_OK) {
        EXPECT_EQ(ReadFile(target), xml ? XmlDocument(CardXml("A")) : CardText("A")) << what;
      } else {
        EXPECT_EQ(ReadFile(target), "old") << what;
      }
      EXPECT_EQ(std::filesystem::status(target).permissions(), std::filesystem::perms(0640))
          << what;
      EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"target"}) << what;
    }
  }
}

TEST(Save, FailedCloseGivesUpThatFileGoesOnAndIsReportedAtTheEnd) {
  ScratchDir dir;
  CComPtr<IVCardColl> collection = NewCollection({CardNamed("A"), CardNamed("B"), CardNamed("C")});
  WriteFile(dir / "a.vcf", "old");
  {
    FailingFiles files;
    files.fail_close_at = 0;
    EXPECT_EQ(collection->Save(NameListArgument({dir / "a.vcf", dir / "b.vcf", dir / "c.vcf"})),
              kDiskFull);
  }
  EXPECT_EQ(ReadFile(dir / "a.vcf"), "old");
  EXPECT_EQ(ReadFile(dir / "b.vcf"), CardText("B"));
  EXPECT_EQ(ReadFile(dir / "c.vcf"), CardText("C"));
  EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"a.vcf", "b.vcf", "c.vcf"}));
}

// A link stays a link, and the file it points to is replaced; a target that
// is no regular file is written in place, never renamed over.
TEST(Save, LinksStayLinksAndDevicesAreWrittenInPlace) {
  ScratchDir dir;
  WriteFile(dir / "real.vcf", "old");
  std::filesystem::create_symlink(dir / "real.vcf", dir / "link.vcf");
  CComPtr<IVCardColl> collection = NewCollection({CardNamed("A")});
  ASSERT_EQ(collection->Save(NameArgument(dir / "link.vcf")), S_OK);
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.vcf"));
  EXPECT_EQ(ReadFile(dir / "real.vcf"), CardText("A"));
  EXPECT_EQ(collection->Save(NameArgument("/dev/null")), S_OK);
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
}

TEST(Save, FullDiskIsReportedAndTheDeviceLeftAlone) {
  if (!FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ScratchDir dir;
  std::filesystem::create_symlink("/dev/full", dir / "full.vcf");
  CComPtr<IVCardColl> collection = NewCollection({CardNamed("A")});
  EXPECT_EQ(collection->Save(NameArgument(dir / "full.vcf")), kDiskFull);
  EXPECT_TRUE(FileExists("/dev/full"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "full.vcf"));
}

TEST(SaveAsXML, DocumentThatCannotBeClosedIsGivenUpAndReportedAtTheEnd) {
  ScratchDir dir;
  CComPtr<IVCardColl> collection = NewCollection({CardNamed("A"), CardNamed("B")});
  {
    FailingFiles files;
    files.fail_close_at = 0;
    EXPECT_EQ(collection->SaveAsXML(NameListArgument({dir / "a.xml", dir / "b.xml"}), nullptr),
              kDiskFull);
  }
  EXPECT_FALSE(FileExists(dir / "a.xml"));
  EXPECT_EQ(ReadFile(dir / "b.xml"), XmlDocument(CardXml("B")));

  // In the empty form a document that could not be closed after its first
  // card is given up: its later cards are not written, the file keeps what
  // it had, and the other files are written.
  WriteFile(dir / "two.xml", "old");
  CComPtr<IVCardColl> shared =
      NewCollection({CardNamed("A", dir.path(), "two.xml"), CardNamed("X", dir.path(), "x.xml"),
                     CardNamed("B", dir.path(), "two.xml")});
  {
    FailingFiles files;
    files.fail_close_at = 0;
    EXPECT_EQ(shared->SaveAsXML(CComVariant(), nullptr), kDiskFull);
  }
  EXPECT_EQ(ReadFile(dir / "two.xml"), "old");
  EXPECT_EQ(ReadFile(dir / "x.xml"), XmlDocument(CardXml("X")));

  if (!FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  std::filesystem::create_symlink("/dev/full", dir / "full.xml");
  EXPECT_EQ(collection->SaveAsXML(NameArgument(dir / "full.xml"), nullptr), kDiskFull);
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "full.xml"));
}

TEST(SaveAsXML, FailedWritesGiveWriteFaultOrUnexpected) {
  ScratchDir dir;
  CComPtr<IVCardColl> collection = NewCollection({CardNamed("A")});
  {
    FailingFiles files;
    files.writes_before_failure = 1;  // The mark, then the header of the one file fails.
    EXPECT_EQ(collection->SaveAsXML(NameArgument(dir / "a.xml"), nullptr), kWriteFault);
  }
  {
    FailingFiles files;
    files.writes_before_failure = 4;  // The mark and the three header lines.
    EXPECT_EQ(collection->SaveAsXML(NameArgument(dir / "b.xml"), nullptr), kWriteFault);
  }
  {
    FailingFiles files;
    files.writes_before_failure = 1;  // The header of a per-card document fails.
    EXPECT_EQ(collection->SaveAsXML(NameListArgument({dir / "c.xml"}), nullptr), E_UNEXPECTED);
  }
}

TEST(Save, FailingCardStopsTheWritingAndLeavesItsFilesAsTheyWere) {
  ScratchDir dir;
  CComPtr<IVCard> broken = CardNamed("B");
  CComPtr<IVCardProperty> note = AddProperty(broken, u"NOTE");
  CComPtr<IVCardValue> orphan = Create<IVCardValue>(CLSID_VCardValue);
  CComVariant text;
  text.bstrVal = SysAllocString(u"x");
  text.vt = VT_BSTR;
  orphan->put_DecodedValue(text);  // No parent: stored, but cannot be encoded.
  CComPtr<IVCardValueColl> values;
  ASSERT_EQ(note->get_Values(&values), S_OK);
  ASSERT_EQ(values->Add(orphan), S_OK);
  CComPtr<IVCard> never = CardNamed("C");
  CComPtr<IVCardColl> collection = NewCollection({CardNamed("A"), broken, never});

  WriteFile(dir / "all.vcf", "old");
  EXPECT_EQ(collection->Save(NameArgument(dir / "all.vcf")), E_POINTER);
  EXPECT_EQ(ReadFile(dir / "all.vcf"), "old");
  EXPECT_EQ(PropertyNames(never), std::vector<std::u16string>{u"FN"});

  // In XML the text value is read decoded, so only the view of an N fails.
  CComPtr<IVCard> bad_name = CardNamed("B");
  AddDate(AddProperty(bad_name, u"N"), 1.0);  // A family name that is a date.
  CComPtr<IVCardColl> xml = NewCollection(
      {CardNamed("A", dir.path(), "x.xml"), bad_name, CardNamed("C", dir.path(), "x.xml")});
  bad_name->put_FolderPath(NameArgument(dir.path()).bstrVal);
  bad_name->put_Filename(CComBSTR(u"y.xml"));
  WriteFile(dir / "x.xml", "old x");
  EXPECT_EQ(xml->SaveAsXML(CComVariant(), nullptr), E_FAIL);
  // x.xml was begun for A and C; C never came: nothing of it replaces the file.
  EXPECT_EQ(ReadFile(dir / "x.xml"), "old x");
  EXPECT_FALSE(FileExists(dir / "y.xml"));
  EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"all.vcf", "x.xml"}));
}

}  // namespace
}  // namespace tarvovcard::writer
