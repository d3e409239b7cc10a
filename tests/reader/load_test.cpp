// Load of VCardColl: the file-list argument, statuses over lists of files,
// and large generated inputs.
#include "frame/file_calls.h"
#include "reader/load.h"

#include <memory>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "reader/input.h"
#include "reader/model_text.h"
#include "reader/reader_test_files.h"
#include "support/corpus.h"
#include "support/corpus_tally.h"

namespace tarvovcard::reader {
namespace {

using testing::CardCount;
using testing::DescribeAll;
using testing::LoadList;
using testing::LoadOne;
using testing::NewCollection;
using testing::ReportOf;
using testing::Wide;
using Cards = std::vector<std::string>;

constexpr HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
constexpr HRESULT kDenied = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
constexpr HRESULT kInvalidData = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
constexpr HRESULT kOpenFailed = HRESULT_FROM_WIN32(ERROR_OPEN_FAILED);

std::string Card(std::string_view fn) {
  return "BEGIN:VCARD\nFN:" + std::string(fn) + "\nEND:VCARD\n";
}

// Diagnostics of bad files are expected here; keep them out of the log.
class Quiet {
 public:
  Quiet() { ::testing::internal::CaptureStderr(); }
  ~Quiet() { ::testing::internal::GetCapturedStderr(); }
};

class Load : public ::testing::Test {
 protected:
  void SetUp() override {
    good_a_ = testing::WriteTestFile("a.vcf", Card("a1") + Card("a2"));
    good_b_ = testing::WriteTestFile("b.vcf", Card("b1"));
    missing_ = testing::MissingTestFile("missing.vcf");
    bad_ = testing::WriteTestFile(
        "bad.vcf", Card("c1") + "BEGIN:VCARD\nFN:c2\nTEL;HOME 1\nEND:VCARD\n" + Card("c3"));
    collection_ = NewCollection();
  }

  Cards Names() {
    Cards names;
    for (const std::string& card : DescribeAll(collection_)) names.push_back(card.substr(3));
    return names;
  }

  std::string good_a_, good_b_, missing_, bad_;
  CComPtr<IVCardColl> collection_;
};

TEST_F(Load, OneNameOrAList) {
  EXPECT_EQ(LoadOne(collection_, good_a_), S_OK);
  EXPECT_EQ(Names(), (Cards{"a1", "a2"}));
  EXPECT_EQ(LoadList(collection_, {good_a_, good_b_}), S_OK);
  EXPECT_EQ(Names(), (Cards{"a1", "a2", "b1"}));
}

TEST_F(Load, SecondLoadReplacesTheCards) {
  ASSERT_EQ(LoadOne(collection_, good_a_), S_OK);
  ASSERT_EQ(LoadOne(collection_, good_b_), S_OK);
  EXPECT_EQ(Names(), (Cards{"b1"}));
}

TEST_F(Load, EmptyListEmptiesTheCollection) {
  ASSERT_EQ(LoadOne(collection_, good_a_), S_OK);
  EXPECT_EQ(LoadList(collection_, {}), S_OK);
  EXPECT_EQ(CardCount(collection_), 0);
}

TEST_F(Load, StatusIsThatOfTheLastFile) {
  Quiet quiet;
  EXPECT_EQ(LoadList(collection_, {missing_, good_a_}), S_OK);
  EXPECT_EQ(Names(), (Cards{"a1", "a2"}));
  EXPECT_EQ(LoadList(collection_, {good_a_, missing_}), kNotFound);
  EXPECT_EQ(Names(), (Cards{"a1", "a2"}));
  EXPECT_EQ(LoadList(collection_, {good_b_, bad_}), kInvalidData);
  EXPECT_EQ(Names(), (Cards{"b1", "c1", "c2", "c3"}));
}

// A failing file does not disturb the next file of the same Load.
TEST_F(Load, FailingFilesDoNotDisturbTheNext) {
  Quiet quiet;
  EXPECT_EQ(LoadList(collection_, {bad_, good_b_}), S_OK);
  EXPECT_EQ(Names(), (Cards{"c1", "c2", "c3", "b1"}));
  EXPECT_EQ(LoadList(collection_, {missing_, good_b_}), S_OK);
  EXPECT_EQ(Names(), (Cards{"b1"}));
  // A file whose last card never ends, then a good one: the open card of the
  // first stays out, and the second is read from a clean start.
  std::string open = testing::WriteTestFile("open.vcf", Card("o1") + "BEGIN:VCARD\nFN:o2\n");
  EXPECT_EQ(LoadList(collection_, {open, good_b_}), S_OK);
  EXPECT_EQ(Names(), (Cards{"o1", "b1"}));
  EXPECT_EQ(LoadList(collection_, {good_b_, open}), kInvalidData);
  EXPECT_EQ(Names(), (Cards{"b1", "o1"}));
  std::string folder = testing::MissingTestFile("folder");
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  EXPECT_EQ(LoadList(collection_, {good_b_, folder}), kOpenFailed);
  EXPECT_EQ(LoadList(collection_, {folder, good_b_}), S_OK);
  EXPECT_EQ(Names(), (Cards{"b1"}));
}

struct DeniedCalls {
  static inline std::string denied_path;
  static inline bool fail_reads = false;
  // Reads of this file fail; its descriptor is remembered when it is opened.
  static inline std::string failing_path;
  static inline int failing_fd = -1;
  static int Open(const char* path, int flags) {
    if (path == denied_path) {
      errno = EACCES;
      return -1;
    }
    int fd = ::open(path, flags);
    if (path == failing_path) failing_fd = fd;
    return fd;
  }
  static ssize_t Read(int fd, void* buffer, std::size_t size) {
    if (fail_reads || fd == failing_fd) {
      errno = EIO;
      return -1;
    }
    return ::read(fd, buffer, size);
  }
  static int Close(int fd) {
    if (fd == failing_fd) failing_fd = -1;
    return ::close(fd);
  }
  // The system's calls with these three in place.
  static const frame::FileCalls& Calls() {
    static const frame::FileCalls calls = [] {
      frame::FileCalls c = frame::SystemFileCalls();
      c.open = Open;
      c.read = Read;
      c.close = Close;
      return c;
    }();
    return calls;
  }
};

TEST_F(Load, UnreadableFiles) {
  Quiet quiet;
  DeniedCalls::denied_path = good_a_;
  auto scope = std::make_unique<frame::ScopedFileCalls>(DeniedCalls::Calls());
  EXPECT_EQ(LoadList(collection_, {good_b_, good_a_}), kDenied);
  EXPECT_EQ(Names(), (Cards{"b1"}));
  EXPECT_EQ(LoadList(collection_, {good_a_, good_b_}), S_OK);
  EXPECT_EQ(Names(), (Cards{"b1"}));
  DeniedCalls::fail_reads = true;
  EXPECT_EQ(LoadList(collection_, {good_b_}), kInvalidData);
  EXPECT_EQ(CardCount(collection_), 0);
  DeniedCalls::fail_reads = false;
  // A file whose read fails, then a good one.
  DeniedCalls::denied_path.clear();
  DeniedCalls::failing_path = good_a_;
  EXPECT_EQ(LoadList(collection_, {good_a_, good_b_}), S_OK);
  EXPECT_EQ(Names(), (Cards{"b1"}));
  EXPECT_EQ(LoadList(collection_, {good_b_, good_a_}), kInvalidData);
  EXPECT_EQ(Names(), (Cards{"b1"}));
  DeniedCalls::failing_path.clear();
  DeniedCalls::failing_fd = -1;
  scope.reset();
  if (::geteuid() != 0) {
    // Without the stand-in calls too, where the machine can arrange it.
    std::string locked = testing::WriteTestFile("locked.vcf", Card("l1"));
    ::chmod(locked.c_str(), 0);
    EXPECT_EQ(LoadList(collection_, {locked}), kDenied);
  }
}

TEST_F(Load, RefusedArgumentsLeaveTheCollectionAlone) {
  ASSERT_EQ(LoadOne(collection_, good_a_), S_OK);
  CComVariant number;
  number.vt = VT_I4;
  number.lVal = 1;
  EXPECT_EQ(collection_->Load(number), E_INVALIDARG);

  CComBSTR name = testing::Wide(good_b_);
  VARIANT by_reference;
  VariantInit(&by_reference);
  by_reference.vt = VT_BYREF | VT_BSTR;
  by_reference.pbstrVal = &name.m_str;
  EXPECT_EQ(collection_->Load(by_reference), E_INVALIDARG);

  VARIANT no_array;
  VariantInit(&no_array);
  no_array.vt = VT_ARRAY | VT_BSTR;
  no_array.parray = nullptr;
  EXPECT_EQ(collection_->Load(no_array), E_INVALIDARG);

  VARIANT null_name;
  VariantInit(&null_name);
  null_name.vt = VT_BSTR;
  null_name.bstrVal = nullptr;
  EXPECT_EQ(collection_->Load(null_name), E_INVALIDARG);

  CComVariant list;
  list.vt = VT_ARRAY | VT_BSTR;
  list.parray = SafeArrayCreateVector(VT_BSTR, 0, 2);
  LONG first = 0;
  SafeArrayPutElement(list.parray, &first, name.m_str);  // the second stays null
  EXPECT_EQ(collection_->Load(list), E_INVALIDARG);

  CComVariant variants;
  variants.vt = VT_ARRAY | VT_VARIANT;
  variants.parray = SafeArrayCreateVector(VT_VARIANT, 0, 1);
  EXPECT_EQ(collection_->Load(variants), E_INVALIDARG);

  EXPECT_EQ(Names(), (Cards{"a1", "a2"}));
}

TEST_F(Load, FolderAndFileNamesOfAnyLength) {
  // A path far beyond 260 bytes, in nested folders.
  std::string folder = testing::MissingTestFile("deep");
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  for (int i = 0; i < 6; ++i) {
    folder += "/" + std::string(100, static_cast<char>('a' + i));
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  }
  std::string name(200, 'n');
  std::string path = folder + "/" + name;
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::string text = Card("deep");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  ASSERT_EQ(LoadOne(collection_, path), S_OK);
  ASSERT_EQ(CardCount(collection_), 1);
  CComBSTR got_folder, got_name;
  testing::CardAt(collection_, 0)->get_FolderPath(&got_folder);
  testing::CardAt(collection_, 0)->get_Filename(&got_name);
  EXPECT_EQ(testing::Utf8(got_folder), folder);
  EXPECT_EQ(testing::Utf8(got_name), name);
}

// Names relative to the working folder, written the Windows way: the split
// keeps a drive root's backslash and gives a bare name an empty folder.
TEST_F(Load, FolderAndFileNameSplit) {
  std::string here_folder = good_a_.substr(0, good_a_.rfind('/'));
  testing::WriteTestFile("C:\\cards.vcf", Card("c"));
  testing::WriteTestFile("D:\\a\\b\\x.vcf", Card("d"));
  char here[4096];
  ASSERT_NE(::getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(::chdir(here_folder.c_str()), 0);
  struct Case {
    const char* name;
    const char* folder;
    const char* file_name;
  };
  const Case cases[] = {
      {"a.vcf", "", "a.vcf"},
      {"C:\\cards.vcf", "C:\\", "cards.vcf"},
      {"D:\\a\\b\\x.vcf", "D:\\a\\b", "x.vcf"},
  };
  for (const Case& c : cases) {
    HRESULT status = LoadOne(collection_, c.name);
    EXPECT_EQ(status, S_OK) << c.name;
    if (status != S_OK) continue;
    CComBSTR got_folder, got_name;
    testing::CardAt(collection_, 0)->get_FolderPath(&got_folder);
    testing::CardAt(collection_, 0)->get_Filename(&got_name);
    EXPECT_EQ(testing::Utf8(got_folder), c.folder) << c.name;
    EXPECT_EQ(testing::Utf8(got_name), c.file_name) << c.name;
  }
  ASSERT_EQ(::chdir(here), 0);
}

// File names are the file system's (UTF-8), as Save makes them: letters
// beyond the ANSI code page are found and kept.
TEST_F(Load, FileNamesBeyondTheAnsiCodePage) {
  const std::string name = "J\xC3\xBCrgen \xCE\xA9mega \xE6\x9D\xB1.vcf";
  std::string path = testing::WriteTestFile(name, Card("u1"));
  ASSERT_EQ(LoadOne(collection_, path), S_OK);
  ASSERT_EQ(Names(), (Cards{"u1"}));
  CComBSTR got_folder, got_name;
  testing::CardAt(collection_, 0)->get_FolderPath(&got_folder);
  testing::CardAt(collection_, 0)->get_Filename(&got_name);
  EXPECT_EQ(testing::Utf8(got_folder), path.substr(0, path.rfind('/')));
  EXPECT_EQ(testing::Utf8(got_name), name);
}

// A junk line after the last card counts; the cards before it stay.
TEST_F(Load, JunkAfterTheLastCardCounts) {
  Quiet quiet;
  std::string junk = testing::WriteTestFile("junk.vcf", Card("j1") + "junk\n");
  EXPECT_EQ(LoadOne(collection_, junk), kInvalidData);
  EXPECT_EQ(Names(), (Cards{"j1"}));
  std::string cut = testing::WriteTestFile("cut.vcf", Card("j1") + "BEGIN:");
  EXPECT_EQ(LoadOne(collection_, cut), S_OK);
  EXPECT_EQ(Names(), (Cards{"j1"}));
}

// What phones, mail clients and address books write, one example per row:
// read into the model as shown (the card after it included), reported as
// shown, and read back the same after Save.
TEST(LoadLenient, WhatOtherProgramsWriteIsKept) {
  struct Case {
    const char* lines;  // the card's lines after BEGIN:VCARD
    const char* model;  // Describe of the card
    const char* report;
  };
  const Case cases[] = {
      // Names outside the vocabulary.
      {"CATEGORIES:My Contacts\nNICKNAME:Johny\nFBURL;ENCODING=QUOTED-PRINTABLE:http://x=3Dy\n"
       "ANNIVERSARY;VALUE=DATE:2001-05-04\nsort-string:Doe\nEND:VCARD\n",
       "CATEGORIES:My Contacts\nNICKNAME:Johny\nFBURL;ENCODING=QUOTED-PRINTABLE:http://x=y\n"
       "ANNIVERSARY;VALUE=DATE:2001-05-04\nsort-string:Doe",
       "3 repaired: property name outside the vocabulary kept as read [CATEGORIES:My Contacts]\n"
       "4 repaired: property name outside the vocabulary kept as read [NICKNAME:Johny]\n"
       "5 repaired: property name outside the vocabulary kept as read "
       "[FBURL;ENCODING=QUOTED-PRINTABLE:http://x=3Dy]\n"
       "6 repaired: property name outside the vocabulary kept as read "
       "[ANNIVERSARY;VALUE=DATE:2001-05-04]\n"
       "7 repaired: property name outside the vocabulary kept as read [sort-string:Doe]"},
      // Parameters: bare words, TYPE=word, empty ones, comma lists, NAME=value.
      {"X-MS-TEL;VOICE;CALLBACK:1\nTEL;X-NEC-SECRET:9\nTEL;TYPE=OTHER:2\n"
       "ADR;HOME;PREF;:;;St;City;;1;C\nTEL;TYPE=WORK,VOICE:3\nNOTE;FOO=bar:n\nEND:VCARD\n",
       "X-MS-TEL;TYPE=VOICE;TYPE=CALLBACK:1\nTEL;TYPE=X-NEC-SECRET:9\nTEL;TYPE=OTHER:2\n"
       "ADR;TYPE=HOME;TYPE=PREF:||St|City||1|C\nTEL;TYPE=WORK;TYPE=VOICE:3\nNOTE;FOO=bar:n",
       "8 repaired: parameter name outside the vocabulary kept as read [NOTE;FOO=bar:n]"},
      // Quoted-printable as phones write it.
      {"NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=D0=A4=D0=B0=D0=B2=\n\nTEL;HOME:1\n"
       "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:(=D0=BF=D0=BE)=\n;=D0=90=D0=BD=D0=BD=D0=B0;;;\n"
       "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=D0=9A==\nD0=A1\n"
       "ORG;ENCODING=QUOTED-PRINTABLE:A\\;B;C\nEND:VCARD\n",
       "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Фав\nTEL;TYPE=HOME:1\n"
       "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:(по)|Анна|||\n"
       "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:КС\nORG;ENCODING=QUOTED-PRINTABLE:A;B|C",
       ""},
      // A BASE64 block that the next property follows at once; folded lines;
      // AGENT text; text after END:VCARD.
      {"PHOTO;ENCODING=BASE64:\n QUJD\nTEL:1\nNOTE:long\n  continued\n\tand a tab\n"
       "ADR:;;Main St 1;\n Town;;;\nAGENT:Call Olga\nEND:VCARD.\n",
       "PHOTO;ENCODING=BASE64:bytes:3\nTEL:1\nNOTE:long  continued\tand a tab\n"
       "ADR:||Main St 1| Town|||\nAGENT:Call Olga",
       "12 repaired: text after VCARD ignored [END:VCARD.]"},
      // Character sets in any case, any set iconv knows, unknown ones.
      {"FN;CHARSET=utf-8:caf\xC3\xA9\nN;CHARSET=ISO-8859-2;ENCODING=8BIT:\xA3\xF3"
       "d\xBC;A\n"
       "NOTE;CHARSET=KOI8-R:\xED\xC9\xD2\nTITLE;CHARSET=X-NOPE:\xE9t\xE9\nEND:VCARD\n",
       "FN;CHARSET=utf-8:café\nN;CHARSET=ISO-8859-2;ENCODING=8BIT:Łódź|A\n"
       "NOTE;CHARSET=KOI8-R:Мир\nTITLE;CHARSET=X-NOPE:été",
       "6 repaired: unknown character set: values read as Windows-1252 "
       "[TITLE;CHARSET=X-NOPE:\xC3\xA9t\xC3\xA9]"},
      // BDAY and REV text that is no date.
      {"BDAY:00719\nREV:1\nBDAY:--0415\nEND:VCARD\n", "BDAY:00719\nREV:1\nBDAY:--0415",
       "3 repaired: text that is no date kept as text [BDAY:00719]\n"
       "4 repaired: text that is no date kept as text [REV:1]\n"
       "5 repaired: text that is no date kept as text [BDAY:--0415]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    std::string path = testing::WriteTestFile(
        "lenient.vcf", std::string("BEGIN:VCARD\nVERSION:2.1\n") + c.lines + Card("after"));
    CComPtr<IVCardColl> collection = NewCollection();
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(LoadOne(collection, path), S_OK);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    std::vector<std::string> cards = DescribeAll(collection);
    ASSERT_EQ(cards.size(), 2u);
    EXPECT_EQ(cards[0], std::string("VERSION:2.1\n") + c.model);
    EXPECT_EQ(cards[1], "FN:after");
    EXPECT_EQ(ReportOf(collection), c.report);

    std::string saved = testing::MissingTestFile("lenient-saved.vcf");
    CComVariant name(Wide(saved));
    ASSERT_EQ(collection->Save(name), S_OK);
    CComPtr<IVCardColl> again = NewCollection();
    EXPECT_EQ(LoadOne(again, saved), S_OK);
    cards[1] = "VERSION:2.1\nFN:after";  // Save writes the version of every card
    EXPECT_EQ(DescribeAll(again), cards);
  }
}

// Every card and property of a large generated file is accounted for.
TEST(LoadCorpus, FiftyThousandCards) {
  tarvovcard::testing::CorpusOptions options;
  options.seed = 42;
  options.cards = 50000;
  options.photo_every = 25;
  options.photo_bytes = 300;
  tarvovcard::testing::CorpusCounts expected;
  std::string path =
      testing::WriteTestFile("corpus.vcf", tarvovcard::testing::GenerateCorpus(options, &expected));
  CComPtr<IVCardColl> collection = NewCollection();
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(LoadOne(collection, path), S_OK);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  ASSERT_EQ(CardCount(collection), expected.cards);

  tarvovcard::testing::CorpusCounts found = tarvovcard::testing::CountLoaded(collection);
  EXPECT_EQ(found.properties_per_card, expected.properties_per_card);
  EXPECT_EQ(found.properties, expected.properties);
  EXPECT_EQ(found.nested_cards, expected.nested_cards);
  EXPECT_EQ(found.nested_properties, expected.nested_properties);
  EXPECT_EQ(found.parameters, expected.parameters);
  EXPECT_EQ(found.values, expected.values);
}

TEST(LoadCorpus, SameSeedSameText) {
  tarvovcard::testing::CorpusOptions options;
  options.cards = 50;
  tarvovcard::testing::CorpusCounts a, b;
  EXPECT_EQ(tarvovcard::testing::GenerateCorpus(options, &a),
            tarvovcard::testing::GenerateCorpus(options, &b));
  EXPECT_EQ(a.values, b.values);
  options.seed = 2;
  EXPECT_NE(tarvovcard::testing::GenerateCorpus(options, &b),
            tarvovcard::testing::GenerateCorpus({}, &a));
}

}  // namespace
}  // namespace tarvovcard::reader
