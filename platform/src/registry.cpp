// The registry stand-in: HKEY_CLASSES_ROOT kept in one text file per user.
//
// Invariants:
// - The file is only ever replaced whole: a new version is written to a
//   temporary file beside it, flushed to disk and renamed over the old one, so
//   a reader (of this or any process) sees either the old or the new version.
// - Every change runs under an exclusive flock on the lock file, and re-reads
//   the file under that lock before it changes anything, so concurrent writers
//   never lose each other's keys.
// - Readers take no lock: they open the file, and re-parse it when the open
//   version differs (device, inode, size, modification time) from the one in
//   memory.
// - A handle names a key path, not a node: the tree in memory is rebuilt on
//   every re-read, and another process may delete the key under a handle
//   (ERROR_KEY_DELETED from then on).
// - A change that cannot be written leaves the file as it was and the tree in
//   memory is dropped, so memory never claims what the file does not hold.
//
// File format (UTF-8, one item per line, LF line ends):
//   TarvovCard registry 1          the header, always the first line
//   K <path>                       a key: its names from the root joined by '\'
//   D <text>                       the default value of the key above
//   V <name>=<text>                a named value of the key above
// Keys come parent before child. In names and texts, '%', '\', '=' and the
// control characters are written as %HH (the hex of the byte). Text is UTF-8,
// with unpaired surrogates of the UTF-16 strings kept as their 3-byte forms so
// that every string comes back unit for unit.
#include "tarvovcard/platform/winreg.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

constexpr std::string_view kHeader = "TarvovCard registry 1";
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;

// ---------------------------------------------------------------------------
// Text helpers.

// Case folding for key and value names: ASCII, Latin-1, Greek and Cyrillic
// letters compare without regard to case; everything else compares as is.
char16_t FoldChar(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c < 0x80) return c;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  return c;
}

std::u16string Fold(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out) c = FoldChar(c);
  return out;
}

// UTF-16 to UTF-8, unpaired surrogates as their 3-byte forms.
void AppendUtf8(std::string& out, std::u16string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
}

// UTF-8 (with 3-byte surrogate forms) to UTF-16; nullopt for malformed bytes.
std::optional<std::u16string> FromUtf8(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    char32_t c;
    std::size_t n;
    if (b < 0x80) {
      c = b;
      n = 1;
    } else if ((b & 0xE0) == 0xC0) {
      c = b & 0x1F;
      n = 2;
    } else if ((b & 0xF0) == 0xE0) {
      c = b & 0x0F;
      n = 3;
    } else if ((b & 0xF8) == 0xF0) {
      c = b & 0x07;
      n = 4;
    } else {
      return std::nullopt;
    }
    if (i + n > s.size()) return std::nullopt;
    for (std::size_t k = 1; k < n; ++k) {
      unsigned char t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return std::nullopt;
      c = (c << 6) | (t & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kMin[n] || c > 0x10FFFF) return std::nullopt;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += n;
  }
  return out;
}

void AppendEscaped(std::string& out, std::u16string_view s) {
  std::string utf8;
  AppendUtf8(utf8, s);
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (char ch : utf8) {
    unsigned char b = static_cast<unsigned char>(ch);
    if (b < 0x20 || b == 0x7F || ch == '%' || ch == '\\' || ch == '=') {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
    } else {
      out += ch;
    }
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::u16string> Unescape(std::string_view s) {
  std::string bytes;
  bytes.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    char ch = s[i];
    unsigned char b = static_cast<unsigned char>(ch);
    if (b < 0x20 || b == 0x7F || ch == '\\' || ch == '=') return std::nullopt;
    if (ch == '%') {
      if (i + 2 >= s.size()) return std::nullopt;
      int hi = HexDigit(s[i + 1]), lo = HexDigit(s[i + 2]);
      if (hi < 0 || lo < 0) return std::nullopt;
      bytes += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else {
      bytes += ch;
    }
  }
  return FromUtf8(bytes);
}

// A UTF-16 argument up to its NUL; null reads as empty.
std::u16string_view ArgText(LPCWSTR s) {
  if (!s) return {};
  return std::u16string_view(s);
}

// ---------------------------------------------------------------------------
// The tree.

struct Value {
  std::u16string name;
  std::u16string data;
};

struct Key {
  std::u16string name;
  std::optional<std::u16string> defaultValue;
  std::map<std::u16string, Value> values;                  // by folded name
  std::map<std::u16string, std::unique_ptr<Key>> subkeys;  // by folded name
};

// A key path as the folded names from the root; the root is the empty path.
using Path = std::vector<std::u16string>;

// Splits "a\b\c" into its names; nullopt for an empty name or one too long.
std::optional<std::vector<std::u16string_view>> SplitPath(std::u16string_view s) {
  std::vector<std::u16string_view> names;
  if (s.empty()) return names;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = s.find(u'\\', start);
    std::u16string_view name = s.substr(start, end == s.npos ? s.npos : end - start);
    if (name.empty() || name.size() > kMaxKeyNameLength) return std::nullopt;
    names.push_back(name);
    if (end == s.npos) break;
    start = end + 1;
  }
  return names;
}

Key* Find(Key& root, const Path& path) {
  Key* k = &root;
  for (const auto& folded : path) {
    auto it = k->subkeys.find(folded);
    if (it == k->subkeys.end()) return nullptr;
    k = it->second.get();
  }
  return k;
}

void Serialize(const Key& k, std::string& prefix, std::string& out, bool isRoot) {
  if (!isRoot || k.defaultValue || !k.values.empty()) {
    out += "K ";
    out += prefix;
    out += '\n';
  }
  if (k.defaultValue) {
    out += "D ";
    AppendEscaped(out, *k.defaultValue);
    out += '\n';
  }
  for (const auto& [folded, v] : k.values) {
    out += "V ";
    AppendEscaped(out, v.name);
    out += '=';
    AppendEscaped(out, v.data);
    out += '\n';
  }
  for (const auto& [folded, sub] : k.subkeys) {
    std::size_t mark = prefix.size();
    if (!isRoot) prefix += '\\';
    AppendEscaped(prefix, sub->name);
    Serialize(*sub, prefix, out, false);
    prefix.resize(mark);
  }
}

std::string Serialize(const Key& root) {
  std::string out(kHeader);
  out += '\n';
  std::string prefix;
  Serialize(root, prefix, out, true);
  return out;
}

// Parses the whole file; nullptr when any line is malformed.
std::unique_ptr<Key> Parse(std::string_view text) {
  auto root = std::make_unique<Key>();
  if (text.empty()) return root;
  std::size_t pos = 0;
  auto nextLine = [&](std::string_view& line) {
    if (pos >= text.size()) return false;
    std::size_t end = text.find('\n', pos);
    if (end == text.npos) return false;  // every line ends with LF: a cut file is bad
    line = text.substr(pos, end - pos);
    pos = end + 1;
    return true;
  };
  std::string_view line;
  if (!nextLine(line) || line != kHeader) return nullptr;
  Key* current = nullptr;
  while (nextLine(line)) {
    if (line.size() < 2 || line[1] != ' ') return nullptr;
    std::string_view rest = line.substr(2);
    switch (line[0]) {
      case 'K': {
        current = root.get();
        if (rest.empty()) break;
        std::size_t start = 0;
        for (;;) {
          std::size_t end = rest.find('\\', start);
          auto name = Unescape(rest.substr(start, end == rest.npos ? rest.npos : end - start));
          if (!name || name->empty() || name->size() > kMaxKeyNameLength) return nullptr;
          auto& slot = current->subkeys[Fold(*name)];
          if (!slot) {
            slot = std::make_unique<Key>();
            slot->name = std::move(*name);
          }
          current = slot.get();
          if (end == rest.npos) break;
          start = end + 1;
        }
        break;
      }
      case 'D': {
        auto data = Unescape(rest);
        if (!current || !data) return nullptr;
        current->defaultValue = std::move(*data);
        break;
      }
      case 'V': {
        std::size_t eq = rest.find('=');
        if (!current || eq == rest.npos) return nullptr;
        auto name = Unescape(rest.substr(0, eq));
        auto data = Unescape(rest.substr(eq + 1));
        if (!name || !data || name->empty()) return nullptr;
        std::u16string folded = Fold(*name);
        current->values[folded] = Value{std::move(*name), std::move(*data)};
        break;
      }
      default:
        return nullptr;
    }
  }
  if (pos != text.size()) return nullptr;
  return root;
}

// ---------------------------------------------------------------------------
// The process-wide state.

struct FileVersion {
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = -1;
  timespec mtime{};
  timespec ctime{};
  bool operator==(const FileVersion& o) const {
    return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
           mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec &&
           ctime.tv_nsec == o.ctime.tv_nsec;
  }
};

FileVersion VersionOf(const struct stat& st) {
  FileVersion v;
  v.dev = st.st_dev;
  v.ino = st.st_ino;
  v.size = st.st_size;
  v.mtime = st.st_mtim;
  v.ctime = st.st_ctim;
  return v;
}

struct Store {
  std::recursive_mutex mutex;
  std::string path;  // empty until first needed
  std::unique_ptr<Key> root = std::make_unique<Key>();
  // What root reflects: nothing yet (must read), the absent file, or a version.
  enum class Cache { kNone, kAbsent, kFile } cache = Cache::kNone;
  FileVersion version;
  // The open update: the lock file held, its depth, whether anything changed,
  // and whether an inner end asked to drop the changes.
  int lockFd = -1;
  int updateDepth = 0;
  bool dirty = false;
  bool dropped = false;
  // Open handles: id -> folded key path.
  std::unordered_map<std::uintptr_t, Path> handles;
  std::uintptr_t nextHandle = 0x1000;
};

Store& TheStore() {
  static Store store;
  return store;
}

std::string DefaultRegistryPath() {
  const char* home = std::getenv("HOME");
  std::string dir;
  if (home && *home) {
    dir = home;
  } else {
    struct passwd pw;
    struct passwd* found = nullptr;
    char buf[4096];
    if (getpwuid_r(getuid(), &pw, buf, sizeof buf, &found) == 0 && found && found->pw_dir)
      dir = found->pw_dir;
    else
      dir = "/tmp";
  }
  return dir + "/.local/share/tarvovcard/registry";
}

const std::string& RegistryPath(Store& s) {
  if (s.path.empty()) s.path = DefaultRegistryPath();
  return s.path;
}

// Creates every missing folder above path.
bool MakeParentDirs(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return true;
  std::string dir = path.substr(0, slash);
  struct stat st;
  if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (!MakeParentDirs(dir)) return false;
  return mkdir(dir.c_str(), 0755) == 0 || errno == EEXIST;
}

// Brings root up to date with the file. force re-reads even an unchanged one.
LONG Refresh(Store& s, bool force) {
  const std::string& path = RegistryPath(s);
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno != ENOENT) return ERROR_CANTOPEN;
    if (s.cache != Store::Cache::kAbsent) {
      s.root = std::make_unique<Key>();
      s.cache = Store::Cache::kAbsent;
    }
    return ERROR_SUCCESS;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return ERROR_CANTREAD;
  }
  FileVersion version = VersionOf(st);
  if (!force && s.cache == Store::Cache::kFile && s.version == version) {
    close(fd);
    return ERROR_SUCCESS;
  }
  std::string text;
  char buf[65536];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      s.cache = Store::Cache::kNone;
      return ERROR_CANTREAD;
    }
    if (n == 0) break;
    text.append(buf, static_cast<std::size_t>(n));
  }
  close(fd);
  std::unique_ptr<Key> root = Parse(text);
  if (!root) {
    s.cache = Store::Cache::kNone;
    return ERROR_BADDB;
  }
  s.root = std::move(root);
  s.cache = Store::Cache::kFile;
  s.version = version;
  return ERROR_SUCCESS;
}

bool WriteAll(int fd, const std::string& text) {
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

// Replaces the file with the tree in memory: temporary file, fsync, rename.
LONG WriteFile(Store& s) {
  const std::string& path = RegistryPath(s);
  std::string tmp = path + ".tmp." + std::to_string(getpid());
  std::string text = Serialize(*s.root);
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return ERROR_CANTWRITE;
  bool ok = WriteAll(fd, text) && fsync(fd) == 0;
  ok = (close(fd) == 0) && ok;
  if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
    unlink(tmp.c_str());
    return ERROR_CANTWRITE;
  }
  // The rename itself reaches the disk with the folder.
  std::size_t slash = path.find_last_of('/');
  std::string dir = slash == std::string::npos ? "." : path.substr(0, slash ? slash : 1);
  int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    fsync(dfd);
    close(dfd);
  }
  struct stat st;
  if (stat(path.c_str(), &st) == 0) {
    s.cache = Store::Cache::kFile;
    s.version = VersionOf(st);
  } else {
    s.cache = Store::Cache::kNone;
  }
  return ERROR_SUCCESS;
}

LONG LockFile(Store& s) {
  const std::string& path = RegistryPath(s);
  if (!MakeParentDirs(path)) return ERROR_CANTWRITE;
  std::string lockPath = path + ".lock";
  int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return ERROR_CANTOPEN;
  while (flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      close(fd);
      return ERROR_CANTOPEN;
    }
  }
  s.lockFd = fd;
  return ERROR_SUCCESS;
}

void UnlockFile(Store& s) {
  if (s.lockFd >= 0) {
    flock(s.lockFd, LOCK_UN);
    close(s.lockFd);
    s.lockFd = -1;
  }
}

LONG BeginUpdateLocked(Store& s) {
  if (s.updateDepth == 0) {
    if (LONG r = LockFile(s)) return r;
    if (LONG r = Refresh(s, true)) {
      UnlockFile(s);
      return r;
    }
    s.dirty = false;
    s.dropped = false;
  }
  ++s.updateDepth;
  return ERROR_SUCCESS;
}

LONG EndUpdateLocked(Store& s, bool commit) {
  if (!commit) s.dropped = true;
  if (--s.updateDepth > 0) return ERROR_SUCCESS;
  LONG result = ERROR_SUCCESS;
  if (s.dirty && !s.dropped) result = WriteFile(s);
  // An inner end dropped changes that this one was asked to keep: the caller
  // must not take them for written.
  if (s.dirty && s.dropped && commit) result = ERROR_CANCELLED;
  if (s.dirty && (s.dropped || result != ERROR_SUCCESS)) s.cache = Store::Cache::kNone;
  s.dirty = false;
  s.dropped = false;
  UnlockFile(s);
  return result;
}

// Runs a read against the current tree.
template <class F>
LONG Read(F&& f) {
  Store& s = TheStore();
  std::lock_guard guard(s.mutex);
  if (s.updateDepth == 0) {
    if (LONG r = Refresh(s, false)) return r;
  }
  return f(s);
}

// Runs a change: f(store, changed) returns an error number and sets changed
// when it altered the tree. Alone it is its own update; inside an open update
// it only marks the update dirty.
template <class F>
LONG Change(F&& f) {
  Store& s = TheStore();
  std::lock_guard guard(s.mutex);
  if (LONG r = BeginUpdateLocked(s)) return r;
  bool changed = false;
  LONG r = f(s, changed);
  if (changed) s.dirty = true;
  // A failed step alters nothing, so an update of its own has nothing to drop.
  LONG e = EndUpdateLocked(s, true);
  return r != ERROR_SUCCESS ? r : e;
}

// The key path of a handle; nullopt for an unknown handle.
std::optional<Path> PathOf(Store& s, HKEY h) {
  if (h == HKEY_CLASSES_ROOT) return Path{};
  auto it = s.handles.find(reinterpret_cast<std::uintptr_t>(h));
  if (it == s.handles.end()) return std::nullopt;
  return it->second;
}

HKEY NewHandle(Store& s, Path path) {
  std::uintptr_t id = s.nextHandle;
  s.nextHandle += 4;
  s.handles.emplace(id, std::move(path));
  return reinterpret_cast<HKEY>(id);
}

// Resolves a handle and its sub-key argument to the key path they name.
LONG Resolve(Store& s, HKEY h, LPCWSTR subKey, Path& out) {
  auto base = PathOf(s, h);
  if (!base) return ERROR_INVALID_HANDLE;
  auto names = SplitPath(ArgText(subKey));
  if (!names) return ERROR_BADKEY;
  out = std::move(*base);
  for (auto name : *names) out.push_back(Fold(name));
  return ERROR_SUCCESS;
}

// The key of a handle itself, which must still exist.
LONG KeyOf(Store& s, HKEY h, Key*& key) {
  auto path = PathOf(s, h);
  if (!path) return ERROR_INVALID_HANDLE;
  key = Find(*s.root, *path);
  return key ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

}  // namespace

LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM, void*,
                     PHKEY phkResult, LPDWORD lpdwDisposition) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  return Change([&](Store& s, bool& changed) -> LONG {
    Key* key = nullptr;
    if (LONG r = KeyOf(s, hKey, key)) return r;
    auto names = SplitPath(ArgText(lpSubKey));
    if (!names) return ERROR_BADKEY;
    Path path = *PathOf(s, hKey);
    DWORD disposition = REG_OPENED_EXISTING_KEY;
    for (auto name : *names) {
      std::u16string folded = Fold(name);
      auto& slot = key->subkeys[folded];
      if (!slot) {
        slot = std::make_unique<Key>();
        slot->name = std::u16string(name);
        disposition = REG_CREATED_NEW_KEY;
        changed = true;
      }
      key = slot.get();
      path.push_back(std::move(folded));
    }
    *phkResult = NewHandle(s, std::move(path));
    if (lpdwDisposition) *lpdwDisposition = disposition;
    return ERROR_SUCCESS;
  });
}

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  return Read([&](Store& s) -> LONG {
    Key* base = nullptr;
    if (LONG r = KeyOf(s, hKey, base)) return r;
    Path path;
    if (LONG r = Resolve(s, hKey, lpSubKey, path)) return r;
    if (!Find(*s.root, path)) return ERROR_FILE_NOT_FOUND;
    *phkResult = NewHandle(s, std::move(path));
    return ERROR_SUCCESS;
  });
}

LONG RegCloseKey(HKEY hKey) {
  if (hKey == HKEY_CLASSES_ROOT) return ERROR_SUCCESS;
  Store& s = TheStore();
  std::lock_guard guard(s.mutex);
  return s.handles.erase(reinterpret_cast<std::uintptr_t>(hKey)) ? ERROR_SUCCESS
                                                                 : ERROR_INVALID_HANDLE;
}

LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                    DWORD cbData) {
  if (dwType != REG_SZ || (!lpData && cbData != 0)) return ERROR_INVALID_PARAMETER;
  std::u16string text;
  for (DWORD i = 0; i < cbData / 2; ++i) {
    char16_t c;
    std::memcpy(&c, lpData + 2 * i, sizeof c);
    if (c == 0) break;
    text += c;
  }
  std::u16string_view name = ArgText(lpValueName);
  if (name.size() > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
  return Change([&](Store& s, bool& changed) -> LONG {
    Key* key = nullptr;
    if (LONG r = KeyOf(s, hKey, key)) return r;
    if (name.empty()) {
      if (key->defaultValue != text) {
        key->defaultValue = text;
        changed = true;
      }
      return ERROR_SUCCESS;
    }
    Value& v = key->values[Fold(name)];
    if (v.name != name || v.data != text) {
      v.name = std::u16string(name);
      v.data = text;
      changed = true;
    }
    return ERROR_SUCCESS;
  });
}

LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData) {
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  return Read([&](Store& s) -> LONG {
    Key* key = nullptr;
    if (LONG r = KeyOf(s, hKey, key)) return r;
    std::u16string_view name = ArgText(lpValueName);
    const std::u16string* text = nullptr;
    if (name.empty()) {
      if (key->defaultValue) text = &*key->defaultValue;
    } else {
      auto it = key->values.find(Fold(name));
      if (it != key->values.end()) text = &it->second.data;
    }
    if (!text) return ERROR_FILE_NOT_FOUND;
    if (lpType) *lpType = REG_SZ;
    DWORD needed = static_cast<DWORD>((text->size() + 1) * sizeof(char16_t));
    if (!lpcbData) return ERROR_SUCCESS;
    DWORD room = *lpcbData;
    *lpcbData = needed;
    if (!lpData) return ERROR_SUCCESS;
    if (room < needed) return ERROR_MORE_DATA;
    std::memcpy(lpData, text->c_str(), needed);
    return ERROR_SUCCESS;
  });
}

LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  return Change([&](Store& s, bool& changed) -> LONG {
    Key* key = nullptr;
    if (LONG r = KeyOf(s, hKey, key)) return r;
    std::u16string_view name = ArgText(lpValueName);
    if (name.empty()) {
      if (!key->defaultValue) return ERROR_FILE_NOT_FOUND;
      key->defaultValue.reset();
    } else if (key->values.erase(Fold(name)) == 0) {
      return ERROR_FILE_NOT_FOUND;
    }
    changed = true;
    return ERROR_SUCCESS;
  });
}

LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD,
                   LPWSTR lpClass, LPDWORD lpcchClass, FILETIME*) {
  if (!lpName || !lpcchName) return ERROR_INVALID_PARAMETER;
  return Read([&](Store& s) -> LONG {
    Key* key = nullptr;
    if (LONG r = KeyOf(s, hKey, key)) return r;
    if (dwIndex >= key->subkeys.size()) return ERROR_NO_MORE_ITEMS;
    auto it = key->subkeys.begin();
    std::advance(it, dwIndex);
    const std::u16string& name = it->second->name;
    if (*lpcchName < name.size() + 1) return ERROR_MORE_DATA;
    std::memcpy(lpName, name.c_str(), (name.size() + 1) * sizeof(char16_t));
    *lpcchName = static_cast<DWORD>(name.size());
    if (lpClass && lpcchClass && *lpcchClass > 0) {
      lpClass[0] = 0;
      *lpcchClass = 0;
    }
    return ERROR_SUCCESS;
  });
}

LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD, LPDWORD lpcSubKeys,
                      LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                      LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                      LPDWORD lpcbSecurityDescriptor, FILETIME*) {
  return Read([&](Store& s) -> LONG {
    Key* key = nullptr;
    if (LONG r = KeyOf(s, hKey, key)) return r;
    DWORD maxSub = 0, maxName = 0, maxValue = 0;
    for (const auto& [f, sub] : key->subkeys)
      maxSub = std::max<DWORD>(maxSub, static_cast<DWORD>(sub->name.size()));
    for (const auto& [f, v] : key->values) {
      maxName = std::max<DWORD>(maxName, static_cast<DWORD>(v.name.size()));
      maxValue = std::max<DWORD>(maxValue, static_cast<DWORD>((v.data.size() + 1) * 2));
    }
    if (key->defaultValue)
      maxValue = std::max<DWORD>(maxValue, static_cast<DWORD>((key->defaultValue->size() + 1) * 2));
    if (lpClass && lpcchClass && *lpcchClass > 0) lpClass[0] = 0;
    if (lpcchClass) *lpcchClass = 0;
    if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(key->subkeys.size());
    if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = maxSub;
    if (lpcbMaxClassLen) *lpcbMaxClassLen = 0;
    if (lpcValues) *lpcValues = static_cast<DWORD>(key->values.size());
    if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = maxName;
    if (lpcbMaxValueLen) *lpcbMaxValueLen = maxValue;
    if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
    return ERROR_SUCCESS;
  });
}

LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
  return Change([&](Store& s, bool& changed) -> LONG {
    Key* base = nullptr;
    if (LONG r = KeyOf(s, hKey, base)) return r;
    Path path;
    if (LONG r = Resolve(s, hKey, lpSubKey, path)) return r;
    if (path.empty()) return ERROR_ACCESS_DENIED;  // the root stays
    Key* key = Find(*s.root, path);
    if (!key) return ERROR_FILE_NOT_FOUND;
    if (!key->subkeys.empty()) return ERROR_ACCESS_DENIED;
    std::u16string last = path.back();
    path.pop_back();
    Find(*s.root, path)->subkeys.erase(last);
    changed = true;
    return ERROR_SUCCESS;
  });
}

LONG RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
  return Change([&](Store& s, bool& changed) -> LONG {
    Key* base = nullptr;
    if (LONG r = KeyOf(s, hKey, base)) return r;
    if (!lpSubKey) {
      changed = !base->subkeys.empty() || !base->values.empty() || base->defaultValue;
      base->subkeys.clear();
      base->values.clear();
      base->defaultValue.reset();
      return ERROR_SUCCESS;
    }
    Path path;
    if (LONG r = Resolve(s, hKey, lpSubKey, path)) return r;
    if (path.empty()) return ERROR_ACCESS_DENIED;
    if (!Find(*s.root, path)) return ERROR_FILE_NOT_FOUND;
    std::u16string last = path.back();
    path.pop_back();
    Find(*s.root, path)->subkeys.erase(last);
    changed = true;
    return ERROR_SUCCESS;
  });
}

LONG RegSetRegistryFile(const char* path) {
  Store& s = TheStore();
  std::lock_guard guard(s.mutex);
  if (s.updateDepth > 0) return ERROR_ACCESS_DENIED;
  std::string newPath;
  if (path && *path) {
    newPath = path;
    if (newPath[0] != '/') {
      char cwd[4096];
      if (!getcwd(cwd, sizeof cwd)) return ERROR_INVALID_PARAMETER;
      newPath = std::string(cwd) + "/" + newPath;
    }
  } else {
    newPath = DefaultRegistryPath();
  }
  s.path = std::move(newPath);
  s.root = std::make_unique<Key>();
  s.cache = Store::Cache::kNone;
  return ERROR_SUCCESS;
}

const char* RegGetRegistryFile() {
  Store& s = TheStore();
  std::lock_guard guard(s.mutex);
  return RegistryPath(s).c_str();
}

LONG RegBeginUpdate() {
  Store& s = TheStore();
  s.mutex.lock();  // held until the matching RegEndUpdate
  LONG r = BeginUpdateLocked(s);
  if (r != ERROR_SUCCESS) s.mutex.unlock();
  return r;
}

LONG RegEndUpdate(BOOL fCommit) {
  Store& s = TheStore();
  std::lock_guard guard(s.mutex);
  if (s.updateDepth == 0) return ERROR_INVALID_PARAMETER;
  LONG r = EndUpdateLocked(s, fCommit != FALSE);
  s.mutex.unlock();  // the lock taken by RegBeginUpdate
  return r;
}
