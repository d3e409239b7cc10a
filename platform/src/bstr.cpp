// BSTR: a UTF-16 string whose 32-bit byte length stands just before the first
// character, followed by a two-byte NUL after the last byte.
//
// Layout of one allocation: [ULONG byte length][bytes][0][0]. The block comes
// from malloc, so the length is aligned and the characters (4 bytes further on)
// are aligned for char16_t. An odd byte length (SysAllocStringByteLen) still
// gets a whole NUL character after it, so the text always reads as terminated.
#include <cstdlib>
#include <cstring>
#include <limits>

#include "tarvovcard/platform/oleauto.h"

namespace {

constexpr std::size_t kPrefix = sizeof(ULONG);
constexpr std::size_t kTerminator = sizeof(OLECHAR);
// The length prefix is 32 bits; keep the whole block within it too.
constexpr std::size_t kMaxBytes = std::numeric_limits<ULONG>::max() - kPrefix - kTerminator - 1;

ULONG* PrefixOf(BSTR bstr) {
  return reinterpret_cast<ULONG*>(reinterpret_cast<char*>(bstr) - kPrefix);
}

// Allocates a BSTR of `bytes` bytes, copied from `src` when it is not null,
// zeroed otherwise.
BSTR AllocateBytes(const void* src, std::size_t bytes) {
  if (bytes > kMaxBytes) return nullptr;
  char* block = static_cast<char*>(std::malloc(kPrefix + bytes + kTerminator + 1));
  if (!block) return nullptr;
  const ULONG length = static_cast<ULONG>(bytes);
  std::memcpy(block, &length, sizeof length);
  char* text = block + kPrefix;
  if (src)
    std::memcpy(text, src, bytes);
  else
    std::memset(text, 0, bytes);
  // Up to three NUL bytes: a whole NUL character after an odd length too.
  std::memset(text + bytes, 0, kTerminator + 1);
  return reinterpret_cast<BSTR>(text);
}

std::size_t Utf16Length(const OLECHAR* psz) {
  const OLECHAR* p = psz;
  while (*p) ++p;
  return static_cast<std::size_t>(p - psz);
}

}  // namespace

BSTR SysAllocString(const OLECHAR* psz) {
  if (!psz) return nullptr;
  return AllocateBytes(psz, Utf16Length(psz) * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch) {
  return AllocateBytes(pch, static_cast<std::size_t>(cch) * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(LPCSTR psz, UINT len) {
  return AllocateBytes(psz, len);
}

INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT cch) {
  if (!pbstr) return FALSE;
  // psz may point into *pbstr itself, so the new string is made before the old
  // one is freed.
  BSTR fresh = SysAllocStringLen(psz, cch);
  if (!fresh) return FALSE;
  SysFreeString(*pbstr);
  *pbstr = fresh;
  return TRUE;
}

UINT SysStringLen(BSTR bstr) {
  return bstr ? *PrefixOf(bstr) / sizeof(OLECHAR) : 0;
}

UINT SysStringByteLen(BSTR bstr) {
  return bstr ? *PrefixOf(bstr) : 0;
}

void SysFreeString(BSTR bstr) {
  if (bstr) std::free(PrefixOf(bstr));
}
