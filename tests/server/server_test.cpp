// The server: the stored type library against the client header, the class objects and
// aggregation, the registrar's scripts, and registration of the library. The lock count is seen
// where a client sees it: the library unloads or not (registered_activation_test.cpp).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "platform/stub_unknown.h"
#include "server/entry.h"
#include "server/registrar.h"
#include "server/scratch_registry.h"
#include "support/builders.h"

extern "C" HRESULT DllRegisterServer();
extern "C" HRESULT DllUnregisterServer();

namespace tarvovcard::server {
namespace {

// The eight creatable classes, in the type library's order, with their main
// interface; and every interface.
#define CLASS(name) \
  { &CLSID_##name, &IID_I##name, #name }
const struct {
  const CLSID* clsid;
  const IID* iid;
  const char* name;
} kClasses[] = {
    CLASS(VCard),     CLASS(VCardProperty),      CLASS(VCardValue),        CLASS(VCardParameter),
    CLASS(VCardColl), CLASS(VCardParameterColl), CLASS(VCardPropertyColl), CLASS(VCardValueColl)};
#define INTERFACE(name) \
  { #name, &IID_##name }
// clang-format off
const std::map<std::string, const IID*> kInterfaces = {
    INTERFACE(IVCardColl), INTERFACE(IVCard), INTERFACE(IVCardProperty),
    INTERFACE(IVCardPropertyName), INTERFACE(IVCardPropertyAddress),
    INTERFACE(IVCardPropertyOrganisation), INTERFACE(IVCardParameter), INTERFACE(IVCardValue),
    INTERFACE(IVCardPropertyColl), INTERFACE(IVCardParameterColl), INTERFACE(IVCardValueColl),
    INTERFACE(IVCardLoadReport)};
// clang-format on

std::string GuidText(REFGUID guid) {
  OLECHAR text[40];
  StringFromGUID2(guid, text, 40);
  return std::string(text, text + 38);
}
std::u16string U16(const std::string& s) {
  return std::u16string(s.begin(), s.end());
}

// The stored type library and the client header (automation_types.h) describe
// the same interfaces (methods in slot order) and enumerations; the library's
// classes are the creatable ones.
TEST(TypeLibrary, AgreesWithTheClientHeaderAndTheClasses) {
  const std::string text =
      testing::ReadFile(TARVOVCARD_SOURCE_DIR "/model/include/tarvovcard/automation_types.h");
  std::map<std::string, std::vector<std::string>> header_interfaces;
  std::map<std::string, std::vector<std::pair<std::string, long>>> header_enums;
  const std::regex block(R"((struct|enum) (\w+) : (IUnknown|LONG) \{([^}]*)\};)");
  const std::regex method(R"(virtual\s+HRESULT\s+STDMETHODCALLTYPE\s+(\w+)\()");
  const std::regex member(R"((\w+)\s*=\s*(-?\d+),)");
  for (std::sregex_iterator it(text.begin(), text.end(), block), end; it != end; ++it) {
    const std::string body = (*it)[4];
    if ((*it)[1] == "struct") {
      for (std::sregex_iterator m(body.begin(), body.end(), method); m != end; ++m)
        header_interfaces[(*it)[2]].push_back((*m)[1]);
    } else {
      for (std::sregex_iterator m(body.begin(), body.end(), member); m != end; ++m)
        header_enums[(*it)[2]].emplace_back((*m)[1], std::stol((*m)[2]));
    }
  }
  const auto stored = FindResource("typelib", 1);
  IdlLibrary lib;
  std::string error;
  ASSERT_TRUE(ReadIdl(stored.value_or(""), &lib, &error)) << error;
  EXPECT_EQ(lib.name, "TARVOVCARDLib");
  EXPECT_EQ(lib.lcid, 0x409);
  decltype(header_interfaces) interfaces;
  decltype(header_enums) enums;
  for (const auto& itf : lib.interfaces) {
    EXPECT_EQ(itf.base, "IUnknown") << itf.name;
    for (const auto& m : itf.methods) interfaces[itf.name].push_back(m.name);
  }
  EXPECT_EQ(interfaces, header_interfaces);
  for (const auto& e : lib.enums) {
    for (const auto& m : e.members) {
      enums[e.name].emplace_back(m.name, m.value);
      EXPECT_FALSE(m.helpstring.empty()) << m.name;
    }
  }
  EXPECT_EQ(enums, header_enums);
  ASSERT_EQ(lib.coclasses.size(), std::size(kClasses));
  for (std::size_t i = 0; i < std::size(kClasses); ++i) {
    const auto& co = lib.coclasses[i];
    EXPECT_EQ(co.name, kClasses[i].name);
    EXPECT_EQ(co.uuid, GuidText(*kClasses[i].clsid));
    EXPECT_TRUE(co.creatable);
    EXPECT_EQ(co.helpstring, co.name + " Class");
    ASSERT_FALSE(co.interfaces.empty());
    EXPECT_EQ(co.interfaces[0], "I" + co.name);
  }
  EXPECT_EQ(lib.coclasses[1].interfaces.size(), 4u);  // the property and its three views
  EXPECT_FALSE(FindResource("REGISTRY", 104).has_value());
  EXPECT_EQ(FindResource("STRING", 100), "TarvovCard");
}

TEST(TypeLibrary, ReadIdlRefusesWhatItDoesNotKnow) {
  const std::string uuid = "[uuid(C0BCBADB-7D67-4F57-847A-B0D852E8C5D7)] ";
  const std::string bad[] = {"",
                             uuid + "library L { struct S { int a; }; };",
                             uuid + "library L { interface I : IUnknown { ",
                             "library L { };",
                             "[uuid(1234)] library L { };",
                             uuid + "library L { typedef enum E { A = x } E; };"};
  for (const std::string& text : bad) {
    IdlLibrary lib;
    std::string error;
    EXPECT_FALSE(ReadIdl(text, &lib, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

// Each class object is made once and kept, and refuses bad creation arguments; each class
// aggregates for IUnknown: its interfaces count on the outer and ask it for anything else. An
// aggregated property serves as a value's parent, and the value forgets it when the aggregate goes.
// Nothing holds the library at the end.
TEST(Module, EveryClassObjectIsKeptChecksItsArgumentsAndAggregates) {
  CComPtr<IVCardValue> value = testing::Create<IVCardValue>(CLSID_VCardValue);
  for (const auto& k : kClasses) {
    SCOPED_TRACE(k.name);
    CComPtr<IClassFactory> factory;
    CComPtr<IUnknown> unknown, inner;
    ASSERT_EQ(DllGetClassObject(*k.clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(DllGetClassObject(*k.clsid, IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown.p, static_cast<IUnknown*>(factory.p));
    StubUnknown outer;
    void* out[3] = {&outer, &outer, &outer};
    EXPECT_EQ(DllGetClassObject(*k.clsid, *k.iid, &out[0]), E_NOINTERFACE);
    EXPECT_EQ(factory->CreateInstance(&outer, *k.iid, &out[1]), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out[2]), E_NOINTERFACE);
    EXPECT_THAT(out, ::testing::Each(nullptr));
    EXPECT_EQ(factory->CreateInstance(nullptr, *k.iid, nullptr), E_POINTER);
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)),
              S_OK);
    EXPECT_EQ(outer.refs, 1u);  // the outer holds the inner, not the reverse
    IUnknown* main = nullptr;
    ASSERT_EQ(inner->QueryInterface(*k.iid, reinterpret_cast<void**>(&main)), S_OK);
    EXPECT_EQ(outer.refs, 2u);
    EXPECT_EQ(main->QueryInterface(*k.iid, &out[0]), E_NOINTERFACE);
    if (k.clsid == &CLSID_VCardProperty) {
      ASSERT_EQ(static_cast<IVCardProperty*>(main)->put_Name(CComBSTR(u"N")), S_OK);
      ASSERT_EQ(value->putref_Parent(static_cast<IVCardProperty*>(main)), S_OK);
    }
    main->Release();
    inner.Release();
    EXPECT_EQ(outer.refs, 1u);
  }
  IVCardProperty* parent = nullptr;
  EXPECT_EQ(value->get_Parent(&parent), E_POINTER);
  void* out = &out;
  EXPECT_EQ(DllGetClassObject(IID_IVCard, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(DllGetClassObject(CLSID_VCard, IID_IClassFactory, nullptr), E_POINTER);
  value.Release();
  EXPECT_EQ(DllCanUnloadNow(), S_OK) << "a lock was left behind";
}

using Registrar = ScratchRegistryTest;

TEST_F(Registrar, ScriptsRegisterAndUnregisterAsTheirFlagsSay) {
  // What others registered, and what is left of an older registration.
  for (const char16_t* key :
       {u"CLSID\\{OTHER}", u"CLSID\\{MINE}\\Stale", u"Shared\\Foreign", u"Obsolete"})
    ASSERT_EQ(RegPut(key, u"theirs"), ERROR_SUCCESS);
  const char* script = R"(
    hkcr {
      Mine.1 = s 'It''s %MODULE%, 100%%' { CLSID = s '{MINE}' Bare }
      Shared { val 'Named Value' = s 'v' Own }
      NoRemove CLSID {
        ForceRemove {MINE} = s 'Mine' {
          InprocServer32 = s '%MODULE%' { val ThreadingModel = s 'Apartment' }
        }
      }
      Delete Obsolete
    })";
  const RegistrarVariables vars = {{u"MODULE", u"/lib/libx.so"}};
  ASSERT_EQ(RunRegistrationScript(script, true, vars), S_OK);
  EXPECT_EQ(RegText(u"Mine.1"), u"It's /lib/libx.so, 100%");
  EXPECT_TRUE(RegKeyExists(u"Mine.1\\Bare"));
  EXPECT_EQ(RegText(u"Mine.1\\Bare"), u"<none>");       // no default value, not an empty one
  EXPECT_FALSE(RegKeyExists(u"CLSID\\{MINE}\\Stale"));  // ForceRemove wrote it afresh
  EXPECT_FALSE(RegKeyExists(u"Obsolete"));
  EXPECT_EQ(RegText(u"Shared", u"Named Value"), u"v");

  // Left: others' keys, and a key that still holds one of them, without what the script wrote.
  ASSERT_EQ(RunRegistrationScript(script, false, vars), S_OK);
  EXPECT_EQ(scratch_.Text(),
            "TarvovCard registry 1\nK CLSID\nK CLSID\\{OTHER}\nD theirs\nK Shared\n"
            "K Shared\\Foreign\nD theirs\n");
}

// A malformed script is refused with its line named, and a registry that
// cannot be written (a folder stands where the temporary file goes) fails the
// change at every layer; either leaves the registry as it was.
TEST_F(Registrar, FailuresChangeNothing) {
  ASSERT_EQ(RegPut(u"Kept", u"1"), ERROR_SUCCESS);
  const std::string before = scratch_.Text();
  const struct {
    const char* script;
    const char* message;
  } malformed[] = {
      {"HKCR\n{\n  A = s 'x'\n", "line 4: '}' is missing"},
      {"HKLM { A }", "line 1: the root 'HKLM' is not kept (only HKCR is)"},
      {"HKCR { A = s '%FOO%' }", "unknown variable"},
      {"HKCR { A = s '50% }", "unterminated quoted text"},
      {"HKCR { A = s '50% off' }", "a '%' without its closing '%'"},
      {"HKCR { Early = s 'x' Late = d '5' }", "value type 'd' is not kept (only s is)"},
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
  for (const auto& c : malformed) {
    std::string error;
    EXPECT_EQ(RunRegistrationScript(c.script, true, {{u"MODULE", u"m"}}, &error), kScriptError)
        << c.script;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.script << " gave: " << error;
    EXPECT_EQ(scratch_.Text(), before) << c.script;
  }
  const struct {
    std::function<HRESULT()> run;
    const char16_t* absent;
  } unwritable[] = {
      {[] { return HRESULT_FROM_WIN32(RegPut(u"Lost", u"2")); }, u"Lost"},
      {[] { return RunRegistrationScript("HKCR { A = s '1' B = s '2' }", true, {}); }, u"A"},
      {DllRegisterServer, u"TarvovCard.VCard"},
  };
  const std::string tmp = scratch_.path() + ".tmp." + std::to_string(getpid());
  ASSERT_EQ(mkdir(tmp.c_str(), 0700), 0);
  for (const auto& c : unwritable) {
    EXPECT_EQ(c.run(), HRESULT_FROM_WIN32(ERROR_CANTWRITE));
    EXPECT_FALSE(RegKeyExists(c.absent));
    EXPECT_EQ(scratch_.Text(), before);
  }
  rmdir(tmp.c_str());
  EXPECT_EQ(RegPut(u"Lost", u"2"), ERROR_SUCCESS);
  EXPECT_TRUE(RegKeyExists(u"Lost"));
}

// Every key the library writes, with the text of its default value or of the named one. What
// unregistering leaves, the shared keys alone, is the client's unregister row (cli_test.cpp).
TEST_F(Registrar, TheLibraryRegistersEveryClassItsProgIdsAndTheTypeLibrary) {
  ASSERT_EQ(DllRegisterServer(), S_OK);
  const std::u16string libid = U16(GuidText(LIBID_TARVOVCARDLib)), typelib = u"TypeLib\\" + libid;
  const std::u16string module =
      RegText(u"CLSID\\" + U16(GuidText(CLSID_VCardColl)) + u"\\InprocServer32");
  ASSERT_NE(module, u"<none>");
  std::vector<std::pair<std::u16string, std::u16string>> rows = {
      {typelib + u"\\1.0", u"TarvovCard 1.0 Type Library"},
      {typelib + u"\\1.0\\0\\" + U16(kTypeLibPlatformKey), module},
      {typelib + u"\\1.0\\FLAGS", u"0"},
      {typelib + u"\\1.0\\HELPDIR", module.substr(0, module.rfind(u'/'))},
  };
  for (const auto& k : kClasses) {
    const std::u16string name = U16(k.name), clsid = U16(GuidText(*k.clsid)),
                         key = u"CLSID\\" + clsid, description = name + u" Class";
    const std::u16string prog_id = u"TarvovCard." + name + u".1",
                         independent = u"TarvovCard." + name;
    rows.insert(rows.end(), {{prog_id, description},
                             {prog_id + u"\\CLSID", clsid},
                             {independent, description},
                             {independent + u"\\CLSID", clsid},
                             {independent + u"\\CurVer", prog_id},
                             {key, description},
                             {key + u"\\ProgID", prog_id},
                             {key + u"\\VersionIndependentProgID", independent},
                             {key + u"\\InprocServer32", module},
                             {key + u"\\TypeLib", libid}});
    EXPECT_EQ(RegText(key + u"\\InprocServer32", u"ThreadingModel"), u"Apartment");
  }
  for (const auto& [name, iid] : kInterfaces) {
    const std::u16string key = u"Interface\\" + U16(GuidText(*iid));
    rows.insert(rows.end(),
                {{key, U16(name)},
                 {key + u"\\TypeLib", libid},
                 {key + u"\\ProxyStubClsid32", u"{00020424-0000-0000-C000-000000000046}"}});
    EXPECT_EQ(RegText(key + u"\\TypeLib", u"Version"), u"1.0");
  }
  for (const auto& [key, want] : rows)
    EXPECT_EQ(RegText(key), want) << std::string(key.begin(), key.end());
  const std::string text = scratch_.Text();
  ASSERT_EQ(DllRegisterServer(), S_OK);
  EXPECT_EQ(scratch_.Text(), text);  // once more changes nothing
  // Unregistering twice: the second finds nothing.
  for (int i = 0; i < 2; ++i) ASSERT_EQ(DllUnregisterServer(), S_OK);
}

}  // namespace
}  // namespace tarvovcard::server
