// The C++ face, through the shared library as a client links it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <tarvovcard/cards.hpp>

namespace tc = tarvovcard::cards;
using namespace std::chrono;

namespace {

const char kTwoCards[] =
    "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Berg;Jonas;;Dr.;\r\nFN:Jonas Berg\r\n"
    "TEL;HOME;VOICE:+46 1\r\nwork.TEL;WORK:+46 2\r\nBDAY:19960415T083000\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nFN:Chidi\r\nADR;WORK:;;Main St 1;Lagos;;100001;Nigeria\r\n"
    "ORG:Acme;Research\r\nAGENT:\r\nBEGIN:VCARD\r\nFN:Assistant\r\nEND:VCARD\r\n\r\nEND:VCARD\r\n";

TEST(Cards, RangesWalkCardsPropertiesParametersAndValues) {
  const tc::Cards book = tc::Cards::Parse(kTwoCards);
  ASSERT_EQ(book.size(), 2u);
  std::vector<std::string> seen;
  for (const tc::Card card : book) {
    for (const tc::Property property : card.GetProperties()) {
      std::string line = property.Group() + (property.Group().empty() ? "" : ".") + property.Name();
      for (const tc::Parameter parameter : property.GetParameters()) line += ";" + parameter.Text();
      line += ":" + std::to_string(property.GetValues().size());
      seen.push_back(line);
    }
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"VERSION:1", "N:5", "FN:1", "TEL;HOME;VOICE:1",
                                            "work.TEL;WORK:1", "BDAY:1", "FN:1", "ADR;WORK:7",
                                            "ORG:2", "AGENT:1"}));
  EXPECT_EQ(book[0].Find("TEL", VCARD_PARAM_TYPE, "home;voice").size(), 1u);
  EXPECT_TRUE(book[0].Find("TEL")[0].HasType("home"));
  const std::optional<tc::Card> agent = book[1].Find("AGENT")[0].GetValues()[0].NestedCard();
  ASSERT_TRUE(agent.has_value());
  EXPECT_EQ(agent->Text("FN"), "Assistant");
  EXPECT_EQ(book[1].Find("AGENT")[0].GetValues()[0].GetKind(), tc::Value::Kind::kCard);
}

TEST(Cards, PartsOfNameAddressAndOrganisationByName) {
  tc::Cards book = tc::Cards::Parse(kTwoCards);
  const struct {
    int card;
    const char* property;
    tc::Part part;
    const char* text;
  } cases[] = {
      {0, "N", tc::Part::kNamePrefix, "Dr."},
      {1, "ADR", tc::Part::kStreet, "Main St 1"},
      {1, "ADR", tc::Part::kCountry, "Nigeria"},
      {1, "ORG", tc::Part::kOrganisationalUnit, "Research"},
  };
  for (const auto& c : cases) {
    tc::Property property = book[c.card].Find(c.property)[0];
    EXPECT_EQ(property.GetPart(c.part), c.text) << c.property;
    property.SetPart(c.part, "x");
    EXPECT_EQ(property.GetPart(c.part), "x");
  }
  try {
    book[0].Find("FN")[0].GetPart(tc::Part::kStreet);
    ADD_FAILURE() << "a component of FN";
  } catch (const tc::Error& e) {
    EXPECT_EQ(e.Status(), E_NOTIMPL);
  }
}

// Text, dates and bytes set through the face come back the same from the
// saved text (how they are written: value_test.cpp, tests/writer/golden_test.cpp).
TEST(Cards, ValuesComeBackFromTheSavedText) {
  tc::Cards book;
  tc::Card card = book.Add(tc::Card::New());
  card.Add("FN", "Åsa Öberg ☕");
  tc::Property bday = card.Add(tc::Property::New("BDAY"));
  tc::Property photo = card.Add("PHOTO", "");
  const tc::DateTime when = sys_days(1996y / April / 15) + 8h + 30min + 5s;
  bday.SetText("");
  bday.GetValues()[0].SetDate(when);
  const std::vector<std::byte> bytes = {std::byte{0}, std::byte{0xFF}, std::byte{'G'}};
  photo.SetText("");
  photo.GetValues()[0].SetBytes(bytes);

  const tc::Cards again = tc::Cards::Parse(book.ToVCard());
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0].Text("FN"), "Åsa Öberg ☕");
  EXPECT_EQ(again[0].Find("BDAY")[0].GetValues()[0].Date(), when);
  EXPECT_EQ(again[0].Find("PHOTO")[0].GetValues()[0].Bytes(), bytes);
  EXPECT_EQ(again[0].Find("FN")[0].GetValues()[0].Date(), std::nullopt);
  const std::u16string xml = again.ToXML("cards.xsl");
  EXPECT_NE(xml.find(u"cards.xsl"), std::u16string::npos);
  EXPECT_NE(xml.find(u"Åsa Öberg ☕"), std::u16string::npos);
}

TEST(Cards, FailuresCarryTheirStatus) {
  const std::filesystem::path missing = "/nonexistent-folder/cards.vcf";
  try {
    tc::Cards::Load(missing);
    ADD_FAILURE() << "loaded a missing file";
  } catch (const tc::Error& e) {
    EXPECT_EQ(e.Status(), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_NE(std::string(e.what()).find("no such file"), std::string::npos) << e.what();
  }
  tc::Cards book;
  EXPECT_TRUE(FAILED(book.TrySave(missing)));
  EXPECT_THROW(book.SaveAsXML(missing), tc::Error);

  // A line that cannot be read is left out and reported; the rest is kept.
  const tc::Cards damaged = tc::Cards::Parse("BEGIN:VCARD\nFN:A\n;;junk\nTEL:1\nEND:VCARD\n");
  EXPECT_FALSE(damaged.Complete());
  ASSERT_EQ(damaged.Problems().size(), 1u);
  EXPECT_EQ(damaged.Problems()[0].line, 3);
  EXPECT_TRUE(damaged.Problems()[0].lost);
}

}  // namespace
