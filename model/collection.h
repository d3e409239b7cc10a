// The ordered collection of the object model: one implementation, a template
// over the element interface, serves VCardColl (cards), VCardPropertyColl,
// VCardParameterColl and VCardValueColl.
//
// A collection holds one counted reference per position (positions from 0;
// the same object may stand in several positions and several collections)
// and one enumeration cursor. The collection is its own enumerator: it
// answers IEnumVARIANT itself, and every _NewEnum puts the one shared cursor
// back on position 0. The cursor is a position number, so it stays valid
// whatever Add, InsertAt and Remove do to the storage.
//
// The first two elements are kept inside the collection object (see
// model/small_vector.h); storage of its own is allocated only for a third.
#pragma once

#include <span>

#include "model/load_report.h"
#include "model/small_vector.h"
#include "frame/com_object.h"
#include "tarvovcard/automation_types.h"
#include "tarvovcard/platform/atlbase.h"

namespace tarvovcard::model {

template <class CollectionInterface, class ElementInterface>
class Collection : public CollectionInterface,
                   public IEnumVARIANT,
                   public ISupportErrorInfo,
                   public frame::ComObjectRoot {
 public:
  using Interface = CollectionInterface;
  using Element = ElementInterface;

  // The private identity query of this collection class (server/com_object.h).
  static const IID& ImplIid() noexcept;
  IUnknown* GetInterface(REFIID riid) noexcept;

  // The collection interface, in slot order.
  HRESULT STDMETHODCALLTYPE Item(LONG Index, ElementInterface** pVal) override;
  HRESULT STDMETHODCALLTYPE Add(ElementInterface* pVal) override;
  HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) override;
  HRESULT STDMETHODCALLTYPE Remove(LONG Index) override;
  HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** pVal) override;
  HRESULT STDMETHODCALLTYPE InsertAt(LONG Index, ElementInterface* pVal) override;

  // IEnumVARIANT on the shared cursor.
  HRESULT STDMETHODCALLTYPE Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** ppEnum) override;

  // ISupportErrorInfo: S_OK for the collection interface only.
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

  // Internal access for the library's own code, without reference traffic.
  LONG size() const noexcept { return static_cast<LONG>(elements_.size()); }
  // The element at a valid position, borrowed (no reference added).
  ElementInterface* at(LONG index) const noexcept { return elements_[index].p; }
  std::span<const CComPtr<ElementInterface>> elements() const noexcept { return elements_; }
  // Add without the boundary: takes a reference; throws std::bad_alloc.
  void Append(ElementInterface* element);

 protected:
  Collection() = default;
  ~Collection();

 private:
  IUnknown* Identity() noexcept { return static_cast<CollectionInterface*>(this); }

  LONG cursor_ = 0;  // first: it fills the 4 bytes beside the counter
  SmallVector<CComPtr<ElementInterface>, 2> elements_;
};

template <>
const IID& Collection<IVCardColl, IVCard>::ImplIid() noexcept;
template <>
const IID& Collection<IVCardPropertyColl, IVCardProperty>::ImplIid() noexcept;
template <>
const IID& Collection<IVCardParameterColl, IVCardParameter>::ImplIid() noexcept;
template <>
const IID& Collection<IVCardValueColl, IVCardValue>::ImplIid() noexcept;

// The four instantiations live in collection.cpp.
extern template class Collection<IVCardColl, IVCard>;
extern template class Collection<IVCardPropertyColl, IVCardProperty>;
extern template class Collection<IVCardParameterColl, IVCardParameter>;
extern template class Collection<IVCardValueColl, IVCardValue>;

using VCardPropertyColl = Collection<IVCardPropertyColl, IVCardProperty>;
using VCardParameterColl = Collection<IVCardParameterColl, IVCardParameter>;
using VCardValueColl = Collection<IVCardValueColl, IVCardValue>;

// The card collection and the report of its latest Load. Load, Save and
// SaveAsXML are not the model's: the reader and the writers stand above it,
// and the module binds them to this class (server/object_map.cpp), so this
// class is abstract here.
class VCardColl : public Collection<IVCardColl, IVCard>, public IVCardLoadReport {
 public:
  IUnknown* GetInterface(REFIID riid) noexcept;

  // IVCardLoadReport
  HRESULT STDMETHODCALLTYPE get_ProblemCount(LONG* pVal) override;
  HRESULT STDMETHODCALLTYPE get_File(LONG Index, BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE get_Line(LONG Index, LONG* pVal) override;
  HRESULT STDMETHODCALLTYPE get_Lost(LONG Index, VARIANT_BOOL* pVal) override;
  HRESULT STDMETHODCALLTYPE get_Message(LONG Index, BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE get_Text(LONG Index, BSTR* pVal) override;

  const LoadReport& report() const noexcept { return report_; }
  // What Load fills.
  LoadReport& report() noexcept { return report_; }

 private:
  const LoadProblem* ProblemAt(LONG index) const noexcept;

  LoadReport report_;
};

// The library's own collections behind interface pointers; null for anybody
// else's implementation (use the interface then).
inline VCardColl* impl_from_IVCardColl(IVCardColl* iface) noexcept {
  return frame::ImplFrom<VCardColl>(iface);
}
inline VCardPropertyColl* impl_from_IVCardPropertyColl(IVCardPropertyColl* iface) noexcept {
  return frame::ImplFrom<VCardPropertyColl>(iface);
}
inline VCardParameterColl* impl_from_IVCardParameterColl(IVCardParameterColl* iface) noexcept {
  return frame::ImplFrom<VCardParameterColl>(iface);
}
inline VCardValueColl* impl_from_IVCardValueColl(IVCardValueColl* iface) noexcept {
  return frame::ImplFrom<VCardValueColl>(iface);
}

}  // namespace tarvovcard::model
