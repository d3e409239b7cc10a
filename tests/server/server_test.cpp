// The server: the object map and type library, the class objects, instance
// creation with and without aggregation, the lock count DllCanUnloadNow
// reports, the registrar's scripts, and registration of the whole library.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/stub_unknown.h"
#include "server/entry.h"
#include "server/module.h"
#include "server/registrar.h"
#include "server/scratch_registry.h"
#include "tarvovcard/tarvovcard.h"

extern "C" HRESULT DllRegisterServer();
extern "C" HRESULT DllUnregisterServer();

namespace tarvovcard::server {
namespace {

// The eight creatable classes in the order of the object map, with their
// main interface.
const struct {
  const CLSID* clsid;
  const IID* iid;
  const char* name;
} kClasses[] = {
    {&CLSID_VCard, &IID_IVCard, "VCard"},
    {&CLSID_VCardProperty, &IID_IVCardProperty, "VCardProperty"},
    {&CLSID_VCardValue, &IID_IVCardValue, "VCardValue"},
    {&CLSID_VCardParameter, &IID_IVCardParameter, "VCardParameter"},
    {&CLSID_VCardColl, &IID_IVCardColl, "VCardColl"},
    {&CLSID_VCardParameterColl, &IID_IVCardParameterColl, "VCardParameterColl"},
    {&CLSID_VCardPropertyColl, &IID_IVCardPropertyColl, "VCardPropertyColl"},
    {&CLSID_VCardValueColl, &IID_IVCardValueColl, "VCardValueColl"},
};

const std::map<std::string, const IID*> kInterfaces = {
    {"IVCardColl", &IID_IVCardColl},
    {"IVCard", &IID_IVCard},
    {"IVCardProperty", &IID_IVCardProperty},
    {"IVCardPropertyName", &IID_IVCardPropertyName},
    {"IVCardPropertyAddress", &IID_IVCardPropertyAddress},
    {"IVCardPropertyOrganisation", &IID_IVCardPropertyOrganisation},
    {"IVCardParameter", &IID_IVCardParameter},
    {"IVCardValue", &IID_IVCardValue},
    {"IVCardPropertyColl", &IID_IVCardPropertyColl},
    {"IVCardParameterColl", &IID_IVCardParameterColl},
    {"IVCardValueColl", &IID_IVCardValueColl},
    {"IVCardLoadReport", &IID_IVCardLoadReport},
};

std::string GuidText(REFGUID guid) {
  OLECHAR text[40];
  StringFromGUID2(guid, text, 40);
  return std::string(text, text + 38);
}
std::u16string U16(const std::string& s) {
  return std::u16string(s.begin(), s.end());
}

IdlLibrary StoredLibrary() {
  auto text = FindResource("TYPELIB", 1);
  EXPECT_TRUE(text.has_value());
  IdlLibrary lib;
  std::string error;
  EXPECT_TRUE(ReadIdl(text.value_or(""), &lib, &error)) << error;
  return lib;
}

TEST(TypeLibrary, ObjectMapAndCoclassesAreTheEightClassesInOrder) {
  const IdlLibrary lib = StoredLibrary();
  const auto map = ObjectMap();
  const int scripts[] = {101, 102, 103, 105, 106, 107, 108, 109};
  ASSERT_EQ(map.size(), std::size(kClasses));
  ASSERT_EQ(lib.coclasses.size(), std::size(kClasses));
  for (std::size_t i = 0; i < map.size(); ++i) {
    const std::string name = kClasses[i].name;
    EXPECT_TRUE(IsEqualCLSID(*map[i].clsid, *kClasses[i].clsid)) << i;
    EXPECT_EQ(map[i].registry_resource, scripts[i]);
    EXPECT_EQ(map[i].class_name, U16(name));
    EXPECT_EQ(map[i].description, U16(name + " Class"));
    EXPECT_EQ(map[i].prog_id, U16("TarvovCard." + name + ".1"));
    EXPECT_EQ(map[i].version_independent_prog_id, U16("TarvovCard." + name));
    const auto& co = lib.coclasses[i];
    EXPECT_EQ(co.name, name);
    EXPECT_EQ(co.uuid, GuidText(*kClasses[i].clsid));
    EXPECT_TRUE(co.creatable);
    EXPECT_EQ(co.helpstring, name + " Class");
    ASSERT_FALSE(co.interfaces.empty());
    EXPECT_EQ(co.interfaces[0], "I" + name);
  }
  EXPECT_EQ(lib.coclasses[1].interfaces.size(), 4u);  // the property and its three views
  // The library's identifier, version and help string are checked where they
  // are registered (TheLibraryRegistersEveryClassItsProgIdsAndTheTypeLibrary).
  EXPECT_EQ(lib.name, "TARVOVCARDLib");
  EXPECT_EQ(lib.lcid, 0x409);
  EXPECT_FALSE(FindResource("REGISTRY", 104).has_value());
  EXPECT_EQ(FindResource("STRING", 100), "TarvovCard");
  EXPECT_TRUE(FindResource("typelib", 1).has_value());
}

// The type library and the client header (automation_types.h) describe the
// same interfaces (methods in slot order) and enumerations.
TEST(TypeLibrary, AgreesWithTheClientHeader) {
  std::ifstream in(TARVOVCARD_SOURCE_DIR "/model/include/tarvovcard/automation_types.h");
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string text = buffer.str();
  std::map<std::string, std::vector<std::string>> header_interfaces;
  std::map<std::string, std::vector<std::pair<std::string, long>>> header_enums;
  const std::regex block(R"((struct|enum) (\w+) : (IUnknown|LONG) \{([^}]*)\};)");
  const std::regex method(R"(virtual\s+HRESULT\s+STDMETHODCALLTYPE\s+(\w+)\()");
  const std::regex member(R"((\w+)\s*=\s*(-?\d+),)");
  for (std::sregex_iterator it(text.begin(), text.end(), block), end; it != end; ++it) {
    const std::string body = (*it)[4];
    if ((*it)[1] == "struct") {
      auto& methods = header_interfaces[(*it)[2]];
      for (std::sregex_iterator m(body.begin(), body.end(), method); m != end; ++m)
        methods.push_back((*m)[1]);
    } else {
      auto& members = header_enums[(*it)[2]];
      for (std::sregex_iterator m(body.begin(), body.end(), member); m != end; ++m)
        members.emplace_back((*m)[1], std::stol((*m)[2]));
    }
  }
  const IdlLibrary lib = StoredLibrary();
  ASSERT_EQ(header_interfaces.size(), kInterfaces.size());
  ASSERT_EQ(lib.interfaces.size(), kInterfaces.size());
  for (const auto& itf : lib.interfaces) {
    SCOPED_TRACE(itf.name);
    ASSERT_TRUE(kInterfaces.count(itf.name));
    EXPECT_EQ(itf.uuid, GuidText(*kInterfaces.at(itf.name)));
    EXPECT_EQ(itf.base, "IUnknown");
    std::vector<std::string> names;
    for (const auto& m : itf.methods) names.push_back(m.name);
    EXPECT_EQ(names, header_interfaces.at(itf.name));
  }
  ASSERT_EQ(lib.enums.size(), 3u);
  ASSERT_EQ(header_enums.size(), 3u);
  for (const auto& e : lib.enums) {
    SCOPED_TRACE(e.name);
    std::vector<std::pair<std::string, long>> members;
    for (const auto& m : e.members) {
      members.emplace_back(m.name, m.value);
      EXPECT_FALSE(m.helpstring.empty()) << m.name;
    }
    ASSERT_TRUE(header_enums.count(e.name));
    EXPECT_EQ(members, header_enums.at(e.name));
  }
  EXPECT_EQ(lib.enums[0].members.back().helpstring, "Custom property: X-{property name}");
  EXPECT_EQ(lib.enums[2].members[3].helpstring,
            "Value of a property is a VT_ARRAY|VT_UI1, a byte array");
}

TEST(TypeLibrary, DispatchIdentifiersAreTheDocumentedOnes) {
  std::map<std::string, std::vector<long>> ids;
  for (const auto& itf : StoredLibrary().interfaces)
    for (const auto& m : itf.methods) ids[itf.name].push_back(m.dispid);
  EXPECT_EQ(ids["IVCardValueColl"], (std::vector<long>{0, 1, 2, 3, -4, 4}));
  EXPECT_EQ(ids["IVCardColl"],
            (std::vector<long>{0, 1, 2, 3, -4, 4, 0x60010006, 0x60010007, 0x60010008}));
  EXPECT_EQ(ids["IVCardValue"], (std::vector<long>{0x60010000, 0x60010001, 0x60010001, 0x60010003,
                                                   0x60010003, 0x60010005, 0x60010005}));
  EXPECT_EQ(ids["IVCardPropertyOrganisation"],
            (std::vector<long>{0x60010000, 0x60010000, 0x60010002, 0x60010002}));
  EXPECT_EQ(ids["IVCardProperty"].back(), 0x6001000c);
  EXPECT_EQ(ids["IVCard"].back(), 0x60010008);
}

TEST(TypeLibrary, ReadIdlRefusesWhatItDoesNotKnow) {
  const char* bad[] = {
      "",
      "[uuid(C0BCBADB-7D67-4F57-847A-B0D852E8C5D7)] library L { struct S { int a; }; };",
      "[uuid(C0BCBADB-7D67-4F57-847A-B0D852E8C5D7)] library L { interface I : IUnknown { ",
      "library L { };",  // no uuid
      "[uuid(1234)] library L { };",
      "[uuid(C0BCBADB-7D67-4F57-847A-B0D852E8C5D7)] library L { typedef enum E { A = x } E; };",
  };
  for (const char* text : bad) {
    IdlLibrary lib;
    std::string error;
    EXPECT_FALSE(ReadIdl(text, &lib, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

CComPtr<IClassFactory> ClassObject(REFCLSID clsid) {
  CComPtr<IClassFactory> factory;
  EXPECT_EQ(DllGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  return factory;
}

class Module : public ::testing::Test {
 protected:
  // Every test starts and must end with nothing holding the library.
  void SetUp() override { ASSERT_EQ(DllCanUnloadNow(), S_OK); }
  void TearDown() override { EXPECT_EQ(DllCanUnloadNow(), S_OK) << "a lock was left behind"; }
};

TEST_F(Module, InstancesAndLockServerHoldTheLibrary) {
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
}

TEST_F(Module, ClassObjectsAreCreatedOnceAndKept) {
  auto first = ClassObject(CLSID_VCardValue);
  EXPECT_EQ(first, ClassObject(CLSID_VCardValue));
  CComPtr<IUnknown> unknown;
  EXPECT_EQ(DllGetClassObject(CLSID_VCardValue, IID_IUnknown, reinterpret_cast<void**>(&unknown)),
            S_OK);
  EXPECT_EQ(unknown.p, static_cast<IUnknown*>(first.p));
  void* wrong = reinterpret_cast<void*>(1);
  EXPECT_EQ(DllGetClassObject(CLSID_VCardValue, IID_IVCard, &wrong), E_NOINTERFACE);
  EXPECT_EQ(wrong, nullptr);
  wrong = reinterpret_cast<void*>(1);
  EXPECT_EQ(DllGetClassObject(IID_IVCard, IID_IClassFactory, &wrong), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(wrong, nullptr);
  EXPECT_EQ(DllGetClassObject(CLSID_VCard, IID_IClassFactory, nullptr), E_POINTER);
}

// Each class refuses bad creation arguments (leaving no instance behind) and
// aggregates for IUnknown: the inner's interfaces count on the outer and ask
// it for anything else.
TEST_F(Module, EveryClassChecksItsArgumentsAndAggregates) {
  for (const auto& k : kClasses) {
    SCOPED_TRACE(k.name);
    StubUnknown outer;
    CComPtr<IUnknown> inner;
    {
      auto factory = ClassObject(*k.clsid);
      EXPECT_EQ(factory->CreateInstance(nullptr, *k.iid, nullptr), E_POINTER);
      void* object = reinterpret_cast<void*>(1);
      EXPECT_EQ(factory->CreateInstance(&outer, *k.iid, &object), CLASS_E_NOAGGREGATION);
      EXPECT_EQ(object, nullptr);
      object = reinterpret_cast<void*>(1);
      EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
      EXPECT_EQ(object, nullptr);
      factory.Release();
      EXPECT_EQ(DllCanUnloadNow(), S_OK);
      factory = ClassObject(*k.clsid);
      ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)),
                S_OK);
    }
    EXPECT_EQ(outer.refs, 1u);  // the outer holds the inner, not the reverse
    IUnknown* main = nullptr;
    ASSERT_EQ(inner->QueryInterface(*k.iid, reinterpret_cast<void**>(&main)), S_OK);
    EXPECT_EQ(outer.refs, 2u);
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

TEST_F(Module, AggregatedPropertyStillServesItsValues) {
  StubUnknown outer;
  CComPtr<IUnknown> inner;
  ASSERT_EQ(ClassObject(CLSID_VCardProperty)
                ->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)),
            S_OK);
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

TEST(RegistrationScript, ParsesKeysValuesFlagsAndVariables) {
  const char* script = R"(
    hkcr {
      Plain = s 'It''s %NAME%' {
        val 'Threading Model' = s 'Apartment'
        Sub
      }
      NoRemove CLSID {
        ForceRemove {4C29BB05-071B-4A99-89CB-F4A933F346B1} = s '100%%'
      }
      Delete Old
    })";
  std::vector<ScriptKey> keys;
  std::string error;
  ASSERT_EQ(ParseRegistrationScript(script, {{u"NAME", u"x"}}, &keys, &error), S_OK) << error;
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys[0].name, u"Plain");
  EXPECT_EQ(keys[0].flag, ScriptKey::Flag::kNone);
  EXPECT_EQ(keys[0].default_value, u"It's x");
  ASSERT_EQ(keys[0].values.size(), 1u);
  EXPECT_EQ(keys[0].values[0].name, u"Threading Model");
  EXPECT_EQ(keys[0].values[0].text, u"Apartment");
  ASSERT_EQ(keys[0].subkeys.size(), 1u);
  EXPECT_FALSE(keys[0].subkeys[0].default_value.has_value());
  EXPECT_EQ(keys[1].flag, ScriptKey::Flag::kNoRemove);
  ASSERT_EQ(keys[1].subkeys.size(), 1u);
  EXPECT_EQ(keys[1].subkeys[0].flag, ScriptKey::Flag::kForceRemove);
  EXPECT_EQ(keys[1].subkeys[0].name, u"{4C29BB05-071B-4A99-89CB-F4A933F346B1}");
  EXPECT_EQ(keys[1].subkeys[0].default_value, u"100%");
  EXPECT_EQ(keys[2].flag, ScriptKey::Flag::kDelete);
}

TEST(RegistrationScript, RefusesMalformedScriptsNamingTheLine) {
  const struct {
    const char* script;
    const char* message;
  } cases[] = {
      {"HKCR\n{\n  A = s 'x'\n", "line 4: '}' is missing"},
      {"HKLM { A }", "line 1: the root 'HKLM' is not kept (only HKCR is)"},
      {"HKCR { A = s '%FOO%' }", "unknown variable"},
      {"HKCR { A = s '50% }", "unterminated quoted text"},
      {"HKCR { A = s '50% off' }", "a '%' without its closing '%'"},
      {"HKCR { A = d '5' }", "value type 'd' is not kept (only s is)"},
      {"HKCR { A = }", "a value type was expected"},
      {"HKCR { A = s B }", "a quoted text was expected"},
      {"HKCR { NoRemove ForceRemove A }", "one flag only"},
      {"HKCR { '' }", "is no key name"},
      {"HKCR { 'a\\b' }", "is no key name"},
      {"HKCR { A { val = s 'x' } }", "a value name was expected"},
      {"HKCR { A { val B 'x' } }", "'=' was expected"},
      {"HKCR { A } }", "a root key name was expected"},
      {"HKCR A", "'{' was expected after the root"},
  };
  for (const auto& c : cases) {
    std::vector<ScriptKey> keys;
    std::string error;
    EXPECT_EQ(ParseRegistrationScript(c.script, {{u"MODULE", u"m"}}, &keys, &error), kScriptError)
        << c.script;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.script << " gave: " << error;
  }
}

class Registrar : public ::testing::Test {
 protected:
  ScratchRegistry scratch_;
};

TEST_F(Registrar, RegisterAndUnregisterFollowTheFlags) {
  // What others registered, and what is left of an older registration.
  ASSERT_EQ(RegPut(u"CLSID\\{OTHER}", u"Other Class"), ERROR_SUCCESS);
  ASSERT_EQ(RegPut(u"CLSID\\{MINE}\\Stale", u"old"), ERROR_SUCCESS);
  ASSERT_EQ(RegPut(u"Shared\\Foreign", u"theirs"), ERROR_SUCCESS);
  ASSERT_EQ(RegPut(u"Obsolete", u"x"), ERROR_SUCCESS);
  const char* script = R"(
    HKCR {
      Mine.1 = s 'Mine' { CLSID = s '{MINE}' }
      Shared = s 'shared' { val Named = s 'v' Own }
      NoRemove CLSID {
        ForceRemove {MINE} = s 'Mine' {
          InprocServer32 = s '%MODULE%' { val ThreadingModel = s 'Apartment' }
        }
      }
      Delete Obsolete
    })";
  const RegistrarVariables vars = {{u"MODULE", u"/lib/libx.so"}};
  ASSERT_EQ(RunRegistrationScript(script, true, vars), S_OK);
  EXPECT_EQ(RegText(u"Mine.1\\CLSID"), u"{MINE}");
  EXPECT_EQ(RegText(u"CLSID\\{MINE}\\InprocServer32"), u"/lib/libx.so");
  EXPECT_EQ(RegText(u"CLSID\\{MINE}\\InprocServer32", u"ThreadingModel"), u"Apartment");
  EXPECT_FALSE(RegKeyExists(u"CLSID\\{MINE}\\Stale"));  // ForceRemove wrote it afresh
  EXPECT_FALSE(RegKeyExists(u"Obsolete"));
  EXPECT_EQ(RegText(u"Shared", u"Named"), u"v");

  ASSERT_EQ(RunRegistrationScript(script, false, vars), S_OK);
  EXPECT_FALSE(RegKeyExists(u"Mine.1"));
  EXPECT_FALSE(RegKeyExists(u"CLSID\\{MINE}"));
  EXPECT_EQ(RegText(u"CLSID\\{OTHER}"), u"Other Class");
  // A key that still holds others' keys stays, without what the script wrote.
  EXPECT_TRUE(RegKeyExists(u"Shared\\Foreign"));
  EXPECT_FALSE(RegKeyExists(u"Shared\\Own"));
  EXPECT_EQ(RegText(u"Shared", u"Named"), u"<none>");
  EXPECT_EQ(RunRegistrationScript(script, false, vars), S_OK);  // nothing there: no failure
}

// A malformed script, or a registry that cannot be written (a folder stands
// where the temporary file goes), leaves the registry as it was.
TEST_F(Registrar, FailuresChangeNothing) {
  ASSERT_EQ(RegPut(u"Kept", u"1"), ERROR_SUCCESS);
  const std::string before = scratch_.Text();
  const std::string tmp = scratch_.path() + ".tmp." + std::to_string(getpid());
  const struct {
    std::function<HRESULT()> run;
    bool writable;
    HRESULT hr;
    const char16_t* absent;
  } cases[] = {
      {[] { return RunRegistrationScript("HKCR { Early = s 'x' Late = d '1' }", true, {}); }, true,
       kScriptError, u"Early"},
      {[] { return RunRegistrationScript("HKCR { A = s '1' B = s '2' }", true, {}); }, false,
       HRESULT_FROM_WIN32(ERROR_CANTWRITE), u"A"},
      {DllRegisterServer, false, HRESULT_FROM_WIN32(ERROR_CANTWRITE), u"TarvovCard.VCard"},
  };
  for (const auto& c : cases) {
    if (!c.writable) {
      ASSERT_EQ(mkdir(tmp.c_str(), 0700), 0);
    }
    EXPECT_EQ(c.run(), c.hr);
    if (!c.writable) rmdir(tmp.c_str());
    EXPECT_FALSE(RegKeyExists(c.absent));
    EXPECT_EQ(scratch_.Text(), before);
  }
}

TEST_F(Registrar, TheLibraryRegistersEveryClassItsProgIdsAndTheTypeLibrary) {
  ASSERT_EQ(DllRegisterServer(), S_OK);
  const std::u16string libid = U16(GuidText(LIBID_TARVOVCARDLib));
  const std::u16string module =
      RegText(u"CLSID\\" + U16(GuidText(CLSID_VCardColl)) + u"\\InprocServer32");
  ASSERT_FALSE(module.empty());
  EXPECT_EQ(module[0], u'/');  // a full path
  for (const ObjectMapEntry& entry : ObjectMap()) {
    const std::u16string clsid = U16(GuidText(*entry.clsid)), key = u"CLSID\\" + clsid;
    const std::u16string prog_id = entry.prog_id, independent = entry.version_independent_prog_id;
    const std::pair<std::u16string, std::u16string> values[] = {
        {prog_id, entry.description},         {prog_id + u"\\CLSID", clsid},
        {independent, entry.description},     {independent + u"\\CLSID", clsid},
        {independent + u"\\CurVer", prog_id}, {key, entry.description},
        {key + u"\\ProgID", prog_id},         {key + u"\\VersionIndependentProgID", independent},
        {key + u"\\InprocServer32", module},  {key + u"\\TypeLib", libid},
    };
    for (const auto& [name, text] : values)
      EXPECT_EQ(RegText(name), text) << std::string(name.begin(), name.end());
    EXPECT_EQ(RegText(key + u"\\InprocServer32", u"ThreadingModel"), u"Apartment");
    CLSID found = GUID_NULL;
    EXPECT_EQ(CLSIDFromProgID(entry.version_independent_prog_id, &found), S_OK);
    EXPECT_TRUE(IsEqualCLSID(found, *entry.clsid));
    LPOLESTR text = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(*entry.clsid, &text), S_OK);
    EXPECT_EQ(std::u16string(text), prog_id);
    CoTaskMemFree(text);
  }
  const std::u16string typelib = u"TypeLib\\" + libid + u"\\1.0";
  EXPECT_EQ(RegText(typelib), u"TarvovCard 1.0 Type Library");
  EXPECT_EQ(RegText(typelib + u"\\0\\" + U16(kTypeLibPlatformKey)), module);
  EXPECT_EQ(RegText(typelib + u"\\FLAGS"), u"0");
  EXPECT_EQ(RegText(typelib + u"\\HELPDIR"), module.substr(0, module.rfind(u'/')));
  for (const auto& [name, iid] : kInterfaces) {
    const std::u16string key = u"Interface\\" + U16(GuidText(*iid));
    EXPECT_EQ(RegText(key), U16(name));
    EXPECT_EQ(RegText(key + u"\\TypeLib"), libid);
    EXPECT_EQ(RegText(key + u"\\TypeLib", u"Version"), u"1.0");
    EXPECT_EQ(RegText(key + u"\\ProxyStubClsid32"), u"{00020424-0000-0000-C000-000000000046}");
  }
  // Once more changes nothing.
  const std::string text = scratch_.Text();
  ASSERT_EQ(DllRegisterServer(), S_OK);
  EXPECT_EQ(scratch_.Text(), text);

  // Unregistering removes all but the shared keys, and others' keys stay.
  ASSERT_EQ(RegPut(u"CLSID\\{OTHER}", u"Other Class"), ERROR_SUCCESS);
  ASSERT_EQ(DllUnregisterServer(), S_OK);
  for (const ObjectMapEntry& entry : ObjectMap()) {
    EXPECT_FALSE(RegKeyExists(entry.prog_id));
    EXPECT_FALSE(RegKeyExists(entry.version_independent_prog_id));
    EXPECT_FALSE(RegKeyExists(u"CLSID\\" + U16(GuidText(*entry.clsid))));
    CLSID found;
    EXPECT_EQ(CLSIDFromProgID(entry.prog_id, &found), CO_E_CLASSSTRING);
  }
  EXPECT_EQ(RegText(u"CLSID\\{OTHER}"), u"Other Class");
  EXPECT_FALSE(RegKeyExists(u"TypeLib\\" + libid));
  EXPECT_FALSE(RegKeyExists(u"Interface\\" + U16(GuidText(IID_IVCardColl))));
  DWORD subkeys = 0;
  ASSERT_EQ(RegQueryInfoKeyW(HKEY_CLASSES_ROOT, nullptr, nullptr, nullptr, &subkeys, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subkeys, 3u);  // CLSID, Interface, TypeLib
  EXPECT_EQ(DllUnregisterServer(), S_OK);
}

}  // namespace
}  // namespace tarvovcard::server
