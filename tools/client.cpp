#include "tools/client.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "tools/library.h"
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

// Prints the problems of the latest Load; true when data was lost. A
// collection of another module may keep no report: nothing is printed then.
bool PrintLoadReport(IVCardColl* collection, bool quiet) {
  CComPtr<IVCardLoadReport> report;
  if (FAILED(collection->QueryInterface(IID_IVCardLoadReport, reinterpret_cast<void**>(&report))))
    return false;
  LONG count = 0;
  if (FAILED(report->get_ProblemCount(&count))) return false;
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
    std::fprintf(stderr, "%s:%ld: %s\n", ToUtf8(BstrView(file)).c_str(), static_cast<long>(line),
                 ToUtf8(BstrView(message)).c_str());
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

HRESULT LoadFiles(IVCardColl* collection, const std::vector<std::string>& inputs,
                  bool* any_readable, bool quiet) {
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
  const HRESULT hr = collection->Load(filenames);
  const bool lost = PrintLoadReport(collection, quiet);
  // Load reports the status of the last file it read.
  CheckStep(hr, "load", inputs.back());
  if (hr != S_OK) return hr;
  if (earlier != S_OK) return earlier;
  return lost ? HRESULT_FROM_WIN32(ERROR_INVALID_DATA) : S_OK;
}

CComBSTR ToBstr(const std::string& text) {
  const std::u16string wide = FromUtf8(text);
  CComBSTR result(wide.data(), static_cast<UINT>(wide.size()));
  if (!result) _com_issue_error(E_OUTOFMEMORY);
  return result;
}

}  // namespace tarvovcard::tools
