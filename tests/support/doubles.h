// Test doubles: elements written outside the library, as a client writes
// them, counting references; and the library's file calls failing on request.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "frame/file_calls.h"
#include "tarvovcard/tarvovcard.h"

namespace tarvovcard::testing {

// The IUnknown of a stack-allocated element: it answers IUnknown and its
// interface and counts references (a test checks they are back to 1). With
// `released` set, each Release appends `tag` to it, to show their order.
template <class Interface>
struct Counted : Interface {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    const bool known = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, uuidof<Interface>());
    *ppv = known ? static_cast<Interface*>(this) : nullptr;
    if (known) AddRef();
    return known ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override {
    if (released) *released += tag;
    return --refs;
  }
  ULONG refs = 1;
  std::string* released = nullptr;
  char tag = 0;
};

// A parameter with a fixed type, name and value that counts its type queries.
struct StubParameter : Counted<IVCardParameter> {
  StubParameter(EVCardParameter type, const char16_t* name, const char16_t* value)
      : type(type), name(name), value(value) {}
  HRESULT STDMETHODCALLTYPE get_Type(EVCardParameter* pVal) override {
    ++type_queries;
    *pVal = type;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* pVal) override {
    *pVal = SysAllocString(name);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Value(BSTR* pVal) override {
    *pVal = SysAllocString(value);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Type(EVCardParameter) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Name(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Value(BSTR) override { return E_NOTIMPL; }

  EVCardParameter type;
  const char16_t* name;
  const char16_t* value;
  int type_queries = 0;
};

// A property that forwards to one of the library's own, so that the library
// cannot see its implementation. It counts its QueryParameterByType calls;
// with `failure` set, Type and Name fail with it.
struct ForeignProperty : Counted<IVCardProperty> {
  explicit ForeignProperty(IVCardProperty* inner, HRESULT failure = S_OK)
      : inner(inner), failure(failure) {}
#define FORWARD(method, Argument)                         \
  HRESULT STDMETHODCALLTYPE method(Argument a) override { \
    return inner->method(a);                              \
  }
  FORWARD(put_Type, EVCardProperty)
  FORWARD(put_Name, BSTR)
  FORWARD(get_Group, BSTR*)
  FORWARD(put_Group, BSTR)
  FORWARD(get_Parameters, IVCardParameterColl**)
  FORWARD(get_Values, IVCardValueColl**)
  FORWARD(get_AsAddress, IVCardPropertyAddress**)
  FORWARD(get_AsName, IVCardPropertyName**)
  FORWARD(get_AsOrganisation, IVCardPropertyOrganisation**)
#undef FORWARD
  HRESULT STDMETHODCALLTYPE get_Type(EVCardProperty* p) override {
    return FAILED(failure) ? failure : inner->get_Type(p);
  }
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* p) override {
    return FAILED(failure) ? failure : inner->get_Name(p);
  }
  HRESULT STDMETHODCALLTYPE QueryParameterByType(EVCardParameter t,
                                                 IVCardParameterColl** p) override {
    ++parameter_queries;
    return inner->QueryParameterByType(t, p);
  }
  HRESULT STDMETHODCALLTYPE QueryParameterByName(BSTR n, IVCardParameterColl** p) override {
    return inner->QueryParameterByName(n, p);
  }

  IVCardProperty* inner;
  HRESULT failure;
  int parameter_queries = 0;
};

// The library's file calls (frame/file_calls.h), counted, failing as asked
// while the object lives: the nth call of a kind (from 0) or every one
// (kEvery), with `error` in errno; with `file` set, only calls on a file of
// that name count (open, read, fopen, sync, rename). One at a time: the seam
// is process-wide.
enum class Call { kNone, kOpen, kWrite, kClose, kSync, kRename, kOpenFd, kRead };
struct Failure {
  static constexpr int kEvery = -1;
  Call call = Call::kNone;
  int nth = 0;
  int error = ENOSPC;
  std::string file = "";
};
class FailingFiles {
 public:
  explicit FailingFiles(Failure failure = {}) : FailingFiles({failure}) {}
  FailingFiles(std::initializer_list<Failure> failures) : failures_(failures) {
    current_ = this;
    seen_.resize(failures_.size());
  }
  ~FailingFiles() { current_ = nullptr; }
  int Count(Call call) const { return counts_[static_cast<int>(call)]; }
  std::vector<std::string> modes;  // Of every fopen.

 private:
  static bool Fails(Call call, const char* path = nullptr) {
    FailingFiles& self = *current_;
    ++self.counts_[static_cast<int>(call)];
    const std::string name = path ? std::filesystem::path(path).filename().string() : "";
    for (std::size_t i = 0; i < self.failures_.size(); ++i) {
      const Failure& failure = self.failures_[i];
      if (failure.call != call || (!failure.file.empty() && failure.file != name)) continue;
      if (self.seen_[i]++ != failure.nth && failure.nth != Failure::kEvery) continue;
      errno = failure.error;
      return true;
    }
    return false;
  }
  static const frame::FileCalls& Calls() {
    static const frame::FileCalls& system = frame::SystemFileCalls();
    static frame::FileCalls calls = system;
    calls.fopen = [](const char* path, const char* mode) {
      current_->modes.push_back(mode);
      return Fails(Call::kOpen, path) ? nullptr : system.fopen(path, mode);
    };
    calls.fwrite = [](const void* data, std::size_t size, std::FILE* stream) {
      return Fails(Call::kWrite) ? 0 : system.fwrite(data, size, stream);
    };
    calls.fclose = [](std::FILE* stream) {  // The stream is gone either way.
      const int result = system.fclose(stream);
      return Fails(Call::kClose) ? EOF : result;
    };
    calls.sync = [](const char* path) { return Fails(Call::kSync, path) ? -1 : system.sync(path); };
    calls.rename = [](const char* from, const char* to) {
      return Fails(Call::kRename, to) ? -1 : system.rename(from, to);
    };
    calls.open = [](const char* path, int flags) {
      if (Fails(Call::kOpenFd, path)) return -1;
      const int fd = system.open(path, flags);
      if (fd >= 0) current_->descriptors_[fd] = path;
      return fd;
    };
    calls.read = [](int fd, void* buffer, std::size_t size) -> ssize_t {
      const auto file = current_->descriptors_.find(fd);
      const char* path = file == current_->descriptors_.end() ? nullptr : file->second.c_str();
      return Fails(Call::kRead, path) ? -1 : system.read(fd, buffer, size);
    };
    calls.close = [](int fd) {
      current_->descriptors_.erase(fd);
      return system.close(fd);
    };
    return calls;
  }
  static inline FailingFiles* current_ = nullptr;
  std::vector<Failure> failures_;
  std::vector<int> seen_;
  int counts_[8] = {};
  std::map<int, std::string> descriptors_;  // The names of the open files.
  frame::ScopedFileCalls scope_{Calls()};
};

}  // namespace tarvovcard::testing
