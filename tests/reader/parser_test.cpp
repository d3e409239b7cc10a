#include "frame/file_calls.h"
#include "reader/parser.h"

#include <memory>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include <string>
#include <vector>

#include "reader/input.h"
#include "reader/problems.h"
#include "reader/reader_test_files.h"

namespace tarvovcard::reader {
namespace {

// Records every event as one line of text.
struct Recorder : ParseEvents {
  std::vector<std::string> events;

  void OnBeginCard() override { events.push_back("begin"); }
  void OnEndCard() override { events.push_back("end"); }
  void OnProperty(const char* name, const char* group) override {
    events.push_back(std::string("property ") + name + " [" + group + "]");
  }
  void OnParameter(const char* name, const char* value) override {
    events.push_back(std::string("parameter ") + name + "=" + value);
  }
  void OnValue(const char* text) override { events.push_back(std::string("value ") + text); }
  void OnDateValue(const char* text) override { events.push_back(std::string("date ") + text); }
  void OnComponent(const char* text) override { events.push_back(std::string("part ") + text); }
  void OnDiscardProperty() override { events.push_back("discard"); }
  void OnParseError(const char* message) override {
    events.push_back(std::string("error ") + message);
  }
};

// Ignores every event.
struct NoEvents : ParseEvents {};

using Events = std::vector<std::string>;

struct Parse {
  int result;
  Events events;
  std::string stderr_text;
  std::string stdout_text;
  std::string problems;  // "LINE lost|repaired: message" per entry
};

Parse ParseBytes(std::string_view bytes) {
  std::string path = testing::WriteTestFile("parse.vcf", bytes);
  Recorder recorder;
  Parse p{};
  ::testing::internal::CaptureStderr();
  ::testing::internal::CaptureStdout();
  ProblemLog log;
  p.result = ParseFile(recorder, path.c_str(), &log);
  p.stdout_text = ::testing::internal::GetCapturedStdout();
  p.stderr_text = ::testing::internal::GetCapturedStderr();
  p.events = recorder.events;
  for (const model::LoadProblem& entry : log.entries()) {
    if (!p.problems.empty()) p.problems += "\n";
    p.problems += std::to_string(entry.line) + (entry.lost ? " lost: " : " repaired: ") +
                  entry.message + " [" + entry.text + "]";
  }
  return p;
}

std::string Card(std::string_view body) {
  return "BEGIN:VCARD\n" + std::string(body) + "END:VCARD\n";
}

TEST(ParseFile, TwoCardsGiveTheirEventsInOrder) {
  std::string card = Card("VERSION:2.1\nFN:x\n");
  Parse p = ParseBytes(card + card);
  Events one = {"begin", "property VERSION []", "value 2.1", "property FN []", "value x", "end"};
  Events both = one;
  both.insert(both.end(), one.begin(), one.end());
  EXPECT_EQ(p.events, both);
  EXPECT_EQ(p.result, kParseOk);
  EXPECT_EQ(p.stderr_text, "");
}

TEST(ParseFile, LineEndsMayBeCarriageReturnLineFeed) {
  Parse p = ParseBytes("BEGIN:VCARD\r\nN:A;B\r\nEND:VCARD\r\n");
  EXPECT_EQ(p.events, (Events{"begin", "property N []", "part A", "part B", "end"}));
  EXPECT_EQ(p.result, kParseOk);
}

TEST(ParseFile, GroupsParametersAndNamesAsWritten) {
  Parse p = ParseBytes(Card("a.b.tel;Home;x-foo=bar;ENCODING=quoted-printable:1\n"));
  EXPECT_EQ(p.events,
            (Events{"begin", "property tel [a.b]", "parameter TYPE=Home", "parameter X-foo=bar",
                    "parameter ENCODING=quoted-printable", "value 1", "end"}));
  // The group of one line does not stay for the next.
  Parse q = ParseBytes(Card("g.TEL:1\nFN:x\n"));
  EXPECT_EQ(q.events,
            (Events{"begin", "property TEL [g]", "value 1", "property FN []", "value x", "end"}));
}

TEST(ParseFile, ExtensionPropertiesAndParameters) {
  Parse p = ParseBytes(Card("X-FOO;X-BAR=baz:v\nX-MS-OL-DEFAULT-POSTAL-ADDRESS;X-A-B=c:2\n"));
  EXPECT_EQ(p.events, (Events{"begin", "property X-FOO []", "parameter X-BAR=baz", "value v",
                              "property X-MS-OL-DEFAULT-POSTAL-ADDRESS []", "parameter X-A-B=c",
                              "value 2", "end"}));
  EXPECT_EQ(p.stdout_text, "");
}

TEST(ParseFile, ParameterForms) {
  Parse p =
      ParseBytes(Card("PHOTO;VALUE=URL;TYPE=GIF:http://x\n"
                      "KEY;TYPE=X-PGP2;VALUE=X-REF;ENCODING=X-ABC:k\n"
                      "NOTE;QUOTED-PRINTABLE;CHARSET=UTF-8;LANGUAGE=fi-FI;BASE64;8BIT;7BIT:n\n"));
  EXPECT_EQ(
      p.events,
      (Events{"begin", "property PHOTO []", "parameter VALUE=URL", "parameter TYPE=GIF",
              "value http://x", "property KEY []", "parameter TYPE=X-PGP2", "parameter VALUE=X-REF",
              "parameter ENCODING=X-ABC", "value k", "property NOTE []",
              "parameter ENCODING=QUOTED-PRINTABLE", "parameter CHARSET=UTF-8",
              "parameter LANGUAGE=fi-FI", "parameter ENCODING=BASE64", "parameter ENCODING=8BIT",
              "parameter ENCODING=7BIT", "value n", "end"}));
}

TEST(ParseFile, StructuredComponentsKeepTheirPositions) {
  Parse p = ParseBytes(Card("N:;;\nN:\nN:A;B\nADR:a;b\nORG:o;\nSOUND:s\n"));
  EXPECT_EQ(p.events,
            (Events{"begin", "property N []", "part ", "part ", "part ", "property N []", "part ",
                    "property N []", "part A", "part B", "property ADR []", "part a", "part b",
                    "property ORG []", "part o", "part ", "property SOUND []", "part s", "end"}));
}

TEST(ParseFile, AbsentValuesAreTheLineFeed) {
  Parse p = ParseBytes(Card("TEL:\nBDAY:\nREV:19951031T222710Z\n"));
  EXPECT_EQ(p.events, (Events{"begin", "property TEL []", "value \n", "property BDAY []", "date \n",
                              "property REV []", "date 19951031T222710Z", "end"}));
}

TEST(ParseFile, QuotedPrintableAndBase64Values) {
  Parse p =
      ParseBytes(Card("NOTE;ENCODING=QUOTED-PRINTABLE:a=0D=0A=\nb\n"
                      "ADR;QUOTED-PRINTABLE:x=3D;y\n"
                      "SOUND;ENCODING=BASE64:\n QUJD\n\n"
                      "PHOTO;BASE64:\n  QUJD\n  REVG\n\n"));
  EXPECT_EQ(p.events,
            (Events{"begin", "property NOTE []", "parameter ENCODING=QUOTED-PRINTABLE",
                    "value a=0D=0A=\nb", "property ADR []", "parameter ENCODING=QUOTED-PRINTABLE",
                    "part x=3D", "part y", "property SOUND []", "parameter ENCODING=BASE64",
                    "part \n QUJD", "property PHOTO []", "parameter ENCODING=BASE64",
                    "value \n  QUJD\n  REVG", "end"}));
  EXPECT_EQ(p.result, kParseOk);
}

TEST(ParseFile, AgentHoldsANestedCard) {
  Parse p = ParseBytes(Card("FN:a\nAGENT;TYPE=WORK:\nBEGIN:VCARD\nFN:b\nEND:VCARD\nTEL:1\n"));
  EXPECT_EQ(p.events, (Events{"begin", "property FN []", "value a", "property AGENT []",
                              "parameter TYPE=WORK", "begin", "property FN []", "value b", "end",
                              "property TEL []", "value 1", "end"}));
  EXPECT_EQ(p.result, kParseOk);
}

TEST(ParseFile, NicknameIsReadLikeAnyProperty) {
  Parse p = ParseBytes(Card("NICKNAME:B\n"));
  EXPECT_EQ(p.events, (Events{"begin", "property NICKNAME []", "value B", "end"}));
}

// A line that the grammar refuses is skipped alone, wherever the refusal
// falls in it: what the line began is withdrawn, the error counts, and the
// reading resumes at the next line that starts a property, BEGIN or END.
TEST(ParseFile, RefusedLineIsSkippedAlone) {
  struct Case {
    const char* body;  // between BEGIN:VCARD and END:VCARD, before FN:z
    const char* stderr_text;
    Events events;  // between "begin" and the FN:z property
    const char* problems;
  };
  const Case cases[] = {
      // No ":" at all.
      {"TEL;HOME 555\n",
       "*** ERROR: syntax error\nyychar 260\n",
       {"property TEL []", "parameter TYPE=HOME", "error syntax error", "discard"},
       "2 lost: unreadable line skipped [TEL;HOME 555]"},
      // A parameter without its value: refused in the middle of the line.
      {"TEL;TYPE=:1\n",
       "*** ERROR: syntax error\nyychar 58\n",
       {"property TEL []", "error syntax error", "discard"},
       "2 lost: unreadable line skipped [TEL;TYPE=:1]"},
      // A type keyword where a value location belongs: its own code.
      {"PHOTO;VALUE=GIF:x\n",
       "*** ERROR: syntax error\nyychar 331\n",
       {"property PHOTO []", "error syntax error", "discard"},
       "2 lost: unreadable line skipped [PHOTO;VALUE=GIF:x]"},
      // Refused at its line feed; the lines after it that start nothing go
      // with it.
      {"junk\n more\n=C3=A9\n",
       "*** ERROR: syntax error\nyychar 263\n",
       {"property junk []", "error syntax error", "discard"},
       "2 lost: unreadable line skipped, with the 2 lines after it [junk]"},
      // Refused before any property began.
      {".TEL:1\n",
       "*** ERROR: syntax error\nyychar 46\n",
       {"error syntax error"},
       "2 lost: unreadable line skipped [.TEL:1]"},
      // Each refused line that starts a property is one problem of its own.
      {"a b\nTEL;HOME 1\n",
       "*** ERROR: syntax error\nyychar 260\n*** ERROR: syntax error\nyychar 260\n",
       {"property a []", "error syntax error", "discard", "property TEL []", "parameter TYPE=HOME",
        "error syntax error", "discard"},
       "2 lost: unreadable line skipped [a b]\n3 lost: unreadable line skipped [TEL;HOME 1]"},
  };
  for (const Case& c : cases) {
    Parse p = ParseBytes(Card(std::string(c.body) + "FN:z\n") + Card("FN:y\n"));
    Events events{"begin"};
    events.insert(events.end(), c.events.begin(), c.events.end());
    events.insert(events.end(), {"property FN []", "value z", "end", "begin", "property FN []",
                                 "value y", "end"});
    EXPECT_EQ(p.events, events) << c.body;
    EXPECT_EQ(p.result, kParseInvalidData) << c.body;
    EXPECT_EQ(p.stderr_text, c.stderr_text) << c.body;
    EXPECT_EQ(p.problems, c.problems) << c.body;
    EXPECT_EQ(p.stdout_text, "") << c.body;
  }
}

// Lines between cards that are no card are skipped the same way, and a card
// may be empty.
TEST(ParseFile, RefusedLinesBetweenCardsAndEmptyCards) {
  Parse p = ParseBytes(Card("FN:a\n") + "hello there\n" + "BEGIN:VCARD\nEND:VCARD\n");
  EXPECT_EQ(p.events, (Events{"begin", "property FN []", "value a", "end", "error syntax error",
                              "begin", "end"}));
  EXPECT_EQ(p.problems, "4 lost: unreadable line skipped [hello there]");
  EXPECT_EQ(p.result, kParseInvalidData);
}

// A last card without a final line end, or followed by blank lines, is read.
TEST(ParseFile, LastCardWithoutLineEndOrWithBlankLinesIsRead) {
  for (std::string tail : {"", "\n\n", "\n\n\n\n", "\n \t\n", "\r\n\r\n"}) {
    std::string text = "BEGIN:VCARD\nFN:a\nEND:VCARD" + tail;
    Parse p = ParseBytes(text);
    EXPECT_EQ(p.events, (Events{"begin", "property FN []", "value a", "end"})) << text;
    EXPECT_EQ(p.result, kParseOk) << text;
    EXPECT_EQ(p.stderr_text, "") << text;
  }
  // A last value line without its line end, in a card that never ends.
  Parse open = ParseBytes("BEGIN:VCARD\nTEL:");
  EXPECT_EQ(open.events, (Events{"begin", "property TEL []", "value \n", "error syntax error"}));
  EXPECT_EQ(open.result, kParseInvalidData);
  EXPECT_EQ(open.stderr_text, "*** ERROR/EOF: syntax error\n");
}

// Blank lines between cards and between property lines are skipped.
TEST(ParseFile, BlankLinesAreSkipped) {
  Parse p = ParseBytes("\n\n  \nBEGIN:VCARD\n\nFN:a\n \n\t\nTEL:1\n\nEND:VCARD\n\n" +
                       Card("FN:b\n") + "\n  \n\t\t\n" + Card("FN:c\n"));
  EXPECT_EQ(p.events, (Events{"begin", "property FN []", "value a", "property TEL []", "value 1",
                              "end", "begin", "property FN []", "value b", "end", "begin",
                              "property FN []", "value c", "end"}));
  EXPECT_EQ(p.result, kParseOk);
  EXPECT_EQ(p.stdout_text, "");
}

// A syntax error counts whatever the file's size; only the end of the text
// refused outside any card does not.
TEST(ParseFile, ErrorsCountInSmallFilesExceptACutOffLastLine) {
  Parse junk = ParseBytes(Card("FN:a\n") + "junk\n");
  EXPECT_EQ(junk.events.back(), "error syntax error");
  EXPECT_EQ(junk.result, kParseInvalidData);
  EXPECT_EQ(junk.stderr_text, "*** ERROR: syntax error\nyychar 370\n");

  Parse cut = ParseBytes(Card("FN:a\n") + "BEGIN:");
  EXPECT_EQ(cut.events,
            (Events{"begin", "property FN []", "value a", "end", "error syntax error"}));
  EXPECT_EQ(cut.result, kParseOk);
  EXPECT_EQ(cut.stderr_text, "*** ERROR/EOF: syntax error\n");

  Parse unfinished = ParseBytes(Card("FN:a\n") + "BEGIN:VCARD\nFN:b\n");
  EXPECT_EQ(unfinished.result, kParseInvalidData);
  EXPECT_EQ(unfinished.problems, "5 lost: the file ends inside a card: the card is dropped []");

  Parse empty = ParseBytes("");
  EXPECT_EQ(empty.result, kParseOk);
  EXPECT_EQ(empty.events, (Events{"error syntax error"}));
}

TEST(ParseFile, DepthStartsAtZeroForEveryFile) {
  std::string open_card = testing::WriteTestFile("open.vcf", "BEGIN:VCARD\nFN:a\n");
  std::string good = testing::WriteTestFile("good.vcf", Card("FN:b\n"));
  Recorder recorder;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ParseFile(recorder, open_card.c_str()), kParseInvalidData);
  EXPECT_EQ(ParseFile(recorder, good.c_str()), kParseOk);
  ::testing::internal::GetCapturedStderr();
}

TEST(ParseFile, EventsNotOverriddenAreSkipped) {
  NoEvents nothing;
  std::string path = testing::WriteTestFile("nocallbacks.vcf", Card("FN:a\nN:b;c\n"));
  EXPECT_EQ(ParseFile(nothing, path.c_str()), kParseOk);
}

TEST(ParseFile, FilesThatCannotBeRead) {
  NoEvents context;
  EXPECT_EQ(ParseFile(context, testing::MissingTestFile("missing.vcf").c_str()),
            kParseFileNotFound);
  EXPECT_EQ(ParseFile(context, (testing::MissingTestFile("nofolder") + "/x.vcf").c_str()),
            kParseFileNotFound);
  EXPECT_EQ(ParseFile(context, ""), kParseFileNotFound);
  EXPECT_EQ(ParseFile(context, "/"), kParseOpenFailed);
}

// The file calls can be made to fail: access denied, and a read that fails.
struct FailingCalls {
  static inline int open_errno = 0;
  static inline bool fail_read = false;
  static int Open(const char* path, int flags) {
    if (open_errno) {
      errno = open_errno;
      return -1;
    }
    return ::open(path, flags);
  }
  static ssize_t Read(int fd, void* buffer, std::size_t size) {
    if (fail_read) {
      errno = EIO;
      return -1;
    }
    return ::read(fd, buffer, size);
  }
  // The system's calls with these three in place.
  static const frame::FileCalls& Calls() {
    static const frame::FileCalls calls = [] {
      frame::FileCalls c = frame::SystemFileCalls();
      c.open = Open;
      c.read = Read;
      c.close = ::close;
      return c;
    }();
    return calls;
  }
};

TEST(ParseFile, AccessDeniedAndReadFailures) {
  std::string path = testing::WriteTestFile("denied.vcf", Card("FN:a\n"));
  Recorder context;
  auto scope = std::make_unique<frame::ScopedFileCalls>(FailingCalls::Calls());
  FailingCalls::open_errno = EACCES;
  EXPECT_EQ(ParseFile(context, path.c_str()), kParseAccessDenied);
  FailingCalls::open_errno = EMFILE;
  EXPECT_EQ(ParseFile(context, path.c_str()), kParseOpenFailed);
  FailingCalls::open_errno = 0;
  FailingCalls::fail_read = true;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ParseFile(context, path.c_str()), kParseInvalidData);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "input in flex scanner failed\n");
  EXPECT_EQ(context.events, (Events{"error input in flex scanner failed"}));
  FailingCalls::fail_read = false;
  scope.reset();
  EXPECT_EQ(ParseFile(context, path.c_str()), kParseOk);
}

TEST(ParseFile, CallbackExceptionsPassAfterTheFileIsClosed) {
  std::string path = testing::WriteTestFile("throws.vcf", Card("FN:a\n"));
  struct Throws : ParseEvents {
    void OnValue(const char*) override { throw std::runtime_error("stop"); }
  } throws;
  EXPECT_THROW(ParseFile(throws, path.c_str()), std::runtime_error);
  // Nothing is left behind: the next parse of the same file works.
  NoEvents nothing;
  EXPECT_EQ(ParseFile(nothing, path.c_str()), kParseOk);
}

TEST(ParseFile, DeepNestingOverflowsTheStacksCleanly) {
  std::string text;
  std::string end;
  for (int i = 0; i < 3000; ++i) {
    text += "BEGIN:VCARD\nAGENT:\n";
  }
  Parse p = ParseBytes(text);
  EXPECT_EQ(p.result, kParseInvalidData);
  EXPECT_EQ(p.stderr_text.substr(0, 31), "*** ERROR: yacc stack overflow\n");
}

TEST(ParseFile, LongGroupsAndNamesAreKeptWhole) {
  std::string group(5000, 'g');
  std::string name(3000, 'N');
  Parse p = ParseBytes(Card(group + "." + group + ".X-" + name + ";X-" + name + "=v:1\n"));
  EXPECT_EQ(p.events, (Events{"begin", "property X-" + name + " [" + group + "." + group + "]",
                              "parameter X-" + name + "=v", "value 1", "end"}));
}

}  // namespace
}  // namespace tarvovcard::reader
