#include "reader/model_text.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "tarvovcard/platform/winnls.h"

namespace tarvovcard::reader::testing {

CComPtr<IVCardColl> NewCollection() {
  CComPtr<IVCardColl> collection;
  HRESULT hr = CoCreateInstance(CLSID_VCardColl, nullptr, CLSCTX_ALL, IID_IVCardColl,
                                reinterpret_cast<void**>(&collection));
  EXPECT_EQ(hr, S_OK);
  return collection;
}

HRESULT LoadOne(IVCardColl* collection, const std::string& path) {
  CComVariant argument;
  argument.vt = VT_BSTR;
  argument.bstrVal = Wide(path).Detach();
  return collection->Load(argument);
}

HRESULT LoadList(IVCardColl* collection, const std::vector<std::string>& paths) {
  CComVariant argument;
  argument.vt = VT_ARRAY | VT_BSTR;
  argument.parray = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(paths.size()));
  for (LONG i = 0; i < static_cast<LONG>(paths.size()); ++i) {
    CComBSTR name = Wide(paths[static_cast<std::size_t>(i)]);
    SafeArrayPutElement(argument.parray, &i, name.m_str);
  }
  return collection->Load(argument);
}

std::string Utf8(const OLECHAR* text, std::size_t length) {
  if (length == 0) return {};
  int wide_length = static_cast<int>(length);
  int n = WideCharToMultiByte(CP_UTF8, 0, text, wide_length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, wide_length, out.data(), n, nullptr, nullptr);
  return out;
}

std::string Utf8(BSTR text) {
  return Utf8(text, SysStringLen(text));
}

CComBSTR Wide(const std::string& utf8) {
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  CComBSTR result;
  result.Attach(SysAllocStringLen(nullptr, static_cast<UINT>(n)));
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), result.m_str, n);
  return result;
}

namespace {

std::string DescribeValue(IVCardValue* value) {
  CComVariant decoded;
  EXPECT_EQ(value->get_DecodedValue(&decoded), S_OK);
  switch (decoded.vt) {
    case VT_BSTR:
      return Utf8(decoded.bstrVal);
    case VT_DATE: {
      char text[64];
      std::snprintf(text, sizeof text, "date:%.6f", decoded.date);
      return text;
    }
    case VT_UNKNOWN: {
      CComPtr<IVCard> card;
      EXPECT_EQ(decoded.punkVal->QueryInterface(IID_IVCard, reinterpret_cast<void**>(&card)), S_OK);
      std::string nested = Describe(card);
      for (std::size_t at = nested.find('\n'); at != std::string::npos;
           at = nested.find('\n', at)) {
        nested.replace(at, 1, " / ");
      }
      return "card{" + nested + "}";
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
    property->get_Name(&name);
    property->get_Group(&group);
    if (i > 0) out += "\n";
    out += Utf8(name);
    if (group.Length() > 0) out += "[" + Utf8(group) + "]";
    CComPtr<IVCardParameterColl> parameters;
    property->get_Parameters(&parameters);
    LONG parameter_count = 0;
    parameters->get_Count(&parameter_count);
    for (LONG k = 0; k < parameter_count; ++k) {
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
    LONG value_count = 0;
    values->get_Count(&value_count);
    for (LONG k = 0; k < value_count; ++k) {
      CComPtr<IVCardValue> value;
      values->Item(k, &value);
      if (k > 0) out += "|";
      out += DescribeValue(value);
    }
  }
  return out;
}

std::string ReportOf(IVCardColl* collection) {
  CComPtr<IVCardLoadReport> report;
  EXPECT_EQ(collection->QueryInterface(IID_IVCardLoadReport, reinterpret_cast<void**>(&report)),
            S_OK);
  if (!report) return "no report";
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
    if (i > 0) out += "\n";
    out += std::to_string(line) + (lost ? " lost: " : " repaired: ") + Utf8(message) + " [" +
           Utf8(text) + "]";
  }
  return out;
}

std::vector<std::string> DescribeAll(IVCardColl* collection) {
  std::vector<std::string> all;
  for (LONG i = 0, n = CardCount(collection); i < n; ++i)
    all.push_back(Describe(CardAt(collection, i)));
  return all;
}

LONG CardCount(IVCardColl* collection) {
  LONG count = -1;
  EXPECT_EQ(collection->get_Count(&count), S_OK);
  return count;
}

CComPtr<IVCard> CardAt(IVCardColl* collection, LONG index) {
  CComPtr<IVCard> card;
  EXPECT_EQ(collection->Item(index, &card), S_OK);
  return card;
}

}  // namespace tarvovcard::reader::testing
