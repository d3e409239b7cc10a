#include <gtest/gtest.h>

#include <cstring>
#include <string_view>

#include "tarvovcard/platform/atlbase.h"
#include "tarvovcard/platform/oleauto.h"

namespace {

TEST(Bstr, LengthsAndPrefix) {
  BSTR s = SysAllocString(u"abc");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 3u);
  EXPECT_EQ(SysStringByteLen(s), 6u);
  // The byte length stands in the four bytes before the text, and the text is
  // NUL-terminated.
  ULONG prefix = 0;
  std::memcpy(&prefix, reinterpret_cast<char*>(s) - 4, 4);
  EXPECT_EQ(prefix, 6u);
  EXPECT_EQ(s[3], u'\0');
  SysFreeString(s);

  BSTR empty = SysAllocString(u"");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SysStringLen(empty), 0u);
  EXPECT_EQ(empty[0], u'\0');
  SysFreeString(empty);
}

TEST(Bstr, EmbeddedNulsAreKept) {
  const OLECHAR text[] = {u'a', u'\0', u'b', u'\0', u'c'};
  BSTR s = SysAllocStringLen(text, 5);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 5u);
  EXPECT_EQ(std::memcmp(s, text, sizeof text), 0);
  EXPECT_EQ(s[5], u'\0');

  // SysAllocString stops at the first NUL.
  BSTR prefix = SysAllocString(text);
  EXPECT_EQ(SysStringLen(prefix), 1u);
  SysFreeString(prefix);
  SysFreeString(s);
}

TEST(Bstr, NullReadsAsEmpty) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);

  // A null source gives a zeroed string of the requested length.
  BSTR zeroed = SysAllocStringLen(nullptr, 4);
  ASSERT_NE(zeroed, nullptr);
  EXPECT_EQ(SysStringLen(zeroed), 4u);
  for (int i = 0; i <= 4; ++i) EXPECT_EQ(zeroed[i], u'\0');
  SysFreeString(zeroed);
}

TEST(Bstr, ByteLengthMayBeOdd) {
  BSTR s = SysAllocStringByteLen("hello", 5);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringByteLen(s), 5u);
  EXPECT_EQ(SysStringLen(s), 2u);
  EXPECT_EQ(std::memcmp(s, "hello", 5), 0);
  // A whole NUL character follows the odd byte.
  const char* bytes = reinterpret_cast<const char*>(s);
  EXPECT_EQ(bytes[5], '\0');
  EXPECT_EQ(bytes[6], '\0');
  SysFreeString(s);
}

TEST(Bstr, ReallocCopiesAndMayReadItself) {
  BSTR s = SysAllocString(u"hello world");
  ASSERT_TRUE(SysReAllocStringLen(&s, s + 6, 5));
  EXPECT_EQ(SysStringLen(s), 5u);
  EXPECT_EQ(std::u16string_view(s, 5), u"world");

  BSTR null = nullptr;
  ASSERT_TRUE(SysReAllocStringLen(&null, u"xy", 2));
  EXPECT_EQ(SysStringLen(null), 2u);
  EXPECT_FALSE(SysReAllocStringLen(nullptr, u"xy", 2));
  SysFreeString(null);
  SysFreeString(s);
}

TEST(Bstr, HolderCopiesKeepEmbeddedNuls) {
  const OLECHAR text[] = {u'x', u'\0', u'y'};
  CComBSTR a(text, 3);
  CComBSTR b(a);
  EXPECT_EQ(b.Length(), 3u);
  EXPECT_NE(static_cast<BSTR>(a), static_cast<BSTR>(b));
  BSTR out = nullptr;
  ASSERT_EQ(b.CopyTo(&out), S_OK);
  EXPECT_EQ(SysStringLen(out), 3u);
  SysFreeString(out);

  CComBSTR empty;
  ASSERT_EQ(empty.CopyTo(&out), S_OK);
  EXPECT_EQ(out, nullptr);
}

}  // namespace
