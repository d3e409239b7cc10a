#include "reader/reader_test_files.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>

namespace tarvovcard::reader::testing {
namespace {

// The folder of this process, removed with everything in it at exit.
class TestFolder {
 public:
  TestFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tarvovcard-reader-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a test folder");
    path_ = pattern;
  }
  ~TestFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

const std::string& Folder() {
  static const TestFolder folder;
  return folder.path();
}

}  // namespace

std::string WriteTestFile(std::string_view name, std::string_view bytes) {
  std::string path = Folder() + "/" + std::string(name);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + path);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  return path;
}

std::string MissingTestFile(std::string_view name) {
  std::string path = Folder() + "/" + std::string(name);
  ::unlink(path.c_str());
  return path;
}

}  // namespace tarvovcard::reader::testing
