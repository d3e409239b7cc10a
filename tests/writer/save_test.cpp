// Save and SaveAsXML: where the cards go, the stylesheet, the refused
// arguments, and what a failure of any file call leaves behind, compared on
// whole files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <sstream>

#include "writer_test.h"

namespace tarvovcard::writer {
namespace {

using namespace testing;

constexpr HRESULT kOpenFailed = static_cast<HRESULT>(0x8007006E);
constexpr HRESULT kDiskFull = static_cast<HRESULT>(0x80070070);
constexpr HRESULT kWriteFault = static_cast<HRESULT>(0x8007001D);

// The cards named by `letters` (FN:A ...) as Save writes them, or `letters`
// itself when it is no card ("old").
std::string Saved(bool xml, const std::string& letters) {
  if (letters == "old") return letters;
  std::string text;
  std::u16string cards;
  for (char16_t c : letters) {
    text += CrLf("BEGIN:VCARD\nVERSION:2.1\nFN:" + std::string(1, char(c)) + "\nEND:VCARD\n");
    cards += u"<vCard version=\"2.1\">\n<VERSION>2.1</VERSION>\n<FN>" + std::u16string(1, c) +
             u"</FN>\n</vCard>\n";
  }
  return xml ? XmlDocument(cards) : text;
}

std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

bool HasVersion(IVCard* card) {
  return Dump(card).find("VERSION") != std::string::npos;
}

// Where the cards A, B and C go: all into a; into a, b, c and (unused) d;
// into a and b only; each to its own file (A and C to a, spelt two ways, B
// to b); into l, a link to a; into a link to /dev/full; into /dev/null.
enum Form { kOne, kList, kShortList, kEach, kLink, kFull, kNull };

struct FileRow {
  const char* what;
  bool xml;
  Form form;
  Failures fail;
  HRESULT status;
  const char* files;           // a, b and c afterwards: their cards, "old" or "-" (none)
  const char* untouched = "";  // Cards that must not have been touched (no VERSION added).
  bool broken = false;         // Card B cannot be written.
};

// Before each row a and b hold "old" with permissions 0640, c does not
// exist. Whatever fails, a target keeps its old content and permissions, and
// no temporary file is left.
TEST(Save, FailureOfAnyFileCallLeavesEachTargetOldOrWhole) {
  const FileRow rows[] = {
      {"vCard", false, kOne, {}, S_OK, "ABC old -"},
      {"vCard: open",
       false,
       kOne,
       {.open = true, .error = EACCES},
       kOpenFailed,
       "old old -",
       "ABC"},
      {"vCard: write", false, kOne, {.write_at = 0}, kDiskFull, "old old -"},
      {"vCard: close", false, kOne, {.close_at = 0}, kDiskFull, "old old -"},
      {"vCard: sync", false, kOne, {.sync = true}, kDiskFull, "old old -"},
      {"vCard: rename", false, kOne, {.rename = true}, kWriteFault, "old old -"},
      {"vCard: a card fails", false, kOne, {}, E_POINTER, "old old -", "C", true},
      {"vCard list", false, kList, {}, S_OK, "A B C"},
      {"vCard list: open", false, kList, {.open = true}, kOpenFailed, "old old -", "BC"},
      {"vCard list: first close", false, kList, {.close_at = 0}, kDiskFull, "old B C"},
      {"vCard list: more cards than names", false, kShortList, {}, kOpenFailed, "A B -"},
      {"vCard each", false, kEach, {}, S_OK, "AC B -"},
      {"vCard each: first close", false, kEach, {.close_at = 0}, kDiskFull, "old B -"},
      {"vCard link", false, kLink, {}, S_OK, "ABC old -"},
      {"vCard full disk", false, kFull, {}, kDiskFull, "old old -"},
      {"vCard device", false, kNull, {}, S_OK, "old old -"},
      {"XML", true, kOne, {}, S_OK, "ABC old -"},
      {"XML: open", true, kOne, {.open = true, .error = EACCES}, kOpenFailed, "old old -", "ABC"},
      // The byte-order mark is part of the open.
      {"XML: the mark", true, kOne, {.write_at = 0}, kOpenFailed, "old old -", "ABC"},
      {"XML: the header", true, kOne, {.write_at = 1}, kWriteFault, "old old -", "ABC"},
      {"XML: a card", true, kOne, {.write_at = 4}, kWriteFault, "old old -"},
      {"XML: close", true, kOne, {.close_at = 0}, kDiskFull, "old old -"},
      {"XML: sync", true, kOne, {.sync = true}, kDiskFull, "old old -"},
      {"XML: rename", true, kOne, {.rename = true}, kWriteFault, "old old -"},
      {"XML list", true, kList, {}, S_OK, "A B C"},
      {"XML list: first close", true, kList, {.close_at = 0}, kDiskFull, "old B C"},
      // The header of a per-card document.
      {"XML list: a header", true, kList, {.write_at = 1}, E_UNEXPECTED, "old old -", "BC"},
      {"XML list: more cards than names", true, kShortList, {}, kOpenFailed, "A B -"},
      {"XML each", true, kEach, {}, S_OK, "AC B -"},
      // A document given up after its first card gets none of its later ones.
      {"XML each: first close", true, kEach, {.close_at = 0}, kDiskFull, "old B -"},
      // a was begun for A and C; C never came: nothing of it replaces a.
      {"XML each: a card fails", true, kEach, {}, E_FAIL, "old old -", "C", true},
      {"XML link", true, kLink, {}, S_OK, "ABC old -"},
      {"XML full disk", true, kFull, {}, kDiskFull, "old old -"},
      {"XML device", true, kNull, {}, S_OK, "old old -"},
  };
  for (const FileRow& row : rows) {
    if (row.form == kFull && !std::filesystem::exists("/dev/full")) continue;
    ScratchDir dir;
    std::vector<std::string> names = {"a", "b", "sub"};
    for (const char* name : {"a", "b"}) {
      WriteFile(dir / name, "old");
      ::chmod((dir / name).c_str(), 0640);
    }
    std::filesystem::create_directory(dir / "sub");
    CardBuilder builder;
    const char16_t* broken = row.xml ? u"FN:B / N:date:1" : u"FN:B / NOTE:orphan:x";
    CComPtr<IVCard> cards[] = {builder.Build(u"FN:A"), builder.Build(row.broken ? broken : u"FN:B"),
                               builder.Build(u"FN:C")};
    CComVariant target;
    switch (row.form) {
      case kOne:
        target = Name(dir / "a");
        break;
      case kList:
        target = NameList({dir / "a", dir / "b", dir / "c", dir / "d"});
        break;
      case kShortList:
        target = NameList({dir / "a", dir / "b"});
        break;
      case kEach:
        for (int i = 0; i < 3; ++i) {
          cards[i]->put_FolderPath(Name(dir.path() + (i ? "/sub/.." : "")).bstrVal);
          cards[i]->put_Filename(Bstr(i == 1 ? u"b" : u"a"));
        }
        break;
      case kLink:
      case kFull:
        std::filesystem::create_symlink(row.form == kLink ? dir / "a" : "/dev/full", dir / "l");
        names.push_back("l");
        target = Name(dir / "l");
        break;
      case kNull:
        target = Name("/dev/null");
        break;
    }
    CComPtr<IVCardColl> collection = Collection({cards[0], cards[1], cards[2]});
    HRESULT status;
    {
      FailingFiles files(row.fail);
      status = row.xml ? collection->SaveAsXML(target, nullptr) : collection->Save(target);
    }
    EXPECT_EQ(status, row.status) << row.what;
    std::istringstream expected(row.files);
    for (const char* name : {"a", "b", "c"}) {
      std::string content;
      expected >> content;
      if (content == "-") {
        EXPECT_FALSE(std::filesystem::exists(dir / name)) << row.what << ": " << name;
        continue;
      }
      EXPECT_EQ(ReadFile(dir / name), Saved(row.xml, content)) << row.what << ": " << name;
      if (*name != 'c') {
        EXPECT_EQ(std::filesystem::status(dir / name).permissions(), std::filesystem::perms(0640))
            << row.what << ": " << name;
      } else {
        names.push_back(name);
      }
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(Listing(dir.path()), names) << row.what;
    if (row.form == kLink || row.form == kFull) {
      EXPECT_TRUE(std::filesystem::is_symlink(dir / "l"));
    }
    if (row.form == kFull) {
      EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
    }
    if (row.form == kNull) {
      EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
    }
    for (const char* c = row.untouched; *c; ++c)
      EXPECT_FALSE(HasVersion(cards[*c - 'A'])) << row.what << ": card " << *c;
  }
}

// Arguments refused before any card is touched: other types, and a file that
// cannot be created.
TEST(Save, RefusedArgumentsTouchNoCard) {
  ScratchDir dir;
  WriteFile(dir / "plain", "not a folder");
  CComVariant numbers;
  numbers.parray = SafeArrayCreateVector(VT_I4, 0, 1);
  numbers.vt = VT_ARRAY | VT_I4;
  VARIANT no_array;  // Not owned: it holds nothing.
  VariantInit(&no_array);
  no_array.vt = VT_ARRAY | VT_BSTR;
  no_array.parray = nullptr;
  const CComVariant number(LONG(1)), missing = Name(dir / "missing/out.vcf"),
                                     plain = Name(dir / "plain/out.vcf"), nameless = Name("");
  const std::pair<const VARIANT*, HRESULT> rows[] = {
      {&number, E_INVALIDARG}, {&numbers, E_INVALIDARG}, {&no_array, E_INVALIDARG},
      {&missing, kOpenFailed}, {&plain, kOpenFailed},    {&nameless, kOpenFailed},
  };
  CardBuilder builder;
  CComPtr<IVCardColl> collection = Collection({builder.Build(u"FN:A")});
  for (const auto& [argument, status] : rows) {
    EXPECT_EQ(collection->Save(*argument), status) << argument->vt;
    EXPECT_EQ(collection->SaveAsXML(*argument, nullptr), status) << argument->vt;
  }
  EXPECT_FALSE(HasVersion(builder.cards[0]));
  // Cards without a file of their own cannot go back to it.
  EXPECT_EQ(collection->Save(CComVariant()), kOpenFailed);
  EXPECT_EQ(collection->SaveAsXML(CComVariant(), nullptr), kOpenFailed);
}

TEST(Save, EmptyCollectionsLongPathsUnicodeNamesAndTheCurrentFolder) {
  ScratchDir dir;
  CComPtr<IVCardColl> empty = Collection();
  EXPECT_EQ(empty->Save(Name(dir / "empty.vcf")), S_OK);
  EXPECT_EQ(ReadFile(dir / "empty.vcf"), "");
  EXPECT_EQ(empty->SaveAsXML(Name(dir / "empty.xml"), nullptr), S_OK);
  EXPECT_EQ(ReadFile(dir / "empty.xml"), XmlDocument(u""));

  std::string folder = dir.path();
  for (int i = 0; i < 5; ++i) folder += "/" + std::string(60, static_cast<char>('a' + i));
  std::filesystem::create_directories(folder);
  CardBuilder builder;
  CComPtr<IVCard> card = builder.Build(u"FN:A");
  card->put_FolderPath(Name(folder).bstrVal);
  card->put_Filename(Bstr(u"long.vcf"));
  CComPtr<IVCardColl> collection = Collection({card});
  EXPECT_EQ(collection->Save(CComVariant()), S_OK);
  EXPECT_EQ(ReadFile(folder + "/long.vcf"), Saved(false, "A"));

  const std::u16string name = Name(dir.path()).bstrVal + std::u16string(u"/caf\u00E9\u4E00.xml");
  EXPECT_EQ(collection->SaveAsXML(CComVariant(Bstr(name)), nullptr), S_OK);
  EXPECT_EQ(ReadFile(dir / "caf\xC3\xA9\xE4\xB8\x80.xml"), Saved(true, "A"));

  // A card without a folder goes to its name in the current folder.
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  card->put_FolderPath(Bstr(u""));
  card->put_Filename(Bstr(u"here.vcf"));
  const HRESULT saved = collection->Save(CComVariant());
  std::filesystem::current_path(previous);
  EXPECT_EQ(saved, S_OK);
  EXPECT_EQ(ReadFile(dir / "here.vcf"), Saved(false, "A"));
}

// The stylesheet instruction: only for a name, escaped, white space as
// character references; a name no XML can hold is refused and no file is
// touched. In the one document and in every per-card one.
TEST(SaveAsXML, StylesheetInstruction) {
  const std::pair<const char16_t*, const char16_t*> rows[] = {
      {u"", u""},
      {u"cards.xsl", u"cards.xsl"},
      {u"a&b\"\u00E9\u4E00.xsl", u"a&amp;b&quot;\u00E9?.xsl"},
      {u"a\tb\nc\r.xsl", u"a&#9;b&#10;c&#13;.xsl"},
      {u"K\x01", nullptr},
      {u"\xFFFF", nullptr},
      {u"\xFFFE", nullptr},
      {u"a\xD800"
       u"b",
       nullptr},
      {u"a\xDC00", nullptr},
  };
  ScratchDir dir;
  CardBuilder builder;
  CComPtr<IVCardColl> collection = Collection({builder.Build(u"FN:A")});
  for (const auto& [href, written] : rows) {
    for (const CComVariant& target : {Name(dir / "a.xml"), NameList({dir / "a.xml"})}) {
      WriteFile(dir / "a.xml", "old");
      EXPECT_EQ(collection->SaveAsXML(target, CComBSTR(href)), written ? S_OK : E_INVALIDARG)
          << Text(href);
      const std::u16string instruction =
          written && *written
              ? u"<?xml-stylesheet type=\"text/xsl\" href=\"" + std::u16string(written) + u"\"?>\n"
              : u"";
      EXPECT_EQ(ReadFile(dir / "a.xml"),
                written ? XmlDocument(u"<vCard version=\"2.1\">\n<VERSION>2.1</VERSION>\n<FN>A</FN>"
                                      u"\n</vCard>\n",
                                      instruction)
                        : "old")
          << Text(href);
    }
  }
}

}  // namespace
}  // namespace tarvovcard::writer
