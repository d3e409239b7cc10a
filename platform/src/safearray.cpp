// SAFEARRAY: a descriptor with its bounds, and a separate block of elements.
//
// Layout of the descriptor's allocation: a 16-byte hidden header whose last
// four bytes hold the element type (as the platform keeps it for
// FADF_HAVEVARTYPE), then the SAFEARRAY with one bound per dimension. Bounds
// are stored in reverse: rgsabound[0] is the last dimension given to
// SafeArrayCreate, so dimension 1 of GetLBound/GetUBound is rgsabound[cDims-1].
// Indices run with the first dimension fastest, as on the platform.
//
// Arrays are used from one thread at a time (the apartment rule), so the lock
// count is a plain counter.
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "tarvovcard/platform/oleauto.h"

namespace {

constexpr std::size_t kHeader = 16;
constexpr ULONG kMaxLocks = 0xFFFF;

struct HiddenHeader {
  std::uint8_t reserved[kHeader - sizeof(DWORD)];
  DWORD vt;
};
static_assert(sizeof(HiddenHeader) == kHeader);

HiddenHeader* HeaderOf(SAFEARRAY* psa) {
  return reinterpret_cast<HiddenHeader*>(reinterpret_cast<char*>(psa) - kHeader);
}

// The size of one element of type vt, 0 for a type arrays cannot hold.
ULONG ElementSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_R4:
    case VT_ERROR:
    case VT_INT:
    case VT_UINT:
      return 4;
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_I8:
    case VT_UI8:
      return 8;
    case VT_BSTR:
      return sizeof(BSTR);
    case VT_UNKNOWN:
    case VT_DISPATCH:
      return sizeof(IUnknown*);
    case VT_VARIANT:
      return sizeof(VARIANT);
    default:
      return 0;
  }
}

USHORT FeaturesOf(VARTYPE vt) {
  USHORT features = FADF_HAVEVARTYPE;
  if (vt == VT_BSTR) features |= FADF_BSTR;
  if (vt == VT_UNKNOWN) features |= FADF_UNKNOWN;
  if (vt == VT_DISPATCH) features |= FADF_DISPATCH;
  if (vt == VT_VARIANT) features |= FADF_VARIANT;
  return features;
}

// Total element count, or false when it does not fit in memory.
bool ElementCount(const SAFEARRAY* psa, std::size_t* count) {
  std::size_t n = 1;
  for (USHORT i = 0; i < psa->cDims; ++i) {
    if (__builtin_mul_overflow(n, static_cast<std::size_t>(psa->rgsabound[i].cElements), &n))
      return false;
  }
  *count = n;
  return true;
}

std::size_t ElementCount(const SAFEARRAY* psa) {
  std::size_t n = 0;
  ElementCount(psa, &n);
  return n;
}

// Frees what the elements own and zeroes them.
void ClearElements(SAFEARRAY* psa) {
  if (!psa->pvData) return;
  const std::size_t n = ElementCount(psa);
  if (psa->fFeatures & FADF_BSTR) {
    BSTR* p = static_cast<BSTR*>(psa->pvData);
    for (std::size_t i = 0; i < n; ++i) SysFreeString(std::exchange(p[i], nullptr));
  } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
    IUnknown** p = static_cast<IUnknown**>(psa->pvData);
    for (std::size_t i = 0; i < n; ++i)
      if (IUnknown* unk = std::exchange(p[i], nullptr)) unk->Release();
  } else if (psa->fFeatures & FADF_VARIANT) {
    VARIANT* p = static_cast<VARIANT*>(psa->pvData);
    for (std::size_t i = 0; i < n; ++i) {
      // A variant that cannot be cleared (a locked inner array) is forgotten
      // rather than left half-owned.
      if (FAILED(VariantClear(&p[i]))) VariantInit(&p[i]);
    }
  }
}

// The address of the element at rgIndices (first dimension first), or null
// when an index lies outside its bound.
void* ElementAddress(SAFEARRAY* psa, const LONG* rgIndices) {
  std::size_t offset = 0;
  std::size_t stride = 1;
  for (USHORT d = 0; d < psa->cDims; ++d) {
    const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - 1 - d];
    const long long index = static_cast<long long>(rgIndices[d]) - bound.lLbound;
    if (index < 0 || index >= static_cast<long long>(bound.cElements)) return nullptr;
    offset += static_cast<std::size_t>(index) * stride;
    stride *= bound.cElements;
  }
  return static_cast<char*>(psa->pvData) + offset * psa->cbElements;
}

}  // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
  const ULONG size = ElementSize(vt);
  if (size == 0 || cDims == 0 || cDims > 0xFFFF || !rgsabound) return nullptr;
  const std::size_t descriptor = offsetof(SAFEARRAY, rgsabound) + cDims * sizeof(SAFEARRAYBOUND);
  char* block = static_cast<char*>(std::calloc(1, kHeader + descriptor));
  if (!block) return nullptr;
  SAFEARRAY* psa = reinterpret_cast<SAFEARRAY*>(block + kHeader);
  HeaderOf(psa)->vt = vt;
  psa->cDims = static_cast<USHORT>(cDims);
  psa->fFeatures = FeaturesOf(vt);
  psa->cbElements = size;
  for (UINT i = 0; i < cDims; ++i) psa->rgsabound[i] = rgsabound[cDims - 1 - i];

  std::size_t count = 0;
  std::size_t bytes = 0;
  if (!ElementCount(psa, &count) || __builtin_mul_overflow(count, std::size_t{size}, &bytes)) {
    std::free(block);
    return nullptr;
  }
  if (bytes > 0) {
    psa->pvData = std::calloc(1, bytes);
    if (!psa->pvData) {
      std::free(block);
      return nullptr;
    }
  }
  return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
  SAFEARRAYBOUND bound{cElements, lLbound};
  return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
  if (!psa) return S_OK;
  if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
  ClearElements(psa);
  std::free(psa->pvData);
  std::free(HeaderOf(psa));
  return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
  if (!psa) return E_INVALIDARG;
  if (psa->cLocks >= kMaxLocks) return E_UNEXPECTED;
  ++psa->cLocks;
  return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
  if (!psa) return E_INVALIDARG;
  if (psa->cLocks == 0) return E_UNEXPECTED;
  --psa->cLocks;
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
  if (!psa || !ppvData) return E_INVALIDARG;
  HRESULT hr = SafeArrayLock(psa);
  *ppvData = SUCCEEDED(hr) ? psa->pvData : nullptr;
  return hr;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
  return SafeArrayUnlock(psa);
}

UINT SafeArrayGetDim(SAFEARRAY* psa) {
  return psa ? psa->cDims : 0;
}

UINT SafeArrayGetElemsize(SAFEARRAY* psa) {
  return psa ? psa->cbElements : 0;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
  if (!psa || !pvt) return E_INVALIDARG;
  if (psa->fFeatures & FADF_HAVEVARTYPE) {
    *pvt = static_cast<VARTYPE>(HeaderOf(psa)->vt);
  } else if (psa->fFeatures & FADF_BSTR) {
    *pvt = VT_BSTR;
  } else if (psa->fFeatures & FADF_UNKNOWN) {
    *pvt = VT_UNKNOWN;
  } else if (psa->fFeatures & FADF_DISPATCH) {
    *pvt = VT_DISPATCH;
  } else if (psa->fFeatures & FADF_VARIANT) {
    *pvt = VT_VARIANT;
  } else {
    *pvt = VT_EMPTY;
    return E_INVALIDARG;
  }
  return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
  if (!psa || !plLbound) return E_INVALIDARG;
  if (nDim == 0 || nDim > psa->cDims) return DISP_E_BADINDEX;
  *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
  if (!psa || !plUbound) return E_INVALIDARG;
  if (nDim == 0 || nDim > psa->cDims) return DISP_E_BADINDEX;
  const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - nDim];
  // An empty dimension has its upper bound one below the lower one.
  *plUbound = static_cast<LONG>(static_cast<long long>(bound.lLbound) + bound.cElements - 1);
  return S_OK;
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  if (!psa || !rgIndices) return E_INVALIDARG;
  void* element = ElementAddress(psa, rgIndices);
  if (!element) return DISP_E_BADINDEX;
  HRESULT hr = SafeArrayLock(psa);
  if (FAILED(hr)) return hr;
  if (psa->fFeatures & FADF_BSTR) {
    // pv is the string itself; a null string is stored as null.
    BSTR source = static_cast<BSTR>(pv);
    BSTR copy = nullptr;
    if (source) {
      copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(source), SysStringByteLen(source));
      if (!copy) hr = E_OUTOFMEMORY;
    }
    if (SUCCEEDED(hr)) SysFreeString(std::exchange(*static_cast<BSTR*>(element), copy));
  } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
    // pv is the interface pointer itself.
    IUnknown* unk = static_cast<IUnknown*>(pv);
    if (unk) unk->AddRef();
    if (IUnknown* old = std::exchange(*static_cast<IUnknown**>(element), unk)) old->Release();
  } else if (psa->fFeatures & FADF_VARIANT) {
    if (!pv)
      hr = E_INVALIDARG;
    else
      hr = VariantCopy(static_cast<VARIANT*>(element), static_cast<VARIANT*>(pv));
  } else if (!pv) {
    hr = E_INVALIDARG;
  } else {
    std::memcpy(element, pv, psa->cbElements);
  }
  SafeArrayUnlock(psa);
  return hr;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  if (!psa || !rgIndices || !pv) return E_INVALIDARG;
  void* element = ElementAddress(psa, rgIndices);
  if (!element) return DISP_E_BADINDEX;
  HRESULT hr = SafeArrayLock(psa);
  if (FAILED(hr)) return hr;
  if (psa->fFeatures & FADF_BSTR) {
    // *pv receives a fresh copy that the caller frees.
    BSTR source = *static_cast<BSTR*>(element);
    BSTR copy = nullptr;
    if (source) {
      copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(source), SysStringByteLen(source));
      if (!copy) hr = E_OUTOFMEMORY;
    }
    *static_cast<BSTR*>(pv) = copy;
  } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
    IUnknown* unk = *static_cast<IUnknown**>(element);
    if (unk) unk->AddRef();
    *static_cast<IUnknown**>(pv) = unk;
  } else if (psa->fFeatures & FADF_VARIANT) {
    // As VariantCopy: *pv must be a valid variant, which is cleared first.
    hr = VariantCopy(static_cast<VARIANT*>(pv), static_cast<VARIANT*>(element));
  } else {
    std::memcpy(pv, element, psa->cbElements);
  }
  SafeArrayUnlock(psa);
  return hr;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
  if (!ppsaOut) return E_INVALIDARG;
  *ppsaOut = nullptr;
  if (!psa) return S_OK;
  VARTYPE vt = VT_EMPTY;
  HRESULT hr = SafeArrayGetVartype(psa, &vt);
  if (FAILED(hr)) return hr;
  if (ElementSize(vt) != psa->cbElements) return E_INVALIDARG;

  // The bounds are stored reversed; give them back in creation order.
  SAFEARRAYBOUND stack_bounds[4];
  SAFEARRAYBOUND* bounds = stack_bounds;
  if (psa->cDims > 4) {
    bounds = static_cast<SAFEARRAYBOUND*>(std::malloc(psa->cDims * sizeof(SAFEARRAYBOUND)));
    if (!bounds) return E_OUTOFMEMORY;
  }
  for (USHORT i = 0; i < psa->cDims; ++i) bounds[i] = psa->rgsabound[psa->cDims - 1 - i];
  SAFEARRAY* copy = SafeArrayCreate(vt, psa->cDims, bounds);
  if (bounds != stack_bounds) std::free(bounds);
  if (!copy) return E_OUTOFMEMORY;

  const std::size_t n = ElementCount(psa);
  if (n > 0) {
    if (psa->fFeatures & FADF_BSTR) {
      const BSTR* from = static_cast<const BSTR*>(psa->pvData);
      BSTR* to = static_cast<BSTR*>(copy->pvData);
      for (std::size_t i = 0; i < n && SUCCEEDED(hr); ++i) {
        if (!from[i]) continue;
        to[i] = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(from[i]), SysStringByteLen(from[i]));
        if (!to[i]) hr = E_OUTOFMEMORY;
      }
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
      IUnknown* const* from = static_cast<IUnknown* const*>(psa->pvData);
      IUnknown** to = static_cast<IUnknown**>(copy->pvData);
      for (std::size_t i = 0; i < n; ++i) {
        to[i] = from[i];
        if (to[i]) to[i]->AddRef();
      }
    } else if (psa->fFeatures & FADF_VARIANT) {
      const VARIANT* from = static_cast<const VARIANT*>(psa->pvData);
      VARIANT* to = static_cast<VARIANT*>(copy->pvData);
      // The new elements are zeroed, which is VT_EMPTY.
      for (std::size_t i = 0; i < n && SUCCEEDED(hr); ++i) hr = VariantCopy(&to[i], &from[i]);
    } else {
      std::memcpy(copy->pvData, psa->pvData, n * psa->cbElements);
    }
  }
  if (FAILED(hr)) {
    SafeArrayDestroy(copy);
    return hr;
  }
  *ppsaOut = copy;
  return S_OK;
}
