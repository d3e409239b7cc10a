// Owning holders for counted references, BSTRs and VARIANTs.
//
// Every counted reference held in a local or a member is held by a CComPtr;
// every BSTR or VARIANT that a scope owns is held by CComBSTR or CComVariant.
#pragma once

#include <memory>
#include <utility>

#include "tarvovcard/platform/comdef.h"
#include "tarvovcard/platform/oleauto.h"

template <class T>
class CComPtr {
 public:
  CComPtr() noexcept = default;
  CComPtr(std::nullptr_t) noexcept {}
  // Takes a new reference to p.
  CComPtr(T* p) noexcept : p(p) {
    if (p) p->AddRef();
  }
  CComPtr(const CComPtr& other) noexcept : CComPtr(other.p) {}
  CComPtr(CComPtr&& other) noexcept : p(std::exchange(other.p, nullptr)) {}
  ~CComPtr() {
    if (p) p->Release();
  }
  CComPtr& operator=(const CComPtr& other) noexcept { return *this = other.p; }
  CComPtr& operator=(CComPtr&& other) noexcept {
    if (this != std::addressof(other)) Attach(std::exchange(other.p, nullptr));
    return *this;
  }
  CComPtr& operator=(T* other) noexcept {
    if (other) other->AddRef();
    Attach(other);
    return *this;
  }

  operator T*() const noexcept { return p; }
  T* operator->() const noexcept { return p; }
  T& operator*() const noexcept { return *p; }
  // For out parameters: the holder must be empty, as the callee overwrites it.
  T** operator&() noexcept { return &p; }
  bool operator!() const noexcept { return p == nullptr; }

  // Adopts p without adding a reference; releases the previous one.
  void Attach(T* other) noexcept {
    T* old = std::exchange(p, other);
    if (old) old->Release();
  }
  // Gives up ownership without releasing.
  T* Detach() noexcept { return std::exchange(p, nullptr); }
  void Release() noexcept { Attach(nullptr); }
  // Hands out a new reference.
  HRESULT CopyTo(T** ppT) const noexcept {
    if (!ppT) return E_POINTER;
    *ppT = p;
    if (p) p->AddRef();
    return S_OK;
  }
  template <class Q>
  HRESULT QueryInterface(Q** pp) const noexcept {
    if (!p) return E_POINTER;
    return p->QueryInterface(uuidof<Q>(), reinterpret_cast<void**>(pp));
  }

  T* p = nullptr;
};

class CComBSTR {
 public:
  CComBSTR() noexcept = default;
  CComBSTR(std::nullptr_t) noexcept {}
  // Copies up to the first NUL. Throws _com_error(E_OUTOFMEMORY) on failure.
  CComBSTR(const OLECHAR* psz) : m_str(psz ? Checked(SysAllocString(psz)) : nullptr) {}
  CComBSTR(const OLECHAR* pch, UINT cch) : m_str(Checked(SysAllocStringLen(pch, cch))) {}
  CComBSTR(const CComBSTR& other)
      : m_str(other.m_str ? Checked(SysAllocStringLen(other.m_str, other.Length())) : nullptr) {}
  CComBSTR(CComBSTR&& other) noexcept : m_str(std::exchange(other.m_str, nullptr)) {}
  ~CComBSTR() { SysFreeString(m_str); }
  CComBSTR& operator=(const CComBSTR& other) {
    if (this != &other) *this = CComBSTR(other);
    return *this;
  }
  CComBSTR& operator=(CComBSTR&& other) noexcept {
    if (this != std::addressof(other)) Attach(std::exchange(other.m_str, nullptr));
    return *this;
  }

  operator BSTR() const noexcept { return m_str; }
  BSTR* operator&() noexcept { return &m_str; }
  bool operator!() const noexcept { return m_str == nullptr; }
  UINT Length() const noexcept { return SysStringLen(m_str); }
  void Attach(BSTR s) noexcept {
    BSTR old = std::exchange(m_str, s);
    if (old != s) SysFreeString(old);
  }
  BSTR Detach() noexcept { return std::exchange(m_str, nullptr); }
  void Empty() noexcept { Attach(nullptr); }
  // Hands out a fresh copy (null stays null).
  HRESULT CopyTo(BSTR* pbstr) const noexcept {
    if (!pbstr) return E_POINTER;
    *pbstr = nullptr;
    if (!m_str) return S_OK;
    *pbstr = SysAllocStringLen(m_str, Length());
    return *pbstr ? S_OK : E_OUTOFMEMORY;
  }

  BSTR m_str = nullptr;

 private:
  static BSTR Checked(BSTR s) {
    if (!s) _com_issue_error(E_OUTOFMEMORY);
    return s;
  }
};

class CComVariant : public tagVARIANT {
 public:
  CComVariant() noexcept { VariantInit(this); }
  CComVariant(const VARIANT& src) {
    VariantInit(this);
    _com_util::CheckError(VariantCopy(this, &src));
  }
  CComVariant(const CComVariant& src) : CComVariant(static_cast<const VARIANT&>(src)) {}
  CComVariant(CComVariant&& src) noexcept : tagVARIANT(src) { VariantInit(&src); }
  // A VT_BSTR holding a copy of the text (a null text gives an empty string).
  explicit CComVariant(const char16_t* text) {
    VariantInit(this);
    bstrVal = SysAllocString(text ? text : u"");
    if (!bstrVal) _com_issue_error(E_OUTOFMEMORY);
    vt = VT_BSTR;
  }
  // A VT_I4.
  explicit CComVariant(LONG value) noexcept {
    VariantInit(this);
    vt = VT_I4;
    lVal = value;
  }
  ~CComVariant() { VariantClear(this); }
  CComVariant& operator=(const CComVariant& src) {
    if (this != &src) _com_util::CheckError(VariantCopy(this, &src));
    return *this;
  }
  CComVariant& operator=(CComVariant&& src) noexcept {
    if (this != &src) {
      VariantClear(this);
      static_cast<tagVARIANT&>(*this) = src;
      VariantInit(&src);
    }
    return *this;
  }
  HRESULT Clear() noexcept { return VariantClear(this); }
  // Moves the content into *pDest (cleared first) and leaves this empty.
  HRESULT Detach(VARIANT* pDest) noexcept {
    if (!pDest) return E_POINTER;
    HRESULT hr = VariantClear(pDest);
    if (FAILED(hr)) return hr;
    *pDest = *this;
    VariantInit(this);
    return S_OK;
  }
};
