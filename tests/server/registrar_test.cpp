// The registrar: script parsing, register and unregister mode, and the
// registration of the whole library (DllRegisterServer / DllUnregisterServer).
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "server/entry.h"
#include "server/module.h"
#include "server/registrar.h"
#include "server/scratch_registry.h"
#include "tarvovcard/automation_types.h"
#include "tarvovcard/platform/objbase.h"

extern "C" HRESULT DllRegisterServer();
extern "C" HRESULT DllUnregisterServer();

namespace {

using tarvovcard::server::kScriptError;
using tarvovcard::server::ObjectMap;
using tarvovcard::server::ObjectMapEntry;
using tarvovcard::server::ParseRegistrationScript;
using tarvovcard::server::RegistrarVariables;
using tarvovcard::server::RunRegistrationScript;
using tarvovcard::server::ScriptKey;

std::u16string GuidText(REFGUID guid) {
  OLECHAR text[40];
  StringFromGUID2(guid, text, 40);
  return text;
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

TEST_F(Registrar, AMalformedScriptChangesNothing) {
  const std::string before = scratch_.Text();
  EXPECT_EQ(RunRegistrationScript("HKCR { Early = s 'x' Late = d '1' }", true, {}), kScriptError);
  EXPECT_FALSE(RegKeyExists(u"Early"));
  EXPECT_EQ(scratch_.Text(), before);
}

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
  // Unregistering what is not there is no failure.
  EXPECT_EQ(RunRegistrationScript(script, false, vars), S_OK);
}

TEST_F(Registrar, ARegistryFailureDropsTheWholeScript) {
  ASSERT_EQ(RegPut(u"Kept", u"1"), ERROR_SUCCESS);
  const std::string before = scratch_.Text();
  const std::string tmp = scratch_.path() + ".tmp." + std::to_string(getpid());
  ASSERT_EQ(mkdir(tmp.c_str(), 0700), 0);
  EXPECT_EQ(RunRegistrationScript("HKCR { A = s '1' B = s '2' }", true, {}),
            HRESULT_FROM_WIN32(ERROR_CANTWRITE));
  rmdir(tmp.c_str());
  EXPECT_FALSE(RegKeyExists(u"A"));
  EXPECT_EQ(scratch_.Text(), before);
}

// The eight stored scripts say what the object map says.
TEST(RegistrationResources, EachScriptRegistersItsOwnClass) {
  for (const ObjectMapEntry& entry : ObjectMap()) {
    auto script = tarvovcard::server::FindResource("REGISTRY", entry.registry_resource);
    ASSERT_TRUE(script.has_value()) << entry.registry_resource;
    std::vector<ScriptKey> keys;
    std::string error;
    ASSERT_EQ(ParseRegistrationScript(*script, {{u"MODULE", u"m"}}, &keys, &error), S_OK) << error;
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0].name, entry.prog_id);
    EXPECT_EQ(keys[0].default_value, entry.description);
    EXPECT_EQ(keys[0].subkeys.at(0).default_value, GuidText(*entry.clsid));
    EXPECT_EQ(keys[1].name, entry.version_independent_prog_id);
    EXPECT_EQ(keys[1].subkeys.at(1).default_value, entry.prog_id);
    const ScriptKey& cls = keys[2].subkeys.at(0);
    EXPECT_EQ(cls.name, GuidText(*entry.clsid));
    EXPECT_EQ(cls.default_value, entry.description);
  }
  EXPECT_FALSE(tarvovcard::server::FindResource("REGISTRY", 104).has_value());
  EXPECT_EQ(tarvovcard::server::FindResource("STRING", 100), "TarvovCard");
  EXPECT_TRUE(tarvovcard::server::FindResource("typelib", 1).has_value());
}

class Server : public ::testing::Test {
 protected:
  ScratchRegistry scratch_;
};

TEST_F(Server, RegisterWritesEveryClassItsProgIdsAndTheTypeLibrary) {
  ASSERT_EQ(DllRegisterServer(), S_OK);
  const std::u16string module =
      RegText(u"CLSID\\" + GuidText(CLSID_VCardColl) + u"\\InprocServer32");
  ASSERT_FALSE(module.empty());
  EXPECT_EQ(module[0], u'/');  // a full path
  for (const ObjectMapEntry& entry : ObjectMap()) {
    const std::u16string clsid = GuidText(*entry.clsid);
    const std::u16string progId = entry.prog_id;
    const std::u16string independent = entry.version_independent_prog_id;
    const std::u16string key = u"CLSID\\" + clsid;
    EXPECT_EQ(RegText(progId), entry.description);
    EXPECT_EQ(RegText(progId + u"\\CLSID"), clsid);
    EXPECT_EQ(RegText(independent), entry.description);
    EXPECT_EQ(RegText(independent + u"\\CLSID"), clsid);
    EXPECT_EQ(RegText(independent + u"\\CurVer"), progId);
    EXPECT_EQ(RegText(key), entry.description);
    EXPECT_EQ(RegText(key + u"\\ProgID"), progId);
    EXPECT_EQ(RegText(key + u"\\VersionIndependentProgID"), independent);
    EXPECT_EQ(RegText(key + u"\\InprocServer32"), module);
    EXPECT_EQ(RegText(key + u"\\InprocServer32", u"ThreadingModel"), u"Apartment");
    EXPECT_EQ(RegText(key + u"\\TypeLib"), GuidText(LIBID_TARVOVCARDLib));

    CLSID found = GUID_NULL;
    EXPECT_EQ(CLSIDFromProgID(entry.version_independent_prog_id, &found), S_OK);
    EXPECT_TRUE(IsEqualCLSID(found, *entry.clsid));
    LPOLESTR text = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(*entry.clsid, &text), S_OK);
    EXPECT_EQ(std::u16string(text), progId);
    CoTaskMemFree(text);
  }
  const std::u16string typelib = u"TypeLib\\" + GuidText(LIBID_TARVOVCARDLib) + u"\\1.0";
  EXPECT_EQ(RegText(typelib), u"TarvovCard 1.0 Type Library");
  std::u16string platformKey;
  for (const char* p = tarvovcard::server::kTypeLibPlatformKey; *p; ++p) platformKey += *p;
  EXPECT_EQ(RegText(typelib + u"\\0\\" + platformKey), module);
  EXPECT_EQ(RegText(typelib + u"\\FLAGS"), u"0");
  EXPECT_EQ(RegText(typelib + u"\\HELPDIR"), module.substr(0, module.rfind(u'/')));
  const std::pair<const IID*, const char16_t*> interfaces[] = {
      {&IID_IVCardColl, u"IVCardColl"},
      {&IID_IVCard, u"IVCard"},
      {&IID_IVCardProperty, u"IVCardProperty"},
      {&IID_IVCardPropertyName, u"IVCardPropertyName"},
      {&IID_IVCardPropertyAddress, u"IVCardPropertyAddress"},
      {&IID_IVCardPropertyOrganisation, u"IVCardPropertyOrganisation"},
      {&IID_IVCardParameter, u"IVCardParameter"},
      {&IID_IVCardValue, u"IVCardValue"},
      {&IID_IVCardPropertyColl, u"IVCardPropertyColl"},
      {&IID_IVCardParameterColl, u"IVCardParameterColl"},
      {&IID_IVCardValueColl, u"IVCardValueColl"},
  };
  for (const auto& [iid, name] : interfaces) {
    const std::u16string key = u"Interface\\" + GuidText(*iid);
    EXPECT_EQ(RegText(key), name);
    EXPECT_EQ(RegText(key + u"\\TypeLib"), GuidText(LIBID_TARVOVCARDLib));
    EXPECT_EQ(RegText(key + u"\\TypeLib", u"Version"), u"1.0");
    EXPECT_EQ(RegText(key + u"\\ProxyStubClsid32"), u"{00020424-0000-0000-C000-000000000046}");
  }
  // Once more changes nothing.
  const std::string text = scratch_.Text();
  ASSERT_EQ(DllRegisterServer(), S_OK);
  EXPECT_EQ(scratch_.Text(), text);
}

TEST_F(Server, UnregisterRemovesAllButTheSharedKeys) {
  ASSERT_EQ(RegPut(u"CLSID\\{OTHER}", u"Other Class"), ERROR_SUCCESS);
  ASSERT_EQ(DllRegisterServer(), S_OK);
  ASSERT_EQ(DllUnregisterServer(), S_OK);
  for (const ObjectMapEntry& entry : ObjectMap()) {
    EXPECT_FALSE(RegKeyExists(entry.prog_id));
    EXPECT_FALSE(RegKeyExists(entry.version_independent_prog_id));
    EXPECT_FALSE(RegKeyExists(u"CLSID\\" + GuidText(*entry.clsid)));
    CLSID found;
    EXPECT_EQ(CLSIDFromProgID(entry.prog_id, &found), CO_E_CLASSSTRING);
  }
  EXPECT_TRUE(RegKeyExists(u"CLSID"));
  EXPECT_EQ(RegText(u"CLSID\\{OTHER}"), u"Other Class");
  EXPECT_FALSE(RegKeyExists(u"TypeLib\\" + GuidText(LIBID_TARVOVCARDLib)));
  EXPECT_FALSE(RegKeyExists(u"Interface\\" + GuidText(IID_IVCardColl)));
  // Only the shared parents are left.
  HKEY root = HKEY_CLASSES_ROOT;
  DWORD subkeys = 0;
  ASSERT_EQ(RegQueryInfoKeyW(root, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subkeys, 3u);  // CLSID, Interface, TypeLib
  EXPECT_EQ(DllUnregisterServer(), S_OK);
}

TEST_F(Server, AFailedRegistrationLeavesTheRegistryAsItWas) {
  ASSERT_EQ(RegPut(u"Kept", u"1"), ERROR_SUCCESS);
  const std::string before = scratch_.Text();
  const std::string tmp = scratch_.path() + ".tmp." + std::to_string(getpid());
  ASSERT_EQ(mkdir(tmp.c_str(), 0700), 0);
  EXPECT_EQ(DllRegisterServer(), HRESULT_FROM_WIN32(ERROR_CANTWRITE));
  rmdir(tmp.c_str());
  EXPECT_EQ(scratch_.Text(), before);
  EXPECT_FALSE(RegKeyExists(u"TarvovCard.VCard"));
}

}  // namespace
