// The objects that reading a file makes.
#include "reader/builder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "coding/conversions.h"
#include "reader/model_text.h"
#include "reader/reader_test_files.h"

namespace tarvovcard::reader {
namespace {

using testing::Describe;
using testing::DescribeAll;
using Cards = std::vector<std::string>;

std::string Card(std::string_view body) {
  return "BEGIN:VCARD\r\n" + std::string(body) + "END:VCARD\r\n";
}

struct Read {
  HRESULT status;
  Cards cards;
  std::string stdout_text;
};

// Reads a file holding exactly these bytes into a new collection.
Read ReadBytes(std::string_view bytes) {
  std::string path = testing::WriteTestFile("build.vcf", bytes);
  CComPtr<IVCardColl> collection = testing::NewCollection();
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  HRESULT status = testing::LoadOne(collection, path);
  ::testing::internal::GetCapturedStderr();
  std::string out = ::testing::internal::GetCapturedStdout();
  return {status, DescribeAll(collection), out};
}

Cards Only(std::string card) {
  return {std::move(card)};
}

TEST(Builder, StructuredValuesKeepEveryComponent) {
  Read r = ReadBytes(Card("N:Aa;Bb;;Cc;\r\nORG:Acme\\;Co;R&D\r\nADR:;;1 Main St;Town;;;\r\n"));
  EXPECT_EQ(r.status, S_OK);
  EXPECT_EQ(r.cards, Only("N:Aa|Bb||Cc|\nORG:Acme;Co|R&D\nADR:||1 Main St|Town|||"));
}

TEST(Builder, ParametersInOrderAndOneValue) {
  Read r = ReadBytes(Card("TEL;WORK;VOICE:123\r\nEMAIL;TYPE=INTERNET;X-Q-W=v:a@b\r\n"));
  EXPECT_EQ(r.cards, Only("TEL;TYPE=WORK;TYPE=VOICE:123\nEMAIL;TYPE=INTERNET;X-Q-W=v:a@b"));
}

TEST(Builder, EmptyValueIsAnEmptyText) {
  Read r = ReadBytes(Card("NOTE:\r\nN:\r\n"));
  EXPECT_EQ(r.cards, Only("NOTE:\nN:"));
}

TEST(Builder, GroupsAreKept) {
  Read r = ReadBytes(Card("a.b.TEL;HOME:1\r\nFN:x\r\n"));
  EXPECT_EQ(r.cards, Only("TEL[a.b];TYPE=HOME:1\nFN:x"));
}

// Property names are read without regard to letter case and stored under
// their canonical names.
TEST(Builder, PropertyNamesInAnyCaseGetTheirCanonicalNames) {
  Read r = ReadBytes(Card("FN:A\r\ntel;home:123\r\nFn:B\r\nvErSiOn:2.1\r\n"));
  EXPECT_EQ(r.cards, Only("FN:A\nTEL;TYPE=home:123\nFN:B\nVERSION:2.1"));
  CComPtr<IVCardColl> collection = testing::NewCollection();
  std::string path = testing::WriteTestFile("types.vcf", Card("tel:1\r\nadr:a;b\r\n"));
  ASSERT_EQ(testing::LoadOne(collection, path), S_OK);
  CComPtr<IVCardPropertyColl> properties;
  testing::CardAt(collection, 0)->get_Properties(&properties);
  CComPtr<IVCardProperty> tel, adr;
  properties->Item(0, &tel);
  properties->Item(1, &adr);
  EVCardProperty type;
  tel->get_Type(&type);
  EXPECT_EQ(type, VCARD_PROP_TEL);
  adr->get_Type(&type);
  EXPECT_EQ(type, VCARD_PROP_ADR);
  EVCardProperty found;
  EXPECT_STREQ(CanonicalPropertyName("mAiLeR", &found), "MAILER");
  EXPECT_EQ(found, VCARD_PROP_MAILER);
  EXPECT_STREQ(CanonicalPropertyName("uid", &found), "UID");
  EXPECT_EQ(found, VCARD_PROP_UID);
  EXPECT_STREQ(CanonicalPropertyName("Url", &found), "URL");
  EXPECT_EQ(found, VCARD_PROP_URL);
  EXPECT_STREQ(CanonicalPropertyName("n", &found), "N");
  EXPECT_STREQ(CanonicalPropertyName("version", &found), "VERSION");
  EXPECT_EQ(CanonicalPropertyName("NICKNAME", &found), nullptr);
  EXPECT_EQ(CanonicalPropertyName("", &found), nullptr);
  EXPECT_EQ(CanonicalPropertyName("UR", &found), nullptr);
  EXPECT_EQ(CanonicalPropertyName("TELX", &found), nullptr);
  EXPECT_EQ(CanonicalPropertyName("TE", &found), nullptr);
}

// A property the vocabulary refuses is dropped with its whole line.
TEST(Builder, NamesOutsideTheVocabularyAreKeptAsRead) {
  Read r = ReadBytes(Card("FN:A\r\nNICKNAME;HOME;X-A=b:B\r\nsort-string:x\r\nTEL:1\r\n"));
  EXPECT_EQ(r.cards, Only("FN:A\nNICKNAME;TYPE=HOME;X-A=b:B\nsort-string:x\nTEL:1"));
}

TEST(Builder, ExtensionNamesKeepTheirHyphensAndLetters) {
  Read r = ReadBytes(Card("X-MS-OL-DEFAULT-POSTAL-ADDRESS:2\r\nX-Foo;X-FOO-BAR=baz:v\r\n"));
  EXPECT_EQ(r.cards, Only("X-MS-OL-DEFAULT-POSTAL-ADDRESS:2\nX-Foo;X-FOO-BAR=baz:v"));
  EXPECT_EQ(r.stdout_text, "");
}

// The value of an extension parameter is kept whole, hyphens included, even
// when it reads like a keyword; the cards after it are read.
TEST(Builder, ExtensionParameterValuesAreKeptWhole) {
  Read r = ReadBytes(Card("TEL;X-FOO=a-b:123\r\nX-A;X-ID=ab-12-cd;HOME:v\r\n"));
  EXPECT_EQ(r.status, S_OK);
  EXPECT_EQ(r.cards, Only("TEL;X-FOO=a-b:123\nX-A;X-ID=ab-12-cd;TYPE=HOME:v"));
  EXPECT_EQ(r.stdout_text, "");

  Read keywords = ReadBytes(Card("TEL;X-KIND=HOME;X-REF=X-IRMC-N:1\r\nNOTE;X-C=BASE64:n\r\n") +
                            Card("FN:B\r\n"));
  EXPECT_EQ(keywords.status, S_OK);
  EXPECT_EQ(keywords.cards, (Cards{"TEL;X-KIND=HOME;X-REF=X-IRMC-N:1\nNOTE;X-C=BASE64:n", "FN:B"}));
  EXPECT_EQ(keywords.stdout_text, "");
}

// Long texts are kept whole, and a text read on many lines stays the same.
TEST(Builder, LongAndRepeatedNamesAndParameters) {
  std::string group(300, 'g'), name(200, 'N'), value(150, 'v');
  std::string line = group + ".X-" + name + ";X-" + name + "=" + value + ";HOME:1\r\n";
  Read r = ReadBytes(Card(line + line + "item1.TEL;HOME:2\r\n"));
  std::string described = "X-" + name + "[" + group + "];X-" + name + "=" + value + ";TYPE=HOME:1";
  EXPECT_EQ(r.cards, Only(described + "\n" + described + "\nTEL[item1];TYPE=HOME:2"));
}

// Raw 8-bit text belongs to the value and is read in the ANSI code page, or
// as UTF-8 under CHARSET=UTF-8.
TEST(Builder, EightBitTextIsKeptWhole) {
  Read r =
      ReadBytes(Card("FN:M\xFCller\tJr\r\nNOTE;CHARSET=UTF-8:J\xC3\xBCrgen\r\n"
                     "N:M\xFCller;J\xF6rg\r\nLABEL;8BIT:caf\xE9\r\n"));
  EXPECT_EQ(r.cards, Only("FN:M\xC3\xBCller\tJr\nNOTE;CHARSET=UTF-8:J\xC3\xBCrgen\n"
                          "N:M\xC3\xBCller|J\xC3\xB6rg\nLABEL;ENCODING=8BIT:caf\xC3\xA9"));
  EXPECT_EQ(r.stdout_text, "");
}

TEST(Builder, EncodedValuesAreDecoded) {
  Read r =
      ReadBytes(Card("NOTE;ENCODING=QUOTED-PRINTABLE:a=3Db=\r\nc\r\n"
                     "PHOTO;ENCODING=BASE64;TYPE=GIF:\r\n    QUJD\r\n    REVG\r\n\r\n"
                     "FN:x\r\n"));
  EXPECT_EQ(r.status, S_OK);
  EXPECT_EQ(r.cards, Only("NOTE;ENCODING=QUOTED-PRINTABLE:a=bc\n"
                          "PHOTO;ENCODING=BASE64;TYPE=GIF:bytes:6\nFN:x"));
}

// A photo whose data starts right after the ":" keeps its first line, and a
// value that is the word "Begin" is text: the cards after it are read.
TEST(Builder, Base64OnThePropertyLineAndBeginAsAValue) {
  Read r = ReadBytes(Card("PHOTO;ENCODING=BASE64;TYPE=JPEG:QUJD\r\n REVG\r\n Rw==\r\n\r\n"
                          "N:Begin;Menachem\r\nNOTE:begin\r\n") +
                     Card("FN:next\r\n"));
  EXPECT_EQ(r.status, S_OK);
  EXPECT_EQ(r.cards, (Cards{"PHOTO;ENCODING=BASE64;TYPE=JPEG:bytes:7\nN:Begin|Menachem\nNOTE:begin",
                            "FN:next"}));
  EXPECT_EQ(r.stdout_text, "");
}

// A BASE64 photo with no data is kept with an empty value, and the rest of
// its card, and the cards after it, are read.
TEST(Builder, Base64PropertyWithoutDataKeepsTheRestOfTheCard) {
  Read r = ReadBytes(Card("PHOTO;ENCODING=BASE64;TYPE=GIF:\r\n\r\nFN:Ann\r\nTEL:1\r\n") +
                     Card("FN:next\r\n"));
  EXPECT_EQ(r.status, S_OK);
  EXPECT_EQ(r.cards, (Cards{"PHOTO;ENCODING=BASE64;TYPE=GIF:bytes:0\nFN:Ann\nTEL:1", "FN:next"}));
  EXPECT_EQ(r.stdout_text, "");
}

// Dates are converted; text that is no date is kept as text, and an empty
// value is the invalid-date marker.
TEST(Builder, DatesAreConvertedAndOtherTextKept) {
  Read r = ReadBytes(Card("BDAY:19960415\r\nREV:19951031T222710Z\r\nBDAY:\r\nBDAY:1995\r\n"
                          "BDAY:unknown\r\n") +
                     Card("FN:after\r\n"));
  EXPECT_EQ(r.status, S_OK);
  char invalid[64];
  std::snprintf(invalid, sizeof invalid, "date:%.6f", coding::kInvalidDate);
  ASSERT_EQ(r.cards.size(), 2u);
  EXPECT_EQ(r.cards[0], std::string("BDAY:date:35170.000000\nREV:date:35003.935532\nBDAY:") +
                            invalid + "\nBDAY:1995\nBDAY:unknown");
  EXPECT_EQ(r.cards[1], "FN:after");
}

TEST(Builder, NestedCardIsTheValueOfItsAgentProperty) {
  Read r =
      ReadBytes(Card("FN:Boss\r\nAGENT:\r\nBEGIN:VCARD\r\nFN:Aide\r\nTEL:1\r\nEND:VCARD\r\n"
                     "TEL:2\r\n"));
  EXPECT_EQ(r.status, S_OK);
  EXPECT_EQ(r.cards, Only("FN:Boss\nAGENT:card{FN:Aide / TEL:1}\nTEL:2"));
  // A property name in small letters is an AGENT property all the same.
  Read lower = ReadBytes(Card("agent:\r\nBEGIN:VCARD\r\nFN:Aide\r\nEND:VCARD\r\n"));
  EXPECT_EQ(lower.cards, Only("AGENT:card{FN:Aide}"));
}

// A nested card goes to the AGENT property whose line it follows.
TEST(Builder, NestedCardGoesToTheAgentLineItFollows) {
  Read r =
      ReadBytes(Card("AGENT;TYPE=WORK:\r\nBEGIN:VCARD\r\nFN:One\r\nEND:VCARD\r\n"
                     "AGENT;TYPE=HOME:\r\nBEGIN:VCARD\r\nFN:Two\r\n"
                     "AGENT:\r\nBEGIN:VCARD\r\nFN:Three\r\nEND:VCARD\r\n"
                     "END:VCARD\r\n"));
  EXPECT_EQ(r.cards, Only("AGENT;TYPE=WORK:card{FN:One}\n"
                          "AGENT;TYPE=HOME:card{FN:Two / AGENT:card{FN:Three}}"));
}

TEST(Builder, CardsGetTheFolderAndNameOfTheirFile) {
  // Backslashes separate folders as slashes do.
  std::string path =
      testing::WriteTestFile("C:\\dir\\cards.vcf", Card("FN:a\r\n") + Card("FN:b\r\n"));
  CComPtr<IVCardColl> collection = testing::NewCollection();
  ASSERT_EQ(testing::LoadOne(collection, path), S_OK);
  ASSERT_EQ(testing::CardCount(collection), 2);
  for (LONG i = 0; i < 2; ++i) {
    CComBSTR folder, name;
    testing::CardAt(collection, i)->get_FolderPath(&folder);
    testing::CardAt(collection, i)->get_Filename(&name);
    EXPECT_EQ(testing::Utf8(folder),
              path.substr(0, path.size() - std::string("\\cards.vcf").size()));
    EXPECT_EQ(testing::Utf8(name), "cards.vcf");
  }
}

TEST(Builder, UnfinishedLastCardIsNotAdded) {
  Read r = ReadBytes(Card("FN:a\r\n") + "BEGIN:VCARD\r\nFN:b\r\n");
  EXPECT_EQ(r.status, HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
  EXPECT_EQ(r.cards, Only("FN:a"));
}

}  // namespace
}  // namespace tarvovcard::reader
