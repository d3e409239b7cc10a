// A progress line on standard error while a Load runs.
//
// Load is one call that reads every file before it returns, and the library
// offers no callback during it. A 200,000-card file still should not mean
// seconds of silence, so the client watches the Load from a second thread:
// the reader reads each file through a descriptor of this process, whose
// position /proc/self/fdinfo shows, and the watcher counts the cards in the
// bytes read so far from a descriptor of its own (the outermost "BEGIN:VCARD"
// lines). It never touches the collection, which belongs to the thread that
// loads.
//
// The line appears only when standard error is a terminal and the Load has
// taken longer than a moment (TARVOVCARD_PROGRESS_DELAY_MS, 500 unless set),
// is redrawn a few times a second, and is erased when the Load ends, so that
// what the command prints afterwards stands alone.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarvovcard::tools {

class LoadProgress {
 public:
  // Starts watching a Load of `files` (the names Load is given), when
  // standard error is a terminal; otherwise does nothing.
  explicit LoadProgress(const std::vector<std::string>& files);
  // Stops the watcher and erases the line.
  ~LoadProgress();
  LoadProgress(const LoadProgress&) = delete;
  LoadProgress& operator=(const LoadProgress&) = delete;

 private:
  void Watch(std::vector<std::string> files, long delay_ms);

  std::mutex mutex_;
  std::condition_variable stop_requested_;
  bool stop_ = false;
  std::thread watcher_;
};

}  // namespace tarvovcard::tools
