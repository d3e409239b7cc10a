// The object frame's creation of an instance: the construction step with its extra reference,
// the boundary that turns what the step throws into its status, and the module lock. How an
// aggregated instance counts on its outer is seen on the library's classes (server_test.cpp), and
// that the private identity query finds the object and adds no reference in tests/model.
#include "frame/com_object.h"

#include <gtest/gtest.h>

#include "platform/stub_unknown.h"

namespace tarvovcard::frame {
namespace {

// {0B7C5E3D-8F14-4A2B-B6D9-51E2A7C4F086}
constexpr IID kThingImplIid = {
    0x0b7c5e3d, 0x8f14, 0x4a2b, {0xb6, 0xd9, 0x51, 0xe2, 0xa7, 0xc4, 0xf0, 0x86}};

HRESULT (*g_step_ends)() = nullptr;  // how the next Thing's construction step ends
ULONG g_refs_in_step = 0;
int g_destroyed = 0;

class Thing : public ComObjectRoot, public IUnknown {
 public:
  static const IID& ImplIid() noexcept { return kThingImplIid; }
  IUnknown* GetInterface(REFIID riid) noexcept {
    return IsEqualIID(riid, IID_IUnknown) ? this : nullptr;
  }
  HRESULT FinalConstruct() {
    g_refs_in_step = ref_count_;
    CComPtr<IUnknown>(this).Release();  // handed out and given back: the object must live on
    return g_step_ends();
  }

 protected:
  ~Thing() { ++g_destroyed; }
};

// Each way a construction step can end, alone and aggregated, and the lifetime that follows: the
// instance and its module lock live exactly as long as its references (an aggregated one's, the
// outer's), or a failed step destroys it at once (codes of thrown errors: tests/model, reader).
TEST(ComObject, CreationAndLifetime) {
  const struct {
    HRESULT (*step_ends)();
    HRESULT hr;
  } cases[] = {
      {[] { return S_OK; }, S_OK},
      {[] { return E_ACCESSDENIED; }, E_ACCESSDENIED},
      {[]() -> HRESULT { throw 42; }, E_UNEXPECTED},
  };
  StubUnknown outer;
  ASSERT_EQ(ModuleLockCount(), 0);
  for (const auto& c : cases) {
    for (IUnknown* aggregate : {static_cast<IUnknown*>(nullptr), static_cast<IUnknown*>(&outer)}) {
      SCOPED_TRACE(::testing::Message() << (&c - cases) << (aggregate ? " aggregated" : ""));
      g_step_ends = c.step_ends;
      g_destroyed = 0;
      IUnknown* object = nullptr;
      ASSERT_EQ(Creator<Thing>::CreateInstance(aggregate, IID_IUnknown,
                                               reinterpret_cast<void**>(&object)),
                c.hr);
      if (!aggregate) {  // the creator's, so that the step may drop what it hands out
        EXPECT_EQ(g_refs_in_step, 1u);
      }
      EXPECT_EQ(ModuleLockCount(), SUCCEEDED(c.hr) ? 1 : 0);
      EXPECT_EQ(g_destroyed, SUCCEEDED(c.hr) ? 0 : 1);
      if (FAILED(c.hr)) {
        EXPECT_EQ(object, nullptr);
        continue;
      }
      EXPECT_EQ(object->Release(), 0u);
      EXPECT_EQ(g_destroyed, 1);
      EXPECT_EQ(ModuleLockCount(), 0);
    }
  }
  EXPECT_EQ(outer.refs, 1u);
  EXPECT_EQ(ImplFrom<Thing>(static_cast<IUnknown*>(nullptr)), nullptr);
  EXPECT_EQ(ComBoundary([] { return S_FALSE; }), S_FALSE);  // a success is passed on too
}

}  // namespace
}  // namespace tarvovcard::frame
