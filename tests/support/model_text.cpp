#include "support/model_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <utility>

#include "support/builders.h"

namespace tarvovcard::testing {
namespace {

// The items of one of the model's collections, in order.
template <class Item, class Items>
std::vector<CComPtr<Item>> ItemsOf(Items* collection) {
  const LONG count = CountOf(collection);
  std::vector<CComPtr<Item>> items(static_cast<std::size_t>(std::max(count, LONG(0))));
  for (LONG i = 0; i < count; ++i) EXPECT_EQ(collection->Item(i, &items[std::size_t(i)]), S_OK);
  return items;
}

std::string Escaped(BSTR text) {
  std::string out;
  for (char c : Utf8(text))
    out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : c ? std::string(1, c) : "\\0";
  return out;
}

std::string DescribeCard(IVCard* card, Detail detail);

// The card that a decoded value of type VT_UNKNOWN holds.
CComPtr<IVCard> NestedCard(const VARIANT& decoded) {
  CComPtr<IVCard> card;
  EXPECT_EQ(decoded.punkVal->QueryInterface(IID_IVCard, reinterpret_cast<void**>(&card)), S_OK);
  return card;
}

std::string DescribeValue(IVCardValue* value, Detail detail) {
  const bool everything = detail == Detail::kEverything;
  CComVariant decoded;
  EXPECT_EQ(value->get_DecodedValue(&decoded), S_OK);
  if (decoded.vt == VT_BSTR)
    return everything ? Text(std::u16string_view(decoded.bstrVal, SysStringLen(decoded.bstrVal)))
                      : Escaped(decoded.bstrVal);
  if (decoded.vt == VT_DATE) {
    char number[32];
    std::snprintf(number, sizeof number, everything ? "%.17g" : "%f", decoded.date);
    return "date:" + std::string(number);
  }
  if (decoded.vt == (VT_ARRAY | VT_UI1)) {
    const ULONG size = decoded.parray->rgsabound[0].cElements;
    return "bytes:" + (everything
                           ? std::string(static_cast<const char*>(decoded.parray->pvData), size)
                           : std::to_string(size));
  }
  if (decoded.vt != VT_UNKNOWN) return "empty";
  return "card{" + DescribeCard(NestedCard(decoded), detail) + "}";
}

std::string DescribeCard(IVCard* card, Detail detail) {
  std::string out;
  for (IVCardProperty* property : ItemsOf<IVCardProperty>(Get(card, &IVCard::get_Properties).p))
    out += (out.empty() ? "" : " / ") + Describe(property, detail);
  return out;
}

// Adds the card (and the cards nested in its values) to counts; the number
// of the card's own properties.
long CountCard(IVCard* card, bool nested, CorpusCounts& counts) {
  ++(nested ? counts.nested_cards : counts.cards);
  const auto properties = ItemsOf<IVCardProperty>(Get(card, &IVCard::get_Properties).p);
  (nested ? counts.nested_properties : counts.properties) += long(properties.size());
  for (IVCardProperty* property : properties) {
    counts.parameters += CountOf(Get(property, &IVCardProperty::get_Parameters));
    const auto values = ItemsOf<IVCardValue>(Get(property, &IVCardProperty::get_Values).p);
    counts.values += long(values.size());
    for (IVCardValue* value : values) {
      CComVariant decoded;
      EXPECT_EQ(value->get_DecodedValue(&decoded), S_OK);
      if (decoded.vt == VT_UNKNOWN) CountCard(NestedCard(decoded), true, counts);
    }
  }
  return long(properties.size());
}

}  // namespace

std::string Describe(IVCardProperty* property, Detail detail) {
  const bool everything = detail == Detail::kEverything;
  CComBSTR name, group;
  property->get_Name(&name);
  property->get_Group(&group);
  const EVCardProperty type = Get(property, &IVCardProperty::get_Type);
  std::string out = (everything ? std::to_string(type) + "#" : "") + Utf8(name) +
                    (group.Length() ? "[" + Utf8(group) + "]" : "") +
                    (type == VCARD_PROP_UNKNOWN ? "?" : "");
  for (IVCardParameter* parameter :
       ItemsOf<IVCardParameter>(Get(property, &IVCardProperty::get_Parameters).p)) {
    CComBSTR pname, pvalue;
    parameter->get_Name(&pname);
    parameter->get_Value(&pvalue);
    const EVCardParameter ptype = Get(parameter, &IVCardParameter::get_Type);
    out += ";" + (everything ? std::to_string(ptype) + ":" : "") + Utf8(pname) + "=" + Utf8(pvalue);
  }
  out += ":";
  const char* bar = "";
  for (IVCardValue* value : ItemsOf<IVCardValue>(Get(property, &IVCardProperty::get_Values).p))
    out += std::exchange(bar, "|") + DescribeValue(value, detail);
  return out;
}

CorpusCounts CountLoaded(IVCardColl* collection) {
  CorpusCounts counts;
  for (IVCard* card : ItemsOf<IVCard>(collection))
    counts.properties_per_card.push_back(static_cast<int>(CountCard(card, false, counts)));
  return counts;
}

std::string Text(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
    out += c >= 0x20 && c < 0x7F && c != u'\\' ? std::string(1, char(c)) : std::string(escape);
  }
  return out;
}

std::vector<std::string> DescribeAll(IVCardColl* collection, Detail detail) {
  std::vector<std::string> all;
  for (IVCard* card : ItemsOf<IVCard>(collection)) all.push_back(DescribeCard(card, detail));
  return all;
}

std::string Model(IVCardColl* collection) {
  std::string out;
  for (const std::string& card : DescribeAll(collection)) out += (out.empty() ? "" : " // ") + card;
  return out;
}

Read LoadFile(const std::string& path, IVCardColl* into) {
  CComPtr<IVCardColl> collection = into;
  if (!collection) collection = Collection();
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

}  // namespace tarvovcard::testing
