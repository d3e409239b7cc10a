#include "reader/model_text.h"

#include <gtest/gtest.h>

#include <utility>

#include "coding/conversions.h"
#include "tarvovcard/platform/winnls.h"

namespace tarvovcard::reader::testing {
namespace {

// The items of one of the model's collections, in order.
template <class Item, class Collection>
std::vector<CComPtr<Item>> Items(Collection* collection) {
  LONG count = 0;
  EXPECT_EQ(collection->get_Count(&count), S_OK);
  std::vector<CComPtr<Item>> items(static_cast<std::size_t>(count));
  for (LONG i = 0; i < count; ++i) EXPECT_EQ(collection->Item(i, &items[std::size_t(i)]), S_OK);
  return items;
}

std::string Escaped(BSTR text) {
  std::string out;
  for (char c : Utf8(text))
    out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : c ? std::string(1, c) : "\\0";
  return out;
}

std::string Describe(IVCard* card);

std::string DescribeValue(IVCardValue* value) {
  CComVariant decoded;
  EXPECT_EQ(value->get_DecodedValue(&decoded), S_OK);
  if (decoded.vt == VT_BSTR) return Escaped(decoded.bstrVal);
  if (decoded.vt == VT_DATE) return "date:" + std::to_string(decoded.date);
  if (decoded.vt == (VT_ARRAY | VT_UI1))
    return "bytes:" + std::to_string(decoded.parray->rgsabound[0].cElements);
  if (decoded.vt != VT_UNKNOWN) return "empty";
  CComPtr<IVCard> card;
  EXPECT_EQ(decoded.punkVal->QueryInterface(IID_IVCard, reinterpret_cast<void**>(&card)), S_OK);
  return "card{" + Describe(card) + "}";
}

std::string Describe(IVCard* card) {
  CComPtr<IVCardPropertyColl> properties;
  EXPECT_EQ(card->get_Properties(&properties), S_OK);
  std::string out;
  const char* separator = "";
  for (IVCardProperty* property : Items<IVCardProperty>(properties.p)) {
    CComBSTR name, group;
    EVCardProperty type = VCARD_PROP_UNKNOWN;
    CComPtr<IVCardParameterColl> parameters;
    CComPtr<IVCardValueColl> values;
    property->get_Name(&name);
    property->get_Group(&group);
    property->get_Type(&type);
    property->get_Parameters(&parameters);
    property->get_Values(&values);
    out += separator + Utf8(name) + (group.Length() ? "[" + Utf8(group) + "]" : "") +
           (type == VCARD_PROP_UNKNOWN ? "?" : "");
    for (IVCardParameter* parameter : Items<IVCardParameter>(parameters.p)) {
      CComBSTR pname, pvalue;
      parameter->get_Name(&pname);
      parameter->get_Value(&pvalue);
      out += ";" + Utf8(pname) + "=" + Utf8(pvalue);
    }
    out += ":";
    const char* bar = "";
    for (IVCardValue* value : Items<IVCardValue>(values.p))
      out += std::exchange(bar, "|") + DescribeValue(value);
    separator = " / ";
  }
  return out;
}

}  // namespace

CComPtr<IVCardColl> NewCollection() {
  CComPtr<IVCardColl> collection;
  EXPECT_EQ(CoCreateInstance(CLSID_VCardColl, nullptr, CLSCTX_ALL, IID_IVCardColl,
                             reinterpret_cast<void**>(&collection)),
            S_OK);
  return collection;
}

std::string Utf8(BSTR text) {
  const int length = static_cast<int>(SysStringLen(text));
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
  return out;
}

CComBSTR Wide(const std::string& utf8) {
  return coding::NarrowToWide(utf8.c_str(), true);
}

HRESULT LoadOne(IVCardColl* collection, const std::string& path) {
  return collection->Load(CComVariant(Wide(path)));
}

HRESULT LoadList(IVCardColl* collection, const std::vector<std::string>& paths) {
  CComVariant argument;
  argument.vt = VT_ARRAY | VT_BSTR;
  argument.parray = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(paths.size()));
  for (LONG i = 0; i < static_cast<LONG>(paths.size()); ++i)
    SafeArrayPutElement(argument.parray, &i, Wide(paths[static_cast<std::size_t>(i)]).m_str);
  return collection->Load(argument);
}

CComPtr<IVCard> CardAt(IVCardColl* collection, LONG index) {
  CComPtr<IVCard> card;
  EXPECT_EQ(collection->Item(index, &card), S_OK);
  return card;
}

std::vector<std::string> DescribeAll(IVCardColl* collection) {
  std::vector<std::string> all;
  for (IVCard* card : Items<IVCard>(collection)) all.push_back(Describe(card));
  return all;
}

std::string Model(IVCardColl* collection) {
  std::string out;
  for (const std::string& card : DescribeAll(collection)) out += (out.empty() ? "" : " // ") + card;
  return out;
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
  CComPtr<IVCardLoadReport> report;
  EXPECT_EQ(collection->QueryInterface(IID_IVCardLoadReport, reinterpret_cast<void**>(&report)),
            S_OK);
  LONG count = 0, line = 0;
  EXPECT_EQ(report->get_ProblemCount(&count), S_OK);
  for (LONG i = 0; i < count; ++i) {
    VARIANT_BOOL lost = VARIANT_FALSE;
    CComBSTR message, text;
    EXPECT_EQ(report->get_Line(i, &line), S_OK);
    EXPECT_EQ(report->get_Lost(i, &lost), S_OK);
    EXPECT_EQ(report->get_Message(i, &message), S_OK);
    EXPECT_EQ(report->get_Text(i, &text), S_OK);
    read.report += (i > 0 ? "\n" : "") + std::to_string(line) + (lost ? " lost: " : " repaired: ") +
                   Utf8(message) + " [" + Escaped(text) + "]";
  }
  return read;
}

}  // namespace tarvovcard::reader::testing
