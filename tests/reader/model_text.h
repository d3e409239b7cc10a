// Helpers for the reader's tests of objects: a collection to load into, the
// file-list argument, and a compact text form of what a card holds.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "tarvovcard/tarvovcard.h"

namespace tarvovcard::reader::testing {

CComPtr<IVCardColl> NewCollection();

// Load with one name (VT_BSTR) or with an array of names (VT_ARRAY|VT_BSTR).
HRESULT LoadOne(IVCardColl* collection, const std::string& path);
HRESULT LoadList(IVCardColl* collection, const std::vector<std::string>& paths);

// UTF-16 to UTF-8 and back, for comparing texts.
std::string Utf8(const OLECHAR* text, std::size_t length);
std::string Utf8(BSTR text);
CComBSTR Wide(const std::string& utf8);

// A card as text, one line per property:
//   NAME[group];PNAME=pvalue...:value|value...
// A value is its text (UTF-8), "date:<number>", "bytes:<count>", "empty", or
// "card{...}" with the nested card's lines separated by " / ".
std::string Describe(IVCard* card);
// Every card of the collection, described.
std::vector<std::string> DescribeAll(IVCardColl* collection);

// The report of the collection's latest Load, through IVCardLoadReport: one
// line per problem, "LINE lost|repaired: message [text]".
std::string ReportOf(IVCardColl* collection);

LONG CardCount(IVCardColl* collection);
CComPtr<IVCard> CardAt(IVCardColl* collection, LONG index);

}  // namespace tarvovcard::reader::testing
