// The card and its four queries, the pair-counting parameter test included.
#include <string>

#include "server/entry.h"
#include "support/builders.h"
#include "support/doubles.h"

namespace tarvovcard::testing {
namespace {

TEST(VCardQueries, NewCardHasNoPathsAndEveryQueryIsEmpty) {
  auto card = Create<IVCard>(CLSID_VCard);
  CComPtr<IVCardPropertyColl> properties = Get(card.p, &IVCard::get_Properties);
  CComPtr<IVCardPropertyColl> a, b, c, d;
  ExpectStatuses({
      {CALL(card->QueryPropertyByType(VCARD_PROP_TEL, &a)), S_OK},
      {CALL(card->QueryPropertyByName(CComBSTR(u"TEL"), &b)), S_OK},
      {CALL(card->QueryPropertyByParameter(VCARD_PROP_TEL, VCARD_PARAM_TYPE, nullptr, &c)), S_OK},
      {CALL(card->QueryPropertyByNameAndParameter(nullptr, VCARD_PARAM_TYPE, nullptr, &d)), S_OK},
      {CALL(card->QueryPropertyByType(VCARD_PROP_TEL, nullptr)), E_POINTER},
      {CALL(card->QueryPropertyByName(nullptr, nullptr)), E_POINTER},
  });
  EXPECT_EQ(Get(card.p, &IVCard::get_FolderPath), u"<null>");
  EXPECT_EQ(Get(card.p, &IVCard::get_Filename), u"<null>");
  EXPECT_EQ(Get(card.p, &IVCard::get_Properties), properties);
  for (IVCardPropertyColl* result : {properties.p, a.p, b.p, c.p, d.p})
    EXPECT_EQ(CountOf(result), 0);
  ASSERT_EQ(card->put_FolderPath(CComBSTR(u"/tmp/cards")), S_OK);
  ASSERT_EQ(card->put_Filename(CComBSTR(u"a.vcf")), S_OK);
  EXPECT_EQ(Get(card.p, &IVCard::get_FolderPath), u"/tmp/cards");
  EXPECT_EQ(Get(card.p, &IVCard::get_Filename), u"a.vcf");
}

// The queries select the card's own objects, not copies, in card order, in
// a new collection: removing from it leaves the card alone. Names compare
// exactly; parameter values without case. A property passes the TYPE test
// when the pairs (its TYPE value, a token of the text) that match are at
// least as many as the tokens: a pair count, not a count of matched tokens,
// so a twice-given HOME passes HOME;WORK. No tokens: every TEL passes. The
// whole text is cut into tokens, whatever its length: a token behind its
// 259th byte still counts.
TEST(VCardQueries, SelectTheCardsOwnPropertiesInCardOrder) {
  const std::u16string long_token(300, u'A'), separators(400, u';');
  CardBuilder builder;  // 0 to 12; 8 is never named
  auto card = builder.Build(
      u"TEL;TYPE=HOME;TYPE=VOICE / TEL;TYPE=HOME / TEL;type=home;TYPE=voice / "
      u"TEL;TYPE=HOME;TYPE=HOME / TEL / EMAIL;TYPE=HOME / X-ICQ / X-icq /  / "
      u"TEL;ENCODING=quoted-printable / TEL;ENCODING=BASE64 / NOTE;ENCODING=QUOTED-PRINTABLE / "
      u"TEL;TYPE=" +
      long_token + u";TYPE=HOME");
  CComPtr<IVCardPropertyColl> properties = Get(card.p, &IVCard::get_Properties);
  const auto named = [&card](const char16_t* name, IVCardPropertyColl** result) {
    return card->QueryPropertyByName(name ? CComBSTR(name) : CComBSTR(), result);
  };
  const auto types = [&card](const std::u16string& values, IVCardPropertyColl** result) {
    return card->QueryPropertyByParameter(VCARD_PROP_TEL, VCARD_PARAM_TYPE,
                                          CComBSTR(values.c_str()), result);
  };
  // The positions in the card of what a query selected, as "0 2 3".
  const auto found = [&properties](IVCardPropertyColl* result) {
    std::string positions;
    for (LONG i = 0; i < CountOf(result); ++i) {
      CComPtr<IVCardProperty> item, own;
      EXPECT_EQ(result->Item(i, &item), S_OK);
      LONG at = 0;
      for (; at < CountOf(properties); ++at, own.Release())
        if (SUCCEEDED(properties->Item(at, &own)) && own == item) break;
      positions += (positions.empty() ? "" : " ") + std::to_string(at);
    }
    return positions;
  };
  const CComBSTR tel(u"TEL"), qp(u"QUOTED-PRINTABLE");
#define QUERY(expression) #expression, [&](IVCardPropertyColl * *r) { return expression; }
  const struct {
    const char* query;
    std::function<HRESULT(IVCardPropertyColl**)> run;
    const char* selected;
  } cases[] = {
      {QUERY(card->QueryPropertyByType(VCARD_PROP_TEL, r)), "0 1 2 3 4 9 10 12"},
      {QUERY(card->QueryPropertyByType(VCARD_PROP_UNKNOWN, r)), "8"},
      {QUERY(card->QueryPropertyByType(VCARD_PROP_X, r)), "6 7"},
      {QUERY(named(u"X-ICQ", r)), "6"},
      {QUERY(named(u"tel", r)), ""},
      {QUERY(named(u"TEL", r)), "0 1 2 3 4 9 10 12"},
      {QUERY(named(u"", r)), "8"},
      {QUERY(named(nullptr, r)), "8"},
      {QUERY(types(u"HOME;VOICE", r)), "0 2 3"},
      {QUERY(types(u"HOME;WORK", r)), "3"},
      {QUERY(types(u"HOME", r)), "0 1 2 3 12"},
      {QUERY(types(u"", r)), "0 1 2 3 4 9 10 12"},
      {QUERY(types(u";;", r)), "0 1 2 3 4 9 10 12"},
      {QUERY(types(u";;HOME;;;VOICE;", r)), "0 2 3"},  // runs of separators count as one
      {QUERY(types(long_token + u";HOME", r)), "3 12"},
      {QUERY(types(separators + u"HOME;WORK", r)), "3"},
      {QUERY(types(separators + u"HOME", r)), "0 1 2 3 12"},
      {QUERY(card->QueryPropertyByParameter(VCARD_PROP_TEL, VCARD_PARAM_TYPE, nullptr, r)),
       "0 1 2 3 4 9 10 12"},
      {QUERY(card->QueryPropertyByNameAndParameter(tel, VCARD_PARAM_ENCODING, qp, r)), "9"},
  };
#undef QUERY
  for (const auto& c : cases) {
    CComPtr<IVCardPropertyColl> result;
    ASSERT_EQ(c.run(&result), S_OK) << c.query;
    EXPECT_EQ(found(result), c.selected) << c.query;
    if (CountOf(result) > 0) {
      ASSERT_EQ(result->Remove(0), S_OK);
    }
    EXPECT_EQ(CountOf(properties), 13);
  }
}

TEST(VCardQueries, AFailingPropertyStopsTheQueryWithItsCode) {
  auto inner = MakeProperty(u"TEL");
  ForeignProperty failing(inner, E_ACCESSDENIED);
  CComPtr<IVCard> card = CardBuilder().Build(u"TEL");
  ASSERT_EQ(Get(card.p, &IVCard::get_Properties)->Add(&failing), S_OK);
  IVCardPropertyColl* by_type = reinterpret_cast<IVCardPropertyColl*>(1);
  IVCardPropertyColl* by_name = reinterpret_cast<IVCardPropertyColl*>(1);
  EXPECT_EQ(card->QueryPropertyByType(VCARD_PROP_TEL, &by_type), E_ACCESSDENIED);
  EXPECT_EQ(card->QueryPropertyByName(CComBSTR(u"TEL"), &by_name), E_ACCESSDENIED);
  EXPECT_EQ(by_type, nullptr);
  EXPECT_EQ(by_name, nullptr);
  card.Release();
  EXPECT_EQ(failing.refs, 1u);
}

TEST(VCardLifetime, PropertiesNobodyElseHoldsGoWithTheCard) {
  CComPtr<IVCardProperty> survivor;
  ASSERT_EQ(DllCanUnloadNow(), S_OK);
  {
    CardBuilder builder;
    ASSERT_EQ(Get(builder.Build(u"FN / TEL").p, &IVCard::get_Properties)->Item(0, &survivor), S_OK);
  }
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  EXPECT_EQ(Get(survivor.p, &IVCardProperty::get_Type), VCARD_PROP_FN);
  survivor.Release();
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace tarvovcard::testing
