#include "model/parameter.h"

#include <iterator>

#include "model/vocabulary.h"

namespace tarvovcard::model {
namespace {
// {2650837A-172A-4D2C-B682-A3744851B671}
constexpr IID kParameterImplIid = {
    0x2650837a, 0x172a, 0x4d2c, {0xb6, 0x82, 0xa3, 0x74, 0x48, 0x51, 0xb6, 0x71}};

// Parameter values that recur on most lines of an export. Each is allocated
// once for the process, and a parameter set to exactly that text (same
// letters, same case) points at it instead of holding a copy: a Load of
// 50,000 cards made some 700,000 copies of these few words, and a copy of
// "HOME" took as much memory as the parameter holding it. Nobody but the
// parameter sees the pointer (get_Value hands out a copy, as always).
// clang-format off
constexpr std::u16string_view kSharedTexts[] = {
    u"HOME", u"WORK", u"PREF", u"VOICE", u"CELL", u"FAX", u"MSG", u"PAGER", u"CAR", u"BBS",
    u"MODEM", u"ISDN", u"VIDEO", u"DOM", u"INTL", u"POSTAL", u"PARCEL", u"INTERNET", u"X400",
    u"X509", u"PGP", u"GIF", u"JPEG", u"BMP", u"WAVE", u"INLINE", u"URL", u"CID", u"CONTENT-ID",
    u"7BIT", u"8BIT", u"BASE64", u"QUOTED-PRINTABLE", u"UTF-8", u"ISO-8859-1"};
// clang-format on

class SharedTexts {
 public:
  // At the library's start, before any Load; a text that cannot be allocated
  // then is simply not shared. Until this has run (a parameter made by
  // another object's static initialisation) the entries are null: nothing
  // is shared, and everything works as before.
  SharedTexts() noexcept {
    for (std::size_t i = 0; i < std::size(kSharedTexts); ++i) {
      texts_[i] =
          SysAllocStringLen(kSharedTexts[i].data(), static_cast<UINT>(kSharedTexts[i].size()));
    }
  }
  ~SharedTexts() {
    for (BSTR& text : texts_) {
      SysFreeString(text);
      text = nullptr;
    }
  }
  SharedTexts(const SharedTexts&) = delete;
  SharedTexts& operator=(const SharedTexts&) = delete;

  // The shared copy of `text`, or null.
  BSTR Find(std::u16string_view text) const noexcept {
    if (text.size() < 3 || text.size() > 16) return nullptr;
    for (std::size_t i = 0; i < std::size(kSharedTexts); ++i) {
      if (kSharedTexts[i] == text) return texts_[i];
    }
    return nullptr;
  }

 private:
  BSTR texts_[std::size(kSharedTexts)] = {};
};

const SharedTexts g_shared_texts;
}  // namespace

const IID& VCardParameter::ImplIid() noexcept {
  return kParameterImplIid;
}

IUnknown* VCardParameter::GetInterface(REFIID riid) noexcept {
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IVCardParameter)) {
    return static_cast<IVCardParameter*>(this);
  }
  if (IsEqualIID(riid, IID_ISupportErrorInfo)) return static_cast<ISupportErrorInfo*>(this);
  return nullptr;
}

std::u16string_view VCardParameter::name() const noexcept {
  return custom_name_ ? BstrView(custom_name_) : CanonicalParameterName(type());
}

bool VCardParameter::SetType(EVCardParameter type) noexcept {
  std::u16string_view canonical = CanonicalParameterName(type);
  if (canonical.empty()) return false;
  type_ = type;
  custom_name_.Empty();
  return true;
}

HRESULT VCardParameter::get_Type(EVCardParameter* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = type();
  return S_OK;
}

HRESULT VCardParameter::put_Type(EVCardParameter newVal) {
  return SetType(newVal) ? S_OK : E_INVALIDARG;
}

HRESULT VCardParameter::get_Name(BSTR* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  if (custom_name_) return custom_name_.CopyTo(pVal);
  std::u16string_view canonical = CanonicalParameterName(type());
  if (canonical.empty()) return S_OK;  // never named: a null string
  *pVal = SysAllocStringLen(canonical.data(), static_cast<UINT>(canonical.size()));
  return *pVal ? S_OK : E_OUTOFMEMORY;
}

HRESULT VCardParameter::put_Name(BSTR newVal) {
  std::u16string_view name = ArgumentView(newVal);
  EVCardParameter type;
  if (!ParameterTypeFromName(name, &type)) return E_INVALIDARG;
  std::u16string_view canonical = CanonicalParameterName(type);
  if (!canonical.empty() && canonical == name) {
    // Spelt as the table spells it: refer to the table, copy nothing.
    type_ = type;
    custom_name_.Empty();
    return S_OK;
  }
  BSTR copy = SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
  if (!copy) return E_OUTOFMEMORY;
  type_ = type;
  custom_name_.Attach(copy);
  return S_OK;
}

HRESULT VCardParameter::get_Value(BSTR* pVal) {
  return value_.CopyTo(pVal);
}

void VCardParameter::ForgetValue() noexcept {
  if (value_shared_) value_.Detach();
  value_shared_ = false;
}

HRESULT VCardParameter::put_Value(BSTR newVal) {
  if (BSTR shared = newVal ? g_shared_texts.Find(ArgumentView(newVal)) : nullptr) {
    ForgetValue();
    value_.Attach(shared);
    value_shared_ = true;
    return S_OK;
  }
  BSTR copy = nullptr;
  if (newVal) {
    copy = SysAllocString(newVal);
    if (!copy) return E_OUTOFMEMORY;  // the old value stays
  }
  ForgetValue();
  value_.Attach(copy);
  return S_OK;
}

HRESULT VCardParameter::InterfaceSupportsErrorInfo(REFIID riid) {
  return IsEqualIID(riid, IID_IVCardParameter) ? S_OK : S_FALSE;
}

}  // namespace tarvovcard::model
