// The files of model_text.h, in a folder of the process's own that is removed
// with everything in it at exit.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "reader/model_text.h"

namespace tarvovcard::reader::testing {

std::string TestPath(const std::string& name) {
  static const struct Folder {
    std::string path = std::filesystem::temp_directory_path() / "tarvovcard-reader-XXXXXX";
    Folder() {
      if (!mkdtemp(path.data())) throw std::runtime_error("cannot make a test folder");
    }
    ~Folder() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  } folder;
  return folder.path + "/" + name;
}

std::string WriteTestFile(const std::string& name, const std::string& bytes) {
  const std::string path = TestPath(name);
  EXPECT_TRUE(std::ofstream(path, std::ios::binary) << bytes) << path;
  return path;
}

}  // namespace tarvovcard::reader::testing
