// What every command does with the library: create a collection, load files
// into it, and convert text for the calls.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <tarvovcard/tarvovcard.h>
#include <tarvovcard/text.h>

#include "tools/commands.h"

namespace tarvovcard::tools {

// Initialises the runtime for the thread for its lifetime.
class RuntimeSession {
 public:
  RuntimeSession() { CoInitialize(nullptr); }
  ~RuntimeSession() { CoUninitialize(); }
  RuntimeSession(const RuntimeSession&) = delete;
  RuntimeSession& operator=(const RuntimeSession&) = delete;
};

// Creates an empty VCardColl; reports a failure on stderr.
HRESULT CreateCollection(const GlobalOptions& options, CComPtr<IVCardColl>& collection);

// Loads `inputs` into the collection: one name as VT_BSTR, several as
// VT_ARRAY|VT_BSTR. Load's status is that of the last file, which its report
// names; every earlier file is first tried for reading, and one that cannot
// be opened is reported with its own name. Returns Load's status, or when
// that is S_OK the status of the first earlier file that failed. The cards
// read stay in the collection whatever the status. *any_readable, when
// given, says whether at least one input could be opened for reading.
//
// Every problem of the Load's report (when the collection has one) is then
// printed on standard error as "FILE:LINE: message", the repairs left out
// when `quiet` is set; when any data was lost the result is a failure
// (0x8007000D) even if the last file's status was S_OK.
// *problems, when given, receives the number of problems in the report.
// An INPUT "-" is standard input (see StandardInput).
HRESULT LoadFiles(IVCardColl* collection, const std::vector<std::string>& inputs,
                  bool* any_readable = nullptr, bool quiet = false, long* problems = nullptr);

// "-" as a file name: Load and Save take file names, so standard input is
// copied into a scratch file before the Load, and a save to "-" goes to a
// scratch file that is then copied to standard output. The scratch folder
// goes when the program ends.
//
// The name Load reads for `input`: itself, or for "-" the copy of standard
// input (whose cards have the file name "-"). Empty when standard input
// could not be copied (reported).
std::string InputFileName(const std::string& input);
// The name Save writes for `output`: itself, or for "-" a scratch file.
std::string OutputFileName(const std::string& output);
// After a successful save to "-": the scratch file's bytes onto standard
// output. False (reported) when that fails.
bool CopyToStandardOutput();

// What the file system says is wrong with saving to `output` after a save
// failed with `status`: the folder is missing, not a folder, not writable;
// OUTPUT is a folder; the disk is full. Empty when nothing is found.
std::string SaveFailureCause(const std::string& output, HRESULT status);

// Writes `text` to standard output ("-"), or into `output` whole or not at
// all: into a new file beside it, renamed over it once complete. False on
// any failure, the old file untouched.
bool WriteFileWhole(const std::string& output, const std::string& text);

// True when `output` names one of the inputs (by identity, whatever the
// spelling or links); never for "-".
bool IsAnInput(const std::string& output, const std::vector<std::string>& inputs);

// The arguments of a command that writes OUTPUT from INPUT...: --quiet
// (-q), "--" and, when `file_option` is given (e.g. "--xsl"), that option
// and its value into *option_value.
struct OutputAndInputs {
  std::string output;
  std::vector<std::string> inputs;
  bool quiet = false;
};
// Empty, with the usage error reported and *exit_code set, when the
// arguments are wrong or OUTPUT is one of the INPUTs.
std::optional<OutputAndInputs> ReadOutputAndInputs(const Command& command, Arguments arguments,
                                                   int* exit_code,
                                                   const char* file_option = nullptr,
                                                   std::string* option_value = nullptr);

// "N card(s) from M file(s), K problem(s)".
std::string Summary(long cards, std::size_t files, long problems);

// UTF-8 (the command line's text) to a new BSTR; UTF-16 goes back with
// ToUtf8 of tarvovcard/text.h.
CComBSTR ToBstr(const std::string& text);

}  // namespace tarvovcard::tools
