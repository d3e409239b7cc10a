#include <gtest/gtest.h>

#include <string>

#include "tarvovcard/platform/wtypes.h"
#include "tarvovcard/platform/unknwn.h"

namespace {

constexpr GUID kSample = {
    0x12345678, 0x9ABC, 0xDEF0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};

TEST(GuidText, FormatsUpperCaseWithBraces) {
  char16_t text[39];
  EXPECT_EQ(StringFromGUID2(kSample, text, 39), 39);
  EXPECT_EQ(std::u16string(text), u"{12345678-9ABC-DEF0-0123-456789ABCDEF}");
  EXPECT_EQ(StringFromGUID2(IID_IClassFactory, text, 39), 39);
  EXPECT_EQ(std::u16string(text), u"{00000001-0000-0000-C000-000000000046}");
  EXPECT_EQ(StringFromGUID2(kSample, text, 38), 0);  // no room for the terminator
  EXPECT_EQ(StringFromGUID2(kSample, nullptr, 39), 0);
}

TEST(GuidText, ParsesEitherCase) {
  GUID g{};
  ASSERT_EQ(CLSIDFromString(u"{12345678-9abc-DEF0-0123-456789abcdef}", &g), S_OK);
  EXPECT_TRUE(IsEqualGUID(g, kSample));
  ASSERT_EQ(IIDFromString(u"{00000000-0000-0000-C000-000000000046}", &g), S_OK);
  EXPECT_TRUE(IsEqualIID(g, IID_IUnknown));

  // Round trip through the text form.
  char16_t text[39];
  StringFromGUID2(IID_ISupportErrorInfo, text, 39);
  ASSERT_EQ(CLSIDFromString(text, &g), S_OK);
  EXPECT_TRUE(IsEqualGUID(g, IID_ISupportErrorInfo));
}

TEST(GuidText, RejectsMalformedText) {
  const char16_t* texts[] = {
      u"",
      u"12345678-9ABC-DEF0-0123-456789ABCDEF",
      u"{12345678-9ABC-DEF0-0123-456789ABCDEF",
      u"{12345678-9ABC-DEF0-0123-456789ABCDEF}x",
      u"{12345678-9ABC-DEF0-0123-456789ABCDEG}",
      u"{123456789ABC-DEF0-0123-456789ABCDEF0}",
      u"{12345678-9ABC-DEF0-0123-456789ABCDE}",
      u"{1234",
      u"TarvovCard.VCard",
  };
  for (const char16_t* text : texts) {
    GUID g{};
    EXPECT_EQ(CLSIDFromString(text, &g), CO_E_CLASSSTRING);
  }
  GUID g = kSample;
  EXPECT_EQ(CLSIDFromString(nullptr, &g), S_OK);  // null stands for the null GUID
  EXPECT_TRUE(IsEqualGUID(g, GUID_NULL));
  EXPECT_EQ(CLSIDFromString(u"{12345678-9ABC-DEF0-0123-456789ABCDEF}", nullptr), E_INVALIDARG);
}

}  // namespace
