#include "writer/staged_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>

#include "frame/file_calls.h"

namespace tarvovcard::writer {
namespace {

constexpr HRESULT kOpenFailed = HRESULT_FROM_WIN32(ERROR_OPEN_FAILED);  // 0x8007006E
constexpr HRESULT kDiskFull = HRESULT_FROM_WIN32(ERROR_DISK_FULL);      // 0x80070070
constexpr HRESULT kWriteFault = HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);  // 0x8007001D

std::atomic<unsigned> g_sequence{0};

// Creates a new empty file beside `final_path`, named after it and hidden
// (".name.tmp-PID-N"), with the usual permissions for a new file (the
// process's umask applies); returns its name.
std::string CreateTemporaryBeside(const std::string& final_path) {
  const std::filesystem::path path(final_path);
  const std::string folder = path.has_parent_path() ? path.parent_path().string() + "/" : "";
  const std::string stem =
      folder + "." + path.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = stem + std::to_string(g_sequence.fetch_add(1));
    // O_EXCL: never an existing file, whoever made it. The writers then open
    // it through the file operations like any file.
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return name;
    }
    if (errno != EEXIST) break;
  }
  _com_issue_error(kOpenFailed);
}

// Makes the rename itself durable; a folder that cannot be synced still holds
// the renamed file, so a failure here is not one of the save.
void SyncFolderOf(const std::string& final_path) {
  std::filesystem::path folder = std::filesystem::path(final_path).parent_path();
  if (folder.empty()) folder = ".";
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

StagedFiles::~StagedFiles() {
  for (const auto& [target, entry] : entries_) {
    if (!entry.in_place) frame::Files().remove(entry.write_path.c_str());
  }
}

const std::string& StagedFiles::PathFor(const std::string& target) {
  if (auto found = entries_.find(target); found != entries_.end()) return found->second.write_path;
  if (target.empty()) _com_issue_error(kOpenFailed);
  Entry entry;
  entry.final_path = target;
  struct stat status;
  bool exists = ::lstat(target.c_str(), &status) == 0;
  if (exists && S_ISLNK(status.st_mode)) {
    // The link stays; the file it points to is replaced.
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(target, error);
    if (!error) entry.final_path = resolved.string();
    exists = ::stat(entry.final_path.c_str(), &status) == 0;
  }
  if (exists && !S_ISREG(status.st_mode)) {
    entry.in_place = true;
    entry.write_path = target;
  } else {
    // A file that may not be written is not replaced behind its back.
    if (exists && ::access(entry.final_path.c_str(), W_OK) != 0) _com_issue_error(kOpenFailed);
    entry.write_path = CreateTemporaryBeside(entry.final_path);
    if (exists) ::chmod(entry.write_path.c_str(), status.st_mode & 07777);
  }
  return entries_.emplace(target, std::move(entry)).first->second.write_path;
}

HRESULT StagedFiles::Commit(const std::string& target) {
  auto found = entries_.find(target);
  if (found == entries_.end()) return E_UNEXPECTED;
  const Entry entry = std::move(found->second);
  entries_.erase(found);
  if (entry.in_place) return S_OK;
  if (frame::Files().sync(entry.write_path.c_str()) != 0) {
    frame::Files().remove(entry.write_path.c_str());
    return kDiskFull;
  }
  if (frame::Files().rename(entry.write_path.c_str(), entry.final_path.c_str()) != 0) {
    frame::Files().remove(entry.write_path.c_str());
    return kWriteFault;
  }
  SyncFolderOf(entry.final_path);
  return S_OK;
}

void StagedFiles::Discard(const std::string& target) {
  auto found = entries_.find(target);
  if (found == entries_.end()) return;
  if (!found->second.in_place) frame::Files().remove(found->second.write_path.c_str());
  entries_.erase(found);
}

}  // namespace tarvovcard::writer
