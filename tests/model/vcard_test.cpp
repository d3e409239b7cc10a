// The card and its four queries, the pair-counting parameter test included;
// the ordered collection shared by the four collection classes: indexing,
// insertion and removal, the shared enumeration cursor, and the references it
// takes and gives back; and the interfaces of every class.
#include <algorithm>
#include <string>
#include <vector>

#include "support/builders.h"
#include "support/doubles.h"

namespace tarvovcard::testing {
namespace {

// (That it has no properties: the writers' golden row of an empty card.)
TEST(VCardQueries, NewCardHasNoPathsAndQueriesNeedAnOutput) {
  auto card = Create<IVCard>(CLSID_VCard);
  EXPECT_EQ(card->QueryPropertyByType(VCARD_PROP_TEL, nullptr), E_POINTER);
  EXPECT_EQ(Get(card.p, &IVCard::get_FolderPath), u"<null>");
  EXPECT_EQ(Get(card.p, &IVCard::get_Filename), u"<null>");
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
      {QUERY(named(nullptr, r)), "8"},
      {QUERY(types(u"HOME;VOICE", r)), "0 2 3"},
      {QUERY(types(u"HOME;WORK", r)), "3"},
      {QUERY(types(u"HOME", r)), "0 1 2 3 12"},
      {QUERY(types(u";;", r)), "0 1 2 3 4 9 10 12"},
      {QUERY(types(u";;HOME;;;VOICE;", r)), "0 2 3"},  // runs of separators count as one
      {QUERY(types(long_token + u";HOME", r)), "3 12"},
      {QUERY(types(separators + u"HOME;WORK", r)), "3"},
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

TEST(Collection, RefusedArgumentsChangeNothing) {
  StubParameter a(VCARD_PARAM_TYPE, u"TYPE", u"A"), d(VCARD_PARAM_TYPE, u"TYPE", u"D");
  auto collection = Create<IVCardParameterColl>(CLSID_VCardParameterColl);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(collection->Add(&a), S_OK);
  CComPtr<IEnumVARIANT> enumerator;
  ASSERT_EQ(collection.QueryInterface(&enumerator), S_OK);
  IVCardParameter* item = nullptr;
  IEnumVARIANT* clone = reinterpret_cast<IEnumVARIANT*>(1);
  CComVariant v;
  ULONG fetched = 7;
  ExpectStatuses({
      {CALL(collection->Item(-1, &item)), E_INVALIDARG},
      {CALL(collection->Item(3, &item)), E_INVALIDARG},
      {CALL(collection->Item(0, nullptr)), E_POINTER},
      {CALL(collection->Add(nullptr)), E_POINTER},
      {CALL(collection->InsertAt(0, nullptr)), E_POINTER},
      {CALL(collection->get_Count(nullptr)), E_POINTER},
      {CALL(collection->InsertAt(3, &d)), E_INVALIDARG},  // the end is no position
      {CALL(collection->InsertAt(-1, &d)), E_INVALIDARG},
      {CALL(collection->Remove(3)), E_INVALIDARG},
      {CALL(collection->Remove(-1)), E_INVALIDARG},
      {CALL(enumerator->Next(2, &v, &fetched)), E_INVALIDARG},
      {CALL(enumerator->Clone(&clone)), E_NOTIMPL},
  });
  EXPECT_EQ(item, nullptr);
  EXPECT_EQ(clone, nullptr);  // a refused out-parameter holds no stale pointer
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(CountOf(collection), 3);
  EXPECT_EQ(d.refs, 1u);
  EXPECT_EQ(a.refs, 4u);
}

// Scripts of steps on a collection of stubs a..f, checked against a plain
// sequence: "+a" adds a, "a@1" inserts it at 1, "-1" removes position 1, "?"
// checks every position and every count; ">a" is a Next that gives a (">."
// the end), "0>a" a Next for no element, which fetches one all the same;
// "reset", "skip" and "skip!" (refused behind the last), and "enum", a new
// _NewEnum. The first two elements live inside the collection object, the
// rest in storage of its own. The one cursor is shared by every enumeration,
// goes back to 0 with each _NewEnum, moves one whatever Skip's count, and is
// left on the position where Remove or InsertAt acted. The collection's end
// releases every element it holds, from the front.
TEST(CollectionScripts, KeepOrderReferencesAndTheCursor) {
  const std::vector<std::vector<std::string>> scripts = {
      {"+a", "b@0", "?",  "c@1", "?",   "+d", "e@0", "+e", "f@5", "?",  "-0", "-5", "-2", "?",
       "-0", "-2",  "-0", "?",   "c@0", "+b", "?",   "-2", "-0",  "-0", "?",  "+f", "?"},
      {"+a",  "+b",    "+c",   ">a",   ">b",    ">c",    ">.", "enum",  ">a", "0>b",
       "?",   "reset", "skip", "skip", "skip!", "skip!", ">.", "reset", "-1", ">c",
       "d@1", ">d",    "-1",   "-1",   ">.",    "?",     "+b", "+a",    "+c", "?"},
  };
  for (const auto& script : scripts) {
    std::string released;
    std::vector<StubParameter> stubs(6, StubParameter(VCARD_PARAM_TYPE, u"TYPE", u""));
    for (char tag = 'a'; auto& one : stubs) {
      one.released = &released;
      one.tag = tag++;
    }
    const auto stub = [&](char name) { return static_cast<IVCardParameter*>(&stubs[name - 'a']); };
    auto collection = Create<IVCardParameterColl>(CLSID_VCardParameterColl);
    CComPtr<IEnumVARIANT> enumerator;
    ASSERT_EQ(collection.QueryInterface(&enumerator), S_OK);
    std::vector<IVCardParameter*> expected;
    for (const std::string& step : script) {
      SCOPED_TRACE(step);
      const std::size_t arrow = step.find('>');
      if (step[0] == '+') {
        ASSERT_EQ(collection->Add(stub(step[1])), S_OK);
        expected.push_back(stub(step[1]));
      } else if (step[0] == '-') {
        ASSERT_EQ(collection->Remove(step[1] - '0'), S_OK);
        expected.erase(expected.begin() + (step[1] - '0'));
      } else if (step[1] == '@') {
        ASSERT_EQ(collection->InsertAt(step[2] - '0', stub(step[0])), S_OK);
        expected.insert(expected.begin() + (step[2] - '0'), stub(step[0]));
      } else if (arrow != std::string::npos) {
        const bool end = step[arrow + 1] == '.';
        VARIANT v;
        v.vt = VT_I4;  // Next initialises it
        ULONG fetched = 7;
        ASSERT_EQ(enumerator->Next(arrow == 0, &v, arrow == 0 ? &fetched : nullptr),
                  end ? S_FALSE : S_OK);
        ASSERT_EQ(v.vt, end ? VT_EMPTY : VT_DISPATCH);
        EXPECT_EQ(fetched, arrow != 0 ? 7u : end ? 0u : 1u);
        if (!end) {
          EXPECT_EQ(reinterpret_cast<IUnknown*>(v.pdispVal), stub(step[arrow + 1]));
        }
        VariantClear(&v);
      } else if (step == "reset") {
        EXPECT_EQ(enumerator->Reset(), S_OK);
      } else if (step.starts_with("skip")) {
        EXPECT_EQ(enumerator->Skip(5), step == "skip" ? S_OK : E_INVALIDARG);
      } else if (step == "enum") {  // the enumerator is the collection itself
        CComPtr<IUnknown> fresh = Get(collection.p, &IVCardParameterColl::get__NewEnum), a, b;
        fresh.QueryInterface(&a);
        collection.QueryInterface(&b);
        EXPECT_EQ(a, b);
      } else {
        ASSERT_EQ(CountOf(collection), static_cast<LONG>(expected.size()));
        for (LONG i = 0; i < static_cast<LONG>(expected.size()); ++i) {
          CComPtr<IVCardParameter> item;
          ASSERT_EQ(collection->Item(i, &item), S_OK);
          EXPECT_EQ(item.p, expected[i]) << "position " << i;
        }
        for (auto& one : stubs)
          EXPECT_EQ(one.refs, 1 + std::count(expected.begin(), expected.end(), &one));
      }
    }
    std::string order;
    for (IVCardParameter* one : expected) order += static_cast<StubParameter*>(one)->tag;
    released.clear();
    enumerator.Release();
    collection.Release();
    EXPECT_EQ(released, order);  // once for each position held at the last "?"
  }
}

// The collections also enumerate, none offers IDispatch, and each class says
// it reports errors for its main interface and not for IEnumVARIANT.
TEST(ClassInterfaces, CollectionsEnumerateAndNoClassDispatches) {
  const struct {
    const CLSID* clsid;
    const IID* iid;
    HRESULT enumerates;
  } cases[] = {
      {&CLSID_VCard, &IID_IVCard, E_NOINTERFACE},
      {&CLSID_VCardProperty, &IID_IVCardProperty, E_NOINTERFACE},
      {&CLSID_VCardParameter, &IID_IVCardParameter, E_NOINTERFACE},
      {&CLSID_VCardValue, &IID_IVCardValue, E_NOINTERFACE},
      {&CLSID_VCardColl, &IID_IVCardColl, S_OK},
      {&CLSID_VCardPropertyColl, &IID_IVCardPropertyColl, S_OK},
      {&CLSID_VCardParameterColl, &IID_IVCardParameterColl, S_OK},
      {&CLSID_VCardValueColl, &IID_IVCardValueColl, S_OK},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    CComPtr<IUnknown> object;
    ASSERT_EQ(
        CoCreateInstance(*c.clsid, nullptr, CLSCTX_ALL, *c.iid, reinterpret_cast<void**>(&object)),
        S_OK);
    CComPtr<IEnumVARIANT> enumerator;
    CComPtr<IDispatch> dispatch;
    CComPtr<ISupportErrorInfo> error_info;
    EXPECT_EQ(object.QueryInterface(&enumerator), c.enumerates);
    EXPECT_EQ(object.QueryInterface(&dispatch), E_NOINTERFACE);
    ASSERT_EQ(object.QueryInterface(&error_info), S_OK);
    EXPECT_EQ(error_info->InterfaceSupportsErrorInfo(*c.iid), S_OK);
    EXPECT_EQ(error_info->InterfaceSupportsErrorInfo(IID_IEnumVARIANT), S_FALSE);
  }
}

}  // namespace
}  // namespace tarvovcard::testing
