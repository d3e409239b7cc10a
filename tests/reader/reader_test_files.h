// Files for the reader's tests, written byte for byte (no line-end
// translation), in a folder of this test process's own.
#pragma once

#include <string>
#include <string_view>

namespace tarvovcard::reader::testing {

// Writes bytes to a file named name in the process's folder; returns its path.
std::string WriteTestFile(std::string_view name, std::string_view bytes);

// A path in the process's folder where no file exists.
std::string MissingTestFile(std::string_view name);

}  // namespace tarvovcard::reader::testing
