#include "writer/file_ops.h"

#include <fcntl.h>
#include <unistd.h>

namespace tarvovcard::writer {
namespace {

std::FILE* SystemOpen(const char* path, const char* mode) {
  return std::fopen(path, mode);
}

std::size_t SystemWrite(const void* data, std::size_t size, std::FILE* stream) {
  return std::fwrite(data, 1, size, stream);
}

int SystemClose(std::FILE* stream) {
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

constexpr FileOps kSystemFileOps = {SystemOpen,   SystemWrite, SystemClose,
                                    SystemRemove, SystemSync,  SystemRename};

const FileOps* g_file_ops = &kSystemFileOps;

}  // namespace

const FileOps& SystemFileOps() {
  return kSystemFileOps;
}

const FileOps& Files() {
  return *g_file_ops;
}

ScopedFileOps::ScopedFileOps(const FileOps& ops) : previous_(g_file_ops) {
  g_file_ops = &ops;
}

ScopedFileOps::~ScopedFileOps() {
  g_file_ops = previous_;
}

}  // namespace tarvovcard::writer
