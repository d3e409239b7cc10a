// Shared by the writer tests: cards built from one line of text, a dump of
// what a card holds, and file calls that fail on request. The files
// themselves are in writer_test_support.h, which the client's tests include
// without the library's headers.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <tarvovcard/cards.hpp>
#include <tarvovcard/tarvovcard.h>

#include "frame/file_calls.h"
#include "writer_test_support.h"

namespace tarvovcard::writer::testing {

namespace cards = tarvovcard::cards;

inline CComBSTR Bstr(std::u16string_view text) {
  return CComBSTR(text.data(), static_cast<UINT>(text.size()));
}
// A file name (UTF-8) or a list of them as a VARIANT.
inline CComVariant Name(const std::string& name) {
  return CComVariant(Bstr(FromUtf8(name)));
}
inline CComVariant NameList(const std::vector<std::string>& names) {
  CComVariant list;
  list.parray = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(names.size()));
  list.vt = VT_ARRAY | VT_BSTR;
  for (LONG i = 0; i < static_cast<LONG>(names.size()); ++i)
    EXPECT_EQ(SafeArrayPutElement(list.parray, &i, Name(names[size_t(i)]).bstrVal), S_OK);
  return list;
}

template <class Interface>
CComPtr<Interface> Create(const CLSID& clsid) {
  CComPtr<Interface> object;
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, uuidof<Interface>(),
                             reinterpret_cast<void**>(&object)),
            S_OK);
  return object;
}
inline CComPtr<IVCardColl> Collection(std::initializer_list<IVCard*> cards = {}) {
  CComPtr<IVCardColl> collection = Create<IVCardColl>(CLSID_VCardColl);
  for (IVCard* card : cards) EXPECT_EQ(collection->Add(card), S_OK);
  return collection;
}
inline ULONG References(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

// Printable ASCII as it is, any other unit as \uXXXX.
inline std::string Text(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
    out += c >= 0x20 && c < 0x7F && c != u'\\' ? std::string(1, char(c)) : std::string(escape);
  }
  return out;
}

template <class Object, class Item>
CComPtr<Item> Get(Object* object, HRESULT (Object::*get)(Item**)) {
  CComPtr<Item> item;
  EXPECT_EQ((object->*get)(&item), S_OK);
  return item;
}

// Everything a card holds on one line: property type, group, name,
// parameters (type, name, value) and decoded values, nested cards in
// braces. Round trips compare these.
inline std::string Dump(const cards::Card& card) {
  std::string out, between;
  for (const cards::Property p : card.GetProperties()) {
    out +=
        std::exchange(between, " / ") + std::to_string(p.Type()) + "[" + p.Group() + "]" + p.Name();
    for (const cards::Parameter q : p.GetParameters())
      out += ";" + std::to_string(q.Type()) + ":" + q.Name() + "=" + q.Text();
    char mark = ':';
    for (const cards::Value v : p.GetValues()) {
      const std::vector<std::byte> bytes = v.Bytes();
      out += std::exchange(mark, '|') + Text(v.Text16());
      if (auto date = v.Date()) out += "date:" + std::to_string(date->time_since_epoch().count());
      if (v.GetKind() == cards::Value::Kind::kBytes)
        out += "bytes:" + std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
      if (auto nested = v.NestedCard()) out += "card{" + Dump(*nested) + "}";
    }
  }
  return out;
}
inline std::string Dump(IVCardColl* collection) {
  std::string out;
  for (const cards::Card card : cards::Cards(CComPtr<IVCardColl>(collection)))
    out += Dump(card) + "\n";
  return out;
}

// Cards built from one line, through the public objects and the way the
// reader builds them (a value gets its parent before its content):
//   card      property / property / ...            ("": no properties)
//   property  NAME[group];PNAME=pvalue;...:value|value|...
//             (no ":": no values; no NAME: the name is never set)
//   value     file text (EncodedValue, each unit one byte), or
//             empty          a value never set
//             text:T date:N  a decoded text or date
//             bytes:B        decoded bytes, each unit one byte
//             orphan:T       a decoded text in a value without a parent: it
//                            cannot be encoded
//             card{card}     a nested card; "card" alone: the previous one again
//             self           the card being described (a loop)
// A backslash in a name takes the next character as it is.
class CardBuilder {
 public:
  ~CardBuilder() {  // Breaks the loops, so that their cards can go.
    for (IVCardValue* value : loops_) value->put_DecodedValue(CComVariant(u"x"));
  }
  CComPtr<IVCard> Build(std::u16string_view text) {
    CComPtr<IVCard> card = Create<IVCard>(CLSID_VCard);
    cards.push_back(card);
    if (text.empty()) return card;
    for (std::u16string_view property : Split(text, u" / "))
      EXPECT_EQ(Get(card.p, &IVCard::get_Properties)->Add(Property(property, card)), S_OK);
    return card;
  }
  std::vector<CComPtr<IVCard>> cards;  // Every card built, outermost first.

 private:
  // The parts of `text` between separators outside braces.
  static std::vector<std::u16string_view> Split(std::u16string_view text, std::u16string_view sep) {
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
  static CComBSTR Take(std::u16string_view& text, std::u16string_view stops) {
    const std::size_t end = std::min(text.find_first_of(stops), text.size());
    CComBSTR part = Bstr(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    return part;
  }

  CComPtr<IVCardProperty> Property(std::u16string_view text, IVCard* card) {
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

  void Set(IVCardValue* value, std::u16string_view text, IVCard* card) {
    const std::size_t colon = text.find(u':');
    const std::u16string_view kind = text.substr(0, colon == text.npos ? 0 : colon + 1);
    const std::u16string_view rest = text.substr(kind.size());
    const std::string bytes(rest.begin(), rest.end());  // Each unit one byte.
    CComVariant decoded;
    if (kind == u"text:" || kind == u"orphan:") {
      decoded.vt = VT_BSTR;
      decoded.bstrVal = Bstr(rest).Detach();
    } else if (kind == u"date:") {
      decoded.vt = VT_DATE;
      decoded.date = std::stod(bytes);
    } else if (kind == u"bytes:") {
      decoded.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
      decoded.vt = VT_ARRAY | VT_UI1;
      if (!bytes.empty()) std::memcpy(decoded.parray->pvData, bytes.data(), bytes.size());
    } else if (text == u"self" || text == u"card" || text.starts_with(u"card{")) {
      IVCard* nested = text == u"self" ? card : text == u"card" ? last_.p : nullptr;
      if (!nested) nested = last_ = Build(text.substr(5, text.size() - 6));
      if (text == u"self") loops_.push_back(value);
      decoded.vt = VT_UNKNOWN;
      decoded.punkVal = nested;
      nested->AddRef();
    } else {
      const std::string encoded_text(text.begin(), text.end());
      VARIANT encoded;  // Not owned: the text stays ours.
      VariantInit(&encoded);
      encoded.vt = VT_BYREF | VT_I1;
      encoded.pcVal = const_cast<char*>(encoded_text.data());
      EXPECT_EQ(value->put_EncodedValue(encoded), S_OK) << encoded_text;
      return;
    }
    // A value without a parent stores its text but refuses to encode it.
    EXPECT_EQ(value->put_DecodedValue(decoded), kind == u"orphan:" ? E_POINTER : S_OK);
  }

  CComPtr<IVCard> last_;
  std::vector<CComPtr<IVCardValue>> loops_;
};

// The file calls of the library (frame/file_calls.h), counted, with one of
// them failing (ENOSPC) for the lifetime of the object: the nth call of its
// kind, counted from 0. One at a time: the seam is process-wide.
enum class Call { kNone, kOpen, kWrite, kClose, kSync, kRename };
struct Failure {
  Call call = Call::kNone;
  int nth = 0;
};
class FailingFiles {
 public:
  explicit FailingFiles(Failure failure = {}) : failure_(failure) { current_ = this; }
  ~FailingFiles() { current_ = nullptr; }
  int Count(Call call) const { return counts_[static_cast<int>(call)]; }
  std::vector<std::string> modes;  // Of every open.

 private:
  static bool Fails(Call call) {
    FailingFiles& self = *current_;
    if (self.counts_[static_cast<int>(call)]++ != self.failure_.nth) return false;
    if (self.failure_.call != call) return false;
    errno = ENOSPC;
    return true;
  }
  static const frame::FileCalls& Calls() {
    static const frame::FileCalls& system = frame::SystemFileCalls();
    static frame::FileCalls calls = system;
    calls.fopen = [](const char* path, const char* mode) {
      current_->modes.push_back(mode);
      return Fails(Call::kOpen) ? nullptr : system.fopen(path, mode);
    };
    calls.fwrite = [](const void* data, std::size_t size, std::FILE* stream) {
      return Fails(Call::kWrite) ? 0 : system.fwrite(data, size, stream);
    };
    calls.fclose = [](std::FILE* stream) {  // The stream is gone either way.
      const int result = system.fclose(stream);
      return Fails(Call::kClose) ? EOF : result;
    };
    calls.sync = [](const char* path) { return Fails(Call::kSync) ? -1 : system.sync(path); };
    calls.rename = [](const char* from, const char* to) {
      return Fails(Call::kRename) ? -1 : system.rename(from, to);
    };
    return calls;
  }
  static inline FailingFiles* current_ = nullptr;
  Failure failure_;
  int counts_[6] = {};
  frame::ScopedFileCalls scope_{Calls()};
};

}  // namespace tarvovcard::writer::testing
