// Files for the writer tests and the client's: scratch folders, whole
// files, and the bytes of 8-bit and UTF-16 text as files hold them.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tarvovcard::writer::testing {

// A fresh folder under the build tree, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = std::string(TARVOVCARD_BINARY_DIR) + "/tests/writer/scratch-" +
                          std::to_string(getpid()) + "-XXXXXX";
    std::filesystem::create_directories(std::filesystem::path(pattern).parent_path());
    path_ = mkdtemp(pattern.data());
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& name) {
  std::ostringstream bytes;
  bytes << std::ifstream(name, std::ios::binary).rdbuf();
  return bytes.str();
}
inline void WriteFile(const std::string& name, const std::string& bytes) {
  std::ofstream(name, std::ios::binary) << bytes;
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
inline bool FileExists(const std::string& name) {
  return std::filesystem::exists(name);
}

}  // namespace tarvovcard::writer::testing
