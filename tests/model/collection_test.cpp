// The ordered collection shared by the four collection classes: indexing,
// insertion and removal, the shared enumeration cursor, and the references
// it takes and gives back.
#include <algorithm>
#include <vector>

#include "model_test_support.h"

namespace tarvovcard::testing {
namespace {

// A parameter collection holding three stub parameters A, B, C.
class CollectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    collection = Create<IVCardParameterColl>(CLSID_VCardParameterColl);
    for (StubParameter* p : {&a, &b, &c}) ASSERT_EQ(collection->Add(p), S_OK);
    ASSERT_EQ(collection.QueryInterface(&enumerator), S_OK);
  }
  void TearDown() override {
    enumerator.Release();
    collection.Release();
    for (StubParameter* p : {&a, &b, &c, &d}) EXPECT_EQ(p->refs, 1u) << "stray reference";
  }

  // The element that Next gives, or null at the end.
  IUnknown* Next() {
    CComVariant v;
    HRESULT hr = enumerator->Next(1, &v, nullptr);
    EXPECT_EQ(hr, v.vt == VT_DISPATCH ? S_OK : S_FALSE);
    return v.vt == VT_DISPATCH ? reinterpret_cast<IUnknown*>(v.pdispVal) : nullptr;
  }

  StubParameter a{VCARD_PARAM_TYPE, u"TYPE", u"A"};
  StubParameter b{VCARD_PARAM_TYPE, u"TYPE", u"B"};
  StubParameter c{VCARD_PARAM_TYPE, u"TYPE", u"C"};
  StubParameter d{VCARD_PARAM_TYPE, u"TYPE", u"D"};
  CComPtr<IVCardParameterColl> collection;
  CComPtr<IEnumVARIANT> enumerator;
};

TEST_F(CollectionTest, RefusedArgumentsChangeNothing) {
  IVCardParameter* item = nullptr;
  IEnumVARIANT* clone = reinterpret_cast<IEnumVARIANT*>(1);
  CComVariant v;
  ULONG fetched = 7;
  auto empty = Create<IVCardParameterColl>(CLSID_VCardParameterColl);
  auto values = Create<IVCardValueColl>(CLSID_VCardValueColl);
  IVCardValue* value = nullptr;
  ExpectStatuses({
      {CALL(collection->Item(-1, &item)), E_INVALIDARG},
      {CALL(collection->Item(3, &item)), E_INVALIDARG},
      {CALL(collection->Item(0, nullptr)), E_POINTER},
      {CALL(values->Item(0, &value)), E_INVALIDARG},
      {CALL(collection->Add(nullptr)), E_POINTER},
      {CALL(collection->InsertAt(0, nullptr)), E_POINTER},
      {CALL(collection->get_Count(nullptr)), E_POINTER},
      {CALL(collection->InsertAt(3, &d)), E_INVALIDARG},  // the end is no position
      {CALL(collection->InsertAt(-1, &d)), E_INVALIDARG},
      {CALL(empty->InsertAt(0, &d)), E_INVALIDARG},
      {CALL(collection->Remove(3)), E_INVALIDARG},
      {CALL(collection->Remove(-1)), E_INVALIDARG},
      {CALL(enumerator->Next(2, &v, &fetched)), E_INVALIDARG},
      {CALL(enumerator->Clone(&clone)), E_NOTIMPL},
  });
  EXPECT_EQ(item, nullptr);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(CountOf(collection), 3);
  EXPECT_EQ(d.refs, 1u);
  EXPECT_EQ(a.refs, 2u);
}

// One cursor, shared by every enumeration: a new _NewEnum puts it back on
// position 0, Skip moves one whatever its count, Next with a count of 0
// fetches one all the same, and Remove and InsertAt leave it on its position.
TEST_F(CollectionTest, TheCursorIsSharedByEveryEnumeration) {
  VARIANT v;
  v.vt = VT_I4;  // Next initialises it
  ULONG fetched = 7;
  for (IUnknown* expected : {&a, &b, &c}) {
    ASSERT_EQ(enumerator->Next(1, &v, &fetched), S_OK);
    EXPECT_EQ(fetched, 1u);
    ASSERT_EQ(v.vt, VT_DISPATCH);
    EXPECT_EQ(reinterpret_cast<IUnknown*>(v.pdispVal), expected);
    VariantClear(&v);
  }
  v.vt = VT_I4;
  EXPECT_EQ(enumerator->Next(1, &v, &fetched), S_FALSE);
  EXPECT_EQ(v.vt, VT_EMPTY);
  EXPECT_EQ(fetched, 0u);

  CComPtr<IUnknown> second, identity1, identity2;
  ASSERT_EQ(collection->get__NewEnum(&second), S_OK);
  second.QueryInterface(&identity1);  // the enumerator is the collection itself
  collection.QueryInterface(&identity2);
  EXPECT_EQ(identity1, identity2);
  EXPECT_EQ(Next(), &a);
  ASSERT_EQ(enumerator->Next(0, &v, nullptr), S_OK);
  EXPECT_EQ(reinterpret_cast<IUnknown*>(v.pdispVal), static_cast<IUnknown*>(&b));
  VariantClear(&v);
  EXPECT_EQ(enumerator->Reset(), S_OK);
  ExpectStatuses({
      {CALL(enumerator->Skip(5)), S_OK},          // to position 1
      {CALL(enumerator->Skip(1)), S_OK},          // to 2
      {CALL(enumerator->Skip(1)), E_INVALIDARG},  // behind the last
      {CALL(enumerator->Skip(1)), E_INVALIDARG},  // stays there
  });
  EXPECT_EQ(Next(), nullptr);

  EXPECT_EQ(enumerator->Reset(), S_OK);
  ASSERT_EQ(collection->Remove(1), S_OK);
  EXPECT_EQ(Next(), &c);
  ASSERT_EQ(collection->InsertAt(1, &d), S_OK);
  EXPECT_EQ(Next(), &d);
  ASSERT_EQ(collection->Remove(1), S_OK);
  ASSERT_EQ(collection->Remove(1), S_OK);  // the last: the cursor is behind the end
  EXPECT_EQ(Next(), nullptr);
}

// The first two elements live inside the collection object and the rest in
// storage of its own: growing, inserting and removing across that boundary
// keeps order and references, checked against a plain sequence at each step.
TEST(CollectionStorage, KeepsOrderAndReferencesAcrossItsInlinePlaces) {
  std::vector<StubParameter> stubs;
  stubs.reserve(6);  // the stubs must not move
  for (int i = 0; i < 6; ++i) stubs.emplace_back(VCARD_PARAM_TYPE, u"TYPE", u"");
  auto collection = Create<IVCardParameterColl>(CLSID_VCardParameterColl);
  std::vector<IVCardParameter*> expected;
  // "+n" appends stub n, "n@i" inserts it at i, "-i" removes position i, "?" checks.
  const char* const steps[] = {"+0",  "1@0", "?",  "2@1", "?",  "+3", "4@0", "+4", "5@5",
                               "?",   "-0",  "-5", "-2",  "?",  "-0", "-2",  "-0", "?",
                               "2@0", "+1",  "?",  "-2",  "-0", "-0", "?",   "+5", "?"};
  for (const char* step : steps) {
    SCOPED_TRACE(step);
    if (step[0] == '+') {
      IVCardParameter* stub = &stubs[step[1] - '0'];
      ASSERT_EQ(collection->Add(stub), S_OK);
      expected.push_back(stub);
    } else if (step[0] == '-') {
      ASSERT_EQ(collection->Remove(step[1] - '0'), S_OK);
      expected.erase(expected.begin() + (step[1] - '0'));
    } else if (step[1] == '@') {
      IVCardParameter* stub = &stubs[step[0] - '0'];
      ASSERT_EQ(collection->InsertAt(step[2] - '0', stub), S_OK);
      expected.insert(expected.begin() + (step[2] - '0'), stub);
    } else {
      ASSERT_EQ(CountOf(collection), static_cast<LONG>(expected.size()));
      for (LONG i = 0; i < static_cast<LONG>(expected.size()); ++i) {
        CComPtr<IVCardParameter> item;
        ASSERT_EQ(collection->Item(i, &item), S_OK);
        EXPECT_EQ(item.p, expected[i]) << "position " << i;
      }
      for (auto& stub : stubs) {
        EXPECT_EQ(stub.refs,
                  static_cast<ULONG>(1 + std::count(expected.begin(), expected.end(), &stub)));
      }
    }
  }
  collection.Release();
  for (auto& stub : stubs) EXPECT_EQ(stub.refs, 1u);
}

TEST(CollectionLifetime, DestructionReleasesEveryElementFromTheFront) {
  std::vector<char> order;
  struct Recording : StubParameter {
    Recording(char tag, std::vector<char>* order)
        : StubParameter(VCARD_PARAM_TYPE, u"TYPE", u""), tag(tag), order(order) {}
    ULONG STDMETHODCALLTYPE Release() override {
      order->push_back(tag);
      return --refs;
    }
    char tag;
    std::vector<char>* order;
  };
  Recording a('a', &order), b('b', &order), c('c', &order);
  {
    auto collection = Create<IVCardParameterColl>(CLSID_VCardParameterColl);
    for (auto* p : {&a, &b, &a, &c}) ASSERT_EQ(collection->Add(p), S_OK);
  }
  EXPECT_EQ(order, (std::vector<char>{'a', 'b', 'a', 'c'}));
  EXPECT_EQ(a.refs, 1u);
  EXPECT_EQ(c.refs, 1u);
}

// Every class answers ISupportErrorInfo for its main interface only; the
// collections also enumerate, and none offers IDispatch.
TEST(ClassInterfaces, EachClassAnswersItsInterfaceAndErrorInfo) {
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

TEST(ClassInterfaces, CardCollectionLoadRefusesANumber) {
  auto cards = Create<IVCardColl>(CLSID_VCardColl);
  CComVariant bad(LONG{1});
  EXPECT_TRUE(FAILED(cards->Load(bad)));  // a number is no file list
}

}  // namespace
}  // namespace tarvovcard::testing
