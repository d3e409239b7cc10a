// Load of VCardColl beyond the bytes of one file (golden_test.cpp has those):
// its argument, lists of files and the status of the last, files that cannot
// be read, the folder and file names of the cards, a large generated file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <string>
#include <vector>

#include "frame/file_calls.h"
#include "reader/model_text.h"
#include "reader/reader_test_files.h"
#include "support/corpus.h"
#include "support/corpus_tally.h"

namespace tarvovcard::reader {
namespace {

using testing::Model;
using testing::Utf8;

constexpr HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
constexpr HRESULT kDenied = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
constexpr HRESULT kInvalidData = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
constexpr HRESULT kOpenFailed = HRESULT_FROM_WIN32(ERROR_OPEN_FAILED);

std::string Card(const std::string& fn) {
  return "BEGIN:VCARD\nFN:" + fn + "\nEND:VCARD\n";
}

// The system's file calls, but opens of the files in open_errors fail with
// their error, and reads of failing_path fail with EIO.
struct FailingCalls {
  static inline std::map<std::string, int> open_errors;
  static inline std::string failing_path;
  static inline int failing_fd = -1;
  static int Open(const char* path, int flags) {
    if (auto found = open_errors.find(path); found != open_errors.end()) {
      errno = found->second;
      return -1;
    }
    int fd = ::open(path, flags);
    if (path == failing_path) failing_fd = fd;
    return fd;
  }
  static ssize_t Read(int fd, void* buffer, std::size_t size) {
    if (fd != failing_fd) return ::read(fd, buffer, size);
    errno = EIO;
    return -1;
  }
  static int Close(int fd) {
    if (fd == failing_fd) failing_fd = -1;
    return ::close(fd);
  }
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

// Loads into one collection in turn: each Load replaces the cards, takes the
// status of its last file, and a file that fails does not disturb the next.
TEST(Load, ListsOfFilesAndTheStatusOfTheLast) {
  std::map<std::string, std::string> files = {
      {"a", testing::WriteTestFile("a.vcf", Card("a1") + Card("a2"))},
      {"b", testing::WriteTestFile("b.vcf", Card("b1"))},
      {"bad",
       testing::WriteTestFile(
           "bad.vcf", Card("c1") + "BEGIN:VCARD\nFN:c2\nTEL;HOME 1\nEND:VCARD\n" + Card("c3"))},
      {"open", testing::WriteTestFile("open.vcf", Card("o1") + "BEGIN:VCARD\nFN:o2\n")},
      {"missing", testing::MissingTestFile("missing.vcf")},
      {"nofolder", testing::MissingTestFile("nofolder") + "/x.vcf"},
      {"folder", testing::MissingTestFile("folder")},
      {"denied", testing::WriteTestFile("denied.vcf", Card("d1"))},
      {"emfile", testing::WriteTestFile("emfile.vcf", Card("e1"))},
      {"unreadable", testing::WriteTestFile("unreadable.vcf", Card("u1"))},
      {"", ""},
      {"/", "/"},
  };
  ASSERT_EQ(::mkdir(files["folder"].c_str(), 0700), 0);
  FailingCalls::open_errors = {{files["denied"], EACCES}, {files["emfile"], EMFILE}};
  FailingCalls::failing_path = files["unreadable"];
  frame::ScopedFileCalls scope(FailingCalls::Calls());
  const std::string syntax = "*** ERROR: syntax error\nyychar 260\n";
  const std::string eof = "*** ERROR/EOF: syntax error\n";
  struct Step {
    std::vector<std::string> names;
    HRESULT status;
    std::string cards;
    std::string err = "";
  };
  const Step steps[] = {
      {{"a"}, S_OK, "FN:a1 // FN:a2"},
      {{"a", "b"}, S_OK, "FN:a1 // FN:a2 // FN:b1"},
      {{"b"}, S_OK, "FN:b1"},
      {{}, S_OK, ""},
      {{"missing", "a"}, S_OK, "FN:a1 // FN:a2"},
      {{"a", "missing"}, kNotFound, "FN:a1 // FN:a2"},
      {{"nofolder"}, kNotFound, ""},
      {{""}, kNotFound, ""},
      {{"b", "bad"}, kInvalidData, "FN:b1 // FN:c1 // FN:c2 // FN:c3", syntax},
      {{"bad", "b"}, S_OK, "FN:c1 // FN:c2 // FN:c3 // FN:b1", syntax},
      // The open card of the first file stays out; the next starts clean.
      {{"open", "b"}, S_OK, "FN:o1 // FN:b1", eof},
      {{"b", "open"}, kInvalidData, "FN:b1 // FN:o1", eof},
      {{"b", "folder"}, kOpenFailed, "FN:b1"},
      {{"folder", "b"}, S_OK, "FN:b1"},
      {{"/"}, kOpenFailed, ""},
      {{"b", "denied"}, kDenied, "FN:b1"},
      {{"denied", "b"}, S_OK, "FN:b1"},
      {{"b", "emfile"}, kOpenFailed, "FN:b1"},
      // A read that fails part way.
      {{"b", "unreadable"}, kInvalidData, "FN:b1", "input in flex scanner failed\n"},
      {{"unreadable", "b"}, S_OK, "FN:b1", "input in flex scanner failed\n"},
  };
  CComPtr<IVCardColl> collection = testing::NewCollection();
  for (const Step& step : steps) {
    std::vector<std::string> paths;
    std::string what;
    for (const std::string& name : step.names) {
      paths.push_back(files.at(name));
      what += name + " ";
    }
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(testing::LoadList(collection, paths), step.status) << what;
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), step.err) << what;
    EXPECT_EQ(Model(collection), step.cards) << what;
  }
}

TEST(Load, FileThatMayNotBeRead) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  std::string locked = testing::WriteTestFile("locked.vcf", Card("l1"));
  ::chmod(locked.c_str(), 0);
  CComPtr<IVCardColl> collection = testing::NewCollection();
  EXPECT_EQ(testing::LoadOne(collection, locked), kDenied);
}

TEST(Load, RefusedArgumentsLeaveTheCollectionAlone) {
  CComPtr<IVCardColl> collection = testing::NewCollection();
  ASSERT_EQ(testing::LoadOne(collection, testing::WriteTestFile("a.vcf", Card("a1"))), S_OK);
  CComBSTR name = testing::Wide(testing::WriteTestFile("b.vcf", Card("b1")));
  VARIANT refused[6];
  for (VARIANT& v : refused) VariantInit(&v);
  refused[0].vt = VT_I4;
  refused[1].vt = VT_BYREF | VT_BSTR;
  refused[1].pbstrVal = &name.m_str;
  refused[2].vt = VT_ARRAY | VT_BSTR;  // no array
  refused[2].parray = nullptr;
  refused[3].vt = VT_BSTR;  // no name
  refused[3].bstrVal = nullptr;
  refused[4].vt = VT_ARRAY | VT_BSTR;  // the second name missing
  refused[4].parray = SafeArrayCreateVector(VT_BSTR, 0, 2);
  LONG first = 0;
  SafeArrayPutElement(refused[4].parray, &first, name.m_str);
  refused[5].vt = VT_ARRAY | VT_VARIANT;
  refused[5].parray = SafeArrayCreateVector(VT_VARIANT, 0, 1);
  for (VARIANT& v : refused) EXPECT_EQ(collection->Load(v), E_INVALIDARG) << v.vt;
  SafeArrayDestroy(refused[4].parray);
  SafeArrayDestroy(refused[5].parray);
  EXPECT_EQ(Model(collection), "FN:a1");
}

// FolderPath and Filename of every card: the name given to Load in the file
// system's form (UTF-8, any length), split at its last "/" or "\", the
// Windows way (a drive root keeps its backslash, a bare name has no folder).
TEST(Load, CardsGetTheFolderAndNameOfTheirFile) {
  std::string here = testing::WriteTestFile("a.vcf", Card("a") + Card("b"));
  here.resize(here.rfind('/'));
  std::string deep = here + "/deep";
  ASSERT_EQ(::mkdir(deep.c_str(), 0700), 0);
  for (int i = 0; i < 6; ++i) {
    deep += "/" + std::string(100, static_cast<char>('a' + i));
    ASSERT_EQ(::mkdir(deep.c_str(), 0700), 0);
  }
  const std::string long_name(200, 'n');
  const std::string utf8_name = "J\xC3\xBCrgen \xCE\xA9mega \xE6\x9D\xB1.vcf";
  for (const std::string name :
       {"C:\\cards.vcf", "D:\\a\\b\\x.vcf", "C:\\dir\\cards.vcf", utf8_name.c_str()})
    testing::WriteTestFile(name, Card("a") + Card("b"));
  {
    std::FILE* f = std::fopen((deep + "/" + long_name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs((Card("a") + Card("b")).c_str(), f);
    std::fclose(f);
  }
  char previous[4096];
  ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(::chdir(here.c_str()), 0);
  struct Case {
    std::string name, folder, file_name;
  };
  const Case cases[] = {
      {"a.vcf", "", "a.vcf"},
      {"C:\\cards.vcf", "C:\\", "cards.vcf"},
      {"D:\\a\\b\\x.vcf", "D:\\a\\b", "x.vcf"},
      {here + "/C:\\dir\\cards.vcf", here + "/C:\\dir", "cards.vcf"},
      {here + "/" + utf8_name, here, utf8_name},
      {deep + "/" + long_name, deep, long_name},
  };
  for (const Case& c : cases) {
    CComPtr<IVCardColl> collection = testing::NewCollection();
    ASSERT_EQ(testing::LoadOne(collection, c.name), S_OK) << c.name;
    for (LONG i = 0; i < 2; ++i) {
      CComBSTR folder, file_name;
      testing::CardAt(collection, i)->get_FolderPath(&folder);
      testing::CardAt(collection, i)->get_Filename(&file_name);
      EXPECT_EQ(Utf8(folder), c.folder) << c.name;
      EXPECT_EQ(Utf8(file_name), c.file_name) << c.name;
    }
  }
  ASSERT_EQ(::chdir(previous), 0);
}

// Every card and property of a large generated file is accounted for.
TEST(Load, FiftyThousandGeneratedCards) {
  tarvovcard::testing::CorpusOptions options;
  options.seed = 42;
  options.cards = 50000;
  options.photo_every = 25;
  options.photo_bytes = 300;
  tarvovcard::testing::CorpusCounts expected;
  std::string path =
      testing::WriteTestFile("corpus.vcf", tarvovcard::testing::GenerateCorpus(options, &expected));
  CComPtr<IVCardColl> collection = testing::NewCollection();
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(testing::LoadOne(collection, path), S_OK);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  tarvovcard::testing::CorpusCounts found = tarvovcard::testing::CountLoaded(collection);
  EXPECT_EQ(found.cards, expected.cards);
  EXPECT_EQ(found.properties_per_card, expected.properties_per_card);
  EXPECT_EQ(found.properties, expected.properties);
  EXPECT_EQ(found.nested_cards, expected.nested_cards);
  EXPECT_EQ(found.nested_properties, expected.nested_properties);
  EXPECT_EQ(found.parameters, expected.parameters);
  EXPECT_EQ(found.values, expected.values);
}

}  // namespace
}  // namespace tarvovcard::reader
