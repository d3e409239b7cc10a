// The files of one Save or SaveAsXML, each written beside its target under a
// temporary name and put in its place only when it is complete.
//
// A save that fails part way (a full disk, a card that cannot be written, a
// process that dies) must not destroy the file it was replacing. So each
// target is written to a new file in the same folder, and only after that file
// was closed without error is it made durable (fsync) and renamed over the
// target, which readers then see whole, old or new, never cut short. A
// temporary file that is not committed is removed, and the target keeps its
// old content.
//
// An existing target keeps its permission bits; a symbolic link stays a link
// (the file it points to is replaced). A target that exists but is not a
// regular file (/dev/null, a pipe, a terminal) is written in place: renaming
// over it would replace the device.
#pragma once

#include <string>
#include <unordered_map>

#include "tarvovcard/tarvovcard.h"

namespace tarvovcard::writer {

class StagedFiles {
 public:
  StagedFiles() = default;
  // Removes every temporary file that was not committed.
  ~StagedFiles();
  StagedFiles(const StagedFiles&) = delete;
  StagedFiles& operator=(const StagedFiles&) = delete;

  // The name to write for `target` (a file-system name): on the first call a
  // new, empty temporary file beside it; the same name again on later calls,
  // until Commit or Discard. Throws _com_error 0x8007006E when the target may
  // not be written or no file can be made beside it.
  const std::string& PathFor(const std::string& target);
  bool IsStaged(const std::string& target) const { return entries_.count(target) != 0; }

  // Puts the written file in place of its target: S_OK; 0x80070070 when it
  // cannot be made durable, 0x8007001D when it cannot be renamed. On failure
  // the temporary file is removed and the target keeps its old content.
  HRESULT Commit(const std::string& target);
  // Removes the temporary file; the target keeps its old content.
  void Discard(const std::string& target);

 private:
  struct Entry {
    std::string write_path;  // the temporary, or the target itself
    std::string final_path;  // where the temporary goes (links resolved)
    bool in_place = false;
  };
  std::unordered_map<std::string, Entry> entries_;
};

}  // namespace tarvovcard::writer
