// The registry: HKEY_CLASSES_ROOT as a tree of keys, each with an optional
// default value and named string values.
//
// The calls keep the platform's names, arguments and LONG error numbers
// (ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ...), over char16_t strings. Key names
// and value names compare without regard to case and keep the case they were
// created with; a sub-key argument may name a path ("CLSID\\{...}\\ProgID").
//
// This runtime keeps the tree in one file per user,
// $HOME/.local/share/tarvovcard/registry, read when it changes and rewritten
// whole (temporary file, fsync, rename) after every change, so that a crash
// never leaves it half written. Every change re-reads the file under an
// exclusive lock on a companion lock file (the registry file's name plus
// ".lock"), so two processes that register at the same time both see their
// changes land. Only string values (REG_SZ) are kept.
#pragma once

#include <cstdint>

#include "tarvovcard/platform/wtypes.h"

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;
using LPDWORD = DWORD*;
using LPBYTE = BYTE*;
using LSTATUS = LONG;

// The only root this runtime keeps. It is never closed.
#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000000u)))

// Value types. Only REG_SZ is stored; RegSetValueExW refuses the others with
// ERROR_INVALID_PARAMETER.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

// Access rights: accepted and not checked (every key may be read and written).
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Error numbers the registry calls give besides those of wtypes.h.
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_KEY_DELETED = 1018;
constexpr LONG ERROR_CANCELLED = 1223;

struct FILETIME;

// Opens (creating where missing) hKey\lpSubKey. *phkResult must be closed
// with RegCloseKey. lpdwDisposition, when given, tells whether the key was new.
LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                     REGSAM samDesired, void* lpSecurityAttributes, PHKEY phkResult,
                     LPDWORD lpdwDisposition);
// Opens hKey\lpSubKey (hKey itself again for a null or empty lpSubKey);
// ERROR_FILE_NOT_FOUND when it does not exist.
LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                   PHKEY phkResult);
LONG RegCloseKey(HKEY hKey);

// Sets a value: the default value for a null or empty lpValueName. dwType must
// be REG_SZ; lpData holds cbData bytes of UTF-16 text, a terminating NUL
// included or not (the text stops at the first NUL).
LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                    const BYTE* lpData, DWORD cbData);
// Reads a value (the default value for a null or empty lpValueName).
// *lpcbData is the buffer's size in bytes on entry and the size of the text
// with its terminating NUL on return. A null lpData asks for the size only; a
// buffer too small gives ERROR_MORE_DATA. ERROR_FILE_NOT_FOUND when the value
// (or the default value) was never set.
LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData);
LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);

// The dwIndex-th sub-key of hKey, in the order of their names without regard
// to case. *lpcchName is the buffer's size in characters on entry and the
// name's length without its NUL on return; ERROR_MORE_DATA when the buffer is
// too small, ERROR_NO_MORE_ITEMS past the last one. Class and time are not
// kept: lpClass receives an empty text and lpftLastWriteTime is left alone.
LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                   LPWSTR lpClass, LPDWORD lpcchClass, FILETIME* lpftLastWriteTime);
// What a key holds: the number of its sub-keys and of its named values (the
// default value not counted), and the longest sub-key name, value name (in
// characters, without NUL) and value (in bytes, with NUL). Any pointer may be
// null; class, security descriptor and time are not kept (0, time untouched).
LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                      LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                      LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                      LPDWORD lpcbSecurityDescriptor, FILETIME* lpftLastWriteTime);

// Deletes hKey\lpSubKey, which must have no sub-keys (ERROR_ACCESS_DENIED
// otherwise); its values go with it.
LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
// Deletes hKey\lpSubKey with everything under it; for a null lpSubKey, empties
// hKey itself (its sub-keys and values) and keeps the key.
LONG RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey);

// ---------------------------------------------------------------------------
// This runtime's own calls (the platform has no equivalent).

// Points the process at another registry file (a null or empty path: back to
// the user's own file). Handles opened before stay valid and reach the same
// key paths in the new file. The file and its folder are created on the first
// change. ERROR_INVALID_PARAMETER for a relative path that cannot be made
// absolute; ERROR_ACCESS_DENIED while an update (below) is open.
LONG RegSetRegistryFile(const char* path);
// The registry file in use, as a NUL-terminated path owned by the runtime and
// valid until the next RegSetRegistryFile.
const char* RegGetRegistryFile();

// Groups changes into one: RegBeginUpdate takes the file lock and re-reads the
// file; the changes that follow (from this thread; other threads wait) are made
// in memory only; RegEndUpdate(TRUE) writes them all at once, RegEndUpdate(FALSE)
// drops them all. Updates nest; only the outermost end writes or drops, and
// once an inner end has dropped, the outermost drops too: RegEndUpdate(TRUE)
// then gives ERROR_CANCELLED if there were changes.
LONG RegBeginUpdate();
LONG RegEndUpdate(BOOL fCommit);
