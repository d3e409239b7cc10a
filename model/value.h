// VCardValue: one value (one component) of a property line, stored decoded: a
// string, a date, an embedded card or a byte array. The coding between the
// stored content and the file text lives in coding/value_coding.h.
//
// Parent link. A value refers to its property without owning it (the property
// owns the value through its value collection; owning back would keep both
// alive for ever). The link must still never dangle: when the parent is one of
// the library's own properties, the value enters that property's list of
// dependants (an intrusive list, no allocation), and the property, when it is
// destroyed, clears the parent of every value still on its list, wherever that
// value now sits (another collection, a client's hands). Parent then answers
// E_POINTER, as for a value that never had one. A parent implemented outside
// the library cannot tell the value of its end, so it stays a plain borrowed
// pointer that the client must keep alive.
#pragma once

#include "frame/com_object.h"
#include "tarvovcard/automation_types.h"
#include "tarvovcard/platform/atlbase.h"

namespace tarvovcard::model {

class VCardProperty;

class VCardValue : public IVCardValue, public ISupportErrorInfo, public frame::ComObjectRoot {
 public:
  static const IID& ImplIid() noexcept;
  IUnknown* GetInterface(REFIID riid) noexcept;

  HRESULT STDMETHODCALLTYPE get_Type(EVCardValue* pVal) override;
  HRESULT STDMETHODCALLTYPE get_DecodedValue(VARIANT* pVal) override;
  HRESULT STDMETHODCALLTYPE put_DecodedValue(VARIANT newVal) override;
  HRESULT STDMETHODCALLTYPE get_EncodedValue(VARIANT* pVal) override;
  HRESULT STDMETHODCALLTYPE put_EncodedValue(VARIANT newVal) override;
  HRESULT STDMETHODCALLTYPE get_Parent(IVCardProperty** pVal) override;
  HRESULT STDMETHODCALLTYPE putref_Parent(IVCardProperty* newVal) override;

  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

  // putref_Parent without the identity query, for a parent known to be ours.
  void SetParent(VCardProperty* parent) noexcept;

 protected:
  VCardValue() = default;
  ~VCardValue();

 private:
  friend class VCardProperty;

  void Unlink() noexcept;
  // Called by the parent's destruction: forget it.
  void ParentGone() noexcept;
  // The parent's implementation when it is the library's own, else null.
  VCardProperty* parent_impl() const noexcept;
  // Moves a stored text into the arena; where it does not fit, or memory is
  // short, it stays where it is.
  void MoveTextToArena() noexcept;
  // Makes a text in the arena a BSTR of the runtime again (E_OUTOFMEMORY and
  // no change when it cannot).
  HRESULT TakeTextBack() noexcept;

  // The parent, borrowed (never counted); null when none is set or it is
  // gone. When it is the library's own, the value is on its dependants and
  // the pointer is that property's IVCardProperty, so the implementation is
  // a cast away rather than a second pointer in every value.
  bool parent_is_ours_ = false;  // first: beside the counter
  // The stored text is a block of the object arena (frame/object_arena.h)
  // instead of a BSTR of the runtime: a Load makes millions of values, and
  // their texts then cost a bump of a pointer, share the objects' huge pages
  // and go in one decrement. Such a text is given back to the runtime's
  // BSTR before anything else may change or free stored_.
  bool text_in_arena_ = false;
  CComVariant stored_;
  IVCardProperty* parent_ = nullptr;
  VCardValue* prev_dependant_ = nullptr;
  VCardValue* next_dependant_ = nullptr;
};

inline VCardValue* impl_from_IVCardValue(IVCardValue* iface) noexcept {
  return frame::ImplFrom<VCardValue>(iface);
}

}  // namespace tarvovcard::model
