// What a collection holds, as text that a test compares or shows: each card
// on one line, and the Load of one file with its report and its output.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/corpus.h"
#include "tarvovcard/tarvovcard.h"

namespace tarvovcard::testing {

// Printable ASCII as it is, any other unit (and the backslash) as \uXXXX.
std::string Text(std::u16string_view text);

enum class Detail {
  // Each card on one line, its properties separated by " / ":
  //   NAME[group]?;PNAME=pvalue...:value|value...
  // "?" marks a name kept as read (the type VCARD_PROP_UNKNOWN). A value is
  // its text (UTF-8; line feed, carriage return and NUL written \n, \r, \0),
  // "date:<number>", "bytes:<count>", "empty" or "card{...}". Golden tables
  // are written in it.
  kReadable,
  // Everything the model holds, for comparing two models: besides the above
  // the type of every property and parameter, texts unit by unit (Text),
  // dates to the last digit and the bytes themselves.
  kEverything,
};
// One property in the form of a card's.
std::string Describe(IVCardProperty* property, Detail detail = Detail::kReadable);
std::vector<std::string> DescribeAll(IVCardColl* collection, Detail detail = Detail::kReadable);
// The cards (kReadable) on one line, separated by " // ".
std::string Model(IVCardColl* collection);

// A Load of one file: its status, the model, the report (a line a problem,
// "LINE lost|repaired: message [text]") and standard error; standard output
// must stay empty.
struct Read {
  HRESULT status;
  std::string model, report, err;
};
Read LoadFile(const std::string& path, IVCardColl* into = nullptr);

// What the collection holds in the terms of CorpusCounts, nested cards included.
CorpusCounts CountLoaded(IVCardColl* collection);

}  // namespace tarvovcard::testing
