#include "model/value.h"

#include "model/coding_rules.h"
#include "model/property.h"
#include "model/vocabulary.h"

namespace tarvovcard::model {
namespace {
// {C774AD54-E735-4EBC-98A1-6AF61D45F33E}
constexpr IID kValueImplIid = {
    0xc774ad54, 0xe735, 0x4ebc, {0x98, 0xa1, 0x6a, 0xf6, 0x1d, 0x45, 0xf3, 0x3e}};
}  // namespace

const IID& VCardValue::ImplIid() noexcept {
  return kValueImplIid;
}

IUnknown* VCardValue::GetInterface(REFIID riid) noexcept {
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IVCardValue)) {
    return static_cast<IVCardValue*>(this);
  }
  if (IsEqualIID(riid, IID_ISupportErrorInfo)) return static_cast<ISupportErrorInfo*>(this);
  return nullptr;
}

VCardValue::~VCardValue() {
  Unlink();
  if (text_in_arena_) {
    frame::FreeArenaString(stored_.bstrVal);
    stored_.vt = VT_EMPTY;
  }
}

void VCardValue::MoveTextToArena() noexcept {
  if (text_in_arena_ || stored_.vt != VT_BSTR || !stored_.bstrVal) return;
  BSTR text = frame::AllocateArenaString(stored_.bstrVal, SysStringLen(stored_.bstrVal));
  if (!text) return;
  SysFreeString(stored_.bstrVal);
  stored_.bstrVal = text;
  text_in_arena_ = true;
}

HRESULT VCardValue::TakeTextBack() noexcept {
  if (!text_in_arena_) return S_OK;
  BSTR text = SysAllocStringLen(stored_.bstrVal, SysStringLen(stored_.bstrVal));
  if (!text) return E_OUTOFMEMORY;
  frame::FreeArenaString(stored_.bstrVal);
  stored_.bstrVal = text;
  text_in_arena_ = false;
  return S_OK;
}

VCardProperty* VCardValue::parent_impl() const noexcept {
  return parent_is_ours_ ? static_cast<VCardProperty*>(parent_) : nullptr;
}

void VCardValue::Unlink() noexcept {
  if (VCardProperty* parent = parent_impl()) {
    if (prev_dependant_) {
      prev_dependant_->next_dependant_ = next_dependant_;
    } else {
      parent->dependants_ = next_dependant_;
    }
    if (next_dependant_) next_dependant_->prev_dependant_ = prev_dependant_;
  }
  ParentGone();
}

void VCardValue::ParentGone() noexcept {
  prev_dependant_ = next_dependant_ = nullptr;
  parent_is_ours_ = false;
  parent_ = nullptr;
}

void VCardValue::SetParent(VCardProperty* parent) noexcept {
  Unlink();
  parent_ = parent->Identity();
  parent_is_ours_ = true;
  next_dependant_ = parent->dependants_;
  if (next_dependant_) next_dependant_->prev_dependant_ = this;
  parent->dependants_ = this;
}

HRESULT VCardValue::get_Type(EVCardValue* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = ValueKindOf(stored_);
  return S_OK;
}

HRESULT VCardValue::get_DecodedValue(VARIANT* pVal) {
  return GetDecodedValue(stored_, pVal);
}

HRESULT VCardValue::put_DecodedValue(VARIANT newVal) {
  if (HRESULT hr = TakeTextBack(); FAILED(hr)) return hr;
  const HRESULT hr = PutDecodedValue(stored_, parent_, parent_impl(), newVal);
  MoveTextToArena();
  return hr;
}

HRESULT VCardValue::get_EncodedValue(VARIANT* pVal) {
  return GetEncodedValue(stored_, parent_, parent_impl(), pVal);
}

HRESULT VCardValue::put_EncodedValue(VARIANT newVal) {
  if (HRESULT hr = TakeTextBack(); FAILED(hr)) return hr;
  const HRESULT hr = PutEncodedValue(stored_, parent_, parent_impl(), newVal);
  MoveTextToArena();
  return hr;
}

HRESULT VCardValue::get_Parent(IVCardProperty** pVal) {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  // No parent, or a parent that is gone, reads like a missing pointer.
  if (!parent_) return E_POINTER;
  parent_->AddRef();
  *pVal = parent_;
  return S_OK;
}

HRESULT VCardValue::putref_Parent(IVCardProperty* newVal) {
  if (!newVal) return E_POINTER;
  if (VCardProperty* impl = impl_from_IVCardProperty(newVal)) {
    SetParent(impl);
  } else {
    Unlink();
    parent_ = newVal;  // somebody else's property: borrowed, as it is
  }
  return S_OK;
}

HRESULT VCardValue::InterfaceSupportsErrorInfo(REFIID riid) {
  return IsEqualIID(riid, IID_IVCardValue) ? S_OK : S_FALSE;
}

}  // namespace tarvovcard::model
