// The problems of one Load as the reader meets them: lines it skipped, bytes
// it dropped, and what it kept only under one of its lenient rules.
//
// The scanner tells the log where each line starts (StartLine); everyone else
// (the grammar, the builder) adds problems to the line being read. The text
// of an entry is the start of that line, at most kShownLength bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/load_report.h"

namespace tarvovcard::reader {

class ProblemLog {
 public:
  static constexpr std::size_t kShownLength = 60;

  // Entries go to report, or to a list of the log's own when it is null.
  explicit ProblemLog(model::LoadReport* report = nullptr) : report_(report ? *report : own_) {}
  ProblemLog(const ProblemLog&) = delete;
  ProblemLog& operator=(const ProblemLog&) = delete;

  // The file whose lines follow; its line count starts again at 1.
  void StartFile(std::string_view name);
  // The line being read from now on, and the start of its text (cut at its
  // line feed).
  void StartLine(std::int32_t line, std::string_view text);

  // A problem of the current line.
  void Lost(std::string_view message) { Add(true, message); }
  void Repaired(std::string_view message) { Add(false, message); }
  // One byte of the current line that no rule reads: a line's dropped bytes
  // are counted in one entry.
  void DroppedByte();
  // The latest entry, when it is a skipped line: n more lines went with it.
  void SkippedMore(int n);

  // True when something of the current file was lost.
  bool FileLostData() const noexcept { return file_lost_; }
  std::int32_t line() const noexcept { return line_; }
  const model::LoadReport& entries() const noexcept { return report_; }

 private:
  void Add(bool lost, std::string_view message);

  model::LoadReport own_;
  model::LoadReport& report_;
  std::string file_;
  std::size_t file_first_ = 0;  // first entry of the current file
  std::int32_t line_ = 0;
  std::string line_text_;
  bool file_lost_ = false;
  // The entry that counts the dropped bytes of the current line, if any.
  std::size_t dropped_entry_ = static_cast<std::size_t>(-1);
  int dropped_count_ = 0;
};

}  // namespace tarvovcard::reader
