// The registered path, as a client program that does not link the library sees it: the built
// library registered in a scratch registry, its classes reached by ProgID, and the library
// unloaded by CoFreeUnusedLibraries once nothing holds it. Loading and saving through it is the
// client's --progid row (cli_test.cpp).
#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "server/scratch_registry.h"
#include "tarvovcard/platform/atlbase.h"
#include "tarvovcard/platform/objbase.h"

namespace {

constexpr const char* kLibrary = TARVOVCARD_LIBRARY_FILE;
constexpr DWORD kIn = CLSCTX_INPROC_SERVER;

bool LibraryLoaded() {
  void* h = dlopen(kLibrary, RTLD_NOW | RTLD_NOLOAD);
  return h && dlclose(h) == 0;
}

// Opens a library file the way an installer does, calls one of its entry
// points and closes the file again.
HRESULT Call(const char* entry, const std::string& file = kLibrary) {
  void* h = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  EXPECT_NE(h, nullptr) << dlerror();
  void* fn = h ? dlsym(h, entry) : nullptr;
  const HRESULT hr = fn ? reinterpret_cast<HRESULT (*)()>(fn)() : CO_E_ERRORINDLL;
  if (h) dlclose(h);
  return hr;
}

class RegisteredActivation : public ScratchRegistryTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(Call("DllRegisterServer"), S_OK);
    ASSERT_FALSE(LibraryLoaded());
  }
  void TearDown() override {
    CoFreeUnusedLibraries();
    EXPECT_FALSE(LibraryLoaded());
  }
};

// Each row takes a card collection or the class object of a card, changes the
// server lock by `lock` through the class object, keeps what it took or lets
// it go, and asks the runtime to free what it can.
TEST_F(RegisteredActivation, AnInstanceAClassObjectOrALockKeepsTheLibraryLoaded) {
  CLSID coll_class = GUID_NULL, card_class = GUID_NULL;
  ASSERT_EQ(CLSIDFromProgID(u"TarvovCard.VCardColl", &coll_class), S_OK);
  ASSERT_EQ(CLSIDFromProgID(u"TarvovCard.VCard.1", &card_class), S_OK);
  const struct {
    bool class_object;
    int lock;
    bool keep, loaded;
  } steps[] = {
      {false, 0, true, true},   // an instance in use (let go at the end of its row)
      {true, 0, true, true},    // the client holds the class object
      {true, 0, false, false},  // the module's own reference holds nothing
      {true, +2, false, true},  // server locks nest
      {true, -1, false, true}, {true, -1, false, false},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(&s - steps);
    CComPtr<IUnknown> held;
    void** out = reinterpret_cast<void**>(&held);
    ASSERT_EQ(s.class_object ? CoGetClassObject(card_class, kIn, nullptr, IID_IClassFactory, out)
                             : CoCreateInstance(coll_class, nullptr, kIn, IID_IUnknown, out),
              S_OK);
    for (int i = 0; i < std::abs(s.lock); ++i)
      EXPECT_EQ(static_cast<IClassFactory*>(held.p)->LockServer(s.lock > 0), S_OK);
    if (!s.keep) held.Release();
    EXPECT_TRUE(LibraryLoaded());  // until the runtime is asked to free it
    CoFreeUnusedLibraries();
    EXPECT_EQ(LibraryLoaded(), s.loaded);
  }
}

TEST_F(RegisteredActivation, ProgIdsAreLookedUpAndBrokenRegistrationsFail) {
  CLSID clsid = GUID_NULL;
  LPOLESTR prog_id = nullptr;
  ASSERT_EQ(CLSIDFromProgID(u"TarvovCard.VCard", &clsid), S_OK);
  ASSERT_EQ(ProgIDFromCLSID(clsid, &prog_id), S_OK);
  EXPECT_EQ(std::u16string(prog_id), u"TarvovCard.VCard.1");
  CoTaskMemFree(prog_id);
  EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);
  const CLSID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  EXPECT_EQ(ProgIDFromCLSID(unknown, &prog_id), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(prog_id, nullptr);
  // A library file that is missing; a library that is no module.
  const std::pair<std::u16string, HRESULT> servers[] = {
      {u"/nonexistent/libnothing.so", CO_E_DLLNOTFOUND},
      {u"libc.so.6", CO_E_ERRORINDLL},
  };
  for (const auto& [server, hr] : servers) {
    const std::u16string key = u"CLSID\\{12345678-1234-1234-0102-030405060708}\\InprocServer32";
    ASSERT_EQ(RegPut(key, server.c_str()), ERROR_SUCCESS);
    void* object = &clsid;
    EXPECT_EQ(CoCreateInstance(unknown, nullptr, kIn, IID_IUnknown, &object), hr);
    EXPECT_EQ(object, nullptr);
  }
}

// A library reached by a name that is not UTF-8 cannot be named in the
// registry: registering it fails and changes nothing, instead of writing a
// path with replacement characters that no loader would find.
TEST_F(RegisteredActivation, ALibraryNameThatIsNotUtf8IsNotRegistered) {
  const std::string link = scratch_.path() + "-lib\xFF.so";
  ASSERT_EQ(symlink(kLibrary, link.c_str()), 0);
  const std::string before = scratch_.Text();
  for (const char* entry : {"DllRegisterServer", "DllUnregisterServer"}) {
    EXPECT_EQ(Call(entry, link), HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION)) << entry;
    EXPECT_TRUE(scratch_.Text() == before) << entry << ": the registry changed";
  }
}

}  // namespace
