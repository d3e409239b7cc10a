#include "writer/unicode_file.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "coding/conversions.h"
#include "frame/file_calls.h"

namespace tarvovcard::writer {
namespace {

// The open mode with text translation turned off: the first "t" becomes "b";
// a mode without "t" and "b" gains a "b".
std::string BinaryMode(const char* mode) {
  std::string binary = mode ? mode : "";
  if (auto t = binary.find('t'); t != std::string::npos) {
    binary[t] = 'b';
  } else if (binary.find('b') == std::string::npos) {
    binary += 'b';
  }
  return binary;
}

void AppendDecimal(std::u16string& out, long long value) {
  char digits[24];
  int n = std::snprintf(digits, sizeof digits, "%lld", value);
  for (int i = 0; i < n; ++i) out += static_cast<char16_t>(digits[i]);
}

// The wide formatting of Printf (see the header for what it understands).
std::u16string FormatWide(const char16_t* format, std::va_list args) {
  std::u16string out;
  if (!format) return out;
  for (const char16_t* p = format; *p; ++p) {
    if (*p != u'%') {
      out += *p;
      continue;
    }
    switch (p[1]) {
      case u's': {
        if (const char16_t* s = va_arg(args, const char16_t*)) out += s;
        ++p;
        break;
      }
      case u'd':
      case u'i':
        AppendDecimal(out, va_arg(args, int));
        ++p;
        break;
      case u'u':
        AppendDecimal(out, va_arg(args, unsigned));
        ++p;
        break;
      case u'c':
        out += static_cast<char16_t>(va_arg(args, int));
        ++p;
        break;
      case u'%':
        out += u'%';
        ++p;
        break;
      default:  // An unknown conversion, or a "%" at the end: written as it is.
        out += u'%';
        break;
    }
  }
  return out;
}

}  // namespace

CUnicodeFile::CUnicodeFile(const char* file_name, const char* mode, int newline_flag)
    : translateNewlines(newline_flag == 0), fileName(file_name ? file_name : "") {
  CUnicodeFileException error;
  if (!Open(file_name, mode, &error)) throw error;
}

CUnicodeFile::~CUnicodeFile() {
  Close();
}

std::string CUnicodeFile::GetFileName() const {
  return fileName;
}

bool CUnicodeFile::Seek(std::int32_t offset, int origin) {
  static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (!fp || origin < 0 || origin > 2) return false;
  if (std::fseek(fp, offset, kWhence[origin]) != 0) Fail(CUnicodeFileException::kSeekFailed, errno);
  return true;
}

bool CUnicodeFile::Open(const char* file_name, const char* mode, CUnicodeFileException* error) {
  Close();
  fileName = file_name ? file_name : "";
  writeFailed = false;
  const std::string binary_mode = BinaryMode(mode);
  errno = 0;
  fp = frame::Files().fopen(fileName.c_str(), binary_mode.c_str());
  if (!fp) {
    if (error) *error = CUnicodeFileException(CUnicodeFileException::kNotOpen, errno, fileName);
    return false;
  }
  if (binary_mode.find('r') == std::string::npos && binary_mode.find('w') != std::string::npos) {
    static constexpr unsigned char kByteOrderMark[] = {0xFF, 0xFE};
    if (frame::Files().fwrite(kByteOrderMark, sizeof kByteOrderMark, fp) != sizeof kByteOrderMark) {
      if (error)
        *error = CUnicodeFileException(CUnicodeFileException::kWriteFailed, errno, fileName);
      Close();
      return false;
    }
  }
  return true;
}

bool CUnicodeFile::Close() {
  if (!fp) return true;
  std::FILE* stream = fp;
  fp = nullptr;
  const bool failed = std::ferror(stream) != 0;
  return frame::Files().fclose(stream) == 0 && !failed;
}

void CUnicodeFile::Printf(const char16_t* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::u16string text;
  try {
    text = FormatWide(format, args);
  } catch (...) {
    va_end(args);
    throw;
  }
  va_end(args);
  Write(text);
}

void CUnicodeFile::Printf(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::va_list sizing;
  va_copy(sizing, args);
  const int length = std::vsnprintf(nullptr, 0, format, sizing);
  va_end(sizing);
  std::string text;
  if (length > 0) {
    text.resize(static_cast<std::size_t>(length));
    std::vsnprintf(text.data(), text.size() + 1, format, args);
  }
  va_end(args);
  const CComBSTR wide = coding::NarrowToWide(text.c_str(), false);
  Write(std::u16string_view(wide.m_str, wide.Length()));
}

void CUnicodeFile::Write(std::u16string_view text) {
  if (!fp) Fail(CUnicodeFileException::kNotOpen, errno);
  if (writeFailed) Fail(CUnicodeFileException::kWriteFailed, EIO);
  // The buffer only grows (room for a CR before every unit), so that the
  // bytes are written through a pointer rather than appended one by one.
  if (bytes_.size() < text.size() * 4) bytes_.resize(text.size() * 4);
  char* out = bytes_.data();
  for (char16_t unit : text) {
    if (unit == u'\n' && translateNewlines) {
      *out++ = '\r';
      *out++ = '\0';
    }
    *out++ = static_cast<char>(unit & 0xFF);
    *out++ = static_cast<char>(unit >> 8);
  }
  const std::size_t size = static_cast<std::size_t>(out - bytes_.data());
  if (size == 0) return;
  errno = 0;
  if (frame::Files().fwrite(bytes_.data(), size, fp) != size) {
    writeFailed = true;
    Fail(CUnicodeFileException::kWriteFailed, errno);
  }
}

void CUnicodeFile::Fail(std::int32_t code, int os_error) const {
  throw CUnicodeFileException(code, os_error, fileName);
}

}  // namespace tarvovcard::writer
