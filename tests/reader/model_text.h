// Helpers for the reader's tests of objects: a collection to load into, the
// file-list argument, and a compact text form of what a Load made.
#pragma once

#include <string>
#include <vector>

#include "tarvovcard/tarvovcard.h"

namespace tarvovcard::reader::testing {

CComPtr<IVCardColl> NewCollection();

// Load with one name (VT_BSTR) or with an array of names (VT_ARRAY|VT_BSTR).
HRESULT LoadOne(IVCardColl* collection, const std::string& path);
HRESULT LoadList(IVCardColl* collection, const std::vector<std::string>& paths);

// UTF-16 to UTF-8 and back.
std::string Utf8(BSTR text);
CComBSTR Wide(const std::string& utf8);

// A card on one line, its properties separated by " / ":
//   NAME[group]?;PNAME=pvalue...:value|value...
// "?" marks a name kept as read (the type VCARD_PROP_UNKNOWN). A value is its
// text (UTF-8; line feed, carriage return and NUL written \n, \r, \0),
// "date:<number>", "bytes:<count>", "empty" or "card{...}".
std::string Describe(IVCard* card);
// Every card of the collection, described.
std::vector<std::string> DescribeAll(IVCardColl* collection);
// The cards of the collection on one line, separated by " // ".
std::string Model(IVCardColl* collection);
// The report of the collection's latest Load, through IVCardLoadReport: one
// line per problem, "LINE lost|repaired: message [text]".
std::string ReportOf(IVCardColl* collection);
CComPtr<IVCard> CardAt(IVCardColl* collection, LONG index);

// What a Load of one file gave. Standard output must stay empty, whatever
// the file holds.
struct Read {
  HRESULT status;
  std::string model, report, err;  // err: what went to standard error
};
Read ReadFile(const std::string& path, IVCardColl* into = nullptr);
Read ReadBytes(const std::string& bytes);

}  // namespace tarvovcard::reader::testing
