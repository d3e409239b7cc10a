// WriteVCard: vCard 2.1 text, compared byte for byte.
#include "writer/vcard_writer.h"

#include <gtest/gtest.h>

#include "card_builder.h"
#include "stub_card.h"
#include "writer_test_support.h"

namespace tarvovcard::writer {
namespace {

using namespace testing;

// Writes the card into a scratch file and gives back the file's bytes.
std::string Written(IVCard* card, HRESULT expected = S_OK) {
  ScratchDir dir;
  std::FILE* stream = std::fopen((dir / "card.vcf").c_str(), "wb");
  EXPECT_NE(stream, nullptr);
  EXPECT_EQ(WriteVCard(stream, card), expected);
  std::fclose(stream);
  return ReadFile(dir / "card.vcf");
}

TEST(WriteVCard, WritesTheExampleCardExactly) {
  EXPECT_EQ(Written(ExampleCard()),
            "BEGIN:VCARD\r\n"
            "VERSION:2.1\r\n"
            "N:Doe;John;;;\r\n"
            "TEL;HOME;VOICE:+1 555 0100\r\n"
            "PHOTO;ENCODING=BASE64;GIF:\r\n"
            "    R0lGODlhAQABAIAAAP///wAAACwAAAAAAQABAAACAkQBADs=\r\n"
            "\r\n"
            "END:VCARD\r\n");
}

TEST(WriteVCard, EmptyCardAndBarePropertiesKeepTheirShape) {
  EXPECT_EQ(Written(NewCard()), "BEGIN:VCARD\r\nEND:VCARD\r\n");

  CComPtr<IVCard> card = NewCard();
  AddProperty(card, u"NOTE");
  AddEncoded(AddProperty(card, u"TEL", u""), "1");
  AddEncoded(AddProperty(card, u"TEL", u"home"), "2");
  AddEncoded(AddProperty(card, u"X-CUSTOM", u"caf\u00E9\u4E00"), "3");
  EXPECT_EQ(Written(card),
            "BEGIN:VCARD\r\nNOTE:\r\nTEL:1\r\nhome.TEL:2\r\ncaf\xE9?.X-CUSTOM:3\r\nEND:VCARD\r\n");
}

TEST(WriteVCard, TypeParametersShowOnlyTheirValueOthersTheirNameAsSet) {
  CComPtr<IVCard> card = NewCard();
  CComPtr<IVCardProperty> tel = AddProperty(card, u"TEL");
  AddParameter(tel, u"type", u"HOME");
  AddParameter(tel, u"ENCODING", u"QUOTED-PRINTABLE");
  AddParameter(tel, u"charset", u"UTF-8");
  AddParameter(tel, u"LANGUAGE", u"en");
  AddParameter(tel, u"VALUE", u"URL");
  AddParameter(tel, u"X-FOO-BAR", u"baz");
  AddParameter(tel, u"TYPE", u"");
  AddEncoded(tel, "1");
  EXPECT_EQ(Written(card),
            "BEGIN:VCARD\r\n"
            "TEL;HOME;ENCODING=QUOTED-PRINTABLE;charset=UTF-8;LANGUAGE=en;VALUE=URL;"
            "X-FOO-BAR=baz;:1\r\n"
            "END:VCARD\r\n");
}

TEST(WriteVCard, SeparatorsStandForUnsetValues) {
  CComPtr<IVCard> card = NewCard();
  CComPtr<IVCardProperty> adr = AddProperty(card, u"ADR");
  AddEncoded(adr, "first");
  AddEmpty(adr);
  AddEncoded(adr, "third;with semicolon");
  AddEmpty(adr);
  CComPtr<IVCardProperty> note = AddProperty(card, u"NOTE");
  AddEmpty(note);
  AddEmpty(note);
  EXPECT_EQ(Written(card),
            "BEGIN:VCARD\r\nADR:first;;third\\;with semicolon;\r\nNOTE:;\r\nEND:VCARD\r\n");
}

TEST(WriteVCard, DatesAreWrittenInBasicFormAndInvalidOnesAsNothing) {
  CComPtr<IVCard> card = NewCard();
  // 12 May 2004 13:45:00.
  AddDate(AddProperty(card, u"BDAY"), 38119.0 + (13.0 * 60 + 45) / (24 * 60));
  AddDate(AddProperty(card, u"REV"), -657435.0);
  EXPECT_EQ(Written(card), "BEGIN:VCARD\r\nBDAY:20040512T134500\r\nREV:\r\nEND:VCARD\r\n");
}

TEST(WriteVCard, Base64BlockStandsOnItsOwnLinesOnlyForExactlyBase64) {
  CComPtr<IVCard> card = NewCard();
  // 60 bytes: 80 Base64 characters, two lines of the encoder.
  const std::string bytes(60, '\x01');
  CComPtr<IVCardProperty> logo = AddProperty(card, u"LOGO");
  AddBytes(logo, bytes);  // Adds ENCODING=BASE64.
  CComPtr<IVCardProperty> lower = AddProperty(card, u"KEY");
  AddParameter(lower, u"ENCODING", u"base64");
  AddBytes(lower, "ab");
  CComPtr<IVCardParameterColl> parameters;
  ASSERT_EQ(lower->get_Parameters(&parameters), S_OK);
  CComPtr<IVCardParameter> encoding;
  ASSERT_EQ(parameters->Item(0, &encoding), S_OK);
  ASSERT_EQ(encoding->put_Value(CComBSTR(u"base64")), S_OK);
  CComPtr<IVCardProperty> second = AddProperty(card, u"X-DATA");
  AddParameter(second, u"ENCODING", u"QUOTED-PRINTABLE");
  AddParameter(second, u"ENCODING", u"BASE64");
  AddEncoded(second, "a=3Db");
  std::string encoded;
  for (int i = 0; i < 17; ++i) encoded += "AQEB";
  const std::string first_line = "    " + encoded;     // 68 characters
  const std::string second_line = "    AQEBAQEBAQEB";  // the last 9 bytes
  EXPECT_EQ(Written(card),
            "BEGIN:VCARD\r\n"
            "LOGO;ENCODING=BASE64:\r\n" +
                first_line + "\r\n" + second_line +
                "\r\n"
                "\r\n"
                "KEY;ENCODING=base64:    YWI=\r\n"
                "X-DATA;ENCODING=QUOTED-PRINTABLE;ENCODING=BASE64:a=3Db\r\n"
                "END:VCARD\r\n");
}

TEST(WriteVCard, NestedCardIsWrittenWholeInsideItsProperty) {
  CComPtr<IVCard> agent = NewCard();
  AddEncoded(AddProperty(agent, u"VERSION"), "3.0");
  AddEncoded(AddProperty(agent, u"FN"), "Agent");
  CComPtr<IVCard> card = NewCard();
  AddEncoded(AddProperty(card, u"FN"), "Boss");
  AddCard(AddProperty(card, u"AGENT"), agent);
  AddEncoded(AddProperty(card, u"NOTE"), "after");
  EXPECT_EQ(Written(card),
            "BEGIN:VCARD\r\n"
            "FN:Boss\r\n"
            "AGENT:\r\n"
            "BEGIN:VCARD\r\n"
            "VERSION:3.0\r\n"
            "FN:Agent\r\n"
            "END:VCARD\r\n"
            "\r\n"
            "NOTE:after\r\n"
            "END:VCARD\r\n");
}

TEST(WriteVCard, LongTextsAndBase64BlocksAreWrittenWhole) {
  CComPtr<IVCard> card = NewCard();
  const std::string text(5000, 't');
  AddEncoded(AddProperty(card, u"NOTE"), text.c_str());
  AddBytes(AddProperty(card, u"PHOTO"), std::string(3000, '\xFF'));
  const std::string written = Written(card);
  EXPECT_NE(written.find("NOTE:" + text + "\r\n"), std::string::npos);
  // 3000 bytes are 4000 Base64 characters in 59 lines of at most 68.
  const std::size_t start = written.find("PHOTO;ENCODING=BASE64:\r\n");
  ASSERT_NE(start, std::string::npos);
  const std::size_t end = written.find("\r\n\r\nEND:VCARD\r\n");
  ASSERT_NE(end, std::string::npos);
  std::string block = written.substr(start + 24, end - start - 24);
  std::size_t characters = 0, lines = 1;
  for (char c : block) {
    if (c == '/') ++characters;
    if (c == '\n') ++lines;
  }
  EXPECT_EQ(characters, 4000u);
  EXPECT_EQ(lines, 59u);
}

TEST(WriteVCard, FirstFailingCallEndsTheCardWithItsStatus) {
  CComPtr<IVCard> card = NewCard();
  AddEncoded(AddProperty(card, u"FN"), "kept");
  CComPtr<IVCardProperty> note = AddProperty(card, u"NOTE");
  // A text value whose parent is gone cannot be encoded.
  CComPtr<IVCardValue> orphan = Create<IVCardValue>(CLSID_VCardValue);
  CComVariant text;
  text.bstrVal = SysAllocString(u"x");
  text.vt = VT_BSTR;
  EXPECT_EQ(orphan->put_DecodedValue(text), E_POINTER);
  CComPtr<IVCardValueColl> values;
  ASSERT_EQ(note->get_Values(&values), S_OK);
  ASSERT_EQ(values->Add(orphan), S_OK);
  AddEncoded(AddProperty(card, u"TITLE"), "never");
  EXPECT_EQ(Written(card, E_POINTER), "BEGIN:VCARD\r\nFN:kept\r\nNOTE:");
}

TEST(WriteVCard, FailingNestedCardEndsTheOuterCardWithoutStrayReferences) {
  FailingCard agent(E_ACCESSDENIED);
  {
    CComPtr<IVCard> card = NewCard();
    AddCard(AddProperty(card, u"AGENT"), &agent);
    EXPECT_EQ(Written(card, E_ACCESSDENIED), "BEGIN:VCARD\r\nAGENT:\r\n");
  }
  EXPECT_EQ(agent.references(), 1u);
  EXPECT_EQ(Written(&agent, E_ACCESSDENIED), "");
  EXPECT_EQ(agent.references(), 1u);
}

TEST(WriteVCard, CardThatHoldsItselfIsRefusedInsteadOfWrittenForEver) {
  CComPtr<IVCard> card = NewCard();
  AddEncoded(AddProperty(card, u"FN"), "Loop");
  CComPtr<IVCardValue> self = AddCard(AddProperty(card, u"AGENT"), card);
  CComPtr<IVCard> outer = NewCard();
  AddCard(AddProperty(outer, u"AGENT"), card);
  EXPECT_EQ(Written(card, E_INVALIDARG), "BEGIN:VCARD\r\nFN:Loop\r\nAGENT:\r\n");
  EXPECT_EQ(Written(outer, E_INVALIDARG),
            "BEGIN:VCARD\r\nAGENT:\r\nBEGIN:VCARD\r\nFN:Loop\r\nAGENT:\r\n");
  // The same card twice side by side is no loop.
  CComPtr<IVCard> agent = NewCard();
  AddEncoded(AddProperty(agent, u"FN"), "A");
  CComPtr<IVCard> twice = NewCard();
  AddCard(AddProperty(twice, u"AGENT"), agent);
  AddCard(AddProperty(twice, u"AGENT"), agent);
  const std::string nested = "AGENT:\r\nBEGIN:VCARD\r\nFN:A\r\nEND:VCARD\r\n\r\n";
  EXPECT_EQ(Written(twice), "BEGIN:VCARD\r\n" + nested + nested + "END:VCARD\r\n");

  // Break the loop, so that the card can go.
  CComVariant text;
  text.bstrVal = SysAllocString(u"x");
  text.vt = VT_BSTR;
  EXPECT_EQ(self->put_DecodedValue(text), S_OK);
}

}  // namespace
}  // namespace tarvovcard::writer
