#include "reader/reader_test_files.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace tarvovcard::reader::testing {
namespace {

const std::string& Folder() {
  static const std::string folder = [] {
    std::string pattern = "/tmp/tarvovcard-reader-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a test folder");
    return pattern;
  }();
  return folder;
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
