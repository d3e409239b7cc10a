// The file operations of the writers, behind one replaceable table.
//
// Save and SaveAsXML open, write, close, make durable, rename and remove
// files. Those calls go through the table returned by Files() instead of
// calling the C library directly, so that a test can make any of them fail
// (a write that stops short, a close that reports a full disk) without a
// broken disk. Outside the tests the table holds the C library's own
// functions; the indirection costs one pointer load per call.
#pragma once

#include <cstddef>
#include <cstdio>

namespace tarvovcard::writer {

struct FileOps {
  // fopen: the stream, or null with errno set.
  std::FILE* (*open)(const char* path, const char* mode);
  // fwrite of `size` bytes: the number of bytes written; fewer means failure.
  std::size_t (*write)(const void* data, std::size_t size, std::FILE* stream);
  // fclose: 0, or EOF when the stream could not be flushed or closed. The
  // stream is gone either way.
  int (*close)(std::FILE* stream);
  // remove: 0 on success.
  int (*remove)(const char* path);
  // Makes the file's content durable (fsync): 0 on success.
  int (*sync)(const char* path);
  // rename: 0 on success; `to` is replaced at once, never left half written.
  int (*rename)(const char* from, const char* to);
};

// The C library's operations.
const FileOps& SystemFileOps();

// The operations in use.
const FileOps& Files();

// Installs other operations for the lifetime of the object, then restores the
// previous ones. For tests: the table is process-wide and not guarded.
class ScopedFileOps {
 public:
  explicit ScopedFileOps(const FileOps& ops);
  ~ScopedFileOps();
  ScopedFileOps(const ScopedFileOps&) = delete;
  ScopedFileOps& operator=(const ScopedFileOps&) = delete;

 private:
  const FileOps* previous_;
};

}  // namespace tarvovcard::writer
