// The tarvovcard client, run as a program: exit statuses, the lines on
// standard error, --help, and the files it writes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "writer/writer_test_support.h"

namespace {

using tarvovcard::writer::testing::CrLf;
using tarvovcard::writer::testing::FileExists;
using tarvovcard::writer::testing::ReadFile;
using tarvovcard::writer::testing::ScratchDir;
using tarvovcard::writer::testing::Utf16File;
using tarvovcard::writer::testing::WriteFile;

struct Outcome {
  int exit_status = -1;
  std::string out;
  std::string err;
};

// Runs the client with `arguments` (already quoted for the shell).
Outcome Tarvovcard(const ScratchDir& dir, const std::string& arguments) {
  const std::string command = std::string(TARVOVCARD_BINARY_DIR) + "/bin/tarvovcard " + arguments +
                              " >" + (dir / "stdout") + " 2>" + (dir / "stderr");
  const int status = std::system(command.c_str());
  Outcome run;
  run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = ReadFile(dir / "stdout");
  run.err = ReadFile(dir / "stderr");
  return run;
}

const char kCardA[] =
    "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Doe;John\r\nTEL;HOME:+1 555 0100\r\nEND:VCARD\r\n";
const char kCardB[] = "BEGIN:VCARD\r\nFN:B\r\nEND:VCARD\r\n";

TEST(Cli, HelpDescribesTheToolAndEveryCommand) {
  ScratchDir dir;
  const Outcome tool = Tarvovcard(dir, "--help");
  EXPECT_EQ(tool.exit_status, 0);
  for (const char* text : {"usage: tarvovcard", "to-vcard", "to-xml", "show", "Exit status"}) {
    EXPECT_NE(tool.out.find(text), std::string::npos) << text;
  }
  for (const char* command : {"to-vcard", "to-xml", "show", "to-csv", "to-html"}) {
    const Outcome help = Tarvovcard(dir, std::string(command) + " --help");
    EXPECT_EQ(help.exit_status, 0) << command;
    EXPECT_EQ(help.out.rfind(std::string("usage: tarvovcard ") + command, 0), 0u) << help.out;
    EXPECT_EQ(help.err, "");
  }
}

TEST(Cli, UsageErrorsExitWithTwo) {
  ScratchDir dir;
  const std::pair<const char*, const char*> cases[] = {
      {"", "tarvovcard: no command given\n"},
      {"convert", "tarvovcard: unknown command 'convert'\n"},
      {"--verbose show x", "tarvovcard: unknown option '--verbose'\n"},
      {"to-vcard out.vcf", "tarvovcard to-vcard: no INPUT file given\n"},
      {"to-xml", "tarvovcard to-xml: OUTPUT and INPUT are missing\n"},
      {"to-xml out.xml in.vcf --xsl", "tarvovcard to-xml: --xsl needs a stylesheet name\n"},
      {"to-vcard --xsl a out in", "tarvovcard to-vcard: unknown option '--xsl'\n"},
      {"show", "tarvovcard show: no INPUT file given\n"},
  };
  for (const auto& [arguments, first_line] : cases) {
    const Outcome run = Tarvovcard(dir, arguments);
    EXPECT_EQ(run.exit_status, 2) << arguments;
    EXPECT_EQ(run.err.rfind(first_line, 0), 0u) << arguments << ": " << run.err;
    EXPECT_NE(run.err.find("--help"), std::string::npos);
  }
}

TEST(Cli, ToVCardSavesAllInputsAndSaysWhereTheyWent) {
  ScratchDir dir;
  WriteFile(dir / "a.vcf", kCardA);
  WriteFile(dir / "b.vcf", kCardB);
  const Outcome one = Tarvovcard(dir, "to-vcard " + (dir / "one.vcf") + " " + (dir / "a.vcf"));
  EXPECT_EQ(one.exit_status, 0);
  EXPECT_EQ(one.err,
            "tarvovcard: 1 card from 1 file, 0 problems; saved to " + (dir / "one.vcf") + "\n");
  EXPECT_EQ(ReadFile(dir / "one.vcf"), kCardA);

  const Outcome two = Tarvovcard(
      dir, "to-vcard " + (dir / "two.vcf") + " " + (dir / "a.vcf") + " " + (dir / "b.vcf"));
  EXPECT_EQ(two.exit_status, 0);
  EXPECT_EQ(ReadFile(dir / "two.vcf"),
            std::string(kCardA) + CrLf("BEGIN:VCARD\nVERSION:2.1\nFN:B\nEND:VCARD\n"));
}

TEST(Cli, FailedLoadIsReportedAndWhatWasReadIsSavedAllTheSame) {
  ScratchDir dir;
  WriteFile(dir / "a.vcf", kCardA);
  WriteFile(dir / "bad.vcf", std::string(kCardB) + "BEGIN:VCARD\r\nFN:cut short\r\n");
  const Outcome missing = Tarvovcard(
      dir, "to-vcard " + (dir / "out.vcf") + " " + (dir / "a.vcf") + " " + (dir / "missing.vcf"));
  EXPECT_EQ(missing.exit_status, 1);
  EXPECT_EQ(missing.err, "tarvovcard: load " + (dir / "missing.vcf") +
                             ": 0x80070002 no such file\n" +
                             "tarvovcard: 1 card from 2 files, 0 problems; saved to " +
                             (dir / "out.vcf") + "\n");
  EXPECT_EQ(ReadFile(dir / "out.vcf"), kCardA);

  const Outcome bad = Tarvovcard(dir, "to-xml " + (dir / "out.xml") + " " + (dir / "bad.vcf"));
  EXPECT_EQ(bad.exit_status, 1);
  // The library's own diagnostic of the syntax error comes first.
  EXPECT_NE(bad.err.find("\ntarvovcard: load " + (dir / "bad.vcf") +
                         ": 0x8007000D the text had errors\n"),
            std::string::npos)
      << bad.err;
  EXPECT_NE(ReadFile(dir / "out.xml").find(Utf16File(u"<FN>B</FN>", false)), std::string::npos);
}

// Each problem of the Load as FILE:LINE: message; a lost line fails the run
// even when the last file is whole, repairs alone do not, and --quiet leaves
// the repairs out.
TEST(Cli, ProblemsAreReportedByFileAndLine) {
  ScratchDir dir;
  WriteFile(dir / "lost.vcf", "BEGIN:VCARD\nFN:a\nTEL;HOME 555\nEND:VCARD\n");
  WriteFile(dir / "repaired.vcf", "BEGIN:VCARD\nFN:b\nCATEGORIES:x\nEND:VCARD\n");
  const std::string lost_line = (dir / "lost.vcf") + ":3: unreadable line skipped\n";
  const std::string repair_line =
      (dir / "repaired.vcf") + ":3: property name outside the vocabulary kept as read\n";
  struct Case {
    std::string arguments;
    int exit_status;
    bool shows_lost, shows_repair;
  };
  const Case cases[] = {
      {"show " + (dir / "lost.vcf") + " " + (dir / "repaired.vcf"), 1, true, true},
      {"show --quiet " + (dir / "lost.vcf") + " " + (dir / "repaired.vcf"), 1, true, false},
      {"to-vcard " + (dir / "out.vcf") + " " + (dir / "repaired.vcf"), 0, false, true},
      {"to-xml -q " + (dir / "out.xml") + " " + (dir / "repaired.vcf"), 0, false, false},
  };
  for (const Case& c : cases) {
    const Outcome run = Tarvovcard(dir, c.arguments);
    EXPECT_EQ(run.exit_status, c.exit_status) << c.arguments << "\n" << run.err;
    EXPECT_EQ(run.err.find(lost_line) != std::string::npos, c.shows_lost) << run.err;
    EXPECT_EQ(run.err.find(repair_line) != std::string::npos, c.shows_repair) << run.err;
  }
}

TEST(Cli, EarlierInputThatCannotBeOpenedIsReportedThoughLoadAnswersForTheLastOnly) {
  ScratchDir dir;
  WriteFile(dir / "a.vcf", kCardA);
  const Outcome run =
      Tarvovcard(dir, "to-vcard " + (dir / "out.vcf") + " " + (dir / "missing.vcf") + " " +
                          dir.path() + " " + (dir / "a.vcf"));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.err, "tarvovcard: load " + (dir / "missing.vcf") + ": 0x80070002 no such file\n" +
                         "tarvovcard: load " + dir.path() +
                         ": 0x8007006E the file cannot be opened or created\n" +
                         "tarvovcard: 1 card from 3 files, 0 problems; saved to " +
                         (dir / "out.vcf") + "\n");
  EXPECT_EQ(ReadFile(dir / "out.vcf"), kCardA);
}

// The client never destroys a file: not one of its inputs (whatever the
// spelling), and not an existing output when no input could be read.
TEST(Cli, OutputThatIsAnInputOrLoadOfNothingLeavesTheFileAlone) {
  ScratchDir dir;
  WriteFile(dir / "in.vcf", kCardA);
  WriteFile(dir / "keep.vcf", kCardB);
  struct Case {
    std::string arguments;
    int exit_status;
    const char* err_start;
  };
  const Case cases[] = {
      {"to-vcard " + (dir / "in.vcf") + " " + (dir / "keep.vcf") + " " + dir.path() + "/./in.vcf",
       2, "tarvovcard to-vcard: OUTPUT '"},
      {"to-xml " + (dir / "in.vcf") + " " + (dir / "in.vcf"), 2, "tarvovcard to-xml: OUTPUT '"},
      {"to-vcard " + (dir / "keep.vcf") + " " + (dir / "missing.vcf"), 1, "tarvovcard: load "},
      {"to-xml " + (dir / "keep.vcf") + " " + (dir / "missing.vcf") + " " + dir.path(), 1,
       "tarvovcard: load "},
  };
  for (const Case& c : cases) {
    const Outcome run = Tarvovcard(dir, c.arguments);
    EXPECT_EQ(run.exit_status, c.exit_status) << c.arguments;
    EXPECT_EQ(run.err.rfind(c.err_start, 0), 0u) << run.err;
    EXPECT_EQ(ReadFile(dir / "in.vcf"), kCardA) << c.arguments;
    EXPECT_EQ(ReadFile(dir / "keep.vcf"), kCardB) << c.arguments;
  }
  const Outcome forced =
      Tarvovcard(dir, "to-vcard --force " + (dir / "keep.vcf") + " " + (dir / "missing.vcf"));
  EXPECT_EQ(forced.exit_status, 1);
  EXPECT_EQ(ReadFile(dir / "keep.vcf"), "");
}

TEST(Cli, FailedSaveIsReportedWithItsStatus) {
  ScratchDir dir;
  WriteFile(dir / "a.vcf", kCardA);
  const std::string output = dir / "no/such/folder/out.vcf";
  const Outcome run = Tarvovcard(dir, "to-vcard " + output + " " + (dir / "a.vcf"));
  EXPECT_EQ(run.exit_status, 1);
  const std::string cause = " (the folder " + (dir / "no/such/folder") + " does not exist)\n";
  EXPECT_EQ(run.err, "tarvovcard: save " + output +
                         ": 0x8007006E the file cannot be opened or created" + cause);
  const Outcome xml = Tarvovcard(dir, "to-xml " + output + " " + (dir / "a.vcf"));
  EXPECT_EQ(xml.exit_status, 1);
  EXPECT_EQ(xml.err, "tarvovcard: save as XML " + output +
                         ": 0x8007006E the file cannot be opened or created" + cause);
  // The cause of each kind of failure is named.
  const std::pair<std::string, std::string> causes[] = {
      {dir.path(), "(it is a folder)"},
      {dir / "a.vcf/out.vcf", "(" + (dir / "a.vcf") + " is not a folder)"},
  };
  for (const auto& [target, named] : causes) {
    const Outcome failed = Tarvovcard(dir, "to-vcard " + target + " " + (dir / "a.vcf"));
    EXPECT_EQ(failed.exit_status, 1);
    EXPECT_NE(failed.err.find(named), std::string::npos) << failed.err;
  }
}

// "-" is standard input and standard output; --version.
TEST(Cli, DashIsTheStandardStreamsAndVersionIsPrinted) {
  ScratchDir dir;
  WriteFile(dir / "a.vcf", kCardA);
  const std::string a = dir / "a.vcf";
  const struct {
    std::string command;
    const char* out_start;
    const char* err;
  } cases[] = {
      {"to-vcard - - <" + a, "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Doe;John",
       "tarvovcard: 1 card from 1 file, 0 problems; saved to standard output\n"},
      {"to-vcard - " + a + " - <" + a, "BEGIN:VCARD", "tarvovcard: 2 cards from 2 files"},
      {"to-xml - - <" + a, "\xFF\xFE<", "tarvovcard: 1 card from 1 file"},
      {"show - <" + a, "card 1: folder", "tarvovcard: 1 card from 1 file, 0 problems\n"},
      {"--version", "tarvovcard 1.", ""},
  };
  for (const auto& c : cases) {
    const Outcome run = Tarvovcard(dir, c.command);
    EXPECT_EQ(run.exit_status, 0) << c.command << ": " << run.err;
    EXPECT_EQ(run.out.rfind(c.out_start, 0), 0u) << c.command << ": " << run.out.substr(0, 40);
    EXPECT_EQ(run.err.rfind(c.err, 0), 0u) << c.command << ": " << run.err;
  }
  // A problem of standard input is reported as "-".
  WriteFile(dir / "bad.vcf", "BEGIN:VCARD\n;;x\nEND:VCARD\n");
  const Outcome bad = Tarvovcard(dir, "show - <" + (dir / "bad.vcf"));
  EXPECT_EQ(bad.exit_status, 1);
  EXPECT_NE(bad.err.find("-:2: unreadable line skipped\n"), std::string::npos) << bad.err;
  EXPECT_NE(bad.err.find("1 card from 1 file, 1 problem\n"), std::string::npos) << bad.err;
}

TEST(Cli, ToXmlNamesTheStylesheet) {
  ScratchDir dir;
  WriteFile(dir / "b.vcf", kCardB);
  const Outcome run =
      Tarvovcard(dir, "to-xml --xsl=cards.xsl " + (dir / "b.xml") + " " + (dir / "b.vcf"));
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(ReadFile(dir / "b.xml"),
            Utf16File(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
                      u"<?xml-stylesheet type=\"text/xsl\" href=\"cards.xsl\"?>\n"
                      u"<vCardSet>\n"
                      u"<vCard version=\"2.1\">\n<VERSION>2.1</VERSION>\n<FN>B</FN>\n</vCard>\n"
                      u"</vCardSet>\n"));
}

TEST(Cli, ShowPrintsTheTree) {
  ScratchDir dir;
  WriteFile(dir / "show.vcf",
            "BEGIN:VCARD\r\n"
            "home.TEL;HOME;X-ID=7:+1 555 0100\r\n"
            "NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:caf=C3=A9=0D=0A\"x\"\r\n"
            "BDAY:19960415T083000\r\n"
            "PHOTO;ENCODING=BASE64;GIF:\r\n"
            "    R0lGODlhAQABAIAAAP///wAAACwAAAAAAQABAAACAkQBADs=\r\n"
            "\r\n"
            "AGENT:\r\n"
            "BEGIN:VCARD\r\nFN:Agent\r\nEND:VCARD\r\n"
            "\r\n"
            "END:VCARD\r\n");
  const Outcome run = Tarvovcard(dir, "show " + (dir / "show.vcf"));
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.err, "tarvovcard: 1 card from 1 file, 0 problems\n");
  EXPECT_EQ(run.out, "card 1: folder \"" + dir.path() +
                         "\", file \"show.vcf\"\n"
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
                         "    parameter TYPE (type) = \"GIF\"\n"
                         "    value 1: bytes, 35 of them\n"
                         "  property AGENT\n"
                         "    value 1: card\n"
                         "      property FN\n"
                         "        value 1: text \"Agent\"\n");

  const Outcome missing = Tarvovcard(dir, "show " + (dir / "missing.vcf"));
  EXPECT_EQ(missing.exit_status, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err,
            "tarvovcard: load " + (dir / "missing.vcf") +
                ": 0x80070002 no such file\ntarvovcard: 0 cards from 1 file, 0 problems\n");
}

// One CSV row per card, quoted as RFC 4180 says; the output is not an input.
TEST(Cli, ToCsvWritesOneQuotedRowPerCard) {
  ScratchDir dir;
  WriteFile(dir / "c.vcf",
            "BEGIN:VCARD\r\nN:Doe;Jo\r\nFN:Doe, \"Jo\"\r\nTEL;HOME:1\r\nTEL;HOME;FAX:2\r\n"
            "TEL;CELL:3\r\nTEL;CELL:4\r\nNOTE;ENCODING=QUOTED-PRINTABLE:a=0D=0Ab\r\n"
            "ADR;WORK:;;Main St 1;Town;;;\r\nEND:VCARD\r\n" +
                std::string(kCardB));
  const Outcome run = Tarvovcard(dir, "to-csv " + (dir / "c.csv") + " " + (dir / "c.vcf"));
  EXPECT_EQ(run.exit_status, 0) << run.err;
  const std::string csv = ReadFile(dir / "c.csv");
  EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
            "Full name,Family name,Given name,Additional names,Prefix,Suffix,Organisation,"
            "Department,Title,Home phone,Work phone,Mobile phone,Fax,Other phone,E-mail,"
            "Home address,Work address,Other address,URL,Note");
  EXPECT_EQ(csv.substr(csv.find("\r\n") + 2),
            "\"Doe, \"\"Jo\"\"\",Doe,Jo,,,,,,,1,,3; 4,2,,,,\"Main St 1, Town\",,,\"a\r\nb\"\r\n"
            "B,,,,,,,,,,,,,,,,,,,\r\n");
  EXPECT_EQ(run.err,
            "tarvovcard: 2 cards from 1 file, 0 problems; written to " + (dir / "c.csv") + "\n");
  const Outcome same = Tarvovcard(dir, "to-csv " + (dir / "c.vcf") + " " + (dir / "c.vcf"));
  EXPECT_EQ(same.exit_status, 2);
  EXPECT_EQ(ReadFile(dir / "c.vcf").rfind("BEGIN:VCARD\r\nN:Doe", 0), 0u);
}

// An HTML contact sheet through the shipped stylesheet: names, organisation,
// phones with their types, addresses and the photo inline.
TEST(Cli, ToHtmlRendersAContactSheet) {
  ScratchDir dir;
  const std::string sample = std::string(TARVOVCARD_SOURCE_DIR) + "/examples/sample.vcf";
  const Outcome run = Tarvovcard(dir, "to-html " + (dir / "c.html") + " " + sample);
  EXPECT_EQ(run.exit_status, 0) << run.err;
  const std::string html = ReadFile(dir / "c.html");
  for (const char* part :
       {"<!DOCTYPE html>", "<h1>Contacts (2)</h1>", "<h2>Dr. Ada Lindqvist</h2>",
        "Tarvov Instruments AB (Research; Development)",
        "<a href=\"tel:+4685550142\">+46 8 555 0142</a> <span "
        "class=\"type\">WORK VOICE</span>",
        "Storgatan 12", "src=\"data:image/gif;base64,R0lGODlh", "Okafor &amp; Sons"}) {
    EXPECT_NE(html.find(part), std::string::npos) << part;
  }
  const Outcome missing = Tarvovcard(
      dir, "to-html --xsl " + (dir / "none.xsl") + " " + (dir / "d.html") + " " + sample);
  EXPECT_EQ(missing.exit_status, 1);
  EXPECT_NE(missing.err.find("the stylesheet"), std::string::npos) << missing.err;
  EXPECT_FALSE(FileExists(dir / "d.html"));
}

}  // namespace
