// Helpers shared by the writer tests: scratch folders, whole-file reads, the
// expected bytes of UTF-16 files, and file operations that fail on request.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "frame/file_calls.h"

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
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& name, const std::string& bytes) {
  std::ofstream out(name, std::ios::binary);
  out << bytes;
}

inline bool FileExists(const std::string& name) {
  return std::filesystem::exists(name);
}

// The bytes of UTF-16 text as a file holds it: optional byte-order mark, LF
// as CR LF, each unit low byte first.
inline std::string Utf16File(std::u16string_view text, bool byte_order_mark = true) {
  std::string bytes = byte_order_mark ? std::string("\xFF\xFE") : std::string();
  for (char16_t unit : text) {
    if (unit == u'\n') bytes.append("\r\0", 2);
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

// 8-bit text with LF as CR LF.
inline std::string CrLf(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// File operations that behave like the C library's until told to fail:
// writes after the first `writes_before_failure` ones, every close, every
// open, every sync or every rename. Counts what was called. One at a time (the hooks are static).
class FailingFiles {
 public:
  FailingFiles() : scope_(Ops()) { Current() = this; }
  ~FailingFiles() { Current() = nullptr; }

  long writes_before_failure = -1;  // -1: writes never fail
  bool fail_close = false;
  int fail_close_at = -1;  // Only this close (counted from 0) fails.
  bool fail_open = false;
  bool fail_sync = false;
  bool fail_rename = false;
  int error = ENOSPC;

  int opens = 0;
  int writes = 0;
  int closes = 0;
  std::vector<std::string> modes;
  std::vector<std::string> removed;

 private:
  static FailingFiles*& Current() {
    static FailingFiles* current = nullptr;
    return current;
  }
  static const frame::FileCalls& Ops() {
    static const frame::FileCalls ops = {
        frame::SystemFileCalls().open,
        frame::SystemFileCalls().read,
        frame::SystemFileCalls().close,
        [](const char* path, const char* mode) -> std::FILE* {
          FailingFiles& self = *Current();
          ++self.opens;
          self.modes.push_back(mode);
          if (self.fail_open) {
            errno = self.error;
            return nullptr;
          }
          return frame::SystemFileCalls().fopen(path, mode);
        },
        [](const void* data, std::size_t size, std::FILE* stream) -> std::size_t {
          FailingFiles& self = *Current();
          if (self.writes_before_failure >= 0 && self.writes >= self.writes_before_failure) {
            ++self.writes;
            errno = self.error;
            return 0;
          }
          ++self.writes;
          return frame::SystemFileCalls().fwrite(data, size, stream);
        },
        [](std::FILE* stream) -> int {
          FailingFiles& self = *Current();
          const int index = self.closes++;
          const int result = frame::SystemFileCalls().fclose(stream);
          if (self.fail_close || index == self.fail_close_at) {
            errno = self.error;
            return EOF;
          }
          return result;
        },
        [](const char* path) -> int {
          Current()->removed.push_back(path);
          return frame::SystemFileCalls().remove(path);
        },
        [](const char* path) -> int {
          if (Current()->fail_sync) {
            errno = EIO;
            return -1;
          }
          return frame::SystemFileCalls().sync(path);
        },
        [](const char* from, const char* to) -> int {
          if (Current()->fail_rename) {
            errno = EACCES;
            return -1;
          }
          return frame::SystemFileCalls().rename(from, to);
        },
    };
    return ops;
  }

  frame::ScopedFileCalls scope_;
};

}  // namespace tarvovcard::writer::testing
