// WriteVCardAsXML: card elements, compared byte for byte (UTF-16, CR LF).
#include "writer/xml_writer.h"

#include <gtest/gtest.h>

#include "card_builder.h"
#include "stub_card.h"
#include "writer_test_support.h"

namespace tarvovcard::writer {
namespace {

using namespace testing;

// Writes the card into a fresh UTF-16 file and gives back the file's bytes.
std::string Written(IVCard* card, HRESULT expected = S_OK) {
  ScratchDir dir;
  {
    CUnicodeFile file((dir / "card.xml").c_str(), "w", 0);
    EXPECT_EQ(WriteVCardAsXML(file, card), expected);
  }
  return ReadFile(dir / "card.xml");
}

std::string Element(std::u16string_view properties) {
  return Utf16File(u"<vCard version=\"2.1\">\n" + std::u16string(properties) + u"</vCard>\n");
}

TEST(WriteVCardAsXML, WritesTheExampleCardExactly) {
  EXPECT_EQ(Written(ExampleCard()),
            Utf16File(u"<vCard version=\"2.1\">\n"
                      u"<VERSION>2.1</VERSION>\n"
                      u"<N><family>Doe</family><given>John</given><other></other>"
                      u"<prefix></prefix><suffix></suffix></N>\n"
                      u"<TEL tel.type=\"HOME VOICE \">+1 555 0100</TEL>\n"
                      u"<PHOTO img.type=\"GIF \"><b64bin fmttype=\"IMAGE/GIF\">\n"
                      u"    R0lGODlhAQABAIAAAP///wAAACwAAAAAAQABAAACAkQBADs=\n"
                      u"</b64bin>\n"
                      u"</PHOTO>\n"
                      u"</vCard>\n"));
}

TEST(WriteVCardAsXML, CardWithoutPropertiesIsTheBareElement) {
  EXPECT_EQ(Written(NewCard()), Element(u""));
}

TEST(WriteVCardAsXML, TypeAttributeIsNamedByThePropertyType) {
  CComPtr<IVCard> card = NewCard();
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"URL", u"WORK"}, {u"LABEL", u"DOM"},  {u"EMAIL", u"INTERNET"},
      {u"LOGO", u"GIF"}, {u"SOUND", u"WAVE"}, {u"X-FOO", u"BAR"},
  };
  for (const auto& [name, type] : cases) {
    CComPtr<IVCardProperty> property = AddProperty(card, name);
    AddParameter(property, u"TYPE", type);
    AddEncoded(property, "v");
  }
  CComPtr<IVCardProperty> adr = AddProperty(card, u"ADR", u"home");
  AddParameter(adr, u"TYPE", u"HOME");
  AddParameter(adr, u"ENCODING", u"8BIT");
  AddParameter(adr, u"CHARSET", u"UTF-8");
  AddParameter(adr, u"X-IGNORED", u"1");
  AddParameter(adr, u"TYPE", u"POSTAL");
  AddEncoded(adr, "");
  AddEncoded(adr, "");
  AddEncoded(adr, "1 Main St");
  EXPECT_EQ(Written(card),
            Element(u"<URL URL.type=\"WORK \">v</URL>\n"
                    u"<LABEL del.type=\"DOM \">v</LABEL>\n"
                    u"<EMAIL email.type=\"INTERNET \">v</EMAIL>\n"
                    u"<LOGO img.type=\"GIF \">v</LOGO>\n"
                    u"<SOUND aud.type=\"WAVE \">v</SOUND>\n"
                    u"<X-FOO X-FOO.type=\"BAR \">v</X-FOO>\n"
                    u"<ADR del.type=\"HOME POSTAL \"><pobox></pobox><extadd></extadd>"
                    u"<street>1 Main St</street><locality></locality><region></region>"
                    u"<pcode></pcode><country></country></ADR>\n"));
}

TEST(WriteVCardAsXML, LanguageAndValueAttributesKeepTheirSpaces) {
  CComPtr<IVCard> card = NewCard();
  CComPtr<IVCardProperty> note = AddProperty(card, u"NOTE");
  AddParameter(note, u"LANGUAGE", u"en");
  AddEncoded(note, "hello");
  CComPtr<IVCardProperty> url = AddProperty(card, u"URL");
  AddParameter(url, u"VALUE", u"URL");
  AddParameter(url, u"TYPE", u"WORK");
  AddEncoded(url, "http://example.com/");
  EXPECT_EQ(Written(card), Element(u"<NOTE lang=\"en\" >hello</NOTE>\n"
                                   u"<URL value=\"URL\"  URL.type=\"WORK \">"
                                   u"http://example.com/</URL>\n"));
}

TEST(WriteVCardAsXML, LanguageOrValueAfterTypeStaysOutsideTheTypeAttribute) {
  CComPtr<IVCard> card = NewCard();
  CComPtr<IVCardProperty> tel = AddProperty(card, u"TEL");
  AddParameter(tel, u"TYPE", u"HOME");
  AddParameter(tel, u"LANGUAGE", u"en");
  AddParameter(tel, u"TYPE", u"VOICE");
  AddParameter(tel, u"VALUE", u"TEXT");
  AddParameter(tel, u"LANGUAGE", u"fr");
  AddEncoded(tel, "1");
  EXPECT_EQ(Written(card),
            Element(u"<TEL lang=\"en fr\"  value=\"TEXT\"  tel.type=\"HOME VOICE \">1</TEL>\n"));
}

TEST(WriteVCardAsXML, SpecialCharactersAreEscapedInTextsAndAttributes) {
  CComPtr<IVCard> card = NewCard();
  CComPtr<IVCardProperty> note = AddProperty(card, u"NOTE");
  AddParameter(note, u"TYPE", u"A&B\"");
  AddParameter(note, u"LANGUAGE", u"<en>");
  AddText(note, u"Tom & Jerry <\"cat\" > 'mouse'>");
  CComPtr<IVCardProperty> org = AddProperty(card, u"ORG");
  AddEncoded(org, "AT&T");
  AddEncoded(org, "R<D");
  CComPtr<IVCardProperty> photo = AddProperty(card, u"PHOTO");
  AddParameter(photo, u"TYPE", u"X&Y");
  AddBytes(photo, "ab");
  CComPtr<IVCardProperty> title = AddProperty(card, u"TITLE");
  AddText(title, u"bell\u0007 \uFFFF \xD800 ok \U0001F600");
  EXPECT_EQ(Written(card),
            Element(u"<NOTE lang=\"&lt;en&gt;\"  NOTE.type=\"A&amp;B&quot; \">"
                    u"Tom &amp; Jerry &lt;&quot;cat&quot; &gt; 'mouse'&gt;</NOTE>\n"
                    u"<ORG><orgname>AT&amp;T</orgname><orgunit>R&lt;D</orgunit></ORG>\n"
                    u"<PHOTO img.type=\"X&amp;Y \"><b64bin fmttype=\"IMAGE/X&amp;Y\">\n"
                    u"    YWI=\n</b64bin>\n</PHOTO>\n"
                    u"<TITLE>bell\uFFFD \uFFFD \uFFFD ok \U0001F600</TITLE>\n"));
}

TEST(WriteVCardAsXML, LineBreaksSurviveTheLineEndHandlingOfXmlReaders) {
  CComPtr<IVCard> card = NewCard();
  CComPtr<IVCardProperty> label = AddProperty(card, u"LABEL");
  AddParameter(label, u"LANGUAGE", u"a\tb\nc\r");
  AddText(label, u"1 Main St\r\nSpringfield\rlone CR\nlone LF\r");
  // A reader would take CR CR LF for two line breaks and a bare CR for an LF.
  EXPECT_EQ(Written(card), Element(u"<LABEL lang=\"a&#9;b&#10;c&#13;\" >1 Main St\nSpringfield"
                                   u"&#13;lone CR\nlone LF&#13;</LABEL>\n"));
}

TEST(WriteVCardAsXML, NamesThatXmlCannotHoldAreEncodedOthersKept) {
  CComPtr<IVCard> card = NewCard();
  CComPtr<IVCardProperty> odd = AddProperty(card, u"X-A&B/C:\u00D7");
  AddParameter(odd, u"TYPE", u"T");
  AddEncoded(odd, "v");
  AddEncoded(AddProperty(card, u"X-\u00C5SA-1.2"), "w");
  CComPtr<IVCardProperty> unnamed = Create<IVCardProperty>(CLSID_VCardProperty);
  ASSERT_EQ(PropertiesOf(card)->Add(unnamed), S_OK);
  EXPECT_EQ(XmlElementName(u"1X"), u"_x0031_X");
  EXPECT_EQ(XmlElementName(u"X-\U0001F600\xD800"), u"X-\U0001F600_xD800_");
  EXPECT_EQ(Written(card),
            Element(u"<X-A_x0026_B_x002F_C_x003A__x00D7_ X-A_x0026_B_x002F_C_x003A__x00D7_.type="
                    u"\"T \">v</X-A_x0026_B_x002F_C_x003A__x00D7_>\n"
                    u"<X-\u00C5SA-1.2>w</X-\u00C5SA-1.2>\n"
                    u"<_></_>\n"));
}

TEST(WriteVCardAsXML, StructuredPropertiesWriteEveryChildElement) {
  CComPtr<IVCard> card = NewCard();
  CComPtr<IVCardProperty> n = AddProperty(card, u"N");
  CComPtr<IVCardPropertyName> name;
  ASSERT_EQ(n->get_AsName(&name), S_OK);
  ASSERT_EQ(name->put_FamilyName(CComBSTR(u"Doe")), S_OK);
  AddProperty(card, u"ORG");
  EXPECT_EQ(Written(card),
            Element(u"<N><family>Doe</family><given></given><other></other><prefix></prefix>"
                    u"<suffix></suffix></N>\n"
                    u"<ORG><orgname></orgname><orgunit></orgunit></ORG>\n"));
}

TEST(WriteVCardAsXML, ByteArraysAreBase64BlocksOnlyForMediaAndKeys) {
  CComPtr<IVCard> card = NewCard();
  AddBytes(AddProperty(card, u"PHOTO"), "ab");
  CComPtr<IVCardProperty> sound = AddProperty(card, u"SOUND");
  AddParameter(sound, u"TYPE", u"WAVE");
  AddBytes(sound, "ab");
  CComPtr<IVCardProperty> key = AddProperty(card, u"KEY");
  AddParameter(key, u"TYPE", u"X509");
  AddBytes(key, "ab");
  CComPtr<IVCardProperty> note = AddProperty(card, u"NOTE");
  AddEncoded(note, "text");
  AddBytes(note, "ab");
  AddBytes(AddProperty(card, u"X-DATA"), "ab");
  EXPECT_EQ(Written(card), Element(u"<PHOTO><b64bin fmttype=\"IMAGE/\">\n    YWI=\n</b64bin>\n"
                                   u"</PHOTO>\n"
                                   u"<SOUND aud.type=\"WAVE \"><b64bin fmttype=\"SOUND/WAVE\">\n"
                                   u"    YWI=\n</b64bin>\n</SOUND>\n"
                                   u"<KEY KEY.type=\"X509 \"><b64bin>\n    YWI=\n</b64bin>\n"
                                   u"</KEY>\n"
                                   u"<NOTE>text;</NOTE>\n"
                                   u"<X-DATA></X-DATA>\n"));
}

TEST(WriteVCardAsXML, GroupsAreDroppedDatesFormattedNestedCardsWrittenInPlace) {
  CComPtr<IVCard> agent = NewCard();
  AddEncoded(AddProperty(agent, u"VERSION"), "3.0");
  AddEncoded(AddProperty(agent, u"FN"), "Agent");
  CComPtr<IVCard> card = NewCard();
  AddEncoded(AddProperty(card, u"FN", u"work"), "Boss");
  AddDate(AddProperty(card, u"BDAY"), 35170.0 + 8.5 / 24);  // 15 April 1996 08:30
  AddDate(AddProperty(card, u"REV"), -657435.0);
  AddCard(AddProperty(card, u"AGENT"), agent);
  EXPECT_EQ(Written(card), Element(u"<FN>Boss</FN>\n"
                                   u"<BDAY>19960415T083000</BDAY>\n"
                                   u"<REV></REV>\n"
                                   u"<AGENT>\n"
                                   u"<vCard version=\"2.1\">\n"
                                   u"<VERSION>3.0</VERSION>\n"
                                   u"<FN>Agent</FN>\n"
                                   u"</vCard>\n"
                                   u"</AGENT>\n"));
}

TEST(WriteVCardAsXML, LongTextsAndBase64BlocksAreWrittenWhole) {
  CComPtr<IVCard> card = NewCard();
  const std::string text(5000, 't');
  AddEncoded(AddProperty(card, u"NOTE"), text.c_str());
  AddBytes(AddProperty(card, u"LOGO"), std::string(3000, '\xFF'));
  const std::string written = Written(card);
  EXPECT_NE(written.find(Utf16File(u"<NOTE>" + std::u16string(5000, u't') + u"</NOTE>\n", false)),
            std::string::npos);
  std::size_t slashes = 0;
  for (std::size_t i = 0; i + 1 < written.size(); i += 2) slashes += written[i] == '/';
  EXPECT_EQ(slashes, 4000u + 5);  // The Base64 text, "IMAGE/" and four end tags.
}

TEST(WriteVCardAsXML, FailedWriteGivesWriteFault) {
  ScratchDir dir;
  FailingFiles files;
  files.writes_before_failure = 1;  // Only the byte-order mark gets through.
  CUnicodeFile file((dir / "card.xml").c_str(), "w", 0);
  EXPECT_EQ(WriteVCardAsXML(file, ExampleCard()), static_cast<HRESULT>(0x8007001D));
}

TEST(WriteVCardAsXML, FailingCallEndsTheElementWithItsStatusAndKeepsWhatWasWritten) {
  FailingCard agent(E_ACCESSDENIED);
  {
    CComPtr<IVCard> card = NewCard();
    AddEncoded(AddProperty(card, u"FN"), "kept");
    AddCard(AddProperty(card, u"AGENT"), &agent);
    AddEncoded(AddProperty(card, u"TITLE"), "never");
    EXPECT_EQ(Written(card, E_ACCESSDENIED),
              Utf16File(u"<vCard version=\"2.1\">\n<FN>kept</FN>\n<AGENT>\n"));
  }
  EXPECT_EQ(agent.references(), 1u);
}

TEST(WriteVCardAsXML, CardThatHoldsItselfIsRefusedInsteadOfWrittenForEver) {
  CComPtr<IVCard> card = NewCard();
  CComPtr<IVCardValue> self = AddCard(AddProperty(card, u"AGENT"), card);
  EXPECT_EQ(Written(card, E_INVALIDARG), Utf16File(u"<vCard version=\"2.1\">\n<AGENT>\n"));
  CComVariant text;  // Break the loop, so that the card can go.
  text.bstrVal = SysAllocString(u"x");
  text.vt = VT_BSTR;
  EXPECT_EQ(self->put_DecodedValue(text), S_OK);
}

}  // namespace
}  // namespace tarvovcard::writer
