// The type library description (server/tarvovcard.idl, stored as TYPELIB 1)
// and the client header (automation_types.h) describe the same interfaces:
// names, methods in slot order, identifiers, enumerations.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "server/registrar.h"
#include "tarvovcard/automation_types.h"

namespace {

using tarvovcard::server::IdlLibrary;
using tarvovcard::server::ReadIdl;

std::string GuidText(REFGUID guid) {
  OLECHAR text[40];
  StringFromGUID2(guid, text, 40);
  return std::string(text, text + 38);
}

IdlLibrary StoredLibrary() {
  auto text = tarvovcard::server::FindResource("TYPELIB", 1);
  EXPECT_TRUE(text.has_value());
  IdlLibrary lib;
  std::string error;
  EXPECT_TRUE(ReadIdl(text.value_or(""), &lib, &error)) << error;
  return lib;
}

// What the client header declares: interfaces with their methods in order,
// and enumerations with their members.
struct Header {
  std::map<std::string, std::vector<std::string>> interfaces;
  std::map<std::string, std::vector<std::pair<std::string, long>>> enums;
};

Header ReadHeader() {
  std::ifstream in(TARVOVCARD_SOURCE_DIR "/model/include/tarvovcard/automation_types.h");
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string text = buffer.str();
  Header h;
  const std::regex block(R"((struct|enum) (\w+) : (IUnknown|LONG) \{([^}]*)\};)");
  const std::regex method(R"(virtual\s+HRESULT\s+STDMETHODCALLTYPE\s+(\w+)\()");
  const std::regex member(R"((\w+)\s*=\s*(-?\d+),)");
  for (std::sregex_iterator it(text.begin(), text.end(), block), end; it != end; ++it) {
    const std::string body = (*it)[4];
    if ((*it)[1] == "struct") {
      auto& methods = h.interfaces[(*it)[2]];
      for (std::sregex_iterator m(body.begin(), body.end(), method); m != end; ++m)
        methods.push_back((*m)[1]);
    } else {
      auto& members = h.enums[(*it)[2]];
      for (std::sregex_iterator m(body.begin(), body.end(), member); m != end; ++m)
        members.emplace_back((*m)[1], std::stol((*m)[2]));
    }
  }
  return h;
}

TEST(TypeLibrary, DescribesTheLibraryAsRegistered) {
  const IdlLibrary lib = StoredLibrary();
  EXPECT_EQ(lib.name, "TARVOVCARDLib");
  EXPECT_EQ(lib.uuid, GuidText(LIBID_TARVOVCARDLib));
  EXPECT_EQ(lib.version, "1.0");
  EXPECT_EQ(lib.lcid, 0x409);
  EXPECT_EQ(lib.helpstring, "TarvovCard 1.0 Type Library");
}

TEST(TypeLibrary, InterfacesAgreeWithTheClientHeader) {
  const IdlLibrary lib = StoredLibrary();
  const Header header = ReadHeader();
  const std::map<std::string, const IID*> iids = {
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
  ASSERT_EQ(header.interfaces.size(), iids.size());
  ASSERT_EQ(lib.interfaces.size(), iids.size());
  for (const auto& itf : lib.interfaces) {
    SCOPED_TRACE(itf.name);
    ASSERT_TRUE(iids.count(itf.name));
    EXPECT_EQ(itf.uuid, GuidText(*iids.at(itf.name)));
    EXPECT_EQ(itf.base, "IUnknown");
    std::vector<std::string> names;
    for (const auto& m : itf.methods) names.push_back(m.name);
    EXPECT_EQ(names, header.interfaces.at(itf.name));
  }
}

TEST(TypeLibrary, DispatchIdentifiersAreTheDocumentedOnes) {
  const IdlLibrary lib = StoredLibrary();
  std::map<std::string, std::vector<long>> ids;
  for (const auto& itf : lib.interfaces)
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

TEST(TypeLibrary, EnumerationsAgreeWithTheClientHeaderAndCarryTheirDescriptions) {
  const IdlLibrary lib = StoredLibrary();
  const Header header = ReadHeader();
  ASSERT_EQ(lib.enums.size(), 3u);
  ASSERT_EQ(header.enums.size(), 3u);
  for (const auto& e : lib.enums) {
    SCOPED_TRACE(e.name);
    std::vector<std::pair<std::string, long>> members;
    for (const auto& m : e.members) {
      members.emplace_back(m.name, m.value);
      EXPECT_FALSE(m.helpstring.empty()) << m.name;
    }
    ASSERT_TRUE(header.enums.count(e.name));
    EXPECT_EQ(members, header.enums.at(e.name));
  }
  EXPECT_EQ(lib.enums[0].members.back().helpstring, "Custom property: X-{property name}");
  EXPECT_EQ(lib.enums[2].members[3].helpstring,
            "Value of a property is a VT_ARRAY|VT_UI1, a byte array");
}

TEST(TypeLibrary, CoclassesAreTheEightCreatableClasses) {
  const IdlLibrary lib = StoredLibrary();
  const std::vector<std::pair<std::string, const CLSID*>> classes = {
      {"VCard", &CLSID_VCard},
      {"VCardProperty", &CLSID_VCardProperty},
      {"VCardValue", &CLSID_VCardValue},
      {"VCardParameter", &CLSID_VCardParameter},
      {"VCardColl", &CLSID_VCardColl},
      {"VCardParameterColl", &CLSID_VCardParameterColl},
      {"VCardPropertyColl", &CLSID_VCardPropertyColl},
      {"VCardValueColl", &CLSID_VCardValueColl},
  };
  ASSERT_EQ(lib.coclasses.size(), classes.size());
  for (std::size_t i = 0; i < classes.size(); ++i) {
    const auto& co = lib.coclasses[i];
    EXPECT_EQ(co.name, classes[i].first);
    EXPECT_EQ(co.uuid, GuidText(*classes[i].second));
    EXPECT_TRUE(co.creatable);
    EXPECT_EQ(co.helpstring, co.name + " Class");
    ASSERT_FALSE(co.interfaces.empty());
    EXPECT_EQ(co.interfaces[0], "I" + co.name);
  }
  EXPECT_EQ(lib.coclasses[1].interfaces.size(), 4u);  // the property and its three views
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

}  // namespace
