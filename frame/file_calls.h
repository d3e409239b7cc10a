// The file system calls of the library, behind one replaceable table.
//
// The reader opens and reads files through descriptors; Save and SaveAsXML
// open, write, close, make durable, rename and remove them through C streams.
// Every one of those calls goes through the table Files() returns, so that a
// test can make any of them fail (a denied open, a read that breaks off, a
// close that reports a full disk) without a broken disk or a user the system
// refuses. Outside the tests the table holds the system's own calls; the
// indirection costs one pointer load per call.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdio>

namespace tarvovcard::frame {

struct FileCalls {
  // open(2), read(2), close(2).
  int (*open)(const char* path, int flags);
  ssize_t (*read)(int fd, void* buffer, std::size_t size);
  int (*close)(int fd);
  // fopen: the stream, or null with errno set.
  std::FILE* (*fopen)(const char* path, const char* mode);
  // fwrite of `size` bytes: the number written; fewer means failure.
  std::size_t (*fwrite)(const void* data, std::size_t size, std::FILE* stream);
  // fclose: 0, or EOF when the stream could not be flushed or closed; the
  // stream is gone either way.
  int (*fclose)(std::FILE* stream);
  // remove: 0 on success.
  int (*remove)(const char* path);
  // Makes the file's content durable (fsync): 0 on success.
  int (*sync)(const char* path);
  // rename: 0 on success; `to` is replaced at once, never half written.
  int (*rename)(const char* from, const char* to);
};

// The system's calls.
const FileCalls& SystemFileCalls();

// The calls in use.
const FileCalls& Files();

// Installs other calls for the lifetime of the object, then restores the
// previous ones. For tests: the table is process-wide, and it is not changed
// while a Load or a Save runs.
class ScopedFileCalls {
 public:
  explicit ScopedFileCalls(const FileCalls& calls);
  ~ScopedFileCalls();
  ScopedFileCalls(const ScopedFileCalls&) = delete;
  ScopedFileCalls& operator=(const ScopedFileCalls&) = delete;

 private:
  const FileCalls* previous_;
};

}  // namespace tarvovcard::frame
