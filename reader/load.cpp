#include "reader/load.h"

#include <new>
#include <string>
#include <vector>

#include "coding/conversions.h"
#include "reader/builder.h"
#include "reader/parser.h"
#include "reader/problems.h"
#include "tarvovcard/tarvovcard.h"

namespace tarvovcard::reader {
namespace {

// The file names of the argument, or false when the argument names no files
// in a form Load accepts: VT_BSTR, or VT_ARRAY|VT_BSTR with an array whose
// names are all present.
bool FileNames(const VARIANT& filenames, std::vector<BSTR>* names) {
  if (filenames.vt == VT_BSTR) {
    if (!filenames.bstrVal) return false;
    names->push_back(filenames.bstrVal);
    return true;
  }
  if (filenames.vt != (VT_ARRAY | VT_BSTR)) return false;
  SAFEARRAY* array = filenames.parray;
  if (!array || array->cDims < 1) return false;
  // The count of the first bound; the names from the start of the data.
  ULONG count = array->rgsabound[0].cElements;
  if (count == 0) return true;
  void* data = nullptr;
  if (FAILED(SafeArrayAccessData(array, &data)) || !data) return false;
  const BSTR* elements = static_cast<const BSTR*>(data);
  bool all_present = true;
  names->reserve(count);
  for (ULONG i = 0; i < count; ++i) {
    if (!elements[i]) all_present = false;
    names->push_back(elements[i]);
  }
  SafeArrayUnaccessData(array);
  return all_present;
}

void EmptyCollection(IVCardColl* collection) {
  LONG count = 0;
  _com_util::CheckError(collection->get_Count(&count));
  // From the back: each removal is then cheap, whatever the collection's size.
  while (count > 0) {
    _com_util::CheckError(collection->Remove(count - 1));
    _com_util::CheckError(collection->get_Count(&count));
  }
}

}  // namespace

HRESULT LoadCollection(IVCardColl* collection, const VARIANT& filenames,
                       model::LoadReport* report) {
  std::vector<BSTR> names;
  if (report) report->clear();
  try {
    if (!FileNames(filenames, &names)) return E_INVALIDARG;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }

  HRESULT status = S_OK;
  try {
    // Everything a Load keeps lives here: two Loads may run at once.
    ProblemLog log(report);
    Builder builder(collection, log);
    EmptyCollection(collection);
    for (BSTR name : names) {
      builder.ClearOpenCards();
      // The file system's form of the name (UTF-8, up to its first NUL), as
      // Save makes it: a file whose name has letters outside the ANSI code
      // page ("Jürgen Ωmega.vcf") is read back from where it was written,
      // and its FolderPath and Filename keep every letter.
      std::string path = coding::WideToNarrow(name, true);
      std::string folder = path;
      PathRemoveFileSpecA(folder.data());
      folder.resize(std::char_traits<char>::length(folder.c_str()));
      std::string file_name = path;
      PathStripPathA(file_name.data());
      file_name.resize(std::char_traits<char>::length(file_name.c_str()));
      builder.SetCurrentFile(folder, file_name);
      int code = ParseFile(builder, path.c_str(), &log);
      status = code == kParseOk ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(code));
    }
    builder.ClearOpenCards();
  } catch (const _com_error& failure) {
    // A lack of memory ends the Load with its own status; any other failure
    // leaves the status of the files finished before it.
    return failure.Error() == E_OUTOFMEMORY ? E_OUTOFMEMORY : status;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
  return status;
}

}  // namespace tarvovcard::reader
