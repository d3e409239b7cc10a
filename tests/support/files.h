// Scratch folders, whole files, and 8-bit and UTF-16 text as files hold it.
// Free of the library's headers, for the tests of the command-line tool too.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

namespace tarvovcard::testing {

// A fresh folder, removed with everything in it: under the build tree when
// the program knows it, else in the system's temporary folder.
class ScratchDir {
 public:
  ScratchDir() {
#ifdef TARVOVCARD_BINARY_DIR
    const std::filesystem::path root = std::string(TARVOVCARD_BINARY_DIR) + "/tests/scratch";
#else
    const std::filesystem::path root = std::filesystem::temp_directory_path();
#endif
    std::filesystem::create_directories(root);
    std::string pattern = (root / ("tarvovcard-" + std::to_string(getpid()) + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a scratch folder");
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const {
    return path_;
  }
  std::string operator/(const std::string& name) const {
    return path_ + "/" + name;
  }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& name) {
  std::ostringstream bytes;
  bytes << std::ifstream(name, std::ios::binary).rdbuf();
  return bytes.str();
}
// Writes the file byte for byte; its name.
inline std::string WriteFile(const std::string& name, const std::string& bytes) {
  EXPECT_TRUE(std::ofstream(name, std::ios::binary) << bytes) << name;
  return name;
}
inline bool FileExists(const std::string& name) {
  return std::filesystem::exists(name);
}

// A path in the process's own scratch folder (it lasts until exit).
inline std::string TestPath(const std::string& name) {
  static const ScratchDir folder;
  return folder / name;
}

// 8-bit text with LF as CR LF.
inline std::string CrLf(std::string_view text) {
  std::string out;
  for (char c : text) out += c == '\n' ? "\r\n" : std::string(1, c);
  return out;
}
// UTF-16 text as a file holds it: byte-order mark, LF as CR LF, low byte first.
inline std::string Utf16File(std::u16string_view text, bool byte_order_mark = true) {
  std::string bytes = byte_order_mark ? "\xFF\xFE" : "";
  for (char16_t unit : text) {
    if (unit == u'\n') bytes.append("\r\0", 2);
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}
// A whole XML document of Save around `cards`.
inline std::string XmlDocument(std::u16string_view cards, std::u16string_view stylesheet = u"") {
  return Utf16File(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n" + std::u16string(stylesheet) +
                   u"<vCardSet>\n" + std::u16string(cards) + u"</vCardSet>\n");
}

}  // namespace tarvovcard::testing
