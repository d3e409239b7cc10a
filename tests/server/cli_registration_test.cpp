// tarvovcard register / unregister and --progid, run as a program against a
// scratch registry file.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "server/scratch_registry.h"

namespace {

struct Outcome {
  int exit_status = -1;
  std::string err;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class CliRegistration : public ::testing::Test {
 protected:
  Outcome Run(const std::string& arguments) {
    const std::string command = std::string(TARVOVCARD_CLI) + " " + arguments + " >" +
                                scratch_.dir() + "/stdout 2>" + scratch_.dir() + "/stderr";
    const int status = std::system(command.c_str());
    Outcome run;
    run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = ReadAll(scratch_.dir() + "/stderr");
    return run;
  }
  std::string Registry() const { return "--registry '" + scratch_.path() + "'"; }

  ScratchRegistry scratch_;
};

TEST_F(CliRegistration, RegisterCreateByProgIdAndUnregister) {
  ASSERT_EQ(Run("register " + Registry()).exit_status, 0);
  EXPECT_NE(RegText(u"TarvovCard.VCardColl\\CLSID"), u"<none>");
  EXPECT_EQ(RegText(u"TarvovCard.VCardColl\\CurVer"), u"TarvovCard.VCardColl.1");

  const std::string in = scratch_.dir() + "/in.vcf";
  const std::string out = scratch_.dir() + "/out.vcf";
  std::ofstream(in, std::ios::binary) << "BEGIN:VCARD\r\nFN:Ann\r\nEND:VCARD\r\n";
  Outcome run = Run(Registry() + " --progid TarvovCard.VCardColl to-vcard " + out + " " + in);
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_NE(ReadAll(out).find("FN:Ann"), std::string::npos);

  run = Run(Registry() + " --progid TarvovCard.Missing to-vcard " + out + " " + in);
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_NE(run.err.find("0x800401F3"), std::string::npos) << run.err;

  ASSERT_EQ(Run("unregister --registry=" + scratch_.path()).exit_status, 0);
  EXPECT_FALSE(RegKeyExists(u"TarvovCard.VCardColl"));
  run = Run(Registry() + " --progid TarvovCard.VCardColl to-vcard " + out + " " + in);
  EXPECT_EQ(run.exit_status, 1);
}

TEST_F(CliRegistration, RegistersANamedLibraryFile) {
  ASSERT_EQ(Run("register " + Registry() + " " + TARVOVCARD_LIBRARY_FILE).exit_status, 0);
  EXPECT_NE(RegText(u"TarvovCard.VCard.1\\CLSID"), u"<none>");
  Outcome run = Run("register " + Registry() + " /nonexistent/libnothing.so");
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_NE(run.err.find("0x800401F8"), std::string::npos) << run.err;
  EXPECT_EQ(Run("register --bogus").exit_status, 2);
  EXPECT_EQ(Run("register " + Registry() + " a b").exit_status, 2);
}

// --progid reaches the class through the registry alone: with the registered
// library file gone, the client cannot create the collection even though its
// own library sits beside it.
TEST_F(CliRegistration, ProgIdCreationLoadsTheRegisteredLibraryFile) {
  const std::string copy = scratch_.dir() + "/libcopy.so";
  {
    std::ifstream from(TARVOVCARD_LIBRARY_FILE, std::ios::binary);
    std::ofstream to(copy, std::ios::binary);
    to << from.rdbuf();
  }
  // Registered by a relative name, from the copy's folder: the registry
  // still gets the full path.
  const std::string relative = "cd '" + scratch_.dir() + "' && " + TARVOVCARD_CLI + " register " +
                               Registry() + " ./libcopy.so";
  ASSERT_EQ(std::system(relative.c_str()), 0);
  EXPECT_EQ(RegText(u"CLSID\\" + RegText(u"TarvovCard.VCardColl\\CLSID") + u"\\InprocServer32")
                .substr(0, 1),
            u"/");

  const std::string in = scratch_.dir() + "/in.vcf";
  const std::string out = scratch_.dir() + "/out.vcf";
  std::ofstream(in, std::ios::binary) << "BEGIN:VCARD\r\nFN:Ann\r\nEND:VCARD\r\n";
  EXPECT_EQ(
      Run(Registry() + " --progid TarvovCard.VCardColl to-vcard " + out + " " + in).exit_status, 0);

  std::remove(copy.c_str());
  const Outcome run = Run(Registry() + " --progid TarvovCard.VCardColl to-vcard " + out + " " + in);
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_NE(run.err.find("create the card collection"), std::string::npos) << run.err;
  // Without --progid the client uses its own library and needs no registry.
  EXPECT_EQ(Run(Registry() + " to-vcard " + out + " " + in).exit_status, 0);
}

}  // namespace
