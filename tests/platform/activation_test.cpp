// Activation through a fake module whose class objects count every AddRef and
// Release. That the caller of CoGetClassObject gets a reference and the runtime
// keeps none is seen on the real library (tests/server/registered_activation_test.cpp).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <utility>

#include "platform/stub_unknown.h"
#include "tarvovcard/platform/atlbase.h"
#include "tarvovcard/platform/objbase.h"

namespace {

// What every class object creates: the one instance of the calling thread.
thread_local StubUnknown instance;

// A class object that its module keeps (its first reference) for the
// module's life, or one made afresh for each request and kept by nobody.
struct FakeFactory final : IClassFactory {
  explicit FakeFactory(bool kept = true) : refs(kept), kept(kept) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    const bool known = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory);
    *ppv = known ? static_cast<IClassFactory*>(this) : nullptr;
    if (known) AddRef();
    return known ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    ++add_refs;
    return ++refs;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG n = --refs;
    if (n == 0 && !kept) delete this;
    return n;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    ++creations;
    return instance.QueryInterface(riid, ppv);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  std::atomic<ULONG> refs;
  const bool kept;
  std::atomic<int> add_refs{0}, creations{0};
};

// Classes 1 and 2 have kept class objects (one per test, so that the counts
// start afresh); 3 gets a new one per request; 4 fails to give one.
constexpr CLSID Class(unsigned char n) {
  return {0x7A000000u + n, 0, 0, {0x80, 0, 0, 0, 0, 0, 0, n}};
}
constexpr CLSID kFresh = Class(3), kFailing = Class(4), kUnknownClass = Class(0xFF);
FakeFactory kept[2];
std::atomic<int> module_queries{0};

HRESULT FakeGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv) {
  ++module_queries;
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  const unsigned char n = clsid.Data4[7];
  if (!IsEqualCLSID(clsid, Class(n)) || n < 1 || n > 4) return CLASS_E_CLASSNOTAVAILABLE;
  if (n == 4) return E_OUTOFMEMORY;
  if (n == 3) return (new FakeFactory(false))->QueryInterface(riid, ppv);
  // Slow to answer for class 1 at first, so that a second thread misses the cache meanwhile.
  if (n == 1 && kept[0].add_refs == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return kept[n - 1].QueryInterface(riid, ppv);
}

HRESULT Create(REFCLSID clsid, CComPtr<IUnknown>& out) {
  out.Release();
  return CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&out));
}

class Activation : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoRegisterModule(this, FakeGetClassObject, nullptr, &cookie_), S_OK);
    ASSERT_NE(cookie_, 0u);
  }
  void TearDown() override {
    EXPECT_EQ(CoRevokeModule(cookie_), S_OK);
    EXPECT_EQ(instance.refs, 1u);
  }
  DWORD cookie_ = 0;
};

// A kept class object is asked for once, even by two threads that start on it
// together and both miss the cache, and then borrowed: no creation touches the count.
TEST_F(Activation, AKeptClassObjectIsAskedForOnceEvenByTwoThreadsAtOnce) {
  constexpr int kPerThread = 20000;
  std::atomic<int> failures{0}, ready{0};
  auto work = [&] {
    ++ready;
    while (ready < 2) std::this_thread::yield();
    CComPtr<IUnknown> object;
    for (int i = 0; i < kPerThread; ++i)
      if (Create(Class(1), object) != S_OK) ++failures;
    object.Release();
    if (instance.refs != 1) ++failures;
  };
  const int before = module_queries;
  std::thread first(work), second(work);
  first.join();
  second.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(module_queries - before, 1);
  EXPECT_EQ(kept[0].creations, 2 * kPerThread);
  EXPECT_EQ(kept[0].add_refs, 1);
}

// One that nobody keeps is asked for to find the class and then for each
// creation, and freed each time (the sanitizers see any later use).
TEST_F(Activation, AClassObjectThatNobodyKeepsIsAskedForEachTime) {
  CComPtr<IUnknown> object;
  const int before = module_queries;
  for (int i = 0; i < 3; ++i) ASSERT_EQ(Create(kFresh, object), S_OK);
  EXPECT_EQ(module_queries - before, 4);
}

// Each failure with the pointer it must clear; a class object's own failure is passed on unchanged.
TEST_F(Activation, FailuresAndArguments) {
  auto create = [](REFCLSID clsid, DWORD context, IUnknown* outer = nullptr) {
    void* out = &out;
    const HRESULT hr = CoCreateInstance(clsid, outer, context, IID_IUnknown, &out);
    EXPECT_EQ(out, nullptr);
    return hr;
  };
  auto get = [](REFCLSID clsid, REFIID riid) {
    void* out = &out;
    const HRESULT hr = CoGetClassObject(clsid, CLSCTX_ALL, nullptr, riid, &out);
    EXPECT_EQ(out, nullptr);
    return hr;
  };
  StubUnknown outer;
  DWORD cookie = 7;
  const std::pair<HRESULT, HRESULT> cases[] = {
      {create(Class(2), CLSCTX_INPROC_SERVER, &outer), CLASS_E_NOAGGREGATION},
      {get(Class(2), IID_IDispatch), E_NOINTERFACE},
      {create(Class(2), CLSCTX_LOCAL_SERVER), REGDB_E_CLASSNOTREG},  // only in-process servers
      {get(kUnknownClass, IID_IClassFactory), REGDB_E_CLASSNOTREG},
      {create(kFailing, CLSCTX_ALL), E_OUTOFMEMORY},  // the module knows the class
      {CoCreateInstance(Class(2), nullptr, CLSCTX_ALL, IID_IUnknown, nullptr), E_POINTER},
      {CoGetClassObject(Class(2), CLSCTX_ALL, nullptr, IID_IUnknown, nullptr), E_POINTER},
      {CoRegisterModule(nullptr, nullptr, nullptr, &cookie), E_INVALIDARG},
      {CoRegisterModule(nullptr, FakeGetClassObject, nullptr, nullptr), E_POINTER},
      {CoRevokeModule(0xFFFFFFFF), E_INVALIDARG},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(cases[i].first, cases[i].second) << i;
  EXPECT_EQ(cookie, 0u);
  EXPECT_EQ(kept[1].refs, 1u);
  EXPECT_EQ(outer.refs, 1u);
}

// Initialisation nests per thread; one uninitialisation too many is harmless.
TEST(Runtime, InitialisationNestsPerThreadAndTaskMemoryIsNeverNull) {
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
  std::thread([] {
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    CoUninitialize();
  }).join();
  for (int i = 0; i < 3; ++i) CoUninitialize();
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  CoUninitialize();
  void* p = CoTaskMemAlloc(0);  // a ProgID's text is task memory too (registered_activation_test)
  EXPECT_NE(p, nullptr);
  CoTaskMemFree(p);
  CoTaskMemFree(nullptr);
}

}  // namespace
