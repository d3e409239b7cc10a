#include "tools/progress.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <tarvovcard/text.h>

namespace tarvovcard::tools {
namespace {

constexpr auto kRedraw = std::chrono::milliseconds(250);

// One input as the watcher sees it.
struct WatchedFile {
  std::string path;       // as /proc/self/fd links name it
  long long size = 0;     // -1 when it cannot be read
  long long counted = 0;  // bytes whose cards are counted (up to a line end)
  int fd = -1;            // the watcher's own descriptor
  int depth = 0;          // cards open at `counted`
};

// Where descriptor `fd` of this process stands, or -1.
long long PositionOf(int fd) {
  char name[64];
  std::snprintf(name, sizeof name, "/proc/self/fdinfo/%d", fd);
  std::FILE* info = std::fopen(name, "r");
  if (!info) return -1;
  long long pos = -1;
  if (std::fscanf(info, "pos: %lld", &pos) != 1) pos = -1;
  std::fclose(info);
  return pos;
}

// The file the Load has open, by index into `files`, with its position;
// false when none of them is open (between two files, or before the first).
bool FindOpenFile(const std::vector<WatchedFile>& files, std::size_t* index, long long* pos) {
  DIR* folder = ::opendir("/proc/self/fd");
  if (!folder) return false;
  bool found = false;
  while (const dirent* entry = ::readdir(folder)) {
    char* end = nullptr;
    const long fd = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end) continue;
    char link[32], target[PATH_MAX];
    std::snprintf(link, sizeof link, "/proc/self/fd/%ld", fd);
    const ssize_t length = ::readlink(link, target, sizeof target - 1);
    if (length <= 0) continue;
    target[length] = '\0';
    for (std::size_t i = 0; i < files.size() && !found; ++i) {
      if (files[i].fd == fd || files[i].path != target) continue;
      *pos = PositionOf(static_cast<int>(fd));
      *index = i;
      found = *pos >= 0;
    }
    if (found) break;
  }
  ::closedir(folder);
  return found;
}

// Whether `line` (from its first byte) starts with `word`, blanks and ASCII
// case aside.
bool LineIs(const char* line, const char* end, std::string_view word) {
  while (line < end && (*line == ' ' || *line == '\t')) ++line;
  if (end - line < static_cast<long>(word.size())) return false;
  return EqualsIgnoreAsciiCase(std::string_view(line, word.size()), word);
}

// Counts the cards of `file` from what is counted to `up_to` (whole lines
// only, so that a card start cut by the position is counted next time).
long CountCards(WatchedFile& file, long long up_to) {
  if (file.fd < 0) file.fd = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file.fd < 0) return 0;
  long cards = 0;
  static thread_local std::vector<char> buffer(1 << 20);
  while (file.counted < up_to) {
    const std::size_t want = static_cast<std::size_t>(
        std::min<long long>(up_to - file.counted, static_cast<long long>(buffer.size())));
    const ssize_t got = ::pread(file.fd, buffer.data(), want, file.counted);
    if (got <= 0) break;
    const char* begin = buffer.data();
    const char* end = begin + got;
    const bool at_end = file.counted + got >= file.size;
    // The last line end of the block; a block without one is skipped whole.
    const char* last = end;
    while (last > begin && last[-1] != '\n') --last;
    if (at_end) last = end;
    if (last == begin) {
      // No line end yet: wait for the rest of the line, unless the line is
      // longer than the block.
      if (static_cast<std::size_t>(got) < buffer.size()) break;
      last = end;
    }
    for (const char* line = begin; line < last;) {
      const char* next = static_cast<const char*>(std::memchr(line, '\n', last - line));
      next = next ? next + 1 : last;
      // Only the outermost cards count, as the command's summary does.
      if (LineIs(line, next, "BEGIN:VCARD")) {
        cards += file.depth == 0;
        ++file.depth;
      } else if (file.depth > 0 && LineIs(line, next, "END:VCARD")) {
        --file.depth;
      }
      line = next;
    }
    file.counted += last - begin;
    if (static_cast<std::size_t>(got) < want) break;
  }
  return cards;
}

std::string Megabytes(long long bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

}  // namespace

LoadProgress::LoadProgress(const std::vector<std::string>& files) {
  if (!::isatty(STDERR_FILENO)) return;
  long delay_ms = 500;
  if (const char* delay = std::getenv("TARVOVCARD_PROGRESS_DELAY_MS"); delay && *delay)
    delay_ms = std::strtol(delay, nullptr, 10);
  watcher_ = std::thread(&LoadProgress::Watch, this, files, delay_ms);
}

LoadProgress::~LoadProgress() {
  if (!watcher_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  stop_requested_.notify_one();
  watcher_.join();
}

void LoadProgress::Watch(std::vector<std::string> names, long delay_ms) {
  std::vector<WatchedFile> files;
  long long total = 0;
  for (const std::string& name : names) {
    WatchedFile& file = files.emplace_back();
    char resolved[PATH_MAX];
    struct stat info;
    if (::realpath(name.c_str(), resolved) && ::stat(resolved, &info) == 0 &&
        S_ISREG(info.st_mode)) {
      file.path = resolved;
      file.size = info.st_size;
      total += info.st_size;
    } else {
      file.size = -1;
    }
  }

  std::unique_lock lock(mutex_);
  bool shown = false;
  long cards = 0;
  std::size_t done = 0;  // the files before this one are read whole
  long long done_bytes = 0, position = 0;
  auto count_up_to = [&](std::size_t index, long long pos) {
    for (; done < index; ++done) {
      if (files[done].size < 0) continue;
      cards += CountCards(files[done], files[done].size);
      done_bytes += files[done].size;
    }
    position = pos;
    if (index < files.size() && files[index].size >= 0) cards += CountCards(files[index], pos);
  };
  auto draw = [&] {
    std::fprintf(stderr, "\rtarvovcard: reading: %ld card%s, %s of %s\033[K", cards,
                 cards == 1 ? "" : "s", Megabytes(done_bytes + position).c_str(),
                 Megabytes(total).c_str());
    std::fflush(stderr);
    shown = true;
  };
  // A delay of 0 draws at once, however short the Load.
  auto wait = std::chrono::milliseconds(delay_ms > 0 ? delay_ms : 0);
  while (wait.count() == 0 || !stop_requested_.wait_for(lock, wait, [this] { return stop_; })) {
    wait = kRedraw;
    std::size_t index = 0;
    long long pos = 0;
    if (FindOpenFile(files, &index, &pos) && index >= done) count_up_to(index, pos);
    draw();
    if (stop_) break;
  }
  if (shown) {
    // The Load is over: every file it could read is read whole.
    count_up_to(files.size(), 0);
    draw();
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
  }
  for (const WatchedFile& file : files)
    if (file.fd >= 0) ::close(file.fd);
}

}  // namespace tarvovcard::tools
