#include "model/collection.h"

#include "coding/conversions.h"

namespace tarvovcard::model {
namespace {

// Private identity queries of the four collection classes.
// {4C38497F-5763-4753-9D0A-85951AB963C9}
constexpr IID kCardCollImplIid = {
    0x4c38497f, 0x5763, 0x4753, {0x9d, 0x0a, 0x85, 0x95, 0x1a, 0xb9, 0x63, 0xc9}};
// {C7B21798-037D-43A4-8C81-B2E6DD05B6D8}
constexpr IID kParameterCollImplIid = {
    0xc7b21798, 0x037d, 0x43a4, {0x8c, 0x81, 0xb2, 0xe6, 0xdd, 0x05, 0xb6, 0xd8}};
// {DACD1724-DBBA-4EFD-93AF-C472AE156129}
constexpr IID kPropertyCollImplIid = {
    0xdacd1724, 0xdbba, 0x4efd, {0x93, 0xaf, 0xc4, 0x72, 0xae, 0x15, 0x61, 0x29}};
// {B60996FB-5560-43C9-83FB-0618305C36C2}
constexpr IID kValueCollImplIid = {
    0xb60996fb, 0x5560, 0x43c9, {0x83, 0xfb, 0x06, 0x18, 0x30, 0x5c, 0x36, 0xc2}};

}  // namespace

template <>
const IID& Collection<IVCardColl, IVCard>::ImplIid() noexcept {
  return kCardCollImplIid;
}
template <>
const IID& Collection<IVCardPropertyColl, IVCardProperty>::ImplIid() noexcept {
  return kPropertyCollImplIid;
}
template <>
const IID& Collection<IVCardParameterColl, IVCardParameter>::ImplIid() noexcept {
  return kParameterCollImplIid;
}
template <>
const IID& Collection<IVCardValueColl, IVCardValue>::ImplIid() noexcept {
  return kValueCollImplIid;
}

template <class C, class E>
Collection<C, E>::~Collection() {
  // Gives back the references from the front, as repeated Remove(0) would.
  for (auto& element : elements_) element.Release();
}

template <class C, class E>
IUnknown* Collection<C, E>::GetInterface(REFIID riid) noexcept {
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, uuidof<C>())) return Identity();
  if (IsEqualIID(riid, IID_IEnumVARIANT)) return static_cast<IEnumVARIANT*>(this);
  if (IsEqualIID(riid, IID_ISupportErrorInfo)) return static_cast<ISupportErrorInfo*>(this);
  return nullptr;
}

template <class C, class E>
void Collection<C, E>::Append(E* element) {
  elements_.push_back(CComPtr<E>(element));
}

template <class C, class E>
HRESULT Collection<C, E>::Item(LONG Index, E** pVal) {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  if (Index < 0 || Index >= size()) return E_INVALIDARG;
  return elements_[Index].CopyTo(pVal);
}

template <class C, class E>
HRESULT Collection<C, E>::Add(E* pVal) {
  if (!pVal) return E_POINTER;
  return frame::ComBoundary([&] {
    Append(pVal);
    return S_OK;
  });
}

template <class C, class E>
HRESULT Collection<C, E>::get_Count(LONG* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = size();
  return S_OK;
}

template <class C, class E>
HRESULT Collection<C, E>::Remove(LONG Index) {
  if (Index < 0 || Index >= size()) return E_INVALIDARG;
  // Taken out of the sequence before its reference goes, so that whatever the
  // element's destruction does sees a consistent collection.
  CComPtr<E> removed = std::move(elements_[Index]);
  elements_.erase(static_cast<std::size_t>(Index));
  cursor_ = Index;
  return S_OK;
}

template <class C, class E>
HRESULT Collection<C, E>::get__NewEnum(IUnknown** pVal) {
  if (!pVal) return E_POINTER;
  cursor_ = 0;
  IEnumVARIANT* enumerator = this;
  enumerator->AddRef();
  *pVal = enumerator;
  return S_OK;
}

template <class C, class E>
HRESULT Collection<C, E>::InsertAt(LONG Index, E* pVal) {
  if (!pVal) return E_POINTER;
  if (Index < 0 || Index >= size()) return E_INVALIDARG;
  return frame::ComBoundary([&] {
    elements_.insert(static_cast<std::size_t>(Index), CComPtr<E>(pVal));
    cursor_ = Index;
    return S_OK;
  });
}

template <class C, class E>
HRESULT Collection<C, E>::Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) {
  if (pCeltFetched) *pCeltFetched = 0;
  if (celt >= 2) return E_INVALIDARG;
  if (!rgVar) return E_POINTER;
  VariantInit(&rgVar[0]);
  if (cursor_ < 0 || cursor_ >= size()) return S_FALSE;
  // The element's own interface under the VT_DISPATCH tag (no class of this
  // system answers IDispatch).
  IUnknown* element = elements_[cursor_].p;
  element->AddRef();
  rgVar[0].vt = VT_DISPATCH;
  rgVar[0].pdispVal = reinterpret_cast<IDispatch*>(element);
  if (pCeltFetched) *pCeltFetched = 1;
  ++cursor_;
  return S_OK;
}

template <class C, class E>
HRESULT Collection<C, E>::Skip(ULONG) {
  if (cursor_ < size()) ++cursor_;
  return cursor_ >= size() ? E_INVALIDARG : S_OK;
}

template <class C, class E>
HRESULT Collection<C, E>::Reset() {
  cursor_ = 0;
  return S_OK;
}

template <class C, class E>
HRESULT Collection<C, E>::Clone(IEnumVARIANT** ppEnum) {
  if (ppEnum) *ppEnum = nullptr;
  return E_NOTIMPL;
}

template <class C, class E>
HRESULT Collection<C, E>::InterfaceSupportsErrorInfo(REFIID riid) {
  return IsEqualIID(riid, uuidof<C>()) ? S_OK : S_FALSE;
}

template class Collection<IVCardColl, IVCard>;
template class Collection<IVCardPropertyColl, IVCardProperty>;
template class Collection<IVCardParameterColl, IVCardParameter>;
template class Collection<IVCardValueColl, IVCardValue>;

IUnknown* VCardColl::GetInterface(REFIID riid) noexcept {
  if (IsEqualIID(riid, IID_IVCardLoadReport)) return static_cast<IVCardLoadReport*>(this);
  return Collection::GetInterface(riid);
}

HRESULT VCardColl::get_ProblemCount(LONG* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = static_cast<LONG>(report_.size());
  return S_OK;
}

const LoadProblem* VCardColl::ProblemAt(LONG index) const noexcept {
  if (index < 0 || static_cast<std::size_t>(index) >= report_.size()) return nullptr;
  return &report_[static_cast<std::size_t>(index)];
}

namespace {

// True when the bytes are well-formed UTF-8 (overlong forms and surrogates
// are not told apart: this only chooses how to widen).
bool LooksLikeUtf8(const std::string& text) noexcept {
  for (std::size_t i = 0; i < text.size();) {
    auto c = static_cast<unsigned char>(text[i]);
    std::size_t length = c < 0x80         ? 1
                         : (c >> 5) == 6  ? 2
                         : (c >> 4) == 14 ? 3
                         : (c >> 3) == 30 ? 4
                                          : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
    }
    i += length;
  }
  return true;
}

// 8-bit text of the report as a new BSTR: UTF-8 when it is well-formed UTF-8
// (file names, most text), else the ANSI code page.
HRESULT ReportText(const std::string& text, BSTR* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  return frame::ComBoundary([&] {
    *pVal = coding::NarrowToWide(text.c_str(), LooksLikeUtf8(text)).Detach();
    return S_OK;
  });
}

}  // namespace

HRESULT VCardColl::get_File(LONG Index, BSTR* pVal) {
  const LoadProblem* problem = ProblemAt(Index);
  if (!pVal) return E_POINTER;
  return problem ? ReportText(problem->file, pVal) : E_INVALIDARG;
}

HRESULT VCardColl::get_Line(LONG Index, LONG* pVal) {
  if (!pVal) return E_POINTER;
  const LoadProblem* problem = ProblemAt(Index);
  if (!problem) return E_INVALIDARG;
  *pVal = problem->line;
  return S_OK;
}

HRESULT VCardColl::get_Lost(LONG Index, VARIANT_BOOL* pVal) {
  if (!pVal) return E_POINTER;
  const LoadProblem* problem = ProblemAt(Index);
  if (!problem) return E_INVALIDARG;
  *pVal = problem->lost ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT VCardColl::get_Message(LONG Index, BSTR* pVal) {
  const LoadProblem* problem = ProblemAt(Index);
  if (!pVal) return E_POINTER;
  return problem ? ReportText(problem->message, pVal) : E_INVALIDARG;
}

HRESULT VCardColl::get_Text(LONG Index, BSTR* pVal) {
  const LoadProblem* problem = ProblemAt(Index);
  if (!pVal) return E_POINTER;
  return problem ? ReportText(problem->text, pVal) : E_INVALIDARG;
}

}  // namespace tarvovcard::model
