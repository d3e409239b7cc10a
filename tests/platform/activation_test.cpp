#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tarvovcard/platform/atlbase.h"
#include "tarvovcard/platform/objbase.h"

namespace {

// A class of the fake module: counts its live instances.
std::atomic<int> live_objects{0};

struct FakeObject final : IUnknown {
  FakeObject() { ++live_objects; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown)) return E_NOINTERFACE;
    *ppv = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG n = --refs;
    if (n == 0) {
      --live_objects;
      delete this;
    }
    return n;
  }
  ULONG refs = 0;
};

// A class object kept by its module for the module's life (its first
// reference), counting every AddRef and Release it sees.
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
  std::atomic<int> add_refs{0};
  std::atomic<int> releases{0};
  std::atomic<int> creations{0};
};

constexpr CLSID kClassA = {0x7A000001, 0, 0, {0x80, 0, 0, 0, 0, 0, 0, 1}};
constexpr CLSID kClassB = {0x7A000002, 0, 0, {0x80, 0, 0, 0, 0, 0, 0, 2}};
constexpr CLSID kClassC = {0x7A000003, 0, 0, {0x80, 0, 0, 0, 0, 0, 0, 3}};
constexpr CLSID kClassD = {0x7A000006, 0, 0, {0x80, 0, 0, 0, 0, 0, 0, 6}};
constexpr CLSID kClassOfFreshFactories = {0x7A000004, 0, 0, {0x80, 0, 0, 0, 0, 0, 0, 4}};
constexpr CLSID kClassFailing = {0x7A000005, 0, 0, {0x80, 0, 0, 0, 0, 0, 0, 5}};
constexpr CLSID kUnknownClass = {0x7A0000FF, 0, 0, {0x80, 0, 0, 0, 0, 0, 0, 0xFF}};

FakeFactory factory_a, factory_b, factory_c, factory_d;
std::atomic<int> module_queries{0};

// The fake module's DllGetClassObject.
HRESULT FakeGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv) {
  ++module_queries;
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  FakeFactory* factory = IsEqualCLSID(clsid, kClassA)   ? &factory_a
                         : IsEqualCLSID(clsid, kClassB) ? &factory_b
                         : IsEqualCLSID(clsid, kClassC) ? &factory_c
                         : IsEqualCLSID(clsid, kClassD) ? &factory_d
                                                        : nullptr;
  if (!factory) return CLASS_E_CLASSNOTAVAILABLE;
  return factory->QueryInterface(riid, ppv);
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
  const int queries_before = module_queries;
  const int add_refs_before = factory_a.add_refs;
  const int releases_before = factory_a.releases;
  for (int i = 0; i < 100; ++i) {
    CComPtr<IUnknown> object;
    ASSERT_EQ(CoCreateInstance(kClassA, nullptr, CLSCTX_ALL, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    ASSERT_TRUE(object);
    // The runtime holds no reference on the class object: only the module's.
    EXPECT_EQ(factory_a.refs, 1u);
  }
  // The module was asked once; the one reference it handed out was given
  // back at once, and no creation touched the count.
  EXPECT_EQ(module_queries - queries_before, 1);
  EXPECT_EQ(factory_a.add_refs - add_refs_before, 1);
  EXPECT_EQ(factory_a.releases - releases_before, 1);
  EXPECT_EQ(factory_a.creations, 100);

  // A failure of the class object is passed on unchanged.
  {
    CComPtr<IUnknown> outer;
    ASSERT_EQ(CoCreateInstance(kClassA, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&outer)),
              S_OK);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(kClassA, outer, CLSCTX_ALL, IID_IUnknown, &out),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
  }
}

TEST_F(Activation, ClassObjectLookupGivesARealReference) {
  IClassFactory* factory = nullptr;
  ASSERT_EQ(CoGetClassObject(kClassB, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             reinterpret_cast<void**>(&factory)),
            S_OK);
  EXPECT_EQ(factory, &factory_b);
  EXPECT_EQ(factory_b.refs, 2u);  // the module's and the caller's
  factory->Release();
  EXPECT_EQ(factory_b.refs, 1u);

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
  // Only in-process servers exist.
  EXPECT_EQ(CoCreateInstance(kClassA, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &out),
            REGDB_E_CLASSNOTREG);
}

TEST_F(Activation, RevokedModuleIsNoLongerFound) {
  CComPtr<IUnknown> object;
  ASSERT_EQ(CoCreateInstance(kClassC, nullptr, CLSCTX_ALL, IID_IUnknown,
                             reinterpret_cast<void**>(&object)),
            S_OK);
  ASSERT_EQ(CoRevokeModule(cookie_), S_OK);
  EXPECT_EQ(CoRevokeModule(cookie_), E_INVALIDARG);
  cookie_ = 0;
  CComPtr<IUnknown> after;
  EXPECT_EQ(CoCreateInstance(kClassC, nullptr, CLSCTX_ALL, IID_IUnknown,
                             reinterpret_cast<void**>(&after)),
            REGDB_E_CLASSNOTREG);
  EXPECT_FALSE(after);

  // Publishing the module again makes the class creatable again.
  ASSERT_EQ(CoRegisterModule(this, FakeGetClassObject, FakeCanUnloadNow, &cookie_), S_OK);
  EXPECT_EQ(CoCreateInstance(kClassC, nullptr, CLSCTX_ALL, IID_IUnknown,
                             reinterpret_cast<void**>(&after)),
            S_OK);
  EXPECT_EQ(factory_c.refs, 1u);
}

TEST_F(Activation, ModuleThatKeepsNoClassObjectIsAskedEachTime) {
  DWORD fresh_cookie = 0;
  ASSERT_EQ(CoRegisterModule(nullptr, FreshGetClassObject, nullptr, &fresh_cookie), S_OK);
  const int before = fresh_factories;
  for (int i = 0; i < 3; ++i) {
    CComPtr<IUnknown> object;
    ASSERT_EQ(CoCreateInstance(kClassOfFreshFactories, nullptr, CLSCTX_ALL, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              S_OK);
  }
  // One factory to find the class, then one per creation; each is freed (the
  // sanitizers check that none is used after).
  EXPECT_EQ(fresh_factories - before, 4);

  // A module that knows a class but fails to give it: its code is passed on.
  void* out = nullptr;
  EXPECT_EQ(CoCreateInstance(kClassFailing, nullptr, CLSCTX_ALL, IID_IUnknown, &out),
            E_OUTOFMEMORY);
  EXPECT_EQ(CoRevokeModule(fresh_cookie), S_OK);
}

TEST_F(Activation, TwoThreadsCreateAtOnce) {
  // Both threads start on a class not yet found, so both may miss the cache
  // at once; the class is still looked up in the module only once.
  constexpr int kPerThread = 20000;
  std::atomic<int> failures{0};
  std::atomic<int> ready{0};
  auto work = [&] {
    ++ready;
    while (ready < 2) std::this_thread::yield();
    for (int i = 0; i < kPerThread; ++i) {
      CComPtr<IUnknown> object;
      if (CoCreateInstance(kClassD, nullptr, CLSCTX_ALL, IID_IUnknown,
                           reinterpret_cast<void**>(&object)) != S_OK)
        ++failures;
    }
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

TEST(ActivationArguments, RegistrationChecksItsArguments) {
  DWORD cookie = 7;
  EXPECT_EQ(CoRegisterModule(nullptr, nullptr, nullptr, &cookie), E_INVALIDARG);
  EXPECT_EQ(cookie, 0u);
  EXPECT_EQ(CoRegisterModule(nullptr, FakeGetClassObject, nullptr, nullptr), E_POINTER);
  EXPECT_EQ(CoRevokeModule(0xFFFFFFFF), E_INVALIDARG);
}

TEST(ActivationThreads, InitialisationNestsPerThread) {
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
  std::thread([] {
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    CoUninitialize();
  }).join();
  CoUninitialize();
  CoUninitialize();
  CoUninitialize();  // one too many is harmless
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  CoUninitialize();
}

TEST(TaskMemory, AllocatesAndFrees) {
  void* p = CoTaskMemAlloc(16);
  ASSERT_NE(p, nullptr);
  CoTaskMemFree(p);
  p = CoTaskMemAlloc(0);
  EXPECT_NE(p, nullptr);
  CoTaskMemFree(p);
  CoTaskMemFree(nullptr);
}

}  // namespace
