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
                  bool* any_readable) {
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
  // Load reports the status of the last file it read.
  CheckStep(hr, "load", inputs.back());
  return hr != S_OK ? hr : earlier;
}

CComBSTR ToBstr(const std::string& text) {
  CComBSTR result;
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  result.Attach(SysAllocStringLen(nullptr, static_cast<UINT>(length > 0 ? length : 0)));
  if (!result) _com_issue_error(E_OUTOFMEMORY);
  if (length > 0) {
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.m_str,
                        length);
  }
  return result;
}

std::string ToUtf8(const char16_t* text, std::size_t length) {
  if (!text || length == 0) return {};
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string result(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), result.data(), size, nullptr,
                      nullptr);
  return result;
}

std::string ToUtf8(BSTR text) {
  return ToUtf8(text, SysStringLen(text));
}

}  // namespace tarvovcard::tools
