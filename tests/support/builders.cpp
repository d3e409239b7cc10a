#include "support/builders.h"

namespace tarvovcard::testing {
namespace {

// The parts of `text` between separators outside braces.
std::vector<std::u16string_view> Split(std::u16string_view text, std::u16string_view sep) {
  std::vector<std::u16string_view> parts;
  std::size_t start = 0, depth = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    depth += text[i] == u'{' ? 1 : text[i] == u'}' ? -1 : 0;
    if (depth == 0 && text.compare(i, sep.size(), sep) == 0) {
      parts.push_back(text.substr(start, i - start));
      start = i + sep.size();
    }
  }
  parts.push_back(text.substr(start));
  return parts;
}

// Takes the text before the first of `stops`, and that stop, off `text`.
CComBSTR Take(std::u16string_view& text, std::u16string_view stops) {
  const std::size_t end = std::min(text.find_first_of(stops), text.size());
  CComBSTR part = Bstr(text.substr(0, end));
  text.remove_prefix(std::min(end + 1, text.size()));
  return part;
}

}  // namespace

CardBuilder::~CardBuilder() {
  for (IVCardValue* value : loops_) value->put_DecodedValue(CComVariant(u"x"));
}

CComPtr<IVCard> CardBuilder::Build(std::u16string_view text) {
  CComPtr<IVCard> card = Create<IVCard>(CLSID_VCard);
  cards.push_back(card);
  if (text.empty()) return card;
  for (std::u16string_view property : Split(text, u" / "))
    EXPECT_EQ(Get(card.p, &IVCard::get_Properties)->Add(Property(property, card)), S_OK);
  return card;
}

CComPtr<IVCardProperty> CardBuilder::Property(std::u16string_view text, IVCard* card) {
  CComPtr<IVCardProperty> property = Create<IVCardProperty>(CLSID_VCardProperty);
  std::u16string name;
  for (; !text.empty() && std::u16string_view(u";[:").find(text[0]) == text.npos;
       text.remove_prefix(1)) {
    if (text[0] == u'\\') text.remove_prefix(1);
    name += text[0];
  }
  EXPECT_EQ(name.empty() ? S_OK : property->put_Name(Bstr(name)), S_OK) << "name";
  if (text.starts_with(u'[')) {
    text.remove_prefix(1);
    EXPECT_EQ(property->put_Group(Take(text, u"]")), S_OK);
  }
  while (text.starts_with(u';')) {
    text.remove_prefix(1);
    CComPtr<IVCardParameter> parameter = Create<IVCardParameter>(CLSID_VCardParameter);
    EXPECT_EQ(parameter->put_Name(Take(text, u"=")), S_OK) << "parameter name";
    const std::size_t end = std::min(text.find_first_of(u";:"), text.size());
    EXPECT_EQ(parameter->put_Value(Bstr(text.substr(0, end))), S_OK);
    text.remove_prefix(end);
    EXPECT_EQ(Get(property.p, &IVCardProperty::get_Parameters)->Add(parameter), S_OK);
  }
  if (text.empty()) return property;
  for (std::u16string_view value : Split(text.substr(1), u"|")) {
    CComPtr<IVCardValue> object = Create<IVCardValue>(CLSID_VCardValue);
    EXPECT_EQ(value.starts_with(u"orphan:") ? S_OK : object->putref_Parent(property), S_OK);
    EXPECT_EQ(Get(property.p, &IVCardProperty::get_Values)->Add(object), S_OK);
    if (value != u"empty") Set(object, value, card);
  }
  return property;
}

CComPtr<IVCardProperty> MakeProperty(std::u16string_view line) {
  return CardBuilder().Property(line, nullptr);
}

void CardBuilder::Set(IVCardValue* value, std::u16string_view text, IVCard* card) {
  const std::size_t colon = text.find(u':');
  const std::u16string_view kind = text.substr(0, colon == text.npos ? 0 : colon + 1);
  const std::u16string_view rest = text.substr(kind.size());
  CComVariant decoded;
  if (kind == u"text:" || kind == u"orphan:") {
    decoded.vt = VT_BSTR;
    decoded.bstrVal = Bstr(rest).Detach();
  } else if (kind == u"date:") {
    decoded.vt = VT_DATE;
    decoded.date = std::stod(std::string(rest.begin(), rest.end()));
  } else if (kind == u"bytes:") {
    decoded = Bytes(rest);
  } else if (text == u"self" || text == u"card" || text.starts_with(u"card{")) {
    IVCard* nested = text == u"self" ? card : text == u"card" ? last_.p : nullptr;
    if (!nested) nested = last_ = Build(text.substr(5, text.size() - 6));
    if (text == u"self") loops_.push_back(value);
    decoded.vt = VT_UNKNOWN;
    decoded.punkVal = nested;
    nested->AddRef();
  } else {
    const std::string encoded(text.begin(), text.end());  // Each unit one byte.
    EXPECT_EQ(PutEncoded(value, encoded.c_str()), S_OK) << encoded;
    return;
  }
  // A value without a parent stores its text but refuses to encode it.
  EXPECT_EQ(value->put_DecodedValue(decoded), kind == u"orphan:" ? E_POINTER : S_OK);
}

}  // namespace tarvovcard::testing
