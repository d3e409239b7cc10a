// Helpers for the reader's tests (and its fuzzer): files in a folder of the
// test process's own (reader_test_files.cpp), Load with one name or a list,
// and what a Load made, as text.
#pragma once

#include <string>
#include <vector>

#include "tarvovcard/tarvovcard.h"

namespace tarvovcard::reader::testing {

// A path in the process's own folder; the file written there byte for byte.
std::string TestPath(const std::string& name);
std::string WriteTestFile(const std::string& name, const std::string& bytes);

CComPtr<IVCardColl> NewCollection();
std::string Utf8(BSTR text);
CComBSTR Wide(const std::string& utf8);
// Load with one name (VT_BSTR) or with an array of names (VT_ARRAY|VT_BSTR).
HRESULT LoadOne(IVCardColl* collection, const std::string& path);
HRESULT LoadList(IVCardColl* collection, const std::vector<std::string>& paths);

// Each card on one line, its properties separated by " / ":
//   NAME[group]?;PNAME=pvalue...:value|value...
// "?" marks a name kept as read (the type VCARD_PROP_UNKNOWN). A value is its
// text (UTF-8; line feed, carriage return and NUL written \n, \r, \0),
// "date:<number>", "bytes:<count>", "empty" or "card{...}".
std::vector<std::string> DescribeAll(IVCardColl* collection);
// The cards on one line, separated by " // ".
std::string Model(IVCardColl* collection);
CComPtr<IVCard> CardAt(IVCardColl* collection, LONG index);

// A Load of one file: its status, the model, the report (a line a problem of
// IVCardLoadReport, "LINE lost|repaired: message [text]") and what went to
// standard error. Nothing may go to standard output.
struct Read {
  HRESULT status;
  std::string model, report, err;
};
Read ReadFile(const std::string& path, IVCardColl* into = nullptr);

}  // namespace tarvovcard::reader::testing
