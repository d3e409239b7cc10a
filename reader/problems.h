// The problems of one Load as the reader meets them: lines it skipped, bytes
// it dropped, and what it kept only under one of its lenient rules.
//
// The scanner tells the log the number of each line as it starts (SetLine),
// and gives the line's text only when a problem asks for it (LineSource):
// most lines have none, and a Load reads hundreds of thousands. Everyone else
// (the grammar, the builder) adds problems to the line being read. The text
// of an entry is the start of that line, at most kShownLength bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/load_report.h"

namespace tarvovcard::reader {

// Where the log finds the text of the line being read.
class LineSource {
 public:
  // At most ProblemLog::kShownLength bytes from the start of the current
  // line, without its line feed.
  virtual std::string CurrentLineText() const = 0;

 protected:
  ~LineSource() = default;
};

class ProblemLog {
 public:
  static constexpr std::size_t kShownLength = 60;

  // Entries go to report, or to a list of the log's own when it is null.
  explicit ProblemLog(model::LoadReport* report = nullptr) : report_(report ? *report : own_) {}
  ProblemLog(const ProblemLog&) = delete;
  ProblemLog& operator=(const ProblemLog&) = delete;

  // The file whose lines follow; its line count starts again at 1.
  void StartFile(std::string_view name);
  // The line being read from now on.
  void SetLine(std::int32_t line) noexcept { line_ = line; }
  // Where the text of the current line comes from (null: no text).
  void SetLineSource(const LineSource* source) noexcept { source_ = source; }

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
  std::int32_t dropped_line_ = -1;
  const LineSource* source_ = nullptr;
  bool file_lost_ = false;
  // The entry that counts the dropped bytes of the current line, if any.
  std::size_t dropped_entry_ = static_cast<std::size_t>(-1);
  int dropped_count_ = 0;
};

}  // namespace tarvovcard::reader
