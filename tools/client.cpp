#include "tools/client.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/library.h"
#include "tools/progress.h"
#include "tools/register_command.h"
#include "tools/status.h"

namespace tarvovcard::tools {
namespace {

// Whether `name` can be opened for reading, as Load would report it.
HRESULT ReadableStatus(const std::string& name) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    switch (errno) {
      case ENOENT:
      case ENOTDIR:
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
      case EACCES:
      case EPERM:
        return E_ACCESSDENIED;
      default:
        return HRESULT_FROM_WIN32(ERROR_OPEN_FAILED);
    }
  }
  struct stat info;
  const bool folder = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
  ::close(fd);
  return folder ? HRESULT_FROM_WIN32(ERROR_OPEN_FAILED) : S_OK;
}

// The scratch folder of the standard streams, made on first use and removed
// at exit.
class Scratch {
 public:
  static Scratch& Get() {
    static Scratch scratch;
    return scratch;
  }
  // Empty when the folder cannot be made (reported).
  const std::string& Folder() {
    if (folder_.empty()) {
      const char* tmp = std::getenv("TMPDIR");
      std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tarvovcard-XXXXXX";
      if (::mkdtemp(pattern.data())) {
        folder_ = pattern;
      } else {
        std::fprintf(stderr, "tarvovcard: cannot make a scratch folder in %s: %s\n",
                     tmp && *tmp ? tmp : "/tmp", std::strerror(errno));
      }
    }
    return folder_;
  }
  std::string input, output;  // the scratch files in use, if any

 private:
  ~Scratch() {
    if (!input.empty()) ::unlink(input.c_str());
    if (!output.empty()) ::unlink(output.c_str());
    if (!folder_.empty()) ::rmdir(folder_.c_str());
  }
  std::string folder_;
};

// The name to print for a file the report names: "-" for standard input.
std::string DisplayName(const std::string& file) {
  return !Scratch::Get().input.empty() && file == Scratch::Get().input ? "-" : file;
}

// Prints the problems of the latest Load; true when data was lost. A
// collection of another module may keep no report: nothing is printed then.
bool PrintLoadReport(IVCardColl* collection, bool quiet, long* problems) {
  CComPtr<IVCardLoadReport> report;
  if (FAILED(collection->QueryInterface(IID_IVCardLoadReport, reinterpret_cast<void**>(&report))))
    return false;
  LONG count = 0;
  if (FAILED(report->get_ProblemCount(&count))) return false;
  if (problems) *problems = count;
  bool lost_any = false;
  for (LONG i = 0; i < count; ++i) {
    VARIANT_BOOL lost = VARIANT_FALSE;
    LONG line = 0;
    CComBSTR file, message;
    if (FAILED(report->get_Lost(i, &lost)) || FAILED(report->get_Line(i, &line)) ||
        FAILED(report->get_File(i, &file)) || FAILED(report->get_Message(i, &message)))
      continue;
    lost_any |= lost != VARIANT_FALSE;
    if (quiet && lost == VARIANT_FALSE) continue;
    std::fprintf(stderr, "%s:%ld: %s\n", DisplayName(ToUtf8(BstrView(file))).c_str(),
                 static_cast<long>(line), ToUtf8(BstrView(message)).c_str());
  }
  return lost_any;
}

}  // namespace

HRESULT CreateCollection(const GlobalOptions& options, CComPtr<IVCardColl>& collection) {
  if (!options.progid.empty()) return CreateCollectionByProgId(options.progid, collection);
  collection.Release();
  if (const HRESULT loaded = LoadOwnLibrary(); FAILED(loaded)) return loaded;
  const HRESULT hr = CoCreateInstance(CLSID_VCardColl, nullptr, CLSCTX_ALL, IID_IVCardColl,
                                      reinterpret_cast<void**>(&collection));
  CheckStep(hr, "create the card collection");
  return hr;
}

HRESULT LoadFiles(IVCardColl* collection, const std::vector<std::string>& names, bool* any_readable,
                  bool quiet, long* problems) {
  if (problems) *problems = 0;
  std::vector<std::string> inputs;
  for (const std::string& name : names) {
    inputs.push_back(InputFileName(name));
    if (inputs.back().empty()) return HRESULT_FROM_WIN32(ERROR_OPEN_FAILED);
  }
  // Load answers with the status of its last file only: an earlier file that
  // cannot be opened would pass unnoticed, so those are tried here first.
  HRESULT earlier = S_OK;
  bool readable_seen = false;
  for (std::size_t i = 0; i + 1 < inputs.size(); ++i) {
    const HRESULT readable = ReadableStatus(inputs[i]);
    readable_seen |= readable == S_OK;
    if (!CheckStep(readable, "load", inputs[i]) && earlier == S_OK) earlier = readable;
  }
  if (any_readable) *any_readable = readable_seen || ReadableStatus(inputs.back()) == S_OK;

  CComVariant filenames;
  if (inputs.size() == 1) {
    filenames.bstrVal = ToBstr(inputs.front()).Detach();
    filenames.vt = VT_BSTR;
  } else {
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(inputs.size()));
    if (!array) {
      CheckStep(E_OUTOFMEMORY, "load");
      return E_OUTOFMEMORY;
    }
    filenames.parray = array;
    filenames.vt = VT_ARRAY | VT_BSTR;
    for (LONG i = 0; i < static_cast<LONG>(inputs.size()); ++i) {
      const CComBSTR name = ToBstr(inputs[static_cast<std::size_t>(i)]);
      const HRESULT hr = SafeArrayPutElement(array, &i, name.m_str);
      if (FAILED(hr)) {
        CheckStep(hr, "load");
        return hr;
      }
    }
  }
  HRESULT hr;
  {
    const LoadProgress progress(inputs);
    hr = collection->Load(filenames);
  }
  const bool lost = PrintLoadReport(collection, quiet, problems);
  // Load reports the status of the last file it read.
  CheckStep(hr, "load", names.back());
  if (hr != S_OK) return hr;
  if (earlier != S_OK) return earlier;
  return lost ? HRESULT_FROM_WIN32(ERROR_INVALID_DATA) : S_OK;
}

std::string InputFileName(const std::string& input) {
  if (input != "-") return input;
  Scratch& scratch = Scratch::Get();
  if (!scratch.input.empty()) return scratch.input;  // read once, however often named
  if (scratch.Folder().empty()) return {};
  const std::string name = scratch.Folder() + "/-";
  std::FILE* out = std::fopen(name.c_str(), "wb");
  bool copied = out != nullptr;
  char buffer[1 << 16];
  for (std::size_t got; copied && (got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;) {
    copied = std::fwrite(buffer, 1, got, out) == got;
  }
  copied = copied && !std::ferror(stdin);
  if (out && std::fclose(out) != 0) copied = false;
  if (!copied) {
    std::fprintf(stderr, "tarvovcard: cannot copy standard input to %s: %s\n", name.c_str(),
                 std::strerror(errno));
    ::unlink(name.c_str());
    return {};
  }
  scratch.input = name;
  return name;
}

std::string OutputFileName(const std::string& output) {
  if (output != "-") return output;
  Scratch& scratch = Scratch::Get();
  if (scratch.Folder().empty()) return output;
  scratch.output = scratch.Folder() + "/output";
  return scratch.output;
}

bool CopyToStandardOutput() {
  const std::string& name = Scratch::Get().output;
  std::FILE* in = name.empty() ? nullptr : std::fopen(name.c_str(), "rb");
  bool copied = in != nullptr;
  char buffer[1 << 16];
  for (std::size_t got; copied && (got = std::fread(buffer, 1, sizeof buffer, in)) > 0;) {
    copied = std::fwrite(buffer, 1, got, stdout) == got;
  }
  if (in) std::fclose(in);
  copied = std::fflush(stdout) == 0 && copied;
  if (!copied) std::fprintf(stderr, "tarvovcard: writing to standard output failed\n");
  return copied;
}

std::string SaveFailureCause(const std::string& output, HRESULT status) {
  if (status == HRESULT_FROM_WIN32(ERROR_DISK_FULL)) return "the disk is full";
  struct stat info;
  if (::stat(output.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return "it is a folder";
  const std::size_t slash = output.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : output.substr(0, slash);
  if (::stat(folder.c_str(), &info) != 0) return "the folder " + folder + " does not exist";
  if (!S_ISDIR(info.st_mode)) return folder + " is not a folder";
  if (::access(folder.c_str(), W_OK) != 0) return "permission denied in " + folder;
  return {};
}

std::optional<OutputAndInputs> ReadOutputAndInputs(const Command& command, Arguments arguments,
                                                   int* exit_code, const char* file_option,
                                                   std::string* option_value) {
  OutputAndInputs read;
  std::vector<std::string> positional;
  bool options_done = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (!options_done && argument == "--") {
      options_done = true;
    } else if (!options_done && (argument == "--quiet" || argument == "-q")) {
      read.quiet = true;
    } else if (!options_done && file_option && argument == file_option) {
      if (i + 1 == arguments.size()) {
        *exit_code = UsageError(command, argument + " needs a stylesheet file");
        return std::nullopt;
      }
      *option_value = arguments[++i];
    } else if (!options_done && argument.size() > 1 && argument[0] == '-') {
      *exit_code = UsageError(command, "unknown option '" + argument + "'");
      return std::nullopt;
    } else {
      positional.push_back(argument);
    }
  }
  if (positional.size() < 2) {
    *exit_code = UsageError(
        command, positional.empty() ? "OUTPUT and INPUT are missing" : "no INPUT file given");
    return std::nullopt;
  }
  read.output = positional.front();
  read.inputs.assign(positional.begin() + 1, positional.end());
  if (IsAnInput(read.output, read.inputs)) {
    *exit_code = UsageError(
        command, "OUTPUT '" + read.output + "' is an input; nothing was read or written");
    return std::nullopt;
  }
  return read;
}

std::string Summary(long cards, std::size_t files, long problems) {
  return std::to_string(cards) + (cards == 1 ? " card" : " cards") + " from " +
         std::to_string(files) + (files == 1 ? " file" : " files") + ", " +
         std::to_string(problems) + (problems == 1 ? " problem" : " problems");
}

// Writes `text` to standard output ("-"), or into `output` whole or not at
// all: into a new file beside it, renamed over it once complete.
bool WriteFileWhole(const std::string& output, const std::string& text) {
  if (output == "-") {
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() &&
           std::fflush(stdout) == 0;
  }
  std::string staged = output + ".XXXXXX";
  const int fd = ::mkstemp(staged.data());
  if (fd < 0) return false;
  bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  written = ::fsync(fd) == 0 && written;
  written = ::close(fd) == 0 && written;
  // The usual permissions of a new file, not mkstemp's private ones.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  written = written && ::chmod(staged.c_str(), 0666 & ~mask) == 0 &&
            std::rename(staged.c_str(), output.c_str()) == 0;
  if (!written) ::unlink(staged.c_str());
  return written;
}

// True when `output` is one of the inputs (by identity).
bool IsAnInput(const std::string& output, const std::vector<std::string>& inputs) {
  struct stat target;
  if (output == "-" || ::stat(output.c_str(), &target) != 0) return false;
  for (const std::string& input : inputs) {
    struct stat info;
    if (::stat(input.c_str(), &info) == 0 && info.st_dev == target.st_dev &&
        info.st_ino == target.st_ino)
      return true;
  }
  return false;
}

CComBSTR ToBstr(const std::string& text) {
  const std::u16string wide = FromUtf8(text);
  CComBSTR result(wide.data(), static_cast<UINT>(wide.size()));
  if (!result) _com_issue_error(E_OUTOFMEMORY);
  return result;
}

}  // namespace tarvovcard::tools
