// What the latest Load of a collection could not keep or had to repair: one
// entry per problem, in the order met, with the file and the line (from 1).
//
// Only the standard library is used here: the reader's scanner, which records
// most entries, is built without the object model.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvovcard::model {

struct LoadProblem {
  std::string file;       // the name as given to Load, in the file system's form
  std::int32_t line = 0;  // counted from 1; 0 when the problem has no line
  bool lost = false;      // data was lost (a skipped line, dropped bytes)
  std::string message;    // a short text in plain words
  std::string text;       // the start of the line, 8-bit as read
};

using LoadReport = std::vector<LoadProblem>;

}  // namespace tarvovcard::model
