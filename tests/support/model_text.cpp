#include "support/model_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <utility>

#include <tarvovcard/cards.hpp>

#include "support/builders.h"

namespace tarvovcard::testing {
namespace {

std::string Escaped(std::string_view utf8) {
  std::string out;
  for (char c : utf8) out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : c ? std::string(1, c) : "\\0";
  return out;
}

std::string DescribeCard(const cards::Card& card, Detail detail);

std::string DescribeValue(const cards::Value& value, Detail detail) {
  const bool everything = detail == Detail::kEverything;
  CComVariant decoded;
  EXPECT_EQ(value.Get()->get_DecodedValue(&decoded), S_OK);
  if (decoded.vt == VT_BSTR)
    return everything ? Text(BstrView(decoded.bstrVal))
                      : Escaped(ToUtf8(BstrView(decoded.bstrVal)));
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
  return "card{" + DescribeCard(*value.NestedCard(), detail) + "}";
}

std::string DescribeCard(const cards::Card& card, Detail detail) {
  std::string out;
  for (const cards::Property property : card.GetProperties())
    out += (out.empty() ? "" : " / ") + Describe(property.Get(), detail);
  return out;
}

// Adds the card (and the cards nested in its values) to counts; the number
// of the card's own properties.
long CountCard(const cards::Card& card, bool nested, CorpusCounts& counts) {
  ++(nested ? counts.nested_cards : counts.cards);
  const long properties = long(card.GetProperties().size());
  (nested ? counts.nested_properties : counts.properties) += properties;
  for (const cards::Property property : card.GetProperties()) {
    counts.parameters += long(property.GetParameters().size());
    for (const cards::Value value : property.GetValues()) {
      ++counts.values;
      if (const auto inner = value.NestedCard()) CountCard(*inner, true, counts);
    }
  }
  return properties;
}

}  // namespace

std::string Describe(IVCardProperty* item, Detail detail) {
  const bool everything = detail == Detail::kEverything;
  const cards::Property property{CComPtr<IVCardProperty>(item)};
  const EVCardProperty type = property.Type();
  const std::string group = property.Group();
  std::string out = (everything ? std::to_string(type) + "#" : "") + property.Name() +
                    (group.empty() ? "" : "[" + group + "]") +
                    (type == VCARD_PROP_UNKNOWN ? "?" : "");
  for (const cards::Parameter parameter : property.GetParameters())
    out += ";" + (everything ? std::to_string(parameter.Type()) + ":" : "") + parameter.Name() +
           "=" + parameter.Text();
  out += ":";
  const char* bar = "";
  for (const cards::Value value : property.GetValues())
    out += std::exchange(bar, "|") + DescribeValue(value, detail);
  return out;
}

CorpusCounts CountLoaded(IVCardColl* collection) {
  CorpusCounts counts;
  for (const cards::Card card : cards::Cards(collection))
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
  for (const cards::Card card : cards::Cards(collection)) all.push_back(DescribeCard(card, detail));
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
  for (const cards::Problem& problem : cards::Cards(collection).Problems())
    read.report += (read.report.empty() ? "" : "\n") + std::to_string(problem.line) +
                   (problem.lost ? " lost: " : " repaired: ") + problem.message + " [" +
                   Escaped(problem.text) + "]";
  return read;
}

}  // namespace tarvovcard::testing
