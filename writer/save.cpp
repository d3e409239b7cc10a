#include "writer/save.h"

#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "coding/conversions.h"
#include "frame/com_object.h"
#include "frame/file_calls.h"
#include "writer/staged_files.h"
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

// One open vCard text file of Save.
class TextFile {
 public:
  TextFile() = default;
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;
  ~TextFile() { Close(); }

  // Opens a file-system name (a staged file's) for writing or appending.
  void Open(const std::string& path, bool append = false) {
    Close();
    stream_ = frame::Files().fopen(path.c_str(), append ? "ab" : "wb");
    if (!stream_) _com_issue_error(kOpenFailed);
  }
  std::FILE* stream() const { return stream_; }
  bool IsOpen() const { return stream_ != nullptr; }

  // Closes the file; false when it could not be flushed or closed (or an
  // earlier write had failed).
  bool Close() {
    if (!stream_) return true;
    std::FILE* stream = std::exchange(stream_, nullptr);
    bool failed = std::ferror(stream) != 0;
    if (frame::Files().fclose(stream) != 0) failed = true;
    return !failed;
  }

 private:
  std::FILE* stream_ = nullptr;
};

HRESULT StatusOf(const std::exception_ptr& failure) {
  return frame::ComBoundary([&]() -> HRESULT { std::rethrow_exception(failure); });
}

// --- SaveAsXML helpers --------------------------------------------------------

std::unique_ptr<CUnicodeFile> CreateXmlFile(const std::string& path, const char* mode) {
  try {
    return std::make_unique<CUnicodeFile>(path.c_str(), mode, 0);
  } catch (const CUnicodeFileException&) {
    _com_issue_error(kOpenFailed);
  }
}

// False for text that no XML document can hold: a control character other
// than TAB, LF and CR, U+FFFE, U+FFFF, or half of a surrogate pair.
bool IsXmlText(const CComBSTR& text) {
  const UINT length = text.Length();
  for (UINT i = 0; i < length; ++i) {
    const char16_t c = text.m_str[i];
    if (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') return false;
    if (c == 0xFFFE || c == 0xFFFF) return false;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 == length || text.m_str[i + 1] < 0xDC00 || text.m_str[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
  }
  return true;
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
        // A reader turns white space in a pseudo-attribute into spaces
        // unless it is a character reference.
        case '\t':
          escaped += "&#9;";
          break;
        case '\n':
          escaped += "&#10;";
          break;
        case '\r':
          escaped += "&#13;";
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
// the document may still sit in the stream's buffer: false when it cannot be
// flushed (a full disk), and the document is cut short.
bool CloseXmlFile(std::unique_ptr<CUnicodeFile>& file) {
  const bool closed = file->Close();
  file.reset();
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

// Removes every VERSION property of `card` and puts one new VERSION property
// with the value "2.1" first in its list (appended when the list is empty).
HRESULT NormalizeVersion(IVCard* card) {
  if (!card) return E_POINTER;
  return frame::ComBoundary([&] {
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
        frame::CreateObject<IVCardProperty>(CLSID_VCardProperty);
    CheckError(version->put_Type(VCARD_PROP_VERSION));
    const CComPtr<IVCardValue> value = frame::CreateObject<IVCardValue>(CLSID_VCardValue);
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

}  // namespace

HRESULT SaveCollection(IVCardColl* collection, const VARIANT& filenames) {
  if (!collection) return E_POINTER;
  FileNames names;
  if (HRESULT hr = names.Read(filenames); FAILED(hr)) return hr;

  // Every file is staged (see staged_files.h): a failure leaves its target
  // as it was. A file that cannot be closed or committed is given up, the
  // next file goes on, and the first such failure is the status at the end.
  StagedFiles staged;
  TextFile file;
  std::string one;
  if (names.form() == FileNames::kOne) {
    HRESULT hr = frame::ComBoundary([&] {
      one = FileSystemName(names.one());
      file.Open(staged.PathFor(one));
      return S_OK;
    });
    if (FAILED(hr)) return hr;
  }

  HRESULT late = S_OK;
  bool write_failed = false;  // of the one file of the VT_BSTR form
  auto finish = [&](const std::string& target, bool closed) {
    const HRESULT hr = closed ? staged.Commit(target) : kDiskFull;
    if (!closed) staged.Discard(target);
    if (SUCCEEDED(late)) late = hr;
  };
  HRESULT status = frame::ComBoundary([&] {
    LONG count = 0;
    CheckError(collection->get_Count(&count));
    std::vector<Target> targets;
    if (names.form() == FileNames::kEach) targets = PlanTargets(collection, count);
    std::unordered_set<std::string> given_up;

    for (LONG i = 0; i < count; ++i) {
      CComPtr<IVCard> card;
      CheckError(collection->Item(i, &card));
      CheckError(NormalizeVersion(card));
      std::string target;
      if (names.form() == FileNames::kEach) {
        target = targets[static_cast<std::size_t>(i)].key;
        if (given_up.count(target)) continue;
        const bool append = staged.IsStaged(target);
        file.Open(staged.PathFor(target), append);
      } else if (names.form() == FileNames::kList) {
        const char16_t* name = names.Name(i);
        if (!name) _com_issue_error(kOpenFailed);  // More cards than names.
        target = FileSystemName(name);
        file.Open(staged.PathFor(target));
      }
      // A short write (a full disk) gives up this file, like a failed close.
      const HRESULT written = WriteVCard(file.stream(), card);
      if (written != kDiskFull) CheckError(written);
      write_failed |= written == kDiskFull;
      if (names.form() == FileNames::kOne) continue;
      const bool closed = file.Close() && written == S_OK;
      // A file of the empty form is complete after its last card.
      const bool complete =
          names.form() == FileNames::kList || targets[static_cast<std::size_t>(i)].last == i;
      if (!closed && names.form() == FileNames::kEach) given_up.insert(target);
      if (complete || !closed) finish(target, closed);
    }
    return S_OK;
  });
  const bool closed = file.Close() && !write_failed;
  if (names.form() == FileNames::kOne && SUCCEEDED(status)) finish(one, closed);
  return SUCCEEDED(status) ? late : status;
}

HRESULT SaveCollectionAsXML(IVCardColl* collection, const VARIANT& xml_filenames,
                            BSTR xsl_filename) {
  if (!collection) return E_POINTER;
  HRESULT status = S_OK;
  HRESULT late = S_OK;  // a file given up while the writing went on
  // Staged like Save's files; declared before the open document, which must
  // be closed before its temporary file is removed.
  StagedFiles staged;
  std::unique_ptr<CUnicodeFile> file;
  auto finish = [&](const std::string& target, DocumentEnd end) {
    if (end == DocumentEnd::kEndTagFailed) _com_issue_error(E_UNEXPECTED);
    const HRESULT hr = end == DocumentEnd::kEnded ? staged.Commit(target) : kDiskFull;
    if (end != DocumentEnd::kEnded) staged.Discard(target);
    if (SUCCEEDED(late)) late = hr;
  };
  try {
    const CComBSTR stylesheet(xsl_filename);
    if (!IsXmlText(stylesheet)) return E_INVALIDARG;
    FileNames names;
    if (HRESULT hr = names.Read(xml_filenames); FAILED(hr)) return hr;

    std::string one;
    if (names.form() == FileNames::kOne) {
      one = FileSystemName(names.one());
      file = CreateXmlFile(staged.PathFor(one), "w");
      try {
        WriteDocumentHeader(*file, stylesheet);
      } catch (const CUnicodeFileException&) {
        return kWriteFault;
      }
    }

    try {
      LONG count = 0;
      CheckError(collection->get_Count(&count));
      std::vector<Target> targets;
      if (names.form() == FileNames::kEach) targets = PlanTargets(collection, count);
      std::unordered_set<std::string> given_up;

      for (LONG i = 0; i < count; ++i) {
        CComPtr<IVCard> card;
        CheckError(collection->Item(i, &card));
        CheckError(NormalizeVersion(card));
        std::string target;
        if (names.form() == FileNames::kEach) {
          target = targets[static_cast<std::size_t>(i)].key;
          if (given_up.count(target)) continue;
          const bool begun = staged.IsStaged(target);
          file = CreateXmlFile(staged.PathFor(target), begun ? "a" : "w");
          if (!begun) WriteDocumentHeader(*file, stylesheet);
        } else if (names.form() == FileNames::kList) {
          const char16_t* name = names.Name(i);
          if (!name) _com_issue_error(kOpenFailed);  // More cards than names.
          target = FileSystemName(name);
          file = CreateXmlFile(staged.PathFor(target), "w");
          WriteDocumentHeader(*file, stylesheet);
        }
        CheckError(WriteVCardAsXML(*file, card));
        if (names.form() == FileNames::kList) {
          finish(target, EndDocument(file));
        } else if (names.form() == FileNames::kEach) {
          if (targets[static_cast<std::size_t>(i)].last == i) {
            finish(target, EndDocument(file));
          } else if (!CloseXmlFile(file)) {
            given_up.insert(target);
            finish(target, DocumentEnd::kCloseFailed);
          }
        }
      }
    } catch (const CUnicodeFileException&) {
      status = E_UNEXPECTED;  // A header or an end tag of a per-card document.
    } catch (...) {
      status = StatusOf(std::current_exception());
    }

    // The one document is ended now. After a failure the document being
    // written is closed and given up with every other unfinished one.
    if (file && SUCCEEDED(status)) {
      const DocumentEnd end = EndDocument(file);
      if (end == DocumentEnd::kEndTagFailed) {
        status = kWriteFault;
      } else {
        finish(one, end);
      }
    }
    if (file) {
      file->Close();
      file.reset();
    }
  } catch (...) {
    status = StatusOf(std::current_exception());
  }
  return SUCCEEDED(status) ? late : status;
}

}  // namespace tarvovcard::writer
