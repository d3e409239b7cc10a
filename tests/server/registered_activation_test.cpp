// The registered path, as a client program sees it: this program does not
// link the library. It registers the built library file into a scratch
// registry, creates TarvovCard.VCardColl by its ProgID (the runtime finds
// InprocServer32 and loads the library), releases everything, and sees
// CoFreeUnusedLibraries unload the library.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "server/scratch_registry.h"
#include "tarvovcard/automation_types.h"
#include "tarvovcard/platform/atlbase.h"
#include "tarvovcard/platform/objbase.h"

namespace {

constexpr const char* kLibrary = TARVOVCARD_LIBRARY_FILE;

bool LibraryLoaded() {
  void* h = dlopen(kLibrary, RTLD_NOW | RTLD_NOLOAD);
  if (!h) return false;
  dlclose(h);
  return true;
}

// Registers the library file the way an installer does: load, call, unload.
HRESULT RegisterLibraryFile(const char* entry) {
  void* h = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
  if (!h) return CO_E_DLLNOTFOUND;
  auto fn = reinterpret_cast<HRESULT (*)()>(dlsym(h, entry));
  HRESULT hr = fn ? fn() : CO_E_ERRORINDLL;
  dlclose(h);
  return hr;
}

// The interface identifier of a registered interface, found by its name.
IID RegisteredIid(const std::u16string& name) {
  HKEY interfaces = nullptr;
  IID iid = GUID_NULL;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Interface", 0, KEY_READ, &interfaces) != ERROR_SUCCESS)
    return iid;
  for (DWORD i = 0;; ++i) {
    char16_t key[64];
    DWORD len = 64;
    if (RegEnumKeyExW(interfaces, i, key, &len, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    if (RegText(u"Interface\\" + std::u16string(key, len)) == name) {
      IIDFromString(key, &iid);
      break;
    }
  }
  RegCloseKey(interfaces);
  return iid;
}

HRESULT Create(REFCLSID clsid, REFIID iid, void** out) {
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, out);
}

HRESULT ClassObject(REFCLSID clsid, CComPtr<IClassFactory>& out) {
  return CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                          reinterpret_cast<void**>(&out));
}

class RegisteredActivation : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(LibraryLoaded());
    ASSERT_EQ(RegisterLibraryFile("DllRegisterServer"), S_OK);
    ASSERT_FALSE(LibraryLoaded());
  }
  void TearDown() override {
    CoFreeUnusedLibraries();
    EXPECT_FALSE(LibraryLoaded());
  }

  ScratchRegistry scratch_;
};

// Loading and saving through the registered library is the client's
// --progid row (tests/tools/cli_test.cpp); here the library's life.
TEST_F(RegisteredActivation, CreatesByProgIdAndUnloadsWhenReleased) {
  CLSID clsid = GUID_NULL;
  ASSERT_EQ(CLSIDFromProgID(u"TarvovCard.VCardColl", &clsid), S_OK);
  const IID iid = RegisteredIid(u"IVCardColl");
  ASSERT_FALSE(IsEqualGUID(iid, GUID_NULL));
  CComPtr<IVCardColl> coll;
  ASSERT_EQ(Create(clsid, iid, reinterpret_cast<void**>(&coll)), S_OK);
  EXPECT_TRUE(LibraryLoaded());
  LONG count = -1;
  EXPECT_EQ(coll->get_Count(&count), S_OK);
  EXPECT_EQ(count, 0);
  CoFreeUnusedLibraries();
  EXPECT_TRUE(LibraryLoaded());  // in use: not unloaded
  coll.Release();
  EXPECT_TRUE(LibraryLoaded());
  CoFreeUnusedLibraries();
  EXPECT_FALSE(LibraryLoaded());
}

TEST_F(RegisteredActivation, AHeldClassObjectKeepsTheLibraryLoaded) {
  CLSID clsid = GUID_NULL;
  ASSERT_EQ(CLSIDFromProgID(u"TarvovCard.VCard.1", &clsid), S_OK);
  CComPtr<IClassFactory> factory;
  ASSERT_EQ(ClassObject(clsid, factory), S_OK);
  CoFreeUnusedLibraries();
  EXPECT_TRUE(LibraryLoaded());
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Release();
  CoFreeUnusedLibraries();
  EXPECT_TRUE(LibraryLoaded());  // the server lock holds it
  // The lock is given back through the class object, asked for again.
  ASSERT_EQ(ClassObject(clsid, factory), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory.Release();
  CoFreeUnusedLibraries();
  EXPECT_FALSE(LibraryLoaded());
}

TEST_F(RegisteredActivation, UnknownNamesAndBrokenRegistrationsFail) {
  CLSID clsid = GUID_NULL;
  EXPECT_EQ(CLSIDFromProgID(u"TarvovCard.Nothing", &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);
  const CLSID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  LPOLESTR progId = nullptr;
  EXPECT_EQ(ProgIDFromCLSID(unknown, &progId), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(progId, nullptr);
  // Not registered; a library file that is missing; a library that is no module.
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&CoFreeUnusedLibraries), &info), 0);
  const std::string platform = info.dli_fname;
  const std::pair<std::u16string, HRESULT> servers[] = {
      {u"", REGDB_E_CLASSNOTREG},
      {u"/nonexistent/libnothing.so", CO_E_DLLNOTFOUND},
      {std::u16string(platform.begin(), platform.end()), CO_E_ERRORINDLL},
  };
  for (const auto& [server, hr] : servers) {
    if (!server.empty()) {
      ASSERT_EQ(
          RegPut(u"CLSID\\{12345678-1234-1234-0102-030405060708}\\InprocServer32", server.c_str()),
          ERROR_SUCCESS);
    }
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(Create(unknown, IID_IUnknown, &object), hr);
    EXPECT_EQ(object, nullptr);
  }
  // After unregistration the class is not found, by name or by identifier.
  CLSID coll = GUID_NULL;
  ASSERT_EQ(CLSIDFromProgID(u"TarvovCard.VCardColl", &coll), S_OK);
  ASSERT_EQ(RegisterLibraryFile("DllUnregisterServer"), S_OK);
  EXPECT_EQ(CLSIDFromProgID(u"TarvovCard.VCardColl", &clsid), CO_E_CLASSSTRING);
  void* object = nullptr;
  EXPECT_EQ(Create(coll, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
}

// A library reached by a name that is not UTF-8 cannot be named in the
// registry: registering it fails and changes nothing, instead of writing a
// path with replacement characters that no loader would find.
TEST_F(RegisteredActivation, ALibraryNameThatIsNotUtf8IsNotRegistered) {
  const std::string folder = scratch_.dir() + "/lib\xFF";
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  const std::string link = folder + "/libtarvovcard.so";
  ASSERT_EQ(symlink(kLibrary, link.c_str()), 0);
  const std::string before = scratch_.Text();
  void* h = dlopen(link.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(h, nullptr) << dlerror();
  for (const char* entry : {"DllRegisterServer", "DllUnregisterServer"}) {
    auto fn = reinterpret_cast<HRESULT (*)()>(dlsym(h, entry));
    ASSERT_NE(fn, nullptr);
    EXPECT_EQ(fn(), HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION)) << entry;
    EXPECT_TRUE(scratch_.Text() == before) << entry << ": the registry changed";
  }
  dlclose(h);
}

}  // namespace
