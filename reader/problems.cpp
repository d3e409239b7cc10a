#include "reader/problems.h"

namespace tarvovcard::reader {

void ProblemLog::StartFile(std::string_view name) {
  file_.assign(name);
  file_first_ = report_.size();
  line_ = 0;
  file_lost_ = false;
  dropped_entry_ = static_cast<std::size_t>(-1);
}

void ProblemLog::Add(bool lost, std::string_view message) {
  model::LoadProblem& entry = report_.emplace_back();
  entry.file = file_;
  entry.line = line_;
  entry.lost = lost;
  entry.message.assign(message);
  if (source_) entry.text = source_->CurrentLineText();
  file_lost_ = file_lost_ || lost;
}

void ProblemLog::DroppedByte() {
  if (dropped_entry_ < report_.size() && dropped_line_ == line_) {
    ++dropped_count_;
    report_[dropped_entry_].message =
        std::to_string(dropped_count_) + " bytes that belong to nothing dropped";
    return;
  }
  Lost("a byte that belongs to nothing dropped");
  dropped_entry_ = report_.size() - 1;
  dropped_line_ = line_;
  dropped_count_ = 1;
}

void ProblemLog::SkippedMore(int n) {
  if (report_.size() <= file_first_) return;
  report_.back().message = "unreadable line skipped, with the " + std::to_string(n) +
                           (n == 1 ? " line after it" : " lines after it");
}

}  // namespace tarvovcard::reader
