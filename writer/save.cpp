#include "writer/save.h"

#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "coding/conversions.h"
#include "server/com_object.h"
#include "writer/file_ops.h"
#include "writer/unicode_file.h"
#include "writer/vcard_writer.h"
#include "writer/xml_writer.h"

namespace tarvovcard::writer {
namespace {

using _com_util::CheckError;

constexpr HRESULT kOpenFailed = HRESULT_FROM_WIN32(ERROR_OPEN_FAILED);  // 0x8007006E
constexpr HRESULT kDiskFull = HRESULT_FROM_WIN32(ERROR_DISK_FULL);      // 0x80070070
constexpr HRESULT kWriteFault = HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);  // 0x8007001D

constexpr const char* kXmlDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n";
constexpr const char* kSetStart = "<vCardSet>\n";
constexpr const char16_t* kSetEnd = u"</vCardSet>\n";

// The file-system form of a UTF-16 name (UTF-8). The name need not be a
// BSTR: it is read up to its first NUL.
std::string FileSystemName(const char16_t* name) {
  if (!name || !*name) return {};
  const int length = static_cast<int>(std::char_traits<char16_t>::length(name));
  const int size = WideCharToMultiByte(CP_UTF8, 0, name, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) _com_issue_error(kOpenFailed);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, name, length, narrow.data(), size, nullptr, nullptr);
  return narrow;
}

// The unpacked file-name argument. For the list form the array's data stays
// accessed for the lifetime of the object.
class FileNames {
 public:
  enum Form { kEach, kOne, kList };

  FileNames() = default;
  FileNames(const FileNames&) = delete;
  FileNames& operator=(const FileNames&) = delete;
  ~FileNames() {
    if (names_) SafeArrayUnaccessData(array_);
  }

  HRESULT Read(const VARIANT& argument) {
    switch (argument.vt) {
      case VT_EMPTY:
        form_ = kEach;
        return S_OK;
      case VT_BSTR:
        form_ = kOne;
        one_ = argument.bstrVal;
        return S_OK;
      case VT_ARRAY | VT_BSTR: {
        form_ = kList;
        array_ = argument.parray;
        if (!array_ || SafeArrayGetDim(array_) < 1) return E_INVALIDARG;
        LONG lower = 0, upper = -1;
        HRESULT hr = SafeArrayGetLBound(array_, 1, &lower);
        if (SUCCEEDED(hr)) hr = SafeArrayGetUBound(array_, 1, &upper);
        if (FAILED(hr)) return hr;
        void* data = nullptr;
        hr = SafeArrayAccessData(array_, &data);
        if (FAILED(hr)) return hr;
        names_ = static_cast<BSTR*>(data);
        count_ = upper >= lower ? static_cast<LONG>(upper - lower + 1) : 0;
        return S_OK;
      }
      default:
        return E_INVALIDARG;
    }
  }

  Form form() const { return form_; }
  BSTR one() const { return one_; }
  // Name number i of the list form, or null beyond its end.
  const char16_t* Name(LONG i) const {
    if (i >= count_) return nullptr;
    return names_[i] ? names_[i] : u"";
  }

 private:
  Form form_ = kEach;
  BSTR one_ = nullptr;
  SAFEARRAY* array_ = nullptr;
  BSTR* names_ = nullptr;
  LONG count_ = 0;
};

// Where each card of the VT_EMPTY form goes, worked out before any file is
// written, so that the cards bound for one file can share it: the first
// opens it afresh, the others add to it, and (for XML) the last one ends the
// document.
struct Target {
  std::u16string path;  // FolderPath joined with Filename.
  std::string key;      // Identifies the file, whatever the spelling of path.
  LONG last = 0;        // The last card that goes to the same file.
};

std::u16string JoinPath(const CComBSTR& folder, const CComBSTR& file) {
  // PathAppendW needs room for both parts, one separator and the terminator.
  std::u16string joined(folder.Length() + file.Length() + 2, u'\0');
  if (folder.Length() > 0) joined.replace(0, folder.Length(), folder.m_str, folder.Length());
  if (!PathAppendW(joined.data(), file.m_str ? file.m_str : u"")) _com_issue_error(kOpenFailed);
  joined.resize(std::char_traits<char16_t>::length(joined.c_str()));
  return joined;
}

std::string FileKey(const std::u16string& path) {
  const std::filesystem::path fs_path(FileSystemName(path.c_str()));
  std::error_code error;
  std::filesystem::path canonical = std::filesystem::weakly_canonical(fs_path, error);
  if (error) canonical = fs_path.lexically_normal();
  return canonical.string();
}

std::vector<Target> PlanTargets(IVCardColl* collection, LONG count) {
  std::vector<Target> targets(static_cast<std::size_t>(count));
  std::unordered_map<std::string, LONG> last_card;
  // The cards of one file stand together after a Load: their path is
  // resolved once.
  std::unordered_map<std::u16string, std::string> keys;
  for (LONG i = 0; i < count; ++i) {
    CComPtr<IVCard> card;
    CheckError(collection->Item(i, &card));
    CComBSTR folder, file;
    CheckError(card->get_FolderPath(&folder));
    CheckError(card->get_Filename(&file));
    Target& target = targets[static_cast<std::size_t>(i)];
    target.path = JoinPath(folder, file);
    auto known = keys.find(target.path);
    if (known == keys.end()) known = keys.emplace(target.path, FileKey(target.path)).first;
    target.key = known->second;
    last_card[target.key] = i;
  }
  for (Target& target : targets) target.last = last_card[target.key];
  return targets;
}

// Deletes what a failed close left behind, if it is a plain file (never a
// device or a link that the name happens to stand for).
void DeleteBrokenFile(const std::string& name) {
  struct stat status;
  if (::lstat(name.c_str(), &status) == 0 && S_ISREG(status.st_mode)) Files().remove(name.c_str());
}

// One open vCard text file of Save.
class TextFile {
 public:
  TextFile() = default;
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;
  ~TextFile() { Close(); }

  HRESULT Open(const char16_t* name, bool append = false) {
    Close();
    HRESULT hr = OpenVCardFile(name, &stream_, append);
    if (SUCCEEDED(hr)) name_ = FileSystemName(name);
    return hr;
  }
  std::FILE* stream() const { return stream_; }
  bool IsOpen() const { return stream_ != nullptr; }

  // Closes the file; false, and the file deleted, when it could not be
  // flushed or closed (or an earlier write had failed).
  bool Close() {
    if (!stream_) return true;
    std::FILE* stream = std::exchange(stream_, nullptr);
    bool failed = std::ferror(stream) != 0;
    if (Files().close(stream) != 0) failed = true;
    if (failed) DeleteBrokenFile(name_);
    return !failed;
  }

 private:
  std::FILE* stream_ = nullptr;
  std::string name_;
};

HRESULT StatusOf(const std::exception_ptr& failure) {
  return server::ComBoundary([&]() -> HRESULT { std::rethrow_exception(failure); });
}

// --- SaveAsXML helpers --------------------------------------------------------

std::unique_ptr<CUnicodeFile> CreateXmlFile(const char16_t* name, const char* mode) {
  try {
    return std::make_unique<CUnicodeFile>(FileSystemName(name).c_str(), mode, 0);
  } catch (const CUnicodeFileException&) {
    _com_issue_error(kOpenFailed);
  }
}

void WriteDocumentHeader(CUnicodeFile& file, const CComBSTR& stylesheet) {
  file.Printf("%s", kXmlDeclaration);
  if (stylesheet.Length() > 0) {
    // The stylesheet name goes through the ANSI code page, as narrow text.
    const std::string href = coding::WideToNarrow(stylesheet, false);
    std::string escaped;
    for (char c : href) {
      switch (c) {
        case '&':
          escaped += "&amp;";
          break;
        case '<':
          escaped += "&lt;";
          break;
        case '>':
          escaped += "&gt;";
          break;
        case '"':
          escaped += "&quot;";
          break;
        default:
          escaped += c;
      }
    }
    file.Printf("<?xml-stylesheet type=\"text/xsl\" href=\"%s\"?>\n", escaped.c_str());
  }
  file.Printf("%s", kSetStart);
}

// Closes and releases an XML file whose writes all went through. The tail of
// the document may still sit in the stream's buffer: when it cannot be
// flushed (a full disk), the document is cut short, so it is deleted as Save
// deletes its files, and false is returned.
bool CloseXmlFile(std::unique_ptr<CUnicodeFile>& file) {
  const std::string name = file->GetFileName();
  const bool closed = file->Close();
  file.reset();
  if (!closed) DeleteBrokenFile(name);
  return closed;
}

enum class DocumentEnd { kEnded, kEndTagFailed, kCloseFailed };

// Ends the document in `file` and closes it, whatever happens. A document
// whose end tag cannot be written keeps what it holds.
DocumentEnd EndDocument(std::unique_ptr<CUnicodeFile>& file) {
  try {
    file->Write(kSetEnd);
  } catch (const CUnicodeFileException&) {
    file->Close();
    file.reset();
    return DocumentEnd::kEndTagFailed;
  }
  return CloseXmlFile(file) ? DocumentEnd::kEnded : DocumentEnd::kCloseFailed;
}

}  // namespace

HRESULT OpenVCardFile(const char16_t* file_name, std::FILE** stream, bool append) {
  if (!stream) return E_POINTER;
  *stream = nullptr;
  if (!file_name || !*file_name) return kOpenFailed;
  try {
    const std::string name = FileSystemName(file_name);
    *stream = Files().open(name.c_str(), append ? "ab" : "wb");
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return kOpenFailed;
  }
  return *stream ? S_OK : kOpenFailed;
}

HRESULT NormalizeVersion(IVCard* card) {
  if (!card) return E_POINTER;
  return server::ComBoundary([&] {
    CComPtr<IVCardPropertyColl> properties;
    CheckError(card->get_Properties(&properties));
    LONG count = 0;
    CheckError(properties->get_Count(&count));
    for (LONG i = 0; i < count;) {
      CComPtr<IVCardProperty> property;
      CheckError(properties->Item(i, &property));
      EVCardProperty type = VCARD_PROP_UNKNOWN;
      CheckError(property->get_Type(&type));
      if (type == VCARD_PROP_VERSION) {
        CheckError(properties->Remove(i));
        --count;
      } else {
        ++i;
      }
    }

    const CComPtr<IVCardProperty> version =
        server::CreateObject<IVCardProperty>(CLSID_VCardProperty);
    CheckError(version->put_Type(VCARD_PROP_VERSION));
    const CComPtr<IVCardValue> value = server::CreateObject<IVCardValue>(CLSID_VCardValue);
    CheckError(value->putref_Parent(version));
    CheckError(value->put_DecodedValue(CComVariant(u"2.1")));
    CComPtr<IVCardValueColl> values;
    CheckError(version->get_Values(&values));
    CheckError(values->Add(value));

    // InsertAt refuses an empty list, so a card left without properties (it
    // held only VERSION, or nothing) gets its VERSION appended instead.
    if (count == 0) {
      CheckError(properties->Add(version));
    } else {
      CheckError(properties->InsertAt(0, version));
    }
    return S_OK;
  });
}

HRESULT SaveCollection(IVCardColl* collection, const VARIANT& filenames) {
  if (!collection) return E_POINTER;
  FileNames names;
  if (HRESULT hr = names.Read(filenames); FAILED(hr)) return hr;

  TextFile file;
  if (names.form() == FileNames::kOne) {
    if (HRESULT hr = file.Open(names.one()); FAILED(hr)) return hr;
  }

  bool close_failed = false;
  HRESULT status = server::ComBoundary([&] {
    LONG count = 0;
    CheckError(collection->get_Count(&count));
    std::vector<Target> targets;
    if (names.form() == FileNames::kEach) targets = PlanTargets(collection, count);
    std::unordered_set<std::string> started;

    for (LONG i = 0; i < count; ++i) {
      CComPtr<IVCard> card;
      CheckError(collection->Item(i, &card));
      CheckError(NormalizeVersion(card));
      if (names.form() == FileNames::kEach) {
        const Target& target = targets[static_cast<std::size_t>(i)];
        const bool append = !started.insert(target.key).second;
        CheckError(file.Open(target.path.c_str(), append));
      } else if (names.form() == FileNames::kList) {
        const char16_t* name = names.Name(i);
        if (!name) _com_issue_error(kOpenFailed);  // More cards than names.
        CheckError(file.Open(name));
      }
      CheckError(WriteVCard(file.stream(), card));
      if (names.form() != FileNames::kOne && !file.Close()) close_failed = true;
    }
    return S_OK;
  });
  if (file.IsOpen() && !file.Close()) close_failed = true;
  if (SUCCEEDED(status) && close_failed) status = kDiskFull;
  return status;
}

HRESULT SaveCollectionAsXML(IVCardColl* collection, const VARIANT& xml_filenames,
                            BSTR xsl_filename) {
  if (!collection) return E_POINTER;
  HRESULT status = S_OK;
  bool close_failed = false;
  std::unique_ptr<CUnicodeFile> file;
  // Per-card documents begun but not yet ended, by file: the end tag goes on
  // after the last card bound for the file, or after a failure.
  std::unordered_map<std::string, std::u16string> unended;
  std::string current_key;
  try {
    const CComBSTR stylesheet(xsl_filename);
    FileNames names;
    if (HRESULT hr = names.Read(xml_filenames); FAILED(hr)) return hr;

    if (names.form() == FileNames::kOne) {
      file = CreateXmlFile(names.one(), "w");
      try {
        WriteDocumentHeader(*file, stylesheet);
      } catch (const CUnicodeFileException&) {
        file->Close();
        return kWriteFault;
      }
    }

    try {
      LONG count = 0;
      CheckError(collection->get_Count(&count));
      std::vector<Target> targets;
      if (names.form() == FileNames::kEach) targets = PlanTargets(collection, count);

      for (LONG i = 0; i < count; ++i) {
        CComPtr<IVCard> card;
        CheckError(collection->Item(i, &card));
        CheckError(NormalizeVersion(card));
        if (names.form() == FileNames::kEach) {
          const Target& target = targets[static_cast<std::size_t>(i)];
          const bool begun = unended.count(target.key) != 0;
          file = CreateXmlFile(target.path.c_str(), begun ? "a" : "w");
          current_key = target.key;
          if (!begun) {
            unended.emplace(target.key, target.path);
            WriteDocumentHeader(*file, stylesheet);
          }
        } else if (names.form() == FileNames::kList) {
          const char16_t* name = names.Name(i);
          if (!name) _com_issue_error(kOpenFailed);  // More cards than names.
          file = CreateXmlFile(name, "w");
          WriteDocumentHeader(*file, stylesheet);
        }
        CheckError(WriteVCardAsXML(*file, card));
        // A document that cannot be closed is gone (see CloseXmlFile); the
        // next card goes on, and the failure is reported at the end.
        DocumentEnd end = DocumentEnd::kEnded;
        if (names.form() == FileNames::kList) {
          end = EndDocument(file);
        } else if (names.form() == FileNames::kEach) {
          const bool last = targets[static_cast<std::size_t>(i)].last == i;
          if (last) {
            unended.erase(current_key);
            end = EndDocument(file);
          } else if (!CloseXmlFile(file)) {
            // A later card of this file begins the document afresh.
            unended.erase(current_key);
            end = DocumentEnd::kCloseFailed;
          }
        }
        if (end == DocumentEnd::kEndTagFailed) _com_issue_error(E_UNEXPECTED);
        if (end == DocumentEnd::kCloseFailed) close_failed = true;
      }
    } catch (const CUnicodeFileException&) {
      status = E_UNEXPECTED;  // A header or an end tag of a per-card document.
    } catch (...) {
      status = StatusOf(std::current_exception());
    }

    // A document still open (the one file, or the file of the card that
    // failed) is ended now; so is every per-card document whose later cards
    // were never written.
    if (file) {
      unended.erase(current_key);
      if (SUCCEEDED(status)) {
        const DocumentEnd end = EndDocument(file);
        if (end == DocumentEnd::kEndTagFailed) status = kWriteFault;
        if (end == DocumentEnd::kCloseFailed) close_failed = true;
      } else {
        // The document of the failure keeps what was written of it.
        try {
          file->Write(kSetEnd);
        } catch (const CUnicodeFileException&) {
        }
        file->Close();
        file.reset();
      }
    }
    for (const auto& [key, path] : unended) {
      try {
        std::unique_ptr<CUnicodeFile> rest = CreateXmlFile(path.c_str(), "a");
        EndDocument(rest);
      } catch (...) {
        // The writing already failed; that failure is the status.
      }
    }
  } catch (...) {
    status = StatusOf(std::current_exception());
  }
  if (SUCCEEDED(status) && close_failed) status = kDiskFull;
  return status;
}

}  // namespace tarvovcard::writer
