// Activation through modules published to the runtime, with fake modules
// whose class objects count every AddRef and Release they see.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/stub_unknown.h"
#include "tarvovcard/platform/atlbase.h"
#include "tarvovcard/platform/objbase.h"

namespace {

std::atomic<int> live_objects{0};

// An instance of a fake class: counts the live ones.
struct FakeObject final : StubUnknown {
  FakeObject() {
    refs = 0;
    ++live_objects;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG n = --refs;
    if (n == 0) {
      --live_objects;
      delete this;
    }
    return n;
  }
};

// A class object kept by its module for the module's life (its first
// reference).
struct FakeFactory : IClassFactory {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory))
      return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    ++add_refs;
    return ++refs;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    ++releases;
    return --refs;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    ++creations;
    CComPtr<IUnknown> object(new FakeObject);
    return object->QueryInterface(riid, ppv);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  std::atomic<ULONG> refs{1};
  std::atomic<int> add_refs{0}, releases{0}, creations{0};
};

constexpr CLSID Class(unsigned char n) {
  return {0x7A000000u + n, 0, 0, {0x80, 0, 0, 0, 0, 0, 0, n}};
}
constexpr CLSID kClassA = Class(1), kClassB = Class(2), kClassC = Class(3), kClassD = Class(6);
constexpr CLSID kClassOfFreshFactories = Class(4), kClassFailing = Class(5);
constexpr CLSID kUnknownClass = Class(0xFF);

FakeFactory factory_a, factory_b, factory_c, factory_d;
std::atomic<int> module_queries{0};

// The fake module's DllGetClassObject.
HRESULT FakeGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv) {
  ++module_queries;
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  for (auto [id, factory] : {std::pair{&kClassA, &factory_a},
                             {&kClassB, &factory_b},
                             {&kClassC, &factory_c},
                             {&kClassD, &factory_d}})
    if (IsEqualCLSID(clsid, *id)) return factory->QueryInterface(riid, ppv);
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT FakeCanUnloadNow() {
  return S_FALSE;
}

// A module that makes a new class object on every request and keeps none.
struct FreshFactory final : FakeFactory {
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG n = FakeFactory::Release();
    if (n == 0) delete this;
    return n;
  }
};
std::atomic<int> fresh_factories{0};

HRESULT FreshGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv) {
  *ppv = nullptr;
  if (IsEqualCLSID(clsid, kClassFailing)) return E_OUTOFMEMORY;
  if (!IsEqualCLSID(clsid, kClassOfFreshFactories)) return CLASS_E_CLASSNOTAVAILABLE;
  ++fresh_factories;
  auto* factory = new FreshFactory;
  factory->refs = 0;
  return factory->QueryInterface(riid, ppv);
}

HRESULT Create(REFCLSID clsid, CComPtr<IUnknown>& out, DWORD context = CLSCTX_ALL) {
  out.Release();
  return CoCreateInstance(clsid, nullptr, context, IID_IUnknown, reinterpret_cast<void**>(&out));
}

class Activation : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoRegisterModule(this, FakeGetClassObject, FakeCanUnloadNow, &cookie_), S_OK);
    EXPECT_NE(cookie_, 0u);
  }
  void TearDown() override {
    if (cookie_) {
      EXPECT_EQ(CoRevokeModule(cookie_), S_OK);
    }
    EXPECT_EQ(live_objects, 0);
  }
  DWORD cookie_ = 0;
};

TEST_F(Activation, CreatesThroughTheCacheWithoutCountingOnTheClassObject) {
  const int queries = module_queries, add_refs = factory_a.add_refs, releases = factory_a.releases;
  CComPtr<IUnknown> object;
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(Create(kClassA, object), S_OK);
    ASSERT_TRUE(object);
    EXPECT_EQ(factory_a.refs, 1u);  // the runtime holds no reference: only the module's
  }
  // The module was asked once; the one reference it handed out was given
  // back at once, and no creation touched the count.
  EXPECT_EQ(module_queries - queries, 1);
  EXPECT_EQ(factory_a.add_refs - add_refs, 1);
  EXPECT_EQ(factory_a.releases - releases, 1);
  EXPECT_EQ(factory_a.creations, 100);
  // A failure of the class object is passed on unchanged.
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(kClassA, object, CLSCTX_INPROC_SERVER, IID_IUnknown, &out),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
}

TEST_F(Activation, ClassObjectLookupGivesARealReference) {
  IClassFactory* factory = nullptr;
  ASSERT_EQ(CoGetClassObject(kClassB, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             reinterpret_cast<void**>(&factory)),
            S_OK);
  EXPECT_EQ(factory, &factory_b);
  EXPECT_EQ(factory_b.refs, 2u);  // the module's and the caller's
  factory->Release();
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoGetClassObject(kClassB, CLSCTX_ALL, nullptr, IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(factory_b.refs, 1u);
}

TEST_F(Activation, UnknownClassIsNotRegistered) {
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(kUnknownClass, nullptr, CLSCTX_ALL, IID_IUnknown, &out),
            static_cast<HRESULT>(0x80040154));
  EXPECT_EQ(out, nullptr);
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoGetClassObject(kUnknownClass, CLSCTX_ALL, nullptr, IID_IClassFactory, &out),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(CoCreateInstance(kClassA, nullptr, CLSCTX_ALL, IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(CoGetClassObject(kClassA, CLSCTX_ALL, nullptr, IID_IUnknown, nullptr), E_POINTER);
  CComPtr<IUnknown> object;  // only in-process servers exist
  EXPECT_EQ(Create(kClassA, object, CLSCTX_LOCAL_SERVER), REGDB_E_CLASSNOTREG);
}

TEST_F(Activation, RevokedModuleIsNoLongerFound) {
  CComPtr<IUnknown> object, after;
  ASSERT_EQ(Create(kClassC, object), S_OK);
  ASSERT_EQ(CoRevokeModule(cookie_), S_OK);
  EXPECT_EQ(CoRevokeModule(cookie_), E_INVALIDARG);
  cookie_ = 0;
  EXPECT_EQ(Create(kClassC, after), REGDB_E_CLASSNOTREG);
  EXPECT_FALSE(after);
  // Publishing the module again makes the class creatable again.
  ASSERT_EQ(CoRegisterModule(this, FakeGetClassObject, FakeCanUnloadNow, &cookie_), S_OK);
  EXPECT_EQ(Create(kClassC, after), S_OK);
  EXPECT_EQ(factory_c.refs, 1u);
}

TEST_F(Activation, ModuleThatKeepsNoClassObjectIsAskedEachTime) {
  DWORD fresh_cookie = 0;
  ASSERT_EQ(CoRegisterModule(nullptr, FreshGetClassObject, nullptr, &fresh_cookie), S_OK);
  CComPtr<IUnknown> object;
  for (int i = 0; i < 3; ++i) ASSERT_EQ(Create(kClassOfFreshFactories, object), S_OK);
  // One factory to find the class, then one per creation; each is freed (the
  // sanitizers check that none is used after).
  EXPECT_EQ(fresh_factories, 4);
  // A module that knows a class but fails to give it: its code is passed on.
  EXPECT_EQ(Create(kClassFailing, object), E_OUTOFMEMORY);
  EXPECT_EQ(CoRevokeModule(fresh_cookie), S_OK);
}

TEST_F(Activation, TwoThreadsCreateAtOnce) {
  // Both threads start on a class not yet found, so both may miss the cache
  // at once; the class is still looked up in the module only once.
  constexpr int kPerThread = 20000;
  std::atomic<int> failures{0}, ready{0};
  auto work = [&] {
    ++ready;
    while (ready < 2) std::this_thread::yield();
    CComPtr<IUnknown> object;
    for (int i = 0; i < kPerThread; ++i)
      if (Create(kClassD, object) != S_OK) ++failures;
  };
  std::thread first(work), second(work);
  first.join();
  second.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(factory_d.creations, 2 * kPerThread);
  EXPECT_EQ(factory_d.add_refs, 1);
  EXPECT_EQ(factory_d.releases, 1);
  EXPECT_EQ(factory_d.refs, 1u);
}

TEST(ActivationArguments, RegistrationThreadsAndTaskMemory) {
  DWORD cookie = 7;
  EXPECT_EQ(CoRegisterModule(nullptr, nullptr, nullptr, &cookie), E_INVALIDARG);
  EXPECT_EQ(cookie, 0u);
  EXPECT_EQ(CoRegisterModule(nullptr, FakeGetClassObject, nullptr, nullptr), E_POINTER);
  EXPECT_EQ(CoRevokeModule(0xFFFFFFFF), E_INVALIDARG);

  // Initialisation nests per thread; one uninitialisation too many is harmless.
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
  std::thread([] {
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    CoUninitialize();
  }).join();
  for (int i = 0; i < 3; ++i) CoUninitialize();
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  CoUninitialize();

  for (std::size_t size : {16, 0}) {
    void* p = CoTaskMemAlloc(size);
    EXPECT_NE(p, nullptr);
    CoTaskMemFree(p);
  }
  CoTaskMemFree(nullptr);
}

}  // namespace
