// Load beyond the bytes of one file (golden_test.cpp has those): lists of
// files and the status of the last, files that cannot be read, refused
// arguments, the folder and file names of the cards.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "frame/file_calls.h"
#include "reader/model_text.h"

namespace tarvovcard::reader {
namespace {

using testing::Model;
using testing::WriteTestFile;

constexpr HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
constexpr HRESULT kDenied = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
constexpr HRESULT kInvalidData = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
constexpr HRESULT kOpenFailed = HRESULT_FROM_WIN32(ERROR_OPEN_FAILED);

std::string Card(const std::string& fn) {
  return "BEGIN:VCARD\nFN:" + fn + "\nEND:VCARD\n";
}

// Each Load into the one collection replaces its cards and takes the status
// of its last file; a file that fails does not disturb the next.
TEST(Load, ListsOfFilesAndTheStatusOfTheLast) {
  WriteTestFile("a.vcf", Card("a1") + Card("a2"));
  WriteTestFile("b.vcf", Card("b1"));
  WriteTestFile("open.vcf", Card("o1") + "BEGIN:VCARD\nFN:o2\n");
  for (const char* name : {"denied.vcf", "emfile.vcf", "unreadable.vcf"})
    WriteTestFile(name, Card(name));
  ASSERT_TRUE(std::filesystem::create_directory(testing::TestPath("folder")));
  // Opens of denied.vcf and emfile.vcf fail with their error; reads of
  // unreadable.vcf fail with EIO (Load has one file open at a time).
  static int unreadable = -1;
  frame::FileCalls calls = frame::SystemFileCalls();
  calls.open = [](const char* path, int flags) {
    const std::string name = std::filesystem::path(path).filename();
    if (name == "denied.vcf" || name == "emfile.vcf") {
      errno = name == "denied.vcf" ? EACCES : EMFILE;
      return -1;
    }
    const int fd = ::open(path, flags);
    unreadable = name == "unreadable.vcf" ? fd : -1;
    return fd;
  };
  calls.read = [](int fd, void* buffer, std::size_t size) -> ssize_t {
    if (fd != unreadable) return ::read(fd, buffer, size);
    errno = EIO;
    return -1;
  };
  frame::ScopedFileCalls scope(calls);
  const std::string eof = "*** ERROR/EOF: syntax error\n", eio = "input in flex scanner failed\n";
  const struct {
    std::vector<std::string> names;
    HRESULT status;
    std::string cards, err = "";
  } steps[] = {
      {{"a.vcf"}, S_OK, "FN:a1 // FN:a2"},
      {{"a.vcf", "b.vcf"}, S_OK, "FN:a1 // FN:a2 // FN:b1"},
      {{"b.vcf"}, S_OK, "FN:b1"},
      {{}, S_OK, ""},
      {{"missing.vcf", "a.vcf"}, S_OK, "FN:a1 // FN:a2"},
      {{"a.vcf", "missing.vcf"}, kNotFound, "FN:a1 // FN:a2"},
      {{"b.vcf/x.vcf"}, kNotFound, ""},
      {{""}, kNotFound, ""},
      // The open card of the first file stays out; the next starts clean.
      {{"open.vcf", "b.vcf"}, S_OK, "FN:o1 // FN:b1", eof},
      {{"b.vcf", "open.vcf"}, kInvalidData, "FN:b1 // FN:o1", eof},
      {{"b.vcf", "folder"}, kOpenFailed, "FN:b1"},
      {{"folder", "b.vcf"}, S_OK, "FN:b1"},
      {{"b.vcf", "denied.vcf"}, kDenied, "FN:b1"},
      {{"b.vcf", "emfile.vcf"}, kOpenFailed, "FN:b1"},
      {{"b.vcf", "unreadable.vcf"}, kInvalidData, "FN:b1", eio},
      {{"unreadable.vcf", "b.vcf"}, S_OK, "FN:b1", eio},
  };
  CComPtr<IVCardColl> collection = testing::NewCollection();
  for (const auto& step : steps) {
    std::vector<std::string> paths;
    for (const std::string& name : step.names)
      paths.push_back(name.empty() ? "" : testing::TestPath(name));
    const std::string what = ::testing::PrintToString(step.names);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(testing::LoadList(collection, paths), step.status) << what;
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), step.err) << what;
    EXPECT_EQ(Model(collection), step.cards) << what;
  }
}

TEST(Load, RefusedArgumentsLeaveTheCollectionAlone) {
  CComPtr<IVCardColl> collection = testing::NewCollection();
  ASSERT_EQ(testing::LoadOne(collection, WriteTestFile("a.vcf", Card("a1"))), S_OK);
  CComBSTR name = testing::Wide(WriteTestFile("b.vcf", Card("b1")));
  VARIANT refused[6] = {};
  refused[0].vt = VT_I4;
  refused[1].vt = VT_BYREF | VT_BSTR;
  refused[1].pbstrVal = &name.m_str;
  refused[2].vt = VT_ARRAY | VT_BSTR;  // no array
  refused[3].vt = VT_BSTR;             // no name
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

// Every card gets the folder and the name of its file: the name given to
// Load in the file system's form (UTF-8, any length), split at its last "/"
// or "\\" as the runtime's path functions split it.
TEST(Load, CardsGetTheFolderAndNameOfTheirFile) {
  std::string deep = "deep";
  for (char c = 'a'; c < 'g'; ++c) deep += "/" + std::string(100, c);
  std::filesystem::create_directories(testing::TestPath(deep));
  for (const std::string& name : {std::string("J\xC3\xBCrgen \xCE\xA9mega \xE6\x9D\xB1.vcf"),
                                  std::string("dir\\x.vcf"), deep + "/" + std::string(200, 'n')}) {
    const std::string path = WriteTestFile(name, Card("a") + Card("b"));
    const std::size_t split = path.find_last_of("/\\");
    CComPtr<IVCardColl> collection = testing::NewCollection();
    ASSERT_EQ(testing::LoadOne(collection, path), S_OK) << name;
    for (LONG i = 0; i < 2; ++i) {
      CComBSTR folder, file_name;
      testing::CardAt(collection, i)->get_FolderPath(&folder);
      testing::CardAt(collection, i)->get_Filename(&file_name);
      EXPECT_EQ(testing::Utf8(folder), path.substr(0, split)) << name;
      EXPECT_EQ(testing::Utf8(file_name), path.substr(split + 1)) << name;
    }
  }
}

}  // namespace
}  // namespace tarvovcard::reader
