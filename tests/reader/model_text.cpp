#include "reader/model_text.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "reader/reader_test_files.h"
#include "tarvovcard/platform/winnls.h"

namespace tarvovcard::reader::testing {

CComPtr<IVCardColl> NewCollection() {
  CComPtr<IVCardColl> collection;
  EXPECT_EQ(CoCreateInstance(CLSID_VCardColl, nullptr, CLSCTX_ALL, IID_IVCardColl,
                             reinterpret_cast<void**>(&collection)),
            S_OK);
  return collection;
}

HRESULT LoadOne(IVCardColl* collection, const std::string& path) {
  CComVariant argument(Wide(path));
  return collection->Load(argument);
}

HRESULT LoadList(IVCardColl* collection, const std::vector<std::string>& paths) {
  CComVariant argument;
  argument.vt = VT_ARRAY | VT_BSTR;
  argument.parray = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(paths.size()));
  for (LONG i = 0; i < static_cast<LONG>(paths.size()); ++i)
    SafeArrayPutElement(argument.parray, &i, Wide(paths[static_cast<std::size_t>(i)]).m_str);
  return collection->Load(argument);
}

std::string Utf8(BSTR text) {
  int length = static_cast<int>(SysStringLen(text));
  if (length == 0) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
  return out;
}

CComBSTR Wide(const std::string& utf8) {
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  CComBSTR result;
  result.Attach(SysAllocStringLen(nullptr, static_cast<UINT>(n)));
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), result.m_str, n);
  return result;
}

namespace {

std::string Escaped(BSTR text) {
  std::string out;
  for (char c : Utf8(text)) {
    if (c == '\n' || c == '\r' || c == '\0') {
      out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\0";
    } else {
      out += c;
    }
  }
  return out;
}

std::string DescribeValue(IVCardValue* value) {
  CComVariant decoded;
  EXPECT_EQ(value->get_DecodedValue(&decoded), S_OK);
  switch (decoded.vt) {
    case VT_BSTR:
      return Escaped(decoded.bstrVal);
    case VT_DATE: {
      char text[64];
      std::snprintf(text, sizeof text, "date:%.6f", decoded.date);
      return text;
    }
    case VT_UNKNOWN: {
      CComPtr<IVCard> card;
      EXPECT_EQ(decoded.punkVal->QueryInterface(IID_IVCard, reinterpret_cast<void**>(&card)), S_OK);
      return "card{" + Describe(card) + "}";
    }
    case VT_ARRAY | VT_UI1:
      return "bytes:" + std::to_string(decoded.parray->rgsabound[0].cElements);
    default:
      return "empty";
  }
}

}  // namespace

std::string Describe(IVCard* card) {
  std::string out;
  CComPtr<IVCardPropertyColl> properties;
  EXPECT_EQ(card->get_Properties(&properties), S_OK);
  LONG count = 0;
  properties->get_Count(&count);
  for (LONG i = 0; i < count; ++i) {
    CComPtr<IVCardProperty> property;
    properties->Item(i, &property);
    CComBSTR name, group;
    EVCardProperty type = VCARD_PROP_UNKNOWN;
    property->get_Name(&name);
    property->get_Group(&group);
    property->get_Type(&type);
    out += (i > 0 ? " / " : "") + Utf8(name);
    if (group.Length() > 0) out += "[" + Utf8(group) + "]";
    if (type == VCARD_PROP_UNKNOWN) out += "?";
    CComPtr<IVCardParameterColl> parameters;
    property->get_Parameters(&parameters);
    LONG n = 0;
    parameters->get_Count(&n);
    for (LONG k = 0; k < n; ++k) {
      CComPtr<IVCardParameter> parameter;
      parameters->Item(k, &parameter);
      CComBSTR pname, pvalue;
      parameter->get_Name(&pname);
      parameter->get_Value(&pvalue);
      out += ";" + Utf8(pname) + "=" + Utf8(pvalue);
    }
    out += ":";
    CComPtr<IVCardValueColl> values;
    property->get_Values(&values);
    values->get_Count(&n);
    for (LONG k = 0; k < n; ++k) {
      CComPtr<IVCardValue> value;
      values->Item(k, &value);
      out += (k > 0 ? "|" : "") + DescribeValue(value);
    }
  }
  return out;
}

std::vector<std::string> DescribeAll(IVCardColl* collection) {
  LONG count = -1;
  EXPECT_EQ(collection->get_Count(&count), S_OK);
  std::vector<std::string> all;
  for (LONG i = 0; i < count; ++i) all.push_back(Describe(CardAt(collection, i)));
  return all;
}

std::string Model(IVCardColl* collection) {
  std::string out;
  for (const std::string& card : DescribeAll(collection)) out += (out.empty() ? "" : " // ") + card;
  return out;
}

std::string ReportOf(IVCardColl* collection) {
  CComPtr<IVCardLoadReport> report;
  EXPECT_EQ(collection->QueryInterface(IID_IVCardLoadReport, reinterpret_cast<void**>(&report)),
            S_OK);
  LONG count = 0;
  EXPECT_EQ(report->get_ProblemCount(&count), S_OK);
  std::string out;
  for (LONG i = 0; i < count; ++i) {
    LONG line = 0;
    VARIANT_BOOL lost = VARIANT_FALSE;
    CComBSTR message, text;
    EXPECT_EQ(report->get_Line(i, &line), S_OK);
    EXPECT_EQ(report->get_Lost(i, &lost), S_OK);
    EXPECT_EQ(report->get_Message(i, &message), S_OK);
    EXPECT_EQ(report->get_Text(i, &text), S_OK);
    out += (i > 0 ? "\n" : "") + std::to_string(line) + (lost ? " lost: " : " repaired: ") +
           Utf8(message) + " [" + Escaped(text) + "]";
  }
  return out;
}

CComPtr<IVCard> CardAt(IVCardColl* collection, LONG index) {
  CComPtr<IVCard> card;
  EXPECT_EQ(collection->Item(index, &card), S_OK);
  return card;
}

Read ReadFile(const std::string& path, IVCardColl* into) {
  CComPtr<IVCardColl> collection = into;
  if (!collection) collection = NewCollection();
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  Read read{LoadOne(collection, path), "", "", ""};
  read.err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "") << path;
  read.model = Model(collection);
  read.report = ReportOf(collection);
  return read;
}

Read ReadBytes(const std::string& bytes) {
  return ReadFile(WriteTestFile("read.vcf", bytes));
}

}  // namespace tarvovcard::reader::testing
