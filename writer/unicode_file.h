// CUnicodeFile: a text file in UTF-16, little-endian, with a byte-order mark.
//
// SaveAsXML writes every XML document through one of these. Text goes in
// through printf-style writes, wide (char16_t) or narrow (8-bit text in the
// ANSI code page, widened before it is written), or unformatted through
// Write(). With newline translation on, every LF that reaches the file is
// preceded by a CR. The stream is opened in binary mode whatever mode is
// asked for, so the C library never touches the bytes.
//
// There is no length limit on a single write: a formatted text of any size is
// written whole.
//
// Failures are thrown as CUnicodeFileException:
//   code 1  Seek could not position the stream
//   code 3  a write failed (the units before it stay in the file; every
//           later write fails the same way, nothing is retried)
//   code 4  the file could not be opened, or a write came while none is open
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace tarvovcard::writer {

class CUnicodeFileException {
 public:
  static constexpr std::int32_t kSeekFailed = 1;
  static constexpr std::int32_t kWriteFailed = 3;
  static constexpr std::int32_t kNotOpen = 4;

  CUnicodeFileException() = default;
  CUnicodeFileException(std::int32_t code, std::int32_t os_error, std::string file_name)
      : code(code), osError(os_error), fileName(std::move(file_name)) {}

  std::int32_t code = 0;
  // errno of the failed operation.
  std::int32_t osError = 0;
  std::string fileName;
};

class CUnicodeFile {
 public:
  // Opens the file (see Open); throws what Open reported when it fails.
  // `newline_flag` 0 turns newline translation on, anything else off.
  CUnicodeFile(const char* file_name, const char* mode, int newline_flag);
  // Closes the file.
  virtual ~CUnicodeFile();
  CUnicodeFile(const CUnicodeFile&) = delete;
  CUnicodeFile& operator=(const CUnicodeFile&) = delete;

  virtual std::string GetFileName() const;
  // Moves the stream (origin 0 start, 1 current position, 2 end). False, and
  // nothing done, when no file is open or the origin is none of these; throws
  // code 1 when the stream cannot be moved.
  virtual bool Seek(std::int32_t offset, int origin);
  // Opens `file_name` (a file-system name, UTF-8 on this platform) in `mode`,
  // a C library open mode whose first "t" becomes "b" and which gains a "b"
  // when it has neither. A mode with "w" and without "r" starts the file with
  // the byte-order mark; an append mode does not. On failure fills *error
  // (code 4, errno, the name) and returns false.
  virtual bool Open(const char* file_name, const char* mode, CUnicodeFileException* error);

  // Closes the stream when one is open; a second call does nothing. False when
  // the stream could not be flushed or closed.
  bool Close();
  bool IsOpen() const { return fp != nullptr; }

  // Wide formatted write. The format knows %s (a const char16_t*, null is
  // written as nothing), %d and %i (int), %u (unsigned), %c (a UTF-16 unit
  // passed as int) and %%; any other "%" sequence is written as it stands.
  void Printf(const char16_t* format, ...);
  // Narrow formatted write: the C library's formatting, then the text is
  // widened from the ANSI code page and written as it is (it is not used as
  // a format a second time).
  void Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Writes UTF-16 text as it is (with newline translation).
  void Write(std::u16string_view text);

 private:
  [[noreturn]] void Fail(std::int32_t code, int os_error) const;

  std::FILE* fp = nullptr;
  bool translateNewlines = true;
  bool writeFailed = false;
  std::string fileName;
  // Reused between writes, so that a write allocates only when it is longer
  // than every write before it.
  std::string bytes_;
};

}  // namespace tarvovcard::writer
