// Automation values: VARIANT, SAFEARRAY and DATE. That dates read and print the same in any time
// zone is seen in the coding tests, run under two zones (tests/coding/CMakeLists.txt).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/stub_unknown.h"
#include "tarvovcard/platform/atlbase.h"
#include "tarvovcard/platform/oleauto.h"
#include "tarvovcard/text.h"

namespace {

using tarvovcard::BstrView;

VARIANT Var(VARTYPE vt) {
  VARIANT v;
  VariantInit(&v);
  v.vt = vt;
  return v;
}

// VT_VARIANT is only valid by reference or in an array; a flag the runtime
// does not know (0x1000, a vector) makes any type bad.
TEST(Variant, BadTypes) {
  for (VARTYPE vt : {VARTYPE{VT_VARIANT}, VARTYPE{0x0FFF}, VARTYPE{0x1000 | VT_I4}}) {
    VARIANT bad = Var(vt), dst = Var(VT_EMPTY);
    EXPECT_EQ(VariantCopy(&dst, &bad), DISP_E_BADVARTYPE);
    EXPECT_EQ(dst.vt, VT_EMPTY);
    EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
  }
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

// Every string stored in or read from a variant or an array (as a client builds the names of a
// Load) is a copy of its own, embedded NULs kept; the sanitizers see one not freed.
TEST(Automation, StringsAreCopies) {
  const CComBSTR text(u"a\0b", 3);
  VARIANT src = Var(VT_BSTR), dst = Var(VT_EMPTY), null_src = Var(VT_BSTR);
  src.bstrVal = text;
  null_src.bstrVal = nullptr;
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(BstrView(dst.bstrVal), BstrView(text));
  ASSERT_EQ(VariantCopy(&dst, &null_src), S_OK);  // frees the previous copy
  EXPECT_EQ(dst.bstrVal, nullptr);

  SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, 3);
  ASSERT_NE(psa, nullptr);
  const char16_t* names[] = {u"a.vcf", u"dir/b.vcf", u"C:\\c.vcf", u"z.vcf"};
  for (LONG i = 0; i < 4; ++i) {
    LONG at = i % 3;  // the last replaces the first
    ASSERT_EQ(SafeArrayPutElement(psa, &at, static_cast<BSTR>(CComBSTR(names[i]))), S_OK);
  }
  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(psa, &copy), S_OK);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);  // the copy is independent of the original
  for (LONG i = 0; i < 3; ++i) {
    CComBSTR out;
    ASSERT_EQ(SafeArrayGetElement(copy, &i, &out), S_OK);
    EXPECT_NE(out.m_str, static_cast<BSTR*>(copy->pvData)[i]);
    EXPECT_EQ(BstrView(out), i ? names[i] : names[3]);
  }
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);

  // The holder's text constructor: a null text gives an empty string.
  const CComVariant from_null(static_cast<const char16_t*>(nullptr));
  ASSERT_EQ(from_null.vt, VT_BSTR);
  EXPECT_EQ(SysStringLen(from_null.bstrVal), 0u);
}

// Who holds the objects, step by step: a variant, an array element and an
// element read out each hold one reference; a by-reference variant holds
// none. Each line: the step's status, then the counts of a and b after it.
TEST(Automation, ObjectReferences) {
  StubUnknown a, b;
  using Step = std::tuple<HRESULT, ULONG, ULONG>;
  auto after = [&](HRESULT hr) { return Step(hr, a.refs, b.refs); };
  IUnknown* pa = &a;
  VARIANT src = Var(VT_UNKNOWN), dst = Var(VT_EMPTY), byref = Var(VT_BYREF | VT_UNKNOWN);
  VARIANT null_object = Var(VT_DISPATCH), array = Var(VT_ARRAY | VT_UNKNOWN);
  src.punkVal = &a;
  byref.ppunkVal = &pa;
  null_object.pdispVal = nullptr;
  a.AddRef();  // src's
  EXPECT_EQ(after(VariantCopy(&dst, &src)), Step(S_OK, 3, 1));
  EXPECT_EQ(after(VariantCopy(&dst, &dst)), Step(S_OK, 3, 1));  // onto itself: nothing changes
  EXPECT_EQ(after(VariantCopy(&dst, &src)), Step(S_OK, 3, 1));  // over the same object
  EXPECT_EQ(after(VariantCopy(&dst, &byref)), Step(S_OK, 2, 1));
  EXPECT_EQ(dst.vt, VT_BYREF | VT_UNKNOWN);
  EXPECT_EQ(dst.ppunkVal, &pa);
  EXPECT_EQ(after(VariantClear(&dst)), Step(S_OK, 2, 1));
  EXPECT_EQ(after(VariantClear(&byref)), Step(S_OK, 2, 1));
  EXPECT_EQ(pa, &a);  // what it refers to is left alone
  EXPECT_EQ(after(VariantCopy(&dst, &null_object)), Step(S_OK, 2, 1));
  EXPECT_EQ(after(VariantClear(&dst)), Step(S_OK, 2, 1));

  // Elements that are objects, put, replaced and read out; a copied array.
  array.parray = SafeArrayCreateVector(VT_UNKNOWN, 0, 2);
  LONG first = 0, second = 1;
  IUnknown* out = nullptr;
  EXPECT_EQ(after(SafeArrayPutElement(array.parray, &first, &a)), Step(S_OK, 3, 1));
  EXPECT_EQ(after(SafeArrayPutElement(array.parray, &first, &b)), Step(S_OK, 2, 2));
  EXPECT_EQ(after(SafeArrayPutElement(array.parray, &second, &a)), Step(S_OK, 3, 2));
  EXPECT_EQ(after(SafeArrayGetElement(array.parray, &first, &out)), Step(S_OK, 3, 3));
  out->Release();
  EXPECT_EQ(after(VariantCopy(&dst, &array)), Step(S_OK, 4, 3));
  EXPECT_EQ(after(VariantClear(&dst)), Step(S_OK, 3, 2));
  // A locked array is neither destroyed nor cleared: the variant still owns it.
  void* data = nullptr;
  EXPECT_EQ(after(SafeArrayAccessData(array.parray, &data)), Step(S_OK, 3, 2));
  EXPECT_EQ(after(SafeArrayLock(array.parray)), Step(S_OK, 3, 2));
  EXPECT_EQ(after(SafeArrayDestroy(array.parray)), Step(DISP_E_ARRAYISLOCKED, 3, 2));
  EXPECT_EQ(after(SafeArrayUnlock(array.parray)), Step(S_OK, 3, 2));
  EXPECT_EQ(after(VariantClear(&array)), Step(DISP_E_ARRAYISLOCKED, 3, 2));
  EXPECT_EQ(after(SafeArrayUnaccessData(array.parray)), Step(S_OK, 3, 2));
  EXPECT_EQ(after(SafeArrayUnlock(array.parray)), Step(E_UNEXPECTED, 3, 2));  // not locked
  EXPECT_EQ(after(VariantClear(&array)), Step(S_OK, 2, 1));

  // Elements that are variants: put copies the borrowed variant, get copies
  // out, and destroying the array clears them.
  SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  EXPECT_EQ(after(SafeArrayPutElement(variants, &second, &src)), Step(S_OK, 3, 1));
  EXPECT_EQ(after(SafeArrayGetElement(variants, &second, &dst)), Step(S_OK, 4, 1));
  EXPECT_EQ(after(VariantClear(&dst)), Step(S_OK, 3, 1));
  EXPECT_EQ(after(SafeArrayDestroy(variants)), Step(S_OK, 2, 1));

  // The holder: a copy adds one, a move none and leaves its source empty.
  {
    CComVariant held(src), copy(held);
    EXPECT_EQ(a.refs, 4u);
    CComVariant moved(std::move(copy));
    EXPECT_EQ(a.refs, 4u);
    EXPECT_EQ(copy.vt, VT_EMPTY);
  }
  EXPECT_EQ(after(VariantClear(&src)), Step(S_OK, 1, 1));
}

// Shapes, element sizes and types, and indices outside the bounds. In two
// dimensions (3 elements from 1, then 2 from -1) the first index runs fastest.
TEST(SafeArray, ShapesTypesAndBadIndices) {
  SAFEARRAYBOUND two[2] = {{3, 1}, {2, -1}};
  using Bounds = std::vector<std::pair<LONG, LONG>>;
  const struct {
    SAFEARRAY* psa;
    VARTYPE vt;
    UINT size;
    Bounds bounds;
  } cases[] = {
      {SafeArrayCreateVector(VT_UI1, 0, 5), VT_UI1, 1, {{0, 4}}},
      {SafeArrayCreateVector(VT_BSTR, 1, 0), VT_BSTR, sizeof(BSTR), {{1, 0}}},  // upper below lower
      {SafeArrayCreate(VT_I4, 2, two), VT_I4, 4, {{1, 3}, {-1, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    ASSERT_NE(c.psa, nullptr);
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetVartype(c.psa, &vt), S_OK);
    EXPECT_EQ(vt, c.vt);
    EXPECT_EQ(SafeArrayGetElemsize(c.psa), c.size);
    Bounds bounds(SafeArrayGetDim(c.psa));
    for (UINT d = 0; d < bounds.size(); ++d) {
      EXPECT_EQ(SafeArrayGetLBound(c.psa, d + 1, &bounds[d].first), S_OK);
      EXPECT_EQ(SafeArrayGetUBound(c.psa, d + 1, &bounds[d].second), S_OK);
    }
    EXPECT_EQ(bounds, c.bounds);
    for (UINT bad : {0u, static_cast<UINT>(bounds.size() + 1)}) {
      LONG bound = 0;
      EXPECT_EQ(SafeArrayGetLBound(c.psa, bad, &bound), DISP_E_BADINDEX);
      EXPECT_EQ(SafeArrayGetUBound(c.psa, bad, &bound), DISP_E_BADINDEX);
    }
  }
  SAFEARRAY* psa = cases[2].psa;
  for (LONG k = 0; k < 6; ++k) {
    LONG indices[2] = {k % 3 + 1, k / 3 - 1}, value = 10 * indices[0] + indices[1];
    ASSERT_EQ(SafeArrayPutElement(psa, indices, &value), S_OK);
  }
  const LONG* data = static_cast<const LONG*>(psa->pvData);
  EXPECT_EQ(std::vector<LONG>(data, data + 6), (std::vector<LONG>{9, 19, 29, 10, 20, 30}));
  LONG at[2] = {3, 0}, outside[2] = {4, 0}, below[2] = {1, -2}, value = 0;
  ASSERT_EQ(SafeArrayGetElement(psa, at, &value), S_OK);
  EXPECT_EQ(value, 30);
  EXPECT_EQ(SafeArrayGetElement(psa, outside, &value), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayPutElement(psa, below, &value), DISP_E_BADINDEX);
  for (const auto& c : cases) EXPECT_EQ(SafeArrayDestroy(c.psa), S_OK);
  EXPECT_EQ(SafeArrayCreate(VT_I4, 0, two), nullptr);
  EXPECT_EQ(SafeArrayCreateVector(VT_EMPTY, 0, 1), nullptr);
  EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
}

SYSTEMTIME Time(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  const auto w = [](int field) { return static_cast<WORD>(field); };
  return {w(year), w(month), 0, w(day), w(hour), w(minute), w(second), 0};
}

// The calendar reading of a date (with the day of the week), or "refused".
std::string Civil(DATE d) {
  SYSTEMTIME st{};
  if (!VariantTimeToSystemTime(d, &st)) return "refused";
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d day %d", st.wYear, st.wMonth,
                st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds, st.wDayOfWeek);
  return text;
}

constexpr double kSecond = 1.0 / 86400;

// A date and its calendar reading, read back in the round trips below. The first and last days,
// the epoch and times of day are printed and read back by tests/coding/coding_test.cpp.
TEST(Date, ConvertsBothWays) {
  const struct {
    DATE date;
    const char* civil;
  } cases[] = {
      {2.0, "1900-01-01 00:00:00.000 day 1"},
      {36585.0, "2000-02-29 00:00:00.000 day 2"},
      {-109511.0, "1600-03-01 00:00:00.000 day 3"},
      // A negative date keeps the time of day: -1.25 is 29 December 06:00, not 28 December 18:00.
      {-1.25, "1899-12-29 06:00:00.000 day 5"},
      {-0.5, "1899-12-30 12:00:00.000 day 6"},  // between -1 and 0: 30 December itself
      {-657434.5, "0100-01-01 12:00:00.000 day 5"},
      {2958465.5, "9999-12-31 12:00:00.000 day 5"},
      // Rounded to the nearest second; half a second before midnight is the next day.
      {35170.0 + 10.49 * kSecond, "1996-04-15 00:00:10.000 day 1"},
      {35170.0 + 10.51 * kSecond, "1996-04-15 00:00:11.000 day 1"},
      {35171.0 - 0.4 * kSecond, "1996-04-16 00:00:00.000 day 2"},
      {-3.0 + 0.4 * kSecond, "1899-12-29 00:00:00.000 day 5"},  // 28 December 23:59:59.6
      {-657435.0, "refused"},                                   // the invalid-date marker
      {2958466.0, "refused"},
      {2958465.99999999, "refused"},  // rounds into year 10000
      {1e300, "refused"},
      {std::numeric_limits<double>::quiet_NaN(), "refused"},
  };
  for (const auto& c : cases) EXPECT_EQ(Civil(c.date), c.civil) << c.date;
  DATE back = 0;
  for (SYSTEMTIME st : {Time(99, 12, 31), Time(10000, 1, 1), Time(1999, 2, 29), Time(1999, 13, 1),
                        Time(1999, 1, 1, 24)})
    EXPECT_FALSE(SystemTimeToVariantTime(&st, &back)) << st.wYear << "-" << st.wMonth;
}

// Every day of some centuries (across leap-year rules, before and after the
// epoch), and times of day on both sides of it, come back as they went.
TEST(Date, RoundTrips) {
  SYSTEMTIME st{}, back{};
  DATE d = 0;
  for (auto [from, to, step] : {std::tuple{-657434, 2958465, 997}, {-800, 800, 1}}) {
    for (int day = from; day <= to; day += step) {
      ASSERT_TRUE(VariantTimeToSystemTime(day, &st) && SystemTimeToVariantTime(&st, &d)) << day;
      ASSERT_EQ(d, static_cast<DATE>(day));
    }
  }
  for (int seconds = 0; seconds < 86400; seconds += 61) {
    for (int year : {1601, 1899, 1999, 9999}) {
      st = Time(year, 12, 29, seconds / 3600, seconds / 60 % 60, seconds % 60);
      ASSERT_TRUE(SystemTimeToVariantTime(&st, &d) && VariantTimeToSystemTime(d, &back));
      ASSERT_EQ(back.wDay, 29);
      ASSERT_EQ(back.wHour * 3600 + back.wMinute * 60 + back.wSecond, seconds) << year;
    }
  }
}

// The forms the coding layer hands over are read in tests/coding/coding_test.cpp and through
// Load (tests/reader/load_test.cpp); here what it cannot produce.
TEST(Date, Parses) {
  const DATE kMorning = 35170.0 + 8.5 / 24;  // 1996-04-15 08:30
  const struct {
    const char16_t* text;
    DATE date;
  } cases[] = {
      {u"  1996-04-15 08:30:00 ", kMorning},  // spaces around, as after a "Z"
      // Zone offsets are ignored: the date keeps the clock time as written.
      {u"1996-04-15 08:30:00-05:00", kMorning},
      {u"1996-04-15 08:30:00+0100 ", kMorning},
      {u"1996-04-15 08:30 +01", kMorning},
      {u"1996-4-5 8:30", 35160.0 + 8.5 / 24},
      {u"9999-12-31\t", 2958465.0},
  };
  for (const auto& c : cases) {
    DATE d = 0;
    ASSERT_EQ(VarDateFromStr(c.text, LOCALE_USER_DEFAULT, 0, &d), S_OK);
    EXPECT_DOUBLE_EQ(d, c.date);
  }
  // Refused texts, split at '|' (the first is empty), leave the result alone.
  // "25:00" is no zone offset. A null text reads as empty.
  const std::u16string bad =
      u"|   |19960415|19960415 0830:00: 0500|1996-04-15 08:30:00 25:00|"
      u"1996-04-15 08:30:00 +05:00x|1996-04-15T08:30:00|1996-04-15 08|1996-04-15 08:|"
      u"1996-04-15 08:30:|1996-04-15 08:30:00x|1996-04-15x|1996-00-10|1996-02-30|"
      u"1995-02-29|1996-04-00|1996-04-15 24:00|1996-04-15 23:60|1996-04-15 23:59:60|0099-12-31|"
      u"96-04-15|19960-04-15|1996-004-15";
  for (std::size_t at = 0, end = 0; at <= bad.size(); at = end + 1) {
    end = std::min(bad.find(u'|', at), bad.size());
    const std::u16string text = bad.substr(at, end - at);
    DATE d = 123.0;
    EXPECT_EQ(VarDateFromStr(text.c_str(), LOCALE_USER_DEFAULT, 0, &d), DISP_E_TYPEMISMATCH)
        << std::string(text.begin(), text.end());
    EXPECT_EQ(d, 123.0);
  }
  DATE d = 123.0;
  EXPECT_EQ(VarDateFromStr(nullptr, LOCALE_USER_DEFAULT, 0, &d), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(d, 123.0);
  EXPECT_EQ(VarDateFromStr(u"1996-04-15", LOCALE_USER_DEFAULT, 0, nullptr), E_INVALIDARG);
}

}  // namespace
