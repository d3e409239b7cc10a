// The files of model_text.h: a folder of the test process's own.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "reader/model_text.h"

namespace tarvovcard::reader::testing {
namespace {

struct TestFolder {
  std::string path = (std::filesystem::temp_directory_path() / "tarvovcard-reader-XXXXXX");
  TestFolder() {
    if (!mkdtemp(path.data())) throw std::runtime_error("cannot make a test folder");
  }
  ~TestFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

}  // namespace

std::string TestPath(const std::string& name) {
  static const TestFolder folder;
  return folder.path + "/" + name;
}

std::string WriteTestFile(const std::string& name, const std::string& bytes) {
  const std::string path = TestPath(name);
  EXPECT_TRUE(std::ofstream(path, std::ios::binary) << bytes) << path;
  return path;
}

}  // namespace tarvovcard::reader::testing
