// Path functions: "/" and "\" both separate components, so that names written
// on either platform split the same way. There is no length limit: the
// functions that shorten work in place, and PathAppend needs room for the two
// texts, one separator and the terminator.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "tarvovcard/platform/shlwapi.h"

namespace {

template <class Char>
bool IsSeparator(Char c) {
  return c == Char('/') || c == Char('\\');
}

template <class Char>
bool IsDriveLetter(Char c) {
  return (c >= Char('A') && c <= Char('Z')) || (c >= Char('a') && c <= Char('z'));
}

template <class Char>
std::size_t Length(const Char* s) {
  const Char* p = s;
  while (*p) ++p;
  return static_cast<std::size_t>(p - s);
}

// The length of the part that is never removed: "C:\", "C:", "\" or "\\"
// (the start of a network name), or nothing.
std::size_t RootLength(const char* path) {
  if (IsDriveLetter(path[0]) && path[1] == ':') return IsSeparator(path[2]) ? 3 : 2;
  if (IsSeparator(path[0])) return IsSeparator(path[1]) ? 2 : 1;
  return 0;
}

template <class Char>
BOOL Append(Char* path, const Char* more) {
  if (!path || !more) return FALSE;
  if (IsSeparator(*more)) ++more;
  const std::size_t length = Length(path);
  const std::size_t more_length = Length(more);
  Char* end = path + length;
  if (length > 0 && !IsSeparator(path[length - 1]) && more_length > 0) *end++ = Char('/');
  std::memmove(end, more, more_length * sizeof(Char));
  end[more_length] = Char(0);
  return TRUE;
}

}  // namespace

BOOL PathRemoveFileSpecA(LPSTR pszPath) {
  if (!pszPath || !*pszPath) return FALSE;
  const std::size_t root = RootLength(pszPath);
  const std::size_t length = std::strlen(pszPath);
  std::size_t cut = length;
  for (std::size_t i = length; i > root; --i) {
    if (IsSeparator(pszPath[i - 1])) {
      cut = i - 1;
      break;
    }
  }
  // No separator after the root: only the root stays ("C:\x.vcf" gives "C:\",
  // "x.vcf" gives "").
  if (cut == length) cut = root;
  if (cut >= length) return FALSE;
  pszPath[cut] = '\0';
  return TRUE;
}

void PathStripPathA(LPSTR pszPath) {
  if (!pszPath) return;
  // The last component starts after the last separator (or drive colon) that
  // is followed by something other than a separator.
  const char* name = pszPath;
  for (const char* p = pszPath; *p; ++p) {
    const bool boundary =
        IsSeparator(*p) || (p == pszPath + 1 && *p == ':' && IsDriveLetter(*pszPath));
    if (boundary && p[1] && !IsSeparator(p[1])) name = p + 1;
  }
  if (name != pszPath) std::memmove(pszPath, name, std::strlen(name) + 1);
}

BOOL PathAppendA(LPSTR pszPath, LPCSTR pszMore) {
  return Append(pszPath, pszMore);
}

BOOL PathAppendW(LPWSTR pszPath, LPCWSTR pszMore) {
  return Append(pszPath, pszMore);
}

BOOL PathFileExistsA(LPCSTR pszPath) {
  if (!pszPath) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  struct stat info;
  if (stat(pszPath, &info) == 0) return TRUE;
  SetLastError(errno == EACCES   ? ERROR_ACCESS_DENIED
               : errno == ENOENT ? ERROR_FILE_NOT_FOUND
                                 : ERROR_PATH_NOT_FOUND);
  return FALSE;
}
