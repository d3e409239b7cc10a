#include "frame/file_calls.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>

namespace tarvovcard::frame {
namespace {

int SystemOpen(const char* path, int flags) {
  return ::open(path, flags);
}
ssize_t SystemRead(int fd, void* buffer, std::size_t size) {
  return ::read(fd, buffer, size);
}
int SystemClose(int fd) {
  return ::close(fd);
}
std::FILE* SystemFopen(const char* path, const char* mode) {
  return std::fopen(path, mode);
}
std::size_t SystemFwrite(const void* data, std::size_t size, std::FILE* stream) {
  return std::fwrite(data, 1, size, stream);
}
int SystemFclose(std::FILE* stream) {
  return std::fclose(stream);
}
int SystemRemove(const char* path) {
  return std::remove(path);
}
int SystemSync(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  const int result = ::fsync(fd);
  ::close(fd);
  return result;
}
int SystemRename(const char* from, const char* to) {
  return std::rename(from, to);
}

constexpr FileCalls kSystemFileCalls = {SystemOpen,   SystemRead,   SystemClose,
                                        SystemFopen,  SystemFwrite, SystemFclose,
                                        SystemRemove, SystemSync,   SystemRename};

// Loads run on several threads at once; each reads the pointer.
std::atomic<const FileCalls*> g_file_calls{&kSystemFileCalls};

}  // namespace

const FileCalls& SystemFileCalls() {
  return kSystemFileCalls;
}

const FileCalls& Files() {
  return *g_file_calls.load(std::memory_order_relaxed);
}

ScopedFileCalls::ScopedFileCalls(const FileCalls& calls)
    : previous_(g_file_calls.exchange(&calls, std::memory_order_relaxed)) {}

ScopedFileCalls::~ScopedFileCalls() {
  g_file_calls.store(previous_, std::memory_order_relaxed);
}

}  // namespace tarvovcard::frame
