// Automation types: BSTR, VARIANT, SAFEARRAY and DATE, with their operations.
#pragma once

#include "tarvovcard/platform/unknwn.h"

// BSTR: a length-prefixed UTF-16 string. The pointer addresses the first
// character; the 32-bit byte length stands just before it and a NUL terminator
// just after the last character. Embedded NULs are allowed. A null BSTR reads
// as the empty string everywhere.
using BSTR = OLECHAR*;

BSTR SysAllocString(const OLECHAR* psz);
// Copies cch characters from pch, or leaves them zeroed when pch is null.
BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch);
// Copies len bytes from psz (or leaves them zeroed); the BSTR may have an odd
// byte length.
BSTR SysAllocStringByteLen(LPCSTR psz, UINT len);
// Reallocates *pbstr to hold cch characters copied from psz; TRUE on success.
INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT cch);
UINT SysStringLen(BSTR bstr);
UINT SysStringByteLen(BSTR bstr);
void SysFreeString(BSTR bstr);

// VARIANT type tags.
enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0FFF,
};

struct SAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
};

// Features of a SAFEARRAY (fFeatures).
constexpr USHORT FADF_HAVEVARTYPE = 0x0080;
constexpr USHORT FADF_BSTR = 0x0100;
constexpr USHORT FADF_UNKNOWN = 0x0200;
constexpr USHORT FADF_DISPATCH = 0x0400;
constexpr USHORT FADF_VARIANT = 0x0800;

struct SAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  void* pvData;
  SAFEARRAYBOUND rgsabound[1];
};

struct tagVARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    LONG lVal;
    BYTE bVal;
    SHORT iVal;
    float fltVal;
    double dblVal;
    VARIANT_BOOL boolVal;
    HRESULT scode;
    DATE date;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    SAFEARRAY* parray;
    CHAR cVal;
    USHORT uiVal;
    ULONG ulVal;
    ULONGLONG ullVal;
    INT intVal;
    UINT uintVal;
    BYTE* pbVal;
    LONG* plVal;
    BSTR* pbstrVal;
    IUnknown** ppunkVal;
    SAFEARRAY** pparray;
    tagVARIANT* pvarVal;
    CHAR* pcVal;
    void* byref;
  };
};
using VARIANTARG = VARIANT;

void VariantInit(VARIANT* pvarg);
// Releases what the variant owns (string, array, object reference) and leaves
// it VT_EMPTY. By-reference variants own nothing.
HRESULT VariantClear(VARIANT* pvarg);
// Clears the destination, then copies: strings and arrays are duplicated,
// object references gain a reference, by-reference variants copy the pointer.
HRESULT VariantCopy(VARIANT* pvargDest, const VARIANT* pvargSrc);

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound);
// A one-dimensional array of cElements zeroed elements of type vt.
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
// Fails with DISP_E_ARRAYISLOCKED while the data is accessed.
HRESULT SafeArrayDestroy(SAFEARRAY* psa);
HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
HRESULT SafeArrayLock(SAFEARRAY* psa);
HRESULT SafeArrayUnlock(SAFEARRAY* psa);
UINT SafeArrayGetDim(SAFEARRAY* psa);
UINT SafeArrayGetElemsize(SAFEARRAY* psa);
HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
// Element access by index (one index per dimension, the first dimension
// first). Strings are copied in and out, object references gain a reference,
// variants are copied. For strings and object references PutElement's pv is
// the BSTR or interface pointer itself; for everything else it points to the
// value. GetElement's pv points to where the copy goes; a VARIANT there must
// be initialised, since it is cleared first (as by VariantCopy).
HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);

// Dates: days since 30 December 1899 00:00, time of day as the fraction.
struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};

constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;

// Reads a date from text: at least YYYY-MM-DD and YYYY-MM-DD HH:MM[:SS], with
// leading and trailing spaces. DISP_E_TYPEMISMATCH for text it cannot read.
HRESULT VarDateFromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, DATE* pdateOut);
// TRUE on success; FALSE for dates outside 1 January 100 .. 31 December 9999.
INT VariantTimeToSystemTime(DATE vtime, SYSTEMTIME* lpSystemTime);
INT SystemTimeToVariantTime(SYSTEMTIME* lpSystemTime, DATE* pvtime);
