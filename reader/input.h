// The reader's input: one vCard file, read in text mode.
//
// Text mode as vCard files written on other systems need it: a carriage
// return directly before a line feed is removed, and a byte 0x1A ends the
// text. The file is read in large blocks straight into the scanner's buffer.
#pragma once

#include <cstddef>
#include <sys/types.h>

namespace tarvovcard::reader {

class InputSource {
 public:
  InputSource() = default;
  ~InputSource();
  InputSource(const InputSource&) = delete;
  InputSource& operator=(const InputSource&) = delete;

  // Opens the file for reading. Returns 0, or the error number of the
  // failure: ERROR_FILE_NOT_FOUND (2) when there is no such file,
  // ERROR_ACCESS_DENIED (5) when it may not be read, ERROR_OPEN_FAILED (110)
  // when it cannot be opened otherwise (a folder, for instance).
  int Open(const char* path);

  // Copies up to size bytes of text into buffer. Returns the number of
  // bytes, 0 at the end of the text, -1 when the read failed. A carriage
  // return that ends the text (with no line feed after it) is dropped.
  long Read(char* buffer, std::size_t size);

 private:
  int fd_ = -1;
  bool at_end_ = false;
  // A carriage return that ended the previous block: whether it is dropped
  // depends on the first byte of the next one.
  bool held_cr_ = false;
  // A byte read ahead to settle a held carriage return, or -1.
  int pending_ = -1;

  // With room for one byte: reads the byte after the held CR and puts the
  // right one into *out. Returns 1, 0 at the end of the text, -1 on failure.
  long ResolveHeldCarriageReturn(char* out);
};

}  // namespace tarvovcard::reader
