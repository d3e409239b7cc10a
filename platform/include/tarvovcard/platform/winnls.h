// Code-page conversion between 8-bit text and UTF-16.
//
// CP_ACP, the ANSI code page, is Windows-1252 here, whatever the locale, so
// that files read and written by this system mean the same bytes on every
// machine. Its default character for text it cannot represent is "?".
// Malformed UTF-8 becomes U+FFFD; an unpaired surrogate becomes U+FFFD when
// encoded to UTF-8.
#pragma once

#include "tarvovcard/platform/wtypes.h"

constexpr UINT CP_ACP = 0;
constexpr UINT CP_UTF8 = 65001;

// No conversion flag changes anything here; dwFlags is accepted and ignored.
//
// cbMultiByte -1 converts up to and including the NUL terminator. A
// cchWideChar of 0 asks for the required length. Returns the number of UTF-16
// units written (or required), 0 on failure with GetLastError set
// (ERROR_INSUFFICIENT_BUFFER, ERROR_INVALID_PARAMETER).
int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar);
// The reverse. For CP_ACP, characters outside Windows-1252 become
// lpDefaultChar's first byte (or "?"), and *lpUsedDefaultChar is set to TRUE.
// CP_UTF8 accepts neither a default character nor the flag pointer.
int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        BOOL* lpUsedDefaultChar);
