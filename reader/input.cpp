#include "reader/input.h"

#include "frame/file_calls.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvovcard::reader {
namespace {

constexpr int kFileNotFound = 2;  // ERROR_FILE_NOT_FOUND
constexpr int kAccessDenied = 5;  // ERROR_ACCESS_DENIED
constexpr int kOpenFailed = 110;  // ERROR_OPEN_FAILED
constexpr char kEndOfText = 0x1A;

const frame::FileCalls& Calls() {
  return frame::Files();
}

// Drops every carriage return that directly precedes a line feed in
// [data, data + size); returns the new size.
std::size_t DropCarriageReturns(char* data, std::size_t size) {
  char* const end = data + size;
  char* cr = static_cast<char*>(std::memchr(data, '\r', size));
  char* out = cr;
  // Moves the runs between dropped carriage returns down, one memmove each.
  while (cr) {
    char* next =
        cr + 1 < end ? static_cast<char*>(std::memchr(cr + 1, '\r', end - cr - 1)) : nullptr;
    char* run = cr;
    if (cr + 1 < end && cr[1] == '\n') ++run;  // drop this one
    char* run_end = next ? next : end;
    if (out != run) std::memmove(out, run, static_cast<std::size_t>(run_end - run));
    out += run_end - run;
    cr = next;
  }
  return out ? static_cast<std::size_t>(out - data) : size;
}

}  // namespace

InputSource::~InputSource() {
  if (fd_ >= 0) Calls().close(fd_);
}

int InputSource::Open(const char* path) {
  int fd = Calls().open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    switch (errno) {
      case ENOENT:
      case ENOTDIR:
        return kFileNotFound;
      case EACCES:
      case EPERM:
        return kAccessDenied;
      default:
        return kOpenFailed;
    }
  }
  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    Calls().close(fd);
    return kOpenFailed;
  }
  fd_ = fd;
  at_end_ = false;
  held_cr_ = false;
  pending_ = -1;
  return 0;
}

long InputSource::Read(char* buffer, std::size_t size) {
  if (size == 0) return 0;
  for (;;) {
    if (at_end_) return 0;
    std::size_t used = 0;
    if (pending_ >= 0) {
      buffer[used++] = static_cast<char>(pending_);
      pending_ = -1;
    }
    if (held_cr_ && size - used == 1) {
      // Room for one byte only (the scanner's buffer is nearly full): the
      // byte after the held CR decides what goes in. Asking the system for
      // no bytes here would read as the end of the file.
      const long got = ResolveHeldCarriageReturn(buffer + used);
      return got < 0 ? -1 : static_cast<long>(used) + got;
    }
    if (held_cr_) {
      buffer[used++] = '\r';
      held_cr_ = false;
    }
    ssize_t got;
    do {
      got = Calls().read(fd_, buffer + used, size - used);
    } while (got < 0 && errno == EINTR);
    if (got < 0) return -1;
    if (got == 0) at_end_ = true;
    std::size_t fresh = static_cast<std::size_t>(got);
    if (const void* stop = std::memchr(buffer + used, kEndOfText, fresh)) {
      fresh = static_cast<std::size_t>(static_cast<const char*>(stop) - (buffer + used));
      at_end_ = true;
    }
    used = DropCarriageReturns(buffer, used + fresh);
    if (used > 0 && buffer[used - 1] == '\r') {
      // Held until the next byte is known. At the end of the text it ends
      // the last line and is dropped, so "END:VCARD" and a lone CR still
      // ends the card.
      held_cr_ = !at_end_;
      --used;
    }
    if (used > 0 || at_end_) return static_cast<long>(used);
  }
}

long InputSource::ResolveHeldCarriageReturn(char* out) {
  char next;
  ssize_t got;
  do {
    got = Calls().read(fd_, &next, 1);
  } while (got < 0 && errno == EINTR);
  if (got < 0) return -1;
  if (got == 0 || next == kEndOfText) {
    at_end_ = true;
    held_cr_ = false;
    return 0;
  }
  if (next == '\n') {  // CR LF: the CR goes
    held_cr_ = false;
    *out = '\n';
    return 1;
  }
  // A lone CR stays text. A second CR is held in its turn; any other byte
  // waits for the next read.
  *out = '\r';
  if (next != '\r') {
    held_cr_ = false;
    pending_ = static_cast<unsigned char>(next);
  }
  return 1;
}

}  // namespace tarvovcard::reader
