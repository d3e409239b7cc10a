// The module: the object map, the class objects, instance creation with and
// without aggregation, and the lock count that DllCanUnloadNow reports.
#include "server/module.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/stub_unknown.h"
#include "server/entry.h"
#include "tarvovcard/tarvovcard.h"

namespace tarvovcard::server {
namespace {

struct ClassCase {
  const CLSID* clsid;
  const IID* iid;  // the class's main interface
  const char16_t* name;
};

const ClassCase kClasses[] = {
    {&CLSID_VCard, &IID_IVCard, u"VCard"},
    {&CLSID_VCardProperty, &IID_IVCardProperty, u"VCardProperty"},
    {&CLSID_VCardValue, &IID_IVCardValue, u"VCardValue"},
    {&CLSID_VCardParameter, &IID_IVCardParameter, u"VCardParameter"},
    {&CLSID_VCardColl, &IID_IVCardColl, u"VCardColl"},
    {&CLSID_VCardParameterColl, &IID_IVCardParameterColl, u"VCardParameterColl"},
    {&CLSID_VCardPropertyColl, &IID_IVCardPropertyColl, u"VCardPropertyColl"},
    {&CLSID_VCardValueColl, &IID_IVCardValueColl, u"VCardValueColl"},
};

CComPtr<IClassFactory> ClassObject(REFCLSID clsid) {
  CComPtr<IClassFactory> factory;
  EXPECT_EQ(DllGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  return factory;
}

// An outer object for aggregation tests: answers only IUnknown and counts
// its references.
using StubOuter = ::StubUnknown;

class ModuleTest : public ::testing::Test {
 protected:
  // Every test starts and must end with nothing holding the library.
  void SetUp() override { ASSERT_EQ(DllCanUnloadNow(), S_OK); }
  void TearDown() override { EXPECT_EQ(DllCanUnloadNow(), S_OK) << "a lock was left behind"; }
};

TEST_F(ModuleTest, ObjectMapHoldsTheEightClassesInOrder) {
  auto map = ObjectMap();
  const int scripts[] = {101, 102, 103, 105, 106, 107, 108, 109};
  for (std::size_t i = 0; i < map.size(); ++i) {
    const std::u16string name = kClasses[i].name;
    EXPECT_TRUE(IsEqualCLSID(*map[i].clsid, *kClasses[i].clsid)) << i;
    EXPECT_EQ(map[i].registry_resource, scripts[i]);
    EXPECT_EQ(map[i].class_name, name);
    EXPECT_EQ(map[i].description, name + u" Class");
    EXPECT_EQ(map[i].prog_id, u"TarvovCard." + name + u".1");
    EXPECT_EQ(map[i].version_independent_prog_id, u"TarvovCard." + name);
  }
}

TEST_F(ModuleTest, InstancesHoldTheLibrary) {
  CComPtr<IVCardColl> cards;
  ASSERT_EQ(CoCreateInstance(CLSID_VCardColl, nullptr, CLSCTX_ALL, IID_IVCardColl,
                             reinterpret_cast<void**>(&cards)),
            S_OK);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  const LONG with_one = TheModule().GetLockCount();
  CComPtr<IVCard> card;
  ASSERT_EQ(CoCreateInstance(CLSID_VCard, nullptr, CLSCTX_ALL, IID_IVCard,
                             reinterpret_cast<void**>(&card)),
            S_OK);
  // A card and the property collection it creates: two more instances.
  EXPECT_EQ(TheModule().GetLockCount(), with_one + 2);
  cards.Release();
  card.Release();
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST_F(ModuleTest, LockServerHoldsTheLibraryUntilMatched) {
  auto factory = ClassObject(CLSID_VCard);
  factory.Release();
  EXPECT_EQ(DllCanUnloadNow(), S_OK);  // the module's own reference holds nothing

  factory = ClassObject(CLSID_VCardParameter);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);  // a client holds a class object
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Release();
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  factory = ClassObject(CLSID_VCardParameter);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  factory.Release();
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST_F(ModuleTest, ClassObjectsAreCreatedOnceAndKept) {
  auto first = ClassObject(CLSID_VCardValue);
  auto second = ClassObject(CLSID_VCardValue);
  EXPECT_EQ(first, second);
  CComPtr<IUnknown> unknown;
  EXPECT_EQ(DllGetClassObject(CLSID_VCardValue, IID_IUnknown, reinterpret_cast<void**>(&unknown)),
            S_OK);
  EXPECT_EQ(unknown.p, static_cast<IUnknown*>(first.p));
  CComPtr<IVCard> wrong;
  EXPECT_EQ(DllGetClassObject(CLSID_VCardValue, IID_IVCard, reinterpret_cast<void**>(&wrong)),
            E_NOINTERFACE);
  EXPECT_EQ(DllGetClassObject(IID_IVCard, IID_IClassFactory, reinterpret_cast<void**>(&wrong)),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(wrong, nullptr);
  EXPECT_EQ(DllGetClassObject(CLSID_VCard, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(ModuleTest, CreateInstanceChecksItsArguments) {
  for (const ClassCase& k : kClasses) {
    auto factory = ClassObject(*k.clsid);
    EXPECT_EQ(factory->CreateInstance(nullptr, *k.iid, nullptr), E_POINTER);
    StubOuter outer;
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(&outer, *k.iid, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(outer.refs, 1u);
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    // The instance that could not answer is gone again.
    factory.Release();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
  }
}

TEST_F(ModuleTest, EveryClassAggregatesForIUnknown) {
  for (const ClassCase& k : kClasses) {
    const std::u16string name = k.name;
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    StubOuter outer;
    CComPtr<IUnknown> inner;
    {
      auto factory = ClassObject(*k.clsid);
      ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)),
                S_OK);
    }
    EXPECT_EQ(outer.refs, 1u);  // the outer holds the inner, not the reverse
    // The inner's interfaces count on the outer.
    IUnknown* main = nullptr;
    ASSERT_EQ(inner->QueryInterface(*k.iid, reinterpret_cast<void**>(&main)), S_OK);
    EXPECT_EQ(outer.refs, 2u);
    // ... and ask the outer for anything else.
    IUnknown* through_outer = nullptr;
    EXPECT_EQ(main->QueryInterface(*k.iid, reinterpret_cast<void**>(&through_outer)),
              E_NOINTERFACE);
    ISupportErrorInfo* info = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
    EXPECT_EQ(info->InterfaceSupportsErrorInfo(*k.iid), S_OK);
    info->Release();
    main->Release();
    EXPECT_EQ(outer.refs, 1u);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    inner.Release();
    EXPECT_EQ(outer.refs, 1u);
  }
}

TEST_F(ModuleTest, AggregatedPropertyStillServesItsValues) {
  StubOuter outer;
  CComPtr<IUnknown> inner;
  auto factory = ClassObject(CLSID_VCardProperty);
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
  factory.Release();
  IVCardProperty* property = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IVCardProperty, reinterpret_cast<void**>(&property)), S_OK);
  ASSERT_EQ(property->put_Name(CComBSTR(u"N")), S_OK);
  CComPtr<IVCardValue> value;
  ASSERT_EQ(CoCreateInstance(CLSID_VCardValue, nullptr, CLSCTX_ALL, IID_IVCardValue,
                             reinterpret_cast<void**>(&value)),
            S_OK);
  ASSERT_EQ(value->putref_Parent(property), S_OK);
  property->Release();
  inner.Release();  // the aggregate goes; the value must not see it any more
  IVCardProperty* parent = nullptr;
  EXPECT_EQ(value->get_Parent(&parent), E_POINTER);
  EXPECT_EQ(outer.refs, 1u);
}

}  // namespace
}  // namespace tarvovcard::server
