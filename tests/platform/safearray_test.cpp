#include <gtest/gtest.h>

#include <string_view>
#include <utility>

#include "platform/stub_unknown.h"
#include "tarvovcard/platform/oleauto.h"

namespace {

// The lower and upper bound of one dimension, each query expected to succeed.
std::pair<LONG, LONG> Bounds(SAFEARRAY* psa, UINT dim) {
  LONG lb = -1, ub = -1;
  EXPECT_EQ(SafeArrayGetLBound(psa, dim, &lb), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(psa, dim, &ub), S_OK);
  return {lb, ub};
}

TEST(SafeArray, VectorShapeAndType) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, 5);
  ASSERT_NE(psa, nullptr);
  EXPECT_EQ(SafeArrayGetDim(psa), 1u);
  EXPECT_EQ(SafeArrayGetElemsize(psa), 1u);
  EXPECT_EQ(psa->rgsabound[0].cElements, 5u);
  VARTYPE vt = VT_EMPTY;
  EXPECT_EQ(SafeArrayGetVartype(psa, &vt), S_OK);
  EXPECT_EQ(vt, VT_UI1);
  EXPECT_EQ(Bounds(psa, 1), (std::pair<LONG, LONG>{0, 4}));
  LONG lb = -1, ub = -1;
  EXPECT_EQ(SafeArrayGetLBound(psa, 0, &lb), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayGetUBound(psa, 2, &ub), DISP_E_BADINDEX);

  // New elements are zeroed.
  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
  const BYTE* bytes = static_cast<const BYTE*>(data);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(bytes[i], 0);
  ASSERT_EQ(SafeArrayUnaccessData(psa), S_OK);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);

  // An empty vector has its upper bound below its lower one.
  SAFEARRAY* empty = SafeArrayCreateVector(VT_BSTR, 1, 0);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SafeArrayGetUBound(empty, 1, &ub), S_OK);
  EXPECT_EQ(ub, 0);
  EXPECT_EQ(SafeArrayDestroy(empty), S_OK);

  EXPECT_EQ(SafeArrayCreateVector(VT_EMPTY, 0, 1), nullptr);
  EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
}

TEST(SafeArray, DimensionsAndIndexOrder) {
  // Two dimensions: 3 elements from 1, then 2 elements from -1.
  SAFEARRAYBOUND bounds[2] = {{3, 1}, {2, -1}};
  SAFEARRAY* psa = SafeArrayCreate(VT_I4, 2, bounds);
  ASSERT_NE(psa, nullptr);
  EXPECT_EQ(SafeArrayGetDim(psa), 2u);
  EXPECT_EQ(Bounds(psa, 1), (std::pair<LONG, LONG>{1, 3}));
  EXPECT_EQ(Bounds(psa, 2), (std::pair<LONG, LONG>{-1, 0}));
  LONG lb = 0;
  EXPECT_EQ(SafeArrayGetLBound(psa, 3, &lb), DISP_E_BADINDEX);

  for (LONG j = -1; j <= 0; ++j) {
    for (LONG i = 1; i <= 3; ++i) {
      LONG indices[2] = {i, j};
      LONG value = 10 * i + j;
      ASSERT_EQ(SafeArrayPutElement(psa, indices, &value), S_OK);
    }
  }
  // The first index runs fastest in memory.
  const LONG* data = static_cast<const LONG*>(psa->pvData);
  EXPECT_EQ(data[0], 9);   // (1, -1)
  EXPECT_EQ(data[1], 19);  // (2, -1)
  EXPECT_EQ(data[3], 10);  // (1, 0)
  LONG indices[2] = {3, 0};
  LONG value = 0;
  ASSERT_EQ(SafeArrayGetElement(psa, indices, &value), S_OK);
  EXPECT_EQ(value, 30);

  LONG outside[2] = {4, 0};
  EXPECT_EQ(SafeArrayGetElement(psa, outside, &value), DISP_E_BADINDEX);
  LONG below[2] = {1, -2};
  EXPECT_EQ(SafeArrayPutElement(psa, below, &value), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);

  EXPECT_EQ(SafeArrayCreate(VT_I4, 0, bounds), nullptr);
}

TEST(SafeArray, LockingBlocksDestruction) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_I2, 0, 2);
  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
  EXPECT_EQ(data, psa->pvData);
  ASSERT_EQ(SafeArrayLock(psa), S_OK);
  EXPECT_EQ(psa->cLocks, 2u);
  EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
  ASSERT_EQ(SafeArrayUnlock(psa), S_OK);
  EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
  ASSERT_EQ(SafeArrayUnaccessData(psa), S_OK);
  EXPECT_EQ(SafeArrayUnlock(psa), E_UNEXPECTED);  // not locked any more
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArray, FileNameArrayOfStrings) {
  // How a client builds the VT_ARRAY|VT_BSTR argument of a load or save.
  SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, 3);
  ASSERT_NE(psa, nullptr);
  EXPECT_EQ(SafeArrayGetElemsize(psa), sizeof(BSTR));
  EXPECT_TRUE(psa->fFeatures & FADF_BSTR);
  const char16_t* names[] = {u"a.vcf", u"dir/b.vcf", u"C:\\c.vcf"};
  for (LONG i = 0; i < 3; ++i) {
    BSTR name = SysAllocString(names[i]);
    ASSERT_EQ(SafeArrayPutElement(psa, &i, name), S_OK);
    // The array holds its own copy.
    EXPECT_NE(static_cast<BSTR*>(psa->pvData)[i], name);
    SysFreeString(name);
  }
  // Replacing an element frees the old copy (the sanitizers see leaks).
  LONG first = 0;
  BSTR again = SysAllocString(u"z.vcf");
  ASSERT_EQ(SafeArrayPutElement(psa, &first, again), S_OK);
  SysFreeString(again);

  BSTR out = nullptr;
  LONG second = 1;
  ASSERT_EQ(SafeArrayGetElement(psa, &second, &out), S_OK);
  EXPECT_EQ(std::u16string_view(out), u"dir/b.vcf");
  SysFreeString(out);

  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(psa, &copy), S_OK);
  BSTR* from = static_cast<BSTR*>(psa->pvData);
  BSTR* to = static_cast<BSTR*>(copy->pvData);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NE(from[i], to[i]);
    EXPECT_EQ(std::u16string_view(from[i]), std::u16string_view(to[i]));
  }
  EXPECT_EQ(std::u16string_view(to[0]), u"z.vcf");
  // Destroying frees every string; the copy is independent.
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
}

TEST(SafeArray, ObjectElementsHoldReferences) {
  StubUnknown a, b;
  SAFEARRAY* psa = SafeArrayCreateVector(VT_UNKNOWN, 0, 2);
  LONG i = 0;
  ASSERT_EQ(SafeArrayPutElement(psa, &i, &a), S_OK);
  EXPECT_EQ(a.refs, 2u);
  ASSERT_EQ(SafeArrayPutElement(psa, &i, &b), S_OK);  // replaces a
  EXPECT_EQ(a.refs, 1u);
  EXPECT_EQ(b.refs, 2u);

  IUnknown* out = nullptr;
  ASSERT_EQ(SafeArrayGetElement(psa, &i, &out), S_OK);
  EXPECT_EQ(out, &b);
  EXPECT_EQ(b.refs, 3u);
  out->Release();

  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(psa, &copy), S_OK);
  EXPECT_EQ(b.refs, 3u);
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
  EXPECT_EQ(b.refs, 1u);
}

TEST(SafeArray, VariantElementsAreCleared) {
  StubUnknown object;
  SAFEARRAY* psa = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_UNKNOWN;
  v.punkVal = &object;  // borrowed: PutElement copies
  LONG i = 1;
  ASSERT_EQ(SafeArrayPutElement(psa, &i, &v), S_OK);
  EXPECT_EQ(object.refs, 2u);

  VARIANT out;
  VariantInit(&out);
  ASSERT_EQ(SafeArrayGetElement(psa, &i, &out), S_OK);
  EXPECT_EQ(out.vt, VT_UNKNOWN);
  EXPECT_EQ(object.refs, 3u);
  EXPECT_EQ(VariantClear(&out), S_OK);

  VARTYPE vt = VT_EMPTY;
  EXPECT_EQ(SafeArrayGetVartype(psa, &vt), S_OK);
  EXPECT_EQ(vt, VT_VARIANT);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
  EXPECT_EQ(object.refs, 1u);
}

}  // namespace
