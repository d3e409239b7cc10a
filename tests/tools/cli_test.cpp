// The tarvovcard client, run as a program: exit statuses, standard output
// and error, the files it writes, and register / unregister / --progid
// against a scratch registry file. Standard error is a file, so the progress
// line is never written, however soon it is due.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/files.h"

namespace {

using namespace tarvovcard::testing;

// Whole-text match where '*' stands for any run of characters.
bool Glob(std::string_view pattern, std::string_view text) {
  const std::size_t star = pattern.find('*');
  if (star == std::string_view::npos) return pattern == text;
  if (text.substr(0, star) != pattern.substr(0, star)) return false;
  pattern.remove_prefix(star + 1);
  for (std::size_t i = star; i <= text.size(); ++i)
    if (Glob(pattern, text.substr(i))) return true;
  return false;
}

// One run of the client: its exit status, the patterns of its standard output
// and error, and of one file it leaves ("<none>": no such file). In every text
// {dir} is the scratch folder, {reg} the option naming the scratch registry,
// {regfile} that file and {src} the sources.
struct Row {
  std::string arguments;
  int exit_status;
  std::string out = "*", err = "*", file = "", content = "";
};

class Cli : public ::testing::Test {
 protected:
  std::string Fill(std::string text) const {
    for (const auto& [name, value] : {std::pair<std::string, std::string>{"{dir}", dir_.path()},
                                      {"{reg}", "--registry '" + registry_ + "'"},
                                      {"{regfile}", registry_},
                                      {"{src}", TARVOVCARD_SOURCE_DIR}})
      for (std::size_t at; (at = text.find(name)) != std::string::npos;)
        text.replace(at, name.size(), value);
    return text;
  }
  void Check(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      const std::string arguments = Fill(row.arguments), file = Fill(row.file);
      SCOPED_TRACE(arguments);
      const int status =
          std::system(("TARVOVCARD_PROGRESS_DELAY_MS=0 " TARVOVCARD_CLI " " + arguments + " >" +
                       (dir_ / "stdout") + " 2>" + (dir_ / "stderr"))
                          .c_str());
      const std::string out = ReadFile(dir_ / "stdout"), err = ReadFile(dir_ / "stderr");
      EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, row.exit_status) << err;
      EXPECT_TRUE(Glob(Fill(row.out), out)) << out.substr(0, 200);
      EXPECT_TRUE(Glob(Fill(row.err), err)) << err;
      EXPECT_TRUE(
          file.empty() ||
          (row.content == "<none>" ? !FileExists(file) : Glob(Fill(row.content), ReadFile(file))))
          << file;
    }
  }

  ScratchDir dir_;
  const std::string registry_ = dir_ / "registry";
};

const std::string kCardA =
    "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Doe;John\r\nTEL;HOME:+1 555 0100\r\nEND:VCARD\r\n";
const std::string kCardB = "BEGIN:VCARD\r\nFN:B\r\nEND:VCARD\r\n";

const char kShowTree[] =
    "card 1: folder \"{dir}\", file \"show.vcf\"\n"
    "  property TEL, group \"home\"\n"
    "    parameter TYPE (type) = \"HOME\"\n"
    "    parameter X-ID (extension) = \"7\"\n"
    "    value 1: text \"+1 555 0100\"\n"
    "  property NOTE\n"
    "    parameter ENCODING (encoding) = \"QUOTED-PRINTABLE\"\n"
    "    parameter CHARSET (charset) = \"UTF-8\"\n"
    "    value 1: text \"caf\xC3\xA9\\r\\n\\\"x\\\"\"\n"
    "  property BDAY\n"
    "    value 1: date 1996-04-15 08:30:00\n"
    "  property PHOTO\n"
    "    parameter ENCODING (encoding) = \"BASE64\"\n"
    "    value 1: bytes, 35 of them\n"
    "  property AGENT\n"
    "    value 1: card\n"
    "      property FN\n"
    "        value 1: text \"Agent\"\n";

TEST_F(Cli, Commands) {
  WriteFile(dir_ / "a.vcf", kCardA);
  WriteFile(dir_ / "b.vcf", kCardB);
  WriteFile(dir_ / "keep.vcf", kCardB);
  WriteFile(dir_ / "c.vcf",
            "BEGIN:VCARD\r\nN:Doe;Jo\r\nFN:Doe, \"Jo\"\r\nTEL;HOME:1\r\nTEL;HOME;FAX:2\r\n"
            "TEL;CELL:3\r\nTEL;CELL:4\r\nNOTE;ENCODING=QUOTED-PRINTABLE:a=0D=0Ab\r\n"
            "ADR;WORK:;;Main St 1;Town;;;\r\nEND:VCARD\r\n" +
                kCardB);
  WriteFile(dir_ / "cut.vcf", kCardB + "BEGIN:VCARD\r\nFN:cut short\r\n");
  WriteFile(dir_ / "lost.vcf", "BEGIN:VCARD\nFN:a\nTEL;HOME 555\nEND:VCARD\n");
  WriteFile(dir_ / "repaired.vcf", "BEGIN:VCARD\nFN:b\nCATEGORIES:x\nEND:VCARD\n");
  WriteFile(dir_ / "bad.vcf", "BEGIN:VCARD\n;;x\nEND:VCARD\n");
  WriteFile(dir_ / "show.vcf",
            "BEGIN:VCARD\r\nhome.TEL;HOME;X-ID=7:+1 555 0100\r\n"
            "NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:caf=C3=A9=0D=0A\"x\"\r\n"
            "BDAY:19960415T083000\r\nPHOTO;ENCODING=BASE64:\r\n"
            "    R0lGODlhAQABAIAAAP///wAAACwAAAAAAQABAAACAkQBADs=\r\n\r\n"
            "AGENT:\r\nBEGIN:VCARD\r\nFN:Agent\r\nEND:VCARD\r\n\r\nEND:VCARD\r\n");
  const std::string lost = "{dir}/lost.vcf:3: unreadable line skipped\n";
  const std::string repaired =
      "{dir}/repaired.vcf:3: property name outside the vocabulary kept as read\n";
  const std::string no_such_file = "0x80070002 no such file\n";
  const std::string cannot_open = "0x8007006E the file cannot be opened or created";
  for (std::string c :
       {"to-vcard", "to-xml", "show", "to-csv", "to-html", "register", "unregister"})
    Check({{c + " --help", 0, "usage: tarvovcard " + c + "*", ""}});
  Check({
      {"--help", 0, "usage: tarvovcard*to-vcard*to-xml*show*to-csv*to-html*register*Exit status*"},
      {"--version", 0, "tarvovcard 1.*"},
      // Usage errors: the first line names the fault, a later one --help.
      {"", 2, "*", "tarvovcard: no command given\n*--help*"},
      {"convert", 2, "*", "tarvovcard: unknown command 'convert'\n*--help*"},
      {"--verbose show x", 2, "*", "tarvovcard: unknown option '--verbose'\n*--help*"},
      {"to-vcard out.vcf", 2, "*", "tarvovcard to-vcard: no INPUT file given\n*--help*"},
      {"to-xml", 2, "*", "tarvovcard to-xml: OUTPUT and INPUT are missing\n*--help*"},
      {"to-xml out.xml in.vcf --xsl", 2, "*",
       "tarvovcard to-xml: --xsl needs a stylesheet name\n*--help*"},
      {"to-vcard --xsl a out in", 2, "*", "tarvovcard to-vcard: unknown option '--xsl'\n*--help*"},
      {"show", 2, "*", "tarvovcard show: no INPUT file given\n*--help*"},
      // Every input is saved, in order.
      {"to-vcard {dir}/two.vcf {dir}/a.vcf {dir}/b.vcf", 0, "", "*", "{dir}/two.vcf",
       kCardA + CrLf("BEGIN:VCARD\nVERSION:2.1\nFN:B\nEND:VCARD\n")},
      // A failed load is reported, and what was read is saved all the same;
      // an earlier input that cannot be opened is reported too, though the
      // library's Load answers for the last one only.
      {"to-vcard {dir}/out.vcf {dir}/missing.vcf {dir} {dir}/a.vcf {dir}/none.vcf", 1, "",
       "tarvovcard: load {dir}/missing.vcf: " + no_such_file + "tarvovcard: load {dir}: " +
           cannot_open + "\ntarvovcard: load {dir}/none.vcf: " + no_such_file +
           "tarvovcard: 1 card from 4 files, 0 problems; saved to {dir}/out.vcf\n",
       "{dir}/out.vcf", kCardA},
      // The library's own diagnostic of the syntax error comes first.
      {"to-xml {dir}/out.xml {dir}/cut.vcf", 1, "",
       "*\ntarvovcard: load {dir}/cut.vcf: 0x8007000D the text had errors\n*"},
      // Each problem as FILE:LINE: message; a lost line fails the run, repairs
      // alone do not, and --quiet leaves the repairs out.
      {"show {dir}/lost.vcf {dir}/repaired.vcf", 1, "*", "*" + lost + repaired + "tarvovcard: *"},
      {"show --quiet {dir}/lost.vcf {dir}/repaired.vcf", 1, "*",
       "*" + lost + "tarvovcard: 2 cards from 2 files, 2 problems\n"},
      {"to-xml -q {dir}/out.xml {dir}/repaired.vcf", 0, "",
       "tarvovcard: 1 card from 1 file, 1 problem; saved to {dir}/out.xml\n"},
      // The client destroys no file: not one of its inputs (whatever the
      // spelling), and not an existing output when no input could be read.
      {"to-vcard {dir}/a.vcf {dir}/keep.vcf {dir}/./a.vcf", 2, "", "tarvovcard to-vcard: OUTPUT '*",
       "{dir}/a.vcf", kCardA},
      {"to-vcard {dir}/keep.vcf {dir}/missing.vcf", 1, "", "tarvovcard: load *", "{dir}/keep.vcf",
       kCardB},
      {"to-xml {dir}/keep.vcf {dir}/missing.vcf {dir}", 1, "", "tarvovcard: load *",
       "{dir}/keep.vcf", kCardB},
      {"to-vcard --force {dir}/keep.vcf {dir}/missing.vcf", 1, "", "*: 0 cards from 1 file*",
       "{dir}/keep.vcf", ""},
      // A failed save names its status and cause.
      {"to-vcard {dir}/no/such/folder/out.vcf {dir}/a.vcf", 1, "",
       "tarvovcard: save {dir}/no/such/folder/out.vcf: " + cannot_open +
           " (the folder {dir}/no/such/folder does not exist)\n"},
      {"to-xml {dir}/no/out.xml {dir}/a.vcf", 1, "", "tarvovcard: save as XML {dir}/no/out.xml: *"},
      {"to-vcard {dir} {dir}/a.vcf", 1, "", "*(it is a folder)*"},
      {"to-vcard {dir}/a.vcf/out.vcf {dir}/a.vcf", 1, "", "*({dir}/a.vcf is not a folder)*"},
      // "-" is standard input and standard output; a problem there is "-".
      {"to-vcard - - <{dir}/a.vcf", 0, "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Doe;John*",
       "tarvovcard: 1 card from 1 file, 0 problems; saved to standard output\n"},
      {"to-vcard - {dir}/a.vcf - <{dir}/a.vcf", 0, "BEGIN:VCARD*",
       "tarvovcard: 2 cards from 2 files*"},
      {"to-xml - - <{dir}/a.vcf", 0, "\xFF\xFE<*", "tarvovcard: 1 card from 1 file*"},
      {"show - <{dir}/bad.vcf", 1, "card 1: folder*",
       "*-:2: unreadable line skipped\n*1 card from 1 file, 1 problem\n"},
      // The XML names the stylesheet; show prints the tree.
      {"to-xml --xsl=cards.xsl {dir}/b.xml {dir}/b.vcf", 0, "", "*", "{dir}/b.xml",
       "*" + Utf16File(u"<?xml-stylesheet type=\"text/xsl\" href=\"cards.xsl\"?>", false) + "*"},
      {"show {dir}/show.vcf", 0, kShowTree, "tarvovcard: 1 card from 1 file, 0 problems\n"},
      // One CSV row per card, quoted as RFC 4180 says; the output is not an input.
      {"to-csv {dir}/c.csv {dir}/c.vcf", 0, "",
       "tarvovcard: 2 cards from 1 file, 0 problems; written to {dir}/c.csv\n", "{dir}/c.csv",
       "Full name,Family name,Given name,Additional names,Prefix,Suffix,Organisation,"
       "Department,Title,Home phone,Work phone,Mobile phone,Fax,Other phone,E-mail,"
       "Home address,Work address,Other address,URL,Note\r\n"
       "\"Doe, \"\"Jo\"\"\",Doe,Jo,,,,,,,1,,3; 4,2,,,,\"Main St 1, Town\",,,\"a\r\nb\"\r\n"
       "B,,,,,,,,,,,,,,,,,,,\r\n"},
      {"to-csv {dir}/c.vcf {dir}/c.vcf", 2, "", "*", "{dir}/c.vcf", "BEGIN:VCARD\r\nN:Doe*"},
      // An HTML contact sheet through the shipped stylesheet: names,
      // organisation, phones with their types, addresses and the photo inline.
      {"to-html {dir}/c.html {src}/examples/sample.vcf", 0, "", "*", "{dir}/c.html",
       "<!DOCTYPE html>*<h1>Contacts (2)</h1>*src=\"data:image/gif;base64,R0lGODlh*"
       "<h2>Dr. Ada Lindqvist</h2>*Tarvov Instruments AB (Research; Development)*"
       "<a href=\"tel:+4685550142\">+46 8 555 0142</a> <span class=\"type\">WORK VOICE</span>*"
       "Storgatan 12*Okafor &amp; Sons*"},
      {"to-html --xsl {dir}/none.xsl {dir}/d.html {src}/examples/sample.vcf", 1, "",
       "*the stylesheet*", "{dir}/d.html", "<none>"},
  });
}

// register, unregister and --progid, in the registry named. --progid reaches
// the class through the registry alone: with the registered library file
// gone, the client cannot create the collection though its own library sits
// beside it.
TEST_F(Cli, Registration) {
  WriteFile(dir_ / "in.vcf", "BEGIN:VCARD\r\nFN:Ann\r\nEND:VCARD\r\n");
  WriteFile(dir_ / "libcopy.so", ReadFile(TARVOVCARD_LIBRARY_FILE));
  const std::string convert = " to-vcard {dir}/out.vcf {dir}/in.vcf";
  const std::string by_prog_id = "{reg} --progid TarvovCard.VCardColl" + convert;
  Check({
      {"register {reg}", 0},
      {by_prog_id, 0, "*", "*", "{dir}/out.vcf", "*FN:Ann*"},
      {"{reg} --progid TarvovCard.Missing" + convert, 1, "*",
       "tarvovcard: look up the ProgID TarvovCard.Missing: 0x800401F3 *"},
      {"unregister --registry={regfile}", 0, "*", "*", "{regfile}",
       "TarvovCard registry 1\nK CLSID\nK Interface\nK TypeLib\n"},
      {"register {reg} /nonexistent/libnothing.so", 1, "*",
       "*tarvovcard: register /nonexistent/libnothing.so: 0x800401F8 *"},
      {"register --bogus", 2, "*", "tarvovcard register: unknown option '--bogus'\n*--help*"},
      {"register {reg} a b", 2, "*", "tarvovcard register: only one LIBRARY may be given\n*"},
      // Registered by a relative name: the registry still gets the full path.
      {"register {reg} " + std::filesystem::relative(dir_ / "libcopy.so").string(), 0, "*", "*",
       "{regfile}",
       "*\\InprocServer32\nD " + std::filesystem::canonical(dir_.path()).string() +
           "/libcopy.so\n*"},
  });
  std::remove((dir_ / "libcopy.so").c_str());
  Check({
      {by_prog_id, 1, "*", "*create the card collection*"},
      {"{reg}" + convert, 0},  // without --progid: its own library, no registry needed
  });
}

}  // namespace
