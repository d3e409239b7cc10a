#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/stub_unknown.h"
#include "tarvovcard/platform/atlbase.h"
#include "tarvovcard/platform/oleauto.h"

namespace {

TEST(Variant, InitAndClearOfPlainValues) {
  VARIANT v;
  v.vt = 0xFFFF;
  VariantInit(&v);
  EXPECT_EQ(v.vt, VT_EMPTY);
  v.vt = VT_I4;
  v.lVal = 42;
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);
}

TEST(Variant, CopyDuplicatesStrings) {
  VARIANT src;
  VariantInit(&src);
  src.vt = VT_BSTR;
  const OLECHAR text[] = {u'a', u'\0', u'b'};
  src.bstrVal = SysAllocStringLen(text, 3);

  VARIANT dst;
  VariantInit(&dst);
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(dst.vt, VT_BSTR);
  EXPECT_NE(dst.bstrVal, src.bstrVal);
  EXPECT_EQ(std::u16string_view(dst.bstrVal, SysStringLen(dst.bstrVal)),
            std::u16string_view(text, 3));

  // A null string copies as null.
  VARIANT null_src;
  VariantInit(&null_src);
  null_src.vt = VT_BSTR;
  null_src.bstrVal = nullptr;
  ASSERT_EQ(VariantCopy(&dst, &null_src), S_OK);  // frees the previous copy
  EXPECT_EQ(dst.bstrVal, nullptr);

  EXPECT_EQ(VariantClear(&dst), S_OK);
  EXPECT_EQ(VariantClear(&src), S_OK);
}

TEST(Variant, CopyAddsOneReferenceAndClearDropsIt) {
  StubUnknown object;
  VARIANT src;
  VariantInit(&src);
  src.vt = VT_UNKNOWN;
  src.punkVal = &object;
  object.AddRef();  // the reference src owns
  ASSERT_EQ(object.refs, 2u);

  VARIANT dst;
  VariantInit(&dst);
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(dst.punkVal, &object);
  EXPECT_EQ(object.refs, 3u);

  // Copying onto itself changes nothing.
  ASSERT_EQ(VariantCopy(&dst, &dst), S_OK);
  EXPECT_EQ(object.refs, 3u);

  // Copying over a variant that holds the same object: one reference added,
  // one dropped.
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(object.refs, 3u);

  EXPECT_EQ(VariantClear(&dst), S_OK);
  EXPECT_EQ(object.refs, 2u);
  EXPECT_EQ(VariantClear(&src), S_OK);
  EXPECT_EQ(object.refs, 1u);

  // A null object reference is fine both ways.
  src.vt = VT_DISPATCH;
  src.pdispVal = nullptr;
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(VariantClear(&dst), S_OK);
}

TEST(Variant, ByReferenceOwnsNothing) {
  StubUnknown object;
  IUnknown* punk = &object;
  char text[] = "BEGIN:VCARD";

  VARIANT byref;
  VariantInit(&byref);
  byref.vt = VT_BYREF | VT_I1;
  byref.pcVal = text;
  VARIANT copy;
  VariantInit(&copy);
  ASSERT_EQ(VariantCopy(&copy, &byref), S_OK);
  EXPECT_EQ(copy.vt, VT_BYREF | VT_I1);
  EXPECT_EQ(copy.pcVal, text);
  EXPECT_EQ(VariantClear(&copy), S_OK);
  EXPECT_EQ(copy.vt, VT_EMPTY);
  EXPECT_EQ(text[0], 'B');

  byref.vt = VT_BYREF | VT_UNKNOWN;
  byref.ppunkVal = &punk;
  ASSERT_EQ(VariantCopy(&copy, &byref), S_OK);
  EXPECT_EQ(VariantClear(&copy), S_OK);
  EXPECT_EQ(VariantClear(&byref), S_OK);
  EXPECT_EQ(object.refs, 1u);
}

TEST(Variant, CopyDuplicatesArrays) {
  StubUnknown object;
  VARIANT src;
  VariantInit(&src);
  src.vt = VT_ARRAY | VT_UNKNOWN;
  src.parray = SafeArrayCreateVector(VT_UNKNOWN, 0, 2);
  LONG index = 1;
  ASSERT_EQ(SafeArrayPutElement(src.parray, &index, &object), S_OK);
  ASSERT_EQ(object.refs, 2u);

  VARIANT dst;
  VariantInit(&dst);
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_NE(dst.parray, src.parray);
  EXPECT_EQ(object.refs, 3u);
  EXPECT_EQ(VariantClear(&dst), S_OK);
  EXPECT_EQ(VariantClear(&src), S_OK);
  EXPECT_EQ(object.refs, 1u);
}

TEST(Variant, LockedArrayIsNotCleared) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ARRAY | VT_UI1;
  v.parray = SafeArrayCreateVector(VT_UI1, 0, 4);
  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(v.parray, &data), S_OK);
  EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(v.vt, VT_ARRAY | VT_UI1);
  ASSERT_EQ(SafeArrayUnaccessData(v.parray), S_OK);
  EXPECT_EQ(VariantClear(&v), S_OK);
}

TEST(Variant, BadTypesAreRefused) {
  VARIANT bad;
  VariantInit(&bad);
  bad.vt = VT_VARIANT;  // only valid by reference or in an array
  EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
  VARIANT dst;
  VariantInit(&dst);
  EXPECT_EQ(VariantCopy(&dst, &bad), DISP_E_BADVARTYPE);
  EXPECT_EQ(dst.vt, VT_EMPTY);
  bad.vt = 0x0FFF;
  EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

TEST(Variant, HolderReleasesOnDestruction) {
  StubUnknown object;
  {
    CComVariant v;
    v.vt = VT_UNKNOWN;
    v.punkVal = &object;
    object.AddRef();
    CComVariant copy(v);
    EXPECT_EQ(object.refs, 3u);
    CComVariant moved(std::move(copy));
    EXPECT_EQ(object.refs, 3u);
    EXPECT_EQ(copy.vt, VT_EMPTY);
  }
  EXPECT_EQ(object.refs, 1u);
}

TEST(Variant, HolderMadeFromTextOrNumber) {
  CComVariant text(u"a.vcf");
  ASSERT_EQ(text.vt, VT_BSTR);
  EXPECT_EQ(SysStringLen(text.bstrVal), 5u);
  EXPECT_EQ(std::u16string(text.bstrVal), u"a.vcf");
  CComVariant none(static_cast<const char16_t*>(nullptr));
  ASSERT_EQ(none.vt, VT_BSTR);
  EXPECT_EQ(SysStringLen(none.bstrVal), 0u);
  CComVariant number(LONG{7});
  EXPECT_EQ(number.vt, VT_I4);
  EXPECT_EQ(number.lVal, 7);
}

}  // namespace
