// The card and its four queries, the pair-counting parameter test included.
#include <string>

#include "model_test_support.h"

namespace tarvovcard::testing {
namespace {

class VCardQueries : public ::testing::Test {
 protected:
  void SetUp() override {
    card = Create<IVCard>(CLSID_VCard);
    ASSERT_EQ(card->get_Properties(&properties), S_OK);
  }

  CComPtr<IVCardProperty> Add(const char16_t* name, const char16_t* parameters = u"") {
    auto property = MakeProperty(name, parameters);
    EXPECT_EQ(properties->Add(property), S_OK);
    return property;
  }

  LONG CountByName(const char16_t* name) {
    CComPtr<IVCardPropertyColl> result;
    EXPECT_EQ(card->QueryPropertyByName(name ? CComBSTR(name) : CComBSTR(), &result), S_OK);
    return result ? CountOf(result) : -1;
  }
  LONG CountByParameter(const std::u16string& values) {
    CComPtr<IVCardPropertyColl> result;
    CComBSTR text(values.c_str());
    EXPECT_EQ(card->QueryPropertyByParameter(VCARD_PROP_TEL, VCARD_PARAM_TYPE, text, &result),
              S_OK);
    return result ? CountOf(result) : -1;
  }

  CComPtr<IVCard> card;
  CComPtr<IVCardPropertyColl> properties;
};

TEST_F(VCardQueries, NewCardHasNoPathsAndEveryQueryIsEmpty) {
  BSTR folder = reinterpret_cast<BSTR>(1), file = reinterpret_cast<BSTR>(1);
  CComPtr<IVCardPropertyColl> a, b, c, d, again;
  ExpectStatuses({
      {CALL(card->get_FolderPath(&folder)), S_OK},
      {CALL(card->get_Filename(&file)), S_OK},
      {CALL(card->QueryPropertyByType(VCARD_PROP_TEL, &a)), S_OK},
      {CALL(card->QueryPropertyByName(CComBSTR(u"TEL"), &b)), S_OK},
      {CALL(card->QueryPropertyByParameter(VCARD_PROP_TEL, VCARD_PARAM_TYPE, nullptr, &c)), S_OK},
      {CALL(card->QueryPropertyByNameAndParameter(nullptr, VCARD_PARAM_TYPE, nullptr, &d)), S_OK},
      {CALL(card->QueryPropertyByType(VCARD_PROP_TEL, nullptr)), E_POINTER},
      {CALL(card->QueryPropertyByName(nullptr, nullptr)), E_POINTER},
      {CALL(card->get_Properties(&again)), S_OK},
  });
  EXPECT_EQ(folder, nullptr);
  EXPECT_EQ(file, nullptr);
  EXPECT_EQ(again, properties);  // the card's own collection
  for (IVCardPropertyColl* result : {properties.p, a.p, b.p, c.p, d.p}) {
    EXPECT_EQ(CountOf(result), 0);
  }
  CComBSTR folder_set, file_set;
  ASSERT_EQ(card->put_FolderPath(CComBSTR(u"/tmp/cards")), S_OK);
  ASSERT_EQ(card->put_Filename(CComBSTR(u"a.vcf")), S_OK);
  card->get_FolderPath(&folder_set);
  card->get_Filename(&file_set);
  EXPECT_EQ(Str(folder_set), u"/tmp/cards");
  EXPECT_EQ(Str(file_set), u"a.vcf");
}

// The results hold the card's own objects in card order: a change through a
// result is a change of the card, a removal from it is not.
TEST_F(VCardQueries, ByTypeGivesTheCardsOwnObjectsInCardOrder) {
  auto t1 = Add(u"TEL");
  Add(u"EMAIL");
  auto t2 = Add(u"TEL");
  auto t3 = Add(u"TEL");
  CComPtr<IVCardPropertyColl> result;
  ASSERT_EQ(card->QueryPropertyByType(VCARD_PROP_TEL, &result), S_OK);
  ASSERT_EQ(CountOf(result), 3);
  for (LONG i = 0; i < 3; ++i) {
    CComPtr<IVCardProperty> item;
    result->Item(i, &item);
    EXPECT_EQ(item, (i == 0 ? t1 : i == 1 ? t2 : t3)) << i;
  }
  ASSERT_EQ(t2->put_Group(CComBSTR(u"work")), S_OK);
  CComPtr<IVCardProperty> selected;
  CComBSTR group;
  result->Item(1, &selected);
  selected->get_Group(&group);
  EXPECT_EQ(Str(group), u"work");
  ASSERT_EQ(result->Remove(0), S_OK);
  EXPECT_EQ(CountOf(properties), 4);

  properties->Add(Create<IVCardProperty>(CLSID_VCardProperty));
  Add(u"X-ICQ");
  CComPtr<IVCardPropertyColl> unknown, extensions;
  ASSERT_EQ(card->QueryPropertyByType(VCARD_PROP_UNKNOWN, &unknown), S_OK);
  ASSERT_EQ(card->QueryPropertyByType(VCARD_PROP_X, &extensions), S_OK);
  EXPECT_EQ(CountOf(unknown), 1);
  EXPECT_EQ(CountOf(extensions), 1);
}

TEST_F(VCardQueries, ByNameIsExactAndCaseSensitive) {
  Add(u"X-ICQ");
  Add(u"X-icq");
  Add(u"TEL");
  properties->Add(Create<IVCardProperty>(CLSID_VCardProperty));
  EXPECT_EQ(CountByName(u"X-ICQ"), 1);
  EXPECT_EQ(CountByName(u"tel"), 0);
  EXPECT_EQ(CountByName(u"TEL"), 1);
  EXPECT_EQ(CountByName(u""), 1);  // the property never named
  EXPECT_EQ(CountByName(nullptr), 1);
}

// A property passes when the pairs (its TYPE value, a token) that match,
// without regard to case, are at least as many as the tokens: a pair count,
// not a count of matched tokens.
TEST_F(VCardQueries, ParameterTestCountsPairsNotTokens) {
  Add(u"TEL", u"TYPE=HOME,TYPE=VOICE");
  Add(u"TEL", u"TYPE=HOME");
  Add(u"TEL", u"type=home,TYPE=voice");
  Add(u"TEL", u"TYPE=HOME,TYPE=HOME");
  Add(u"TEL");
  Add(u"EMAIL", u"TYPE=HOME");
  const struct {
    const char16_t* values;
    LONG count;
  } cases[] = {
      {u"HOME;VOICE", 3},            // the first, the third, and the fourth (HOME pairs twice)
      {u"HOME;WORK", 1},             // only the fourth
      {u"HOME", 4},       {u"", 5},  // no tokens: every TEL passes, with or without parameters
      {u";;", 5},         {u";;HOME;;;VOICE;", 3},  // runs of separators count as one
  };
  for (const auto& c : cases) EXPECT_EQ(CountByParameter(c.values), c.count) << &c - cases;
}

// No 259-byte limit: the whole text is cut into tokens, and a token behind
// the 259th byte still counts.
TEST_F(VCardQueries, LongParameterValuesAreTokenisedWhole) {
  const std::u16string long_token(300, u'A');
  Add(u"TEL", (u"TYPE=" + long_token + u",TYPE=HOME").c_str());
  Add(u"TEL", u"TYPE=HOME");
  EXPECT_EQ(CountByParameter(long_token + u";HOME"), 1);
  EXPECT_EQ(CountByParameter(std::u16string(400, u';') + u"HOME;WORK"), 0);
  EXPECT_EQ(CountByParameter(std::u16string(400, u';') + u"HOME"), 2);
  EXPECT_EQ(CountByParameter(u";;;"), 2);
}

TEST_F(VCardQueries, ByNameAndParameterComparesValuesWithoutCase) {
  auto qp = Add(u"TEL", u"ENCODING=quoted-printable");
  Add(u"TEL", u"ENCODING=BASE64");
  Add(u"NOTE", u"ENCODING=QUOTED-PRINTABLE");
  CComPtr<IVCardPropertyColl> result;
  CComPtr<IVCardProperty> selected;
  ASSERT_EQ(card->QueryPropertyByNameAndParameter(CComBSTR(u"TEL"), VCARD_PARAM_ENCODING,
                                                  CComBSTR(u"QUOTED-PRINTABLE"), &result),
            S_OK);
  ASSERT_EQ(CountOf(result), 1);
  result->Item(0, &selected);
  EXPECT_EQ(selected, qp);
}

TEST_F(VCardQueries, AFailingPropertyStopsTheQueryWithItsCode) {
  auto inner = MakeProperty(u"TEL");
  ForeignProperty failing(inner, E_ACCESSDENIED);
  Add(u"TEL");
  ASSERT_EQ(properties->Add(&failing), S_OK);
  IVCardPropertyColl* by_type = reinterpret_cast<IVCardPropertyColl*>(1);
  IVCardPropertyColl* by_name = reinterpret_cast<IVCardPropertyColl*>(1);
  EXPECT_EQ(card->QueryPropertyByType(VCARD_PROP_TEL, &by_type), E_ACCESSDENIED);
  EXPECT_EQ(card->QueryPropertyByName(CComBSTR(u"TEL"), &by_name), E_ACCESSDENIED);
  EXPECT_EQ(by_type, nullptr);
  EXPECT_EQ(by_name, nullptr);
  card.Release();
  properties.Release();
  EXPECT_EQ(failing.refs, 1u);
}

TEST(VCardLifetime, PropertiesNobodyElseHoldsGoWithTheCard) {
  CComPtr<IVCardProperty> survivor;
  ASSERT_EQ(DllCanUnloadNow(), S_OK);
  {
    auto card = Create<IVCard>(CLSID_VCard);
    CComPtr<IVCardPropertyColl> properties;
    card->get_Properties(&properties);
    survivor = MakeProperty(u"FN");
    properties->Add(survivor);
    properties->Add(MakeProperty(u"TEL"));
  }
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  EVCardProperty type;
  EXPECT_EQ(survivor->get_Type(&type), S_OK);
  EXPECT_EQ(type, VCARD_PROP_FN);
  survivor.Release();
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace tarvovcard::testing
