// Path functions of the shell's light-weight utility layer.
//
// Both "/" and "\" separate components, so names written on either platform
// split the same way. There is no 260-byte limit: PathRemoveFileSpecA and
// PathStripPathA only shorten their argument; PathAppendA needs a buffer of
// strlen(pszPath) + strlen(pszMore) + 2 bytes (PathAppendW likewise in units).
#pragma once

#include "tarvovcard/platform/wtypes.h"

// Removes the last component and the separator before it. "C:\dir\x.vcf"
// gives "C:\dir", "C:\x.vcf" gives "C:\", "\x.vcf" gives "\", "x.vcf" gives "".
// TRUE when something was removed.
BOOL PathRemoveFileSpecA(LPSTR pszPath);
// Keeps only the last component: "C:\dir\x.vcf" gives "x.vcf".
void PathStripPathA(LPSTR pszPath);
// Joins pszMore onto pszPath with one separator ("/"), unless pszPath is empty
// or already ends with a separator. A pszMore that begins with a separator
// loses it first. TRUE on success.
BOOL PathAppendA(LPSTR pszPath, LPCSTR pszMore);
BOOL PathAppendW(LPWSTR pszPath, LPCWSTR pszMore);
BOOL PathFileExistsA(LPCSTR pszPath);
