// The object frame: the construction step with its extra reference, failures
// of construction and of the first interface query, and the module lock that
// each instance holds from construction to destruction.
#include "frame/com_object.h"

#include <gtest/gtest.h>

#include "platform/stub_unknown.h"

namespace tarvovcard::frame {
namespace {

// {5E0F2B7A-2C51-4B8E-9A63-0D4C7E1F9B21}: a private interface of this test.
constexpr IID IID_ITestThing = {
    0x5e0f2b7a, 0x2c51, 0x4b8e, {0x9a, 0x63, 0x0d, 0x4c, 0x7e, 0x1f, 0x9b, 0x21}};
// {0B7C5E3D-8F14-4A2B-B6D9-51E2A7C4F086}
constexpr IID kThingImplIid = {
    0x0b7c5e3d, 0x8f14, 0x4a2b, {0xb6, 0xd9, 0x51, 0xe2, 0xa7, 0xc4, 0xf0, 0x86}};

struct ITestThing : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Poke() = 0;
};

// What the next Thing's construction step does.
enum class Step { kSucceed, kFail, kThrow, kHandOutAndDrop };
Step g_step = Step::kSucceed;
int g_destroyed = 0;
ULONG g_count_in_step = 0;

class Thing : public ComObjectRoot, public ITestThing {
 public:
  static const IID& ImplIid() noexcept { return kThingImplIid; }
  IUnknown* GetInterface(REFIID riid) noexcept {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ITestThing)) return this;
    return nullptr;
  }
  HRESULT FinalConstruct() {
    switch (g_step) {
      case Step::kFail:
        return E_ACCESSDENIED;
      case Step::kThrow:
        throw std::bad_alloc();
      case Step::kHandOutAndDrop: {
        // A reference handed out and given back during construction must not
        // destroy the object.
        CComPtr<ITestThing> self(this);
        g_count_in_step = AddRef() - 1;
        Release();
        return S_OK;
      }
      case Step::kSucceed:
        break;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Poke() override { return S_OK; }

 protected:
  ~Thing() { ++g_destroyed; }
};

class ComObjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_step = Step::kSucceed;
    g_destroyed = 0;
    ASSERT_EQ(ModuleLockCount(), 0);
  }
  void TearDown() override { EXPECT_EQ(ModuleLockCount(), 0); }
};

// Each way a creation can go: the instance lives exactly as long as its
// references, or a failed construction or first query destroys it at once.
TEST_F(ComObjectTest, CreationAndLifetime) {
  const struct {
    Step step;
    const IID* iid;
    HRESULT hr;
  } cases[] = {
      {Step::kSucceed, &IID_ITestThing, S_OK},
      {Step::kHandOutAndDrop, &IID_ITestThing, S_OK},
      {Step::kFail, &IID_ITestThing, E_ACCESSDENIED},
      {Step::kThrow, &IID_ITestThing, E_OUTOFMEMORY},
      {Step::kSucceed, &IID_IClassFactory, E_NOINTERFACE},
  };
  for (const auto& c : cases) {
    g_step = c.step;
    g_destroyed = 0;
    g_count_in_step = 0;
    void* object = nullptr;
    ASSERT_EQ(Creator<Thing>::CreateInstance(nullptr, *c.iid, &object), c.hr);
    if (FAILED(c.hr)) {
      EXPECT_EQ(object, nullptr);
      EXPECT_EQ(g_destroyed, 1);
      EXPECT_EQ(ModuleLockCount(), 0);
      continue;
    }
    auto* thing = static_cast<ITestThing*>(object);
    EXPECT_EQ(ModuleLockCount(), 1);
    // The construction step ran with one extra reference: its own raise plus
    // the local holder.
    EXPECT_EQ(g_count_in_step, c.step == Step::kHandOutAndDrop ? 2u : 0u);
    // The private identity query finds the object and adds no reference.
    EXPECT_EQ(static_cast<ITestThing*>(ImplFrom<Thing>(thing)), thing);
    EXPECT_EQ(thing->AddRef(), 2u);
    EXPECT_EQ(thing->Release(), 1u);
    EXPECT_EQ(g_destroyed, 0);
    EXPECT_EQ(thing->Release(), 0u);
    EXPECT_EQ(g_destroyed, 1);
  }
}

TEST_F(ComObjectTest, AggregatedInstanceCountsOnItsOwnAndDelegatesTheRest) {
  struct Outer : StubUnknown {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
      ++queries;
      return StubUnknown::QueryInterface(riid, ppv);
    }
    int queries = 0;
  } outer;
  IUnknown* inner = nullptr;
  ASSERT_EQ(Creator<Thing>::CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)),
            S_OK);
  EXPECT_EQ(ModuleLockCount(), 1);  // one lock per instance, aggregated or not
  EXPECT_EQ(ImplFrom<Thing>(static_cast<ITestThing*>(nullptr)), nullptr);
  ITestThing* thing = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_ITestThing, reinterpret_cast<void**>(&thing)), S_OK);
  EXPECT_EQ(outer.refs, 2u);
  void* other = nullptr;
  EXPECT_EQ(thing->QueryInterface(IID_ITestThing, &other), E_NOINTERFACE);
  EXPECT_EQ(outer.queries, 1);
  // The identity query stays inside the aggregate.
  EXPECT_NE(ImplFrom<Thing>(thing), nullptr);
  EXPECT_EQ(outer.queries, 1);
  thing->Release();
  EXPECT_EQ(outer.refs, 1u);
  EXPECT_EQ(inner->Release(), 0u);
  EXPECT_EQ(g_destroyed, 1);
}

TEST(ComBoundary, TurnsExceptionsIntoStatusCodes) {
  EXPECT_EQ(ComBoundary([] { return S_FALSE; }), S_FALSE);
  EXPECT_EQ(ComBoundary([]() -> HRESULT { _com_issue_error(E_INVALIDARG); }), E_INVALIDARG);
  EXPECT_EQ(ComBoundary([]() -> HRESULT { throw std::bad_alloc(); }), E_OUTOFMEMORY);
  EXPECT_EQ(ComBoundary([]() -> HRESULT { throw 42; }), E_UNEXPECTED);
}

}  // namespace
}  // namespace tarvovcard::frame
