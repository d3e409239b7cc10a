// The ordered collection shared by the four collection classes: indexing,
// insertion and removal, the shared enumeration cursor, and the references
// it takes and gives back.
#include "model/collection.h"

#include <algorithm>
#include <vector>

#include "model_test_support.h"

namespace tarvovcard::model {
namespace {

using testing::Create;
using testing::StubParameter;

// A parameter collection holding three stub parameters A, B, C.
class CollectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    collection = Create<IVCardParameterColl>(CLSID_VCardParameterColl);
    for (StubParameter* p : {&a, &b, &c}) ASSERT_EQ(collection->Add(p), S_OK);
  }
  void TearDown() override {
    collection.Release();
    for (StubParameter* p : {&a, &b, &c}) EXPECT_EQ(p->refs, 1u) << "stray reference";
  }

  IVCardParameter* ItemAt(LONG index) {
    CComPtr<IVCardParameter> item;
    EXPECT_EQ(collection->Item(index, &item), S_OK);
    return item;  // the stubs outlive the holder
  }

  StubParameter a{VCARD_PARAM_TYPE, u"TYPE", u"A"};
  StubParameter b{VCARD_PARAM_TYPE, u"TYPE", u"B"};
  StubParameter c{VCARD_PARAM_TYPE, u"TYPE", u"C"};
  StubParameter d{VCARD_PARAM_TYPE, u"TYPE", u"D"};
  CComPtr<IVCardParameterColl> collection;
};

TEST_F(CollectionTest, ItemChecksThePositionAndAddsAReference) {
  EXPECT_EQ(a.refs, 2u);
  IVCardParameter* item = nullptr;
  EXPECT_EQ(collection->Item(-1, &item), E_INVALIDARG);
  EXPECT_EQ(collection->Item(3, &item), E_INVALIDARG);
  EXPECT_EQ(item, nullptr);
  EXPECT_EQ(collection->Item(0, nullptr), E_POINTER);
  ASSERT_EQ(collection->Item(1, &item), S_OK);
  EXPECT_EQ(item, &b);
  EXPECT_EQ(b.refs, 3u);
  item->Release();

  auto empty = Create<IVCardValueColl>(CLSID_VCardValueColl);
  IVCardValue* value = nullptr;
  EXPECT_EQ(empty->Item(0, &value), E_INVALIDARG);
}

TEST_F(CollectionTest, NullElementsAndNullCountAreRefused) {
  EXPECT_EQ(collection->Add(nullptr), E_POINTER);
  EXPECT_EQ(collection->InsertAt(0, nullptr), E_POINTER);
  EXPECT_EQ(collection->get_Count(nullptr), E_POINTER);
  EXPECT_EQ(testing::CountOf(collection), 3);
}

TEST_F(CollectionTest, InsertAtTakesThePositionAndRefusesTheEnd) {
  EXPECT_EQ(collection->InsertAt(3, &d), E_INVALIDARG);
  EXPECT_EQ(collection->InsertAt(-1, &d), E_INVALIDARG);
  EXPECT_EQ(d.refs, 1u);
  ASSERT_EQ(collection->InsertAt(0, &d), S_OK);
  EXPECT_EQ(d.refs, 2u);
  EXPECT_EQ(testing::CountOf(collection), 4);
  EXPECT_EQ(ItemAt(0), &d);
  EXPECT_EQ(ItemAt(1), &a);
  EXPECT_EQ(ItemAt(3), &c);
  ASSERT_EQ(collection->Remove(0), S_OK);
  EXPECT_EQ(d.refs, 1u);

  auto empty = Create<IVCardParameterColl>(CLSID_VCardParameterColl);
  EXPECT_EQ(empty->InsertAt(0, &d), E_INVALIDARG);
}

TEST_F(CollectionTest, RemoveClosesTheGapAndGivesBackOneReference) {
  EXPECT_EQ(collection->Remove(3), E_INVALIDARG);
  EXPECT_EQ(collection->Remove(-1), E_INVALIDARG);
  ASSERT_EQ(collection->Remove(1), S_OK);
  EXPECT_EQ(b.refs, 1u);
  EXPECT_EQ(testing::CountOf(collection), 2);
  EXPECT_EQ(ItemAt(1), &c);
}

TEST_F(CollectionTest, TheSameObjectMayStandTwice) {
  ASSERT_EQ(collection->Add(&a), S_OK);
  EXPECT_EQ(a.refs, 3u);
  EXPECT_EQ(ItemAt(3), &a);
  ASSERT_EQ(collection->Remove(0), S_OK);
  EXPECT_EQ(a.refs, 2u);
  EXPECT_EQ(ItemAt(2), &a);
}

TEST_F(CollectionTest, EnumerationYieldsEachElementThenSFalse) {
  CComPtr<IUnknown> unknown;
  ASSERT_EQ(collection->get__NewEnum(&unknown), S_OK);
  CComPtr<IEnumVARIANT> enumerator;
  ASSERT_EQ(unknown.QueryInterface(&enumerator), S_OK);

  std::vector<IUnknown*> seen;
  for (;;) {
    VARIANT v;
    v.vt = VT_I4;  // Next initialises it
    ULONG fetched = 7;
    HRESULT hr = enumerator->Next(1, &v, &fetched);
    if (hr == S_FALSE) {
      EXPECT_EQ(v.vt, VT_EMPTY);
      EXPECT_EQ(fetched, 0u);
      break;
    }
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(fetched, 1u);
    ASSERT_EQ(v.vt, VT_DISPATCH);
    seen.push_back(reinterpret_cast<IUnknown*>(v.pdispVal));
    VariantClear(&v);
  }
  EXPECT_EQ(seen, (std::vector<IUnknown*>{&a, &b, &c}));

  VARIANT v;
  ULONG fetched = 7;
  EXPECT_EQ(enumerator->Reset(), S_OK);
  EXPECT_EQ(enumerator->Next(2, &v, &fetched), E_INVALIDARG);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(a.refs, 2u);
  // A count of 0 fetches one element all the same.
  ASSERT_EQ(enumerator->Next(0, &v, nullptr), S_OK);
  EXPECT_EQ(reinterpret_cast<IUnknown*>(v.pdispVal), static_cast<IUnknown*>(&a));
  VariantClear(&v);

  IEnumVARIANT* clone = reinterpret_cast<IEnumVARIANT*>(1);
  EXPECT_EQ(enumerator->Clone(&clone), E_NOTIMPL);
}

TEST_F(CollectionTest, SkipMovesOneWhateverTheCount) {
  CComPtr<IEnumVARIANT> enumerator;
  ASSERT_EQ(collection.QueryInterface(&enumerator), S_OK);
  EXPECT_EQ(enumerator->Reset(), S_OK);
  EXPECT_EQ(enumerator->Skip(5), S_OK);          // to position 1
  EXPECT_EQ(enumerator->Skip(1), S_OK);          // to 2
  EXPECT_EQ(enumerator->Skip(1), E_INVALIDARG);  // behind the last
  EXPECT_EQ(enumerator->Skip(1), E_INVALIDARG);  // stays there
  VARIANT v;
  EXPECT_EQ(enumerator->Next(1, &v, nullptr), S_FALSE);
}

TEST_F(CollectionTest, TheCursorIsSharedByEveryEnumeration) {
  CComPtr<IUnknown> first, second;
  ASSERT_EQ(collection->get__NewEnum(&first), S_OK);
  CComPtr<IEnumVARIANT> e1;
  ASSERT_EQ(first.QueryInterface(&e1), S_OK);
  VARIANT v;
  ASSERT_EQ(e1->Next(1, &v, nullptr), S_OK);
  VariantClear(&v);
  ASSERT_EQ(e1->Next(1, &v, nullptr), S_OK);
  VariantClear(&v);
  // A second _NewEnum puts the one cursor back on position 0.
  ASSERT_EQ(collection->get__NewEnum(&second), S_OK);
  ASSERT_EQ(e1->Next(1, &v, nullptr), S_OK);
  EXPECT_EQ(reinterpret_cast<IUnknown*>(v.pdispVal), static_cast<IUnknown*>(&a));
  VariantClear(&v);
  // The enumerator is the collection itself.
  CComPtr<IUnknown> identity1, identity2;
  first.QueryInterface(&identity1);
  collection.QueryInterface(&identity2);
  EXPECT_EQ(identity1, identity2);
}

TEST_F(CollectionTest, RemoveAndInsertAtLeaveTheCursorOnTheirPosition) {
  CComPtr<IEnumVARIANT> enumerator;
  ASSERT_EQ(collection.QueryInterface(&enumerator), S_OK);
  ASSERT_EQ(collection->Remove(1), S_OK);
  VARIANT v;
  ASSERT_EQ(enumerator->Next(1, &v, nullptr), S_OK);
  EXPECT_EQ(reinterpret_cast<IUnknown*>(v.pdispVal), static_cast<IUnknown*>(&c));
  VariantClear(&v);
  ASSERT_EQ(collection->InsertAt(1, &d), S_OK);
  ASSERT_EQ(enumerator->Next(1, &v, nullptr), S_OK);
  EXPECT_EQ(reinterpret_cast<IUnknown*>(v.pdispVal), static_cast<IUnknown*>(&d));
  VariantClear(&v);
  ASSERT_EQ(collection->Remove(1), S_OK);
  // Removing the last element leaves the cursor behind the end.
  ASSERT_EQ(collection->Remove(1), S_OK);
  EXPECT_EQ(enumerator->Next(1, &v, nullptr), S_FALSE);
}

// The first two elements live inside the collection object and the rest in
// storage of its own: growing, inserting and removing across that boundary
// keeps order and references, checked against a plain sequence at each step.
TEST(CollectionStorage, KeepsOrderAndReferencesAcrossItsInlinePlaces) {
  std::vector<testing::StubParameter> stubs;
  stubs.reserve(6);  // the stubs must not move
  for (int i = 0; i < 6; ++i) stubs.emplace_back(VCARD_PARAM_TYPE, u"TYPE", u"");
  auto collection = Create<IVCardParameterColl>(CLSID_VCardParameterColl);
  std::vector<IVCardParameter*> expected;
  auto check = [&](const char* step) {
    SCOPED_TRACE(step);
    ASSERT_EQ(testing::CountOf(collection), static_cast<LONG>(expected.size()));
    for (LONG i = 0; i < static_cast<LONG>(expected.size()); ++i) {
      CComPtr<IVCardParameter> item;
      ASSERT_EQ(collection->Item(i, &item), S_OK);
      EXPECT_EQ(item.p, expected[i]) << "position " << i;
    }
    for (auto& stub : stubs) {
      ULONG held = 1 + std::count(expected.begin(), expected.end(), &stub);
      EXPECT_EQ(stub.refs, held);
    }
  };
  auto add = [&](int i) {
    ASSERT_EQ(collection->Add(&stubs[i]), S_OK);
    expected.push_back(&stubs[i]);
  };
  auto insert = [&](LONG at, int i) {
    ASSERT_EQ(collection->InsertAt(at, &stubs[i]), S_OK);
    expected.insert(expected.begin() + at, &stubs[i]);
  };
  auto remove = [&](LONG at) {
    ASSERT_EQ(collection->Remove(at), S_OK);
    expected.erase(expected.begin() + at);
  };

  add(0);
  insert(0, 1);  // two: both in place
  check("two in place");
  insert(1, 2);  // the third moves everything to storage of its own
  check("third inserted in the middle");
  add(3);
  insert(0, 4);
  add(4);  // the same object twice
  insert(5, 5);
  check("seven");
  remove(0);
  remove(5);
  remove(2);
  check("four");
  remove(0);
  remove(2);
  remove(0);
  check("one");
  insert(0, 2);
  add(1);
  check("three again");
  remove(2);
  remove(0);
  remove(0);
  check("empty");
  add(5);
  check("one after emptying");
  collection.Release();
  for (auto& stub : stubs) EXPECT_EQ(stub.refs, 1u);
}

TEST(CollectionLifetime, DestructionReleasesEveryElementFromTheFront) {
  std::vector<char> order;
  struct Recording : testing::StubParameter {
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

TEST(CollectionInterfaces, EachClassAnswersItsInterfaceEnumeratorAndErrorInfo) {
  struct Case {
    const CLSID* clsid;
    const IID* iid;
  };
  for (Case k : {Case{&CLSID_VCardColl, &IID_IVCardColl},
                 Case{&CLSID_VCardPropertyColl, &IID_IVCardPropertyColl},
                 Case{&CLSID_VCardParameterColl, &IID_IVCardParameterColl},
                 Case{&CLSID_VCardValueColl, &IID_IVCardValueColl}}) {
    CComPtr<IUnknown> object;
    ASSERT_EQ(
        CoCreateInstance(*k.clsid, nullptr, CLSCTX_ALL, *k.iid, reinterpret_cast<void**>(&object)),
        S_OK);
    CComPtr<IEnumVARIANT> enumerator;
    EXPECT_EQ(object.QueryInterface(&enumerator), S_OK);
    CComPtr<ISupportErrorInfo> error_info;
    ASSERT_EQ(object.QueryInterface(&error_info), S_OK);
    EXPECT_EQ(error_info->InterfaceSupportsErrorInfo(*k.iid), S_OK);
    EXPECT_EQ(error_info->InterfaceSupportsErrorInfo(IID_IEnumVARIANT), S_FALSE);
    CComPtr<IDispatch> dispatch;
    EXPECT_EQ(object.QueryInterface(&dispatch), E_NOINTERFACE);
  }
}

TEST(CollectionInterfaces, CardCollectionLoadAndSaveRefuseBadArguments) {
  auto cards = Create<IVCardColl>(CLSID_VCardColl);
  VARIANT bad;
  VariantInit(&bad);
  bad.vt = VT_I4;
  // Whatever the reading and writing do, a number is no file list.
  EXPECT_TRUE(FAILED(cards->Load(bad)));
}

}  // namespace
}  // namespace tarvovcard::model
