// Automation values: VARIANT, SAFEARRAY and DATE. StubUnknown's count shows
// every stray AddRef or Release.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>

#include "platform/stub_unknown.h"
#include "tarvovcard/platform/atlbase.h"
#include "tarvovcard/platform/oleauto.h"

namespace {

VARIANT Var(VARTYPE vt) {
  VARIANT v;
  VariantInit(&v);
  v.vt = vt;
  return v;
}

VARIANT Unknown(IUnknown* p) {
  VARIANT v = Var(VT_UNKNOWN);
  v.punkVal = p;
  return v;
}

TEST(Variant, InitClearAndBadTypes) {
  VARIANT v;
  v.vt = 0xFFFF;
  VariantInit(&v);
  EXPECT_EQ(v.vt, VT_EMPTY);
  v.vt = VT_I4;
  v.lVal = 42;
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);

  VARIANT bad = Var(VT_VARIANT);  // only valid by reference or in an array
  EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
  VARIANT dst = Var(VT_EMPTY);
  EXPECT_EQ(VariantCopy(&dst, &bad), DISP_E_BADVARTYPE);
  EXPECT_EQ(dst.vt, VT_EMPTY);
  bad.vt = 0x0FFF;
  EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

TEST(Variant, CopyDuplicatesStrings) {
  const OLECHAR text[] = {u'a', u'\0', u'b'};
  VARIANT src = Var(VT_BSTR), dst = Var(VT_EMPTY), null_src = Var(VT_BSTR);
  src.bstrVal = SysAllocStringLen(text, 3);
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(dst.vt, VT_BSTR);
  EXPECT_NE(dst.bstrVal, src.bstrVal);
  EXPECT_EQ(std::u16string_view(dst.bstrVal, SysStringLen(dst.bstrVal)),
            std::u16string_view(text, 3));
  null_src.bstrVal = nullptr;
  ASSERT_EQ(VariantCopy(&dst, &null_src), S_OK);  // frees the previous copy
  EXPECT_EQ(dst.bstrVal, nullptr);
  EXPECT_EQ(VariantClear(&dst), S_OK);
  EXPECT_EQ(VariantClear(&src), S_OK);
}

TEST(Variant, CopyAddsOneReferenceAndClearDropsIt) {
  StubUnknown object;
  object.AddRef();  // the reference src owns
  VARIANT src = Unknown(&object), dst = Var(VT_EMPTY);
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(dst.punkVal, &object);
  EXPECT_EQ(object.refs, 3u);
  ASSERT_EQ(VariantCopy(&dst, &dst), S_OK);  // onto itself: nothing changes
  EXPECT_EQ(object.refs, 3u);
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);  // over the same object: one added, one dropped
  EXPECT_EQ(object.refs, 3u);
  EXPECT_EQ(VariantClear(&dst), S_OK);
  EXPECT_EQ(object.refs, 2u);
  EXPECT_EQ(VariantClear(&src), S_OK);
  EXPECT_EQ(object.refs, 1u);
  // A null object reference is fine both ways.
  src = Var(VT_DISPATCH);
  src.pdispVal = nullptr;
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(VariantClear(&dst), S_OK);
}

TEST(Variant, ByReferenceOwnsNothing) {
  StubUnknown object;
  IUnknown* punk = &object;
  char text[] = "BEGIN:VCARD";
  VARIANT byref = Var(VT_BYREF | VT_I1), copy = Var(VT_EMPTY);
  byref.pcVal = text;
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

TEST(Variant, ArraysAreCopiedAndALockedOneIsNotCleared) {
  StubUnknown object;
  VARIANT src = Var(VT_ARRAY | VT_UNKNOWN), dst = Var(VT_EMPTY);
  src.parray = SafeArrayCreateVector(VT_UNKNOWN, 0, 2);
  LONG index = 1;
  ASSERT_EQ(SafeArrayPutElement(src.parray, &index, &object), S_OK);
  ASSERT_EQ(object.refs, 2u);
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_NE(dst.parray, src.parray);
  EXPECT_EQ(object.refs, 3u);
  EXPECT_EQ(VariantClear(&dst), S_OK);

  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(src.parray, &data), S_OK);
  EXPECT_EQ(VariantClear(&src), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(src.vt, VT_ARRAY | VT_UNKNOWN);
  ASSERT_EQ(SafeArrayUnaccessData(src.parray), S_OK);
  EXPECT_EQ(VariantClear(&src), S_OK);
  EXPECT_EQ(object.refs, 1u);
}

TEST(Variant, Holder) {
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
  EXPECT_EQ(object.refs, 1u);  // released on destruction

  CComVariant text(u"a.vcf"), none(static_cast<const char16_t*>(nullptr)), number(LONG{7});
  ASSERT_EQ(text.vt, VT_BSTR);
  EXPECT_EQ(std::u16string_view(text.bstrVal, SysStringLen(text.bstrVal)), u"a.vcf");
  ASSERT_EQ(none.vt, VT_BSTR);
  EXPECT_EQ(SysStringLen(none.bstrVal), 0u);
  EXPECT_EQ(number.vt, VT_I4);
  EXPECT_EQ(number.lVal, 7);
}

// Bounds of one dimension, each query expected to succeed.
std::pair<LONG, LONG> Bounds(SAFEARRAY* psa, UINT dim) {
  LONG lb = -1, ub = -1;
  EXPECT_EQ(SafeArrayGetLBound(psa, dim, &lb), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(psa, dim, &ub), S_OK);
  return {lb, ub};
}

TEST(SafeArray, ShapesTypesAndBadIndices) {
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
  EXPECT_EQ(std::string_view(static_cast<const char*>(psa->pvData), 5),
            std::string_view("\0\0\0\0\0", 5));  // new elements are zeroed
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);

  SAFEARRAY* empty = SafeArrayCreateVector(VT_BSTR, 1, 0);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(Bounds(empty, 1), (std::pair<LONG, LONG>{1, 0}));  // upper below lower
  EXPECT_EQ(SafeArrayDestroy(empty), S_OK);
  EXPECT_EQ(SafeArrayCreateVector(VT_EMPTY, 0, 1), nullptr);
  EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);

  // Two dimensions: 3 elements from 1, then 2 from -1; the first index runs
  // fastest in memory.
  SAFEARRAYBOUND bounds[2] = {{3, 1}, {2, -1}};
  EXPECT_EQ(SafeArrayCreate(VT_I4, 0, bounds), nullptr);
  psa = SafeArrayCreate(VT_I4, 2, bounds);
  ASSERT_NE(psa, nullptr);
  EXPECT_EQ(SafeArrayGetDim(psa), 2u);
  EXPECT_EQ(Bounds(psa, 1), (std::pair<LONG, LONG>{1, 3}));
  EXPECT_EQ(Bounds(psa, 2), (std::pair<LONG, LONG>{-1, 0}));
  EXPECT_EQ(SafeArrayGetLBound(psa, 3, &lb), DISP_E_BADINDEX);
  for (LONG j = -1; j <= 0; ++j) {
    for (LONG i = 1; i <= 3; ++i) {
      LONG indices[2] = {i, j}, value = 10 * i + j;
      ASSERT_EQ(SafeArrayPutElement(psa, indices, &value), S_OK);
    }
  }
  const LONG* data = static_cast<const LONG*>(psa->pvData);
  EXPECT_EQ(data[0], 9);   // (1, -1)
  EXPECT_EQ(data[1], 19);  // (2, -1)
  EXPECT_EQ(data[3], 10);  // (1, 0)
  LONG at[2] = {3, 0}, outside[2] = {4, 0}, below[2] = {1, -2}, value = 0;
  ASSERT_EQ(SafeArrayGetElement(psa, at, &value), S_OK);
  EXPECT_EQ(value, 30);
  EXPECT_EQ(SafeArrayGetElement(psa, outside, &value), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayPutElement(psa, below, &value), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
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

// How a client builds the VT_ARRAY|VT_BSTR argument of a load or save. The
// sanitizers see a string that is not freed on replacement or destruction.
TEST(SafeArray, StringElementsAreCopies) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, 3);
  ASSERT_NE(psa, nullptr);
  EXPECT_EQ(SafeArrayGetElemsize(psa), sizeof(BSTR));
  EXPECT_TRUE(psa->fFeatures & FADF_BSTR);
  const char16_t* names[] = {u"a.vcf", u"dir/b.vcf", u"C:\\c.vcf", u"z.vcf"};
  for (LONG i = 0; i < 4; ++i) {
    LONG at = i % 3;  // the last replaces the first
    CComBSTR name(names[i]);
    ASSERT_EQ(SafeArrayPutElement(psa, &at, static_cast<BSTR>(name)), S_OK);
    EXPECT_NE(static_cast<BSTR*>(psa->pvData)[at], static_cast<BSTR>(name));
  }
  BSTR out = nullptr;
  LONG second = 1;
  ASSERT_EQ(SafeArrayGetElement(psa, &second, &out), S_OK);
  EXPECT_EQ(std::u16string_view(out), u"dir/b.vcf");
  SysFreeString(out);
  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(psa, &copy), S_OK);
  for (int i = 0; i < 3; ++i) {
    const BSTR from = static_cast<BSTR*>(psa->pvData)[i], to = static_cast<BSTR*>(copy->pvData)[i];
    EXPECT_NE(from, to);
    EXPECT_EQ(std::u16string_view(to), i ? names[i] : names[3]);
    EXPECT_EQ(std::u16string_view(from), std::u16string_view(to));
  }
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);  // independent of the original
}

TEST(SafeArray, ObjectAndVariantElementsHoldReferences) {
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

  psa = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  VARIANT v = Unknown(&a), got = Var(VT_EMPTY);  // v is borrowed: PutElement copies
  i = 1;
  ASSERT_EQ(SafeArrayPutElement(psa, &i, &v), S_OK);
  EXPECT_EQ(a.refs, 2u);
  ASSERT_EQ(SafeArrayGetElement(psa, &i, &got), S_OK);
  EXPECT_EQ(got.vt, VT_UNKNOWN);
  EXPECT_EQ(a.refs, 3u);
  EXPECT_EQ(VariantClear(&got), S_OK);
  VARTYPE vt = VT_EMPTY;
  EXPECT_EQ(SafeArrayGetVartype(psa, &vt), S_OK);
  EXPECT_EQ(vt, VT_VARIANT);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);  // clears the variants
  EXPECT_EQ(a.refs, 1u);
}

SYSTEMTIME Time(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0) {
  SYSTEMTIME st{};
  st.wYear = year;
  st.wMonth = month;
  st.wDay = day;
  st.wHour = hour;
  st.wMinute = minute;
  st.wSecond = second;
  return st;
}

SYSTEMTIME FromDate(DATE d) {
  SYSTEMTIME st{};
  EXPECT_TRUE(VariantTimeToSystemTime(d, &st)) << d;
  return st;
}

std::string Civil(const SYSTEMTIME& st) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d day %d", st.wYear, st.wMonth,
                st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds, st.wDayOfWeek);
  return text;
}

HRESULT Parse(const char16_t* text, DATE* out) {
  return VarDateFromStr(text, LOCALE_USER_DEFAULT, 0, out);
}

constexpr double kSecond = 1.0 / 86400;

// A date and its calendar reading (with the day of the week); the exact rows
// are checked both ways, the others only from the date.
TEST(Date, ConvertsBothWays) {
  const struct {
    DATE date;
    const char* civil;
    bool exact;
  } cases[] = {
      {0.0, "1899-12-30 00:00:00.000 day 6", true},
      {2.0, "1900-01-01 00:00:00.000 day 1", true},
      {35170.0, "1996-04-15 00:00:00.000 day 1", true},
      {35170.0 + 8.5 / 24, "1996-04-15 08:30:00.000 day 1", true},
      {36585.0, "2000-02-29 00:00:00.000 day 2", true},
      {-109511.0, "1600-03-01 00:00:00.000 day 3", true},
      // A negative date keeps the time of day as a fraction: -1.25 is 29
      // December 06:00, not 28 December 18:00.
      {-1.25, "1899-12-29 06:00:00.000 day 5", true},
      {-0.5, "1899-12-30 12:00:00.000 day 6", false},  // between -1 and 0: 30 December itself
      {-657434.0, "0100-01-01 00:00:00.000 day 5", true},
      {-657434.5, "0100-01-01 12:00:00.000 day 5", false},
      {2958465.0, "9999-12-31 00:00:00.000 day 5", true},
      {2958465.5, "9999-12-31 12:00:00.000 day 5", false},
      // Rounded to the nearest second; half a second before midnight is the next day.
      {35170.0 + 10.49 * kSecond, "1996-04-15 00:00:10.000 day 1", false},
      {35170.0 + 10.51 * kSecond, "1996-04-15 00:00:11.000 day 1", false},
      {35171.0 - 0.4 * kSecond, "1996-04-16 00:00:00.000 day 2", false},
      {-3.0 + 0.4 * kSecond, "1899-12-29 00:00:00.000 day 5", false},  // 28 December 23:59:59.6
  };
  for (const auto& c : cases) {
    SYSTEMTIME st = FromDate(c.date);
    EXPECT_EQ(Civil(st), c.civil) << c.date;
    DATE back = 0;
    if (!c.exact) continue;
    EXPECT_TRUE(SystemTimeToVariantTime(&st, &back));
    EXPECT_DOUBLE_EQ(back, c.date) << c.civil;
  }
  SYSTEMTIME out{};
  for (DATE invalid : {-657435.0,  // the invalid-date marker
                       2958466.0, 2958465.99999999 /* rounds into year 10000 */, 1e300,
                       std::numeric_limits<double>::quiet_NaN()})
    EXPECT_FALSE(VariantTimeToSystemTime(invalid, &out)) << invalid;
  DATE d = 0;
  for (SYSTEMTIME invalid : {Time(99, 12, 31), Time(10000, 1, 1), Time(1999, 2, 29),
                             Time(1999, 13, 1), Time(1999, 1, 1, 24)})
    EXPECT_FALSE(SystemTimeToVariantTime(&invalid, &d)) << Civil(invalid);
}

TEST(Date, RoundTripsEveryDayOfSomeCenturies) {
  // Whole days across leap-year rules, before and after the epoch.
  for (auto [from, to, step] : {std::tuple{-657434, 2958465, 997}, {-800, 800, 1}}) {
    for (int day = from; day <= to; day += step) {
      SYSTEMTIME st = FromDate(day);
      DATE back = 0;
      ASSERT_TRUE(SystemTimeToVariantTime(&st, &back));
      ASSERT_EQ(back, static_cast<DATE>(day)) << day;
    }
  }
  // Times of day, both signs.
  for (int seconds = 0; seconds < 86400; seconds += 61) {
    for (WORD year : {1601, 1899, 1999, 9999}) {
      SYSTEMTIME st = Time(year, 12, 29, seconds / 3600, seconds / 60 % 60, seconds % 60);
      DATE d = 0;
      ASSERT_TRUE(SystemTimeToVariantTime(&st, &d));
      SYSTEMTIME back = FromDate(d);
      ASSERT_EQ(back.wDay, 29);
      ASSERT_EQ(back.wHour * 3600 + back.wMinute * 60 + back.wSecond, seconds);
    }
  }
}

TEST(Date, Parses) {
  const DATE kMorning = 35170.0 + 8.5 / 24;  // 1996-04-15 08:30
  const struct {
    const char16_t* text;
    DATE date;
  } cases[] = {
      {u"1996-04-15", 35170.0},
      {u"1996-04-15 08:30:00", kMorning},
      {u"  1996-04-15 08:30:00 ", kMorning},  // spaces around, as after a "Z"
      // Zone offsets are ignored: the date keeps the clock time as written.
      {u"1996-04-15 08:30:00 0500", kMorning},
      {u"1996-04-15 08:30:00-05:00", kMorning},
      {u"1996-04-15 08:30:00+0100 ", kMorning},
      {u"1996-04-15 08:30 +01", kMorning},
      {u"1995-10-31 22:27:10", 35003.0 + (22 * 3600 + 27 * 60 + 10) * kSecond},
      {u"1996-4-5 8:30", 35160.0 + 8.5 / 24},
      {u"1899-12-29 06:00", -1.25},
      {u"0100-01-01", -657434.0},
      {u"9999-12-31\t", 2958465.0},
  };
  for (const auto& c : cases) {
    DATE d = 0;
    ASSERT_EQ(Parse(c.text, &d), S_OK);
    EXPECT_DOUBLE_EQ(d, c.date);
  }
  // Refused texts, split at '|'. "1995-04-" is what a six-digit basic form
  // would give; "25:00" is no zone offset. A null text reads as empty.
  const std::u16string bad =
      u"|   |unknown|1995-04-|19960415|19960415 0830:00: 0500|1996-04-15 08:30:00 25:00|"
      u"1996-04-15 08:30:00 +05:00x|1996-04-15T08:30:00|1996-04-15 08|1996-04-15 08:|"
      u"1996-04-15 08:30:|1996-04-15 08:30:00x|1996-04-15x|1996-13-01|1996-00-10|1996-02-30|"
      u"1995-02-29|1996-04-00|1996-04-15 24:00|1996-04-15 23:60|1996-04-15 23:59:60|0099-12-31|"
      u"96-04-15|19960-04-15|1996-004-15";
  for (std::size_t at = 0, end = 0; at <= bad.size(); at = end + 1) {
    end = std::min(bad.find(u'|', at), bad.size());
    const std::u16string text = bad.substr(at, end - at);
    DATE d = 123.0;
    EXPECT_EQ(Parse(text.c_str(), &d), DISP_E_TYPEMISMATCH)
        << std::string(text.begin(), text.end());
    EXPECT_EQ(d, 123.0);
  }
  DATE d = 123.0;
  EXPECT_EQ(Parse(nullptr, &d), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(d, 123.0);
  EXPECT_EQ(Parse(u"1996-04-15", nullptr), E_INVALIDARG);
}

TEST(Date, NoTimeZoneDependence) {
  const char* saved = std::getenv("TZ");
  const std::string old = saved ? saved : "";
  DATE results[2];
  SYSTEMTIME times[2];
  const char* zones[2] = {"UTC0", "EST5EDT,M3.2.0,M11.1.0"};
  for (int i = 0; i < 2; ++i) {
    setenv("TZ", zones[i], 1);
    tzset();
    ASSERT_EQ(Parse(u"1996-04-15 08:30:00", &results[i]), S_OK);
    times[i] = FromDate(results[i]);
  }
  if (saved)
    setenv("TZ", old.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
  EXPECT_EQ(results[0], results[1]);
  EXPECT_EQ(times[0].wHour, 8);
  EXPECT_EQ(times[1].wHour, 8);
  EXPECT_EQ(times[1].wDay, 15);
}

}  // namespace
