// Character sets named by a CHARSET parameter other than UTF-8 and the ANSI
// code page: ISO-8859-1..16, Windows-1250..1258, Shift_JIS, EUC-JP, KOI8-R,
// Big5, GB2312, GBK and every other name the C library's iconv knows, in any
// letter case.
//
// The conversions go through iconv; a converter is opened once per thread and
// name and kept for the next value of the same set, since a file's values
// mostly share one. Names iconv does not know are not converted here: their
// text is read and written in the ANSI code page (the caller decides that,
// through KnowsCharset).
#pragma once

#include <string>
#include <string_view>

#include "tarvovcard/platform/atlbase.h"

namespace tarvovcard::coding {

// True when iconv can convert between the named set and UTF-16.
bool KnowsCharset(std::string_view name);

// 8-bit text in the named set, up to its first NUL, as UTF-16. A byte
// sequence the set does not define becomes U+FFFD and the conversion goes on
// after it. Throws _com_error(E_OUTOFMEMORY); E_INVALIDARG when the set is
// unknown (KnowsCharset is false).
CComBSTR CharsetToWide(const char* text, std::string_view name);

// UTF-16 text, up to its first NUL, in the named set. Characters the set
// lacks become "?" and clear *lossless (when given). Throws as CharsetToWide.
std::string WideToCharset(BSTR text, std::string_view name, bool* lossless = nullptr);

}  // namespace tarvovcard::coding
