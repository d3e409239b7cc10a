// Shared by the writer tests: cards built from one line of text, a dump of
// what a collection holds, and file calls that fail on request (the files
// themselves: writer_test_support.h).
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <tarvovcard/tarvovcard.h>

#include "frame/file_calls.h"
#include "writer_test_support.h"

namespace tarvovcard::writer::testing {

inline CComBSTR Bstr(std::u16string_view text) {
  CComBSTR b;
  b.Attach(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
  return b;
}
// A file name (8-bit, each byte one unit) or a list of them as a VARIANT.
inline CComVariant Name(const std::string& name) {
  return CComVariant(Bstr(std::u16string(name.begin(), name.end())));
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
// A reference count, seen through AddRef and Release.
inline ULONG References(IUnknown* object) {
  object->AddRef();
  return object->Release();
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
    CComPtr<IVCardPropertyColl> properties;
    EXPECT_EQ(card->get_Properties(&properties), S_OK);
    if (!text.empty()) {
      for (std::u16string_view property : Split(text, u" / ")) {
        EXPECT_EQ(properties->Add(Property(property, card)), S_OK);
      }
    }
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
  static std::u16string_view Until(std::u16string_view& text, std::u16string_view stops) {
    const std::size_t end = std::min(text.find_first_of(stops), text.size());
    std::u16string_view part = text.substr(0, end);
    text.remove_prefix(end);
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
    if (!name.empty()) {
      EXPECT_EQ(property->put_Name(Bstr(name)), S_OK) << "name";
    }
    if (!text.empty() && text[0] == u'[') {
      text.remove_prefix(1);
      EXPECT_EQ(property->put_Group(Bstr(Until(text, u"]"))), S_OK);
      text.remove_prefix(1);
    }
    CComPtr<IVCardParameterColl> parameters;
    EXPECT_EQ(property->get_Parameters(&parameters), S_OK);
    while (!text.empty() && text[0] == u';') {
      text.remove_prefix(1);
      CComPtr<IVCardParameter> parameter = Create<IVCardParameter>(CLSID_VCardParameter);
      EXPECT_EQ(parameter->put_Name(Bstr(Until(text, u"="))), S_OK) << "parameter name";
      text.remove_prefix(1);
      EXPECT_EQ(parameter->put_Value(Bstr(Until(text, u";:"))), S_OK);
      EXPECT_EQ(parameters->Add(parameter), S_OK);
    }
    if (text.empty()) return property;
    CComPtr<IVCardValueColl> values;
    EXPECT_EQ(property->get_Values(&values), S_OK);
    for (std::u16string_view value : Split(text.substr(1), u"|")) {
      CComPtr<IVCardValue> object = Create<IVCardValue>(CLSID_VCardValue);
      const bool orphan = value.starts_with(u"orphan:");
      if (!orphan) {
        EXPECT_EQ(object->putref_Parent(property), S_OK);
      }
      EXPECT_EQ(values->Add(object), S_OK);
      if (value != u"empty") Set(object, value, card);
    }
    return property;
  }

  void Set(IVCardValue* value, std::u16string_view text, IVCard* card) {
    auto after = [&](std::u16string_view prefix) {
      if (!text.starts_with(prefix)) return false;
      text.remove_prefix(prefix.size());
      return true;
    };
    const bool orphan = text.starts_with(u"orphan:");
    CComVariant decoded;
    std::string bytes(text.begin(), text.end());  // Each unit one byte.
    if (after(u"text:") || after(u"orphan:")) {
      decoded.vt = VT_BSTR;
      decoded.bstrVal = Bstr(text).Detach();
    } else if (after(u"date:")) {
      decoded.vt = VT_DATE;
      decoded.date = std::stod(bytes.substr(5));
    } else if (after(u"bytes:")) {
      decoded.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(text.size()));
      decoded.vt = VT_ARRAY | VT_UI1;
      if (!text.empty()) std::memcpy(decoded.parray->pvData, bytes.data() + 6, text.size());
    } else if (text == u"self" || text == u"card" || text.starts_with(u"card{")) {
      IVCard* nested = text == u"self" ? card : text == u"card" ? last_.p : nullptr;
      if (!nested) nested = last_ = Build(text.substr(5, text.size() - 6));
      if (text == u"self") loops_.push_back(value);
      decoded.vt = VT_UNKNOWN;
      decoded.punkVal = nested;
      nested->AddRef();
    } else {
      VARIANT encoded;  // Not owned: the text stays ours.
      VariantInit(&encoded);
      encoded.vt = VT_BYREF | VT_I1;
      encoded.pcVal = bytes.data();
      EXPECT_EQ(value->put_EncodedValue(encoded), S_OK) << bytes;
      return;
    }
    // A value without a parent stores its text but refuses to encode it.
    EXPECT_EQ(value->put_DecodedValue(decoded), orphan ? E_POINTER : S_OK);
  }

  CComPtr<IVCard> last_;
  std::vector<CComPtr<IVCardValue>> loops_;
};

inline std::string Text(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
    out += c >= 0x20 && c < 0x7F && c != u'\\' ? std::string(1, char(c)) : std::string(escape);
  }
  return out;
}
inline std::string Text(BSTR text) {
  return Text(std::u16string_view(text ? text : u"", SysStringLen(text)));
}

// Calls f(item, i) for every item of a collection of the object model.
template <class Item, class Collection, class F>
void ForEach(Collection* collection, F f) {
  LONG count = 0;
  EXPECT_EQ(collection->get_Count(&count), S_OK);
  for (LONG i = 0; i < count; ++i) {
    CComPtr<Item> item;
    EXPECT_EQ(collection->Item(i, &item), S_OK);
    f(item.p, i);
  }
}
template <class Object, class Item>
CComPtr<Item> Get(Object* object, HRESULT (Object::*get)(Item**)) {
  CComPtr<Item> item;
  EXPECT_EQ((object->*get)(&item), S_OK);
  return item;
}
template <class Object>
std::string Str(Object* object, HRESULT (Object::*get)(BSTR*)) {
  CComBSTR text;
  EXPECT_EQ((object->*get)(&text), S_OK);
  return Text(text);
}
template <class Object, class Kind>
std::string Num(Object* object, HRESULT (Object::*get)(Kind*)) {
  Kind kind{};
  EXPECT_EQ((object->*get)(&kind), S_OK);
  return std::to_string(static_cast<int>(kind));
}

// Everything a card holds on one line: property type, group, name,
// parameters (type, name, value) and decoded values, nested cards in
// braces. Round trips compare these.
inline std::string Dump(IVCard* card) {
  std::string out;
  ForEach<IVCardProperty>(Get(card, &IVCard::get_Properties).p, [&](IVCardProperty* p, LONG i) {
    out += (i ? " / " : "") + Num(p, &IVCardProperty::get_Type) + "[" +
           Str(p, &IVCardProperty::get_Group) + "]" + Str(p, &IVCardProperty::get_Name);
    ForEach<IVCardParameter>(Get(p, &IVCardProperty::get_Parameters).p, [&](auto* q, LONG) {
      out += ";" + Num(q, &IVCardParameter::get_Type) + ":" + Str(q, &IVCardParameter::get_Name) +
             "=" + Str(q, &IVCardParameter::get_Value);
    });
    ForEach<IVCardValue>(Get(p, &IVCardProperty::get_Values).p, [&](IVCardValue* value, LONG k) {
      CComVariant v;
      EXPECT_EQ(value->get_DecodedValue(&v), S_OK);
      out += k ? "|" : ":";
      if (v.vt == VT_BSTR) out += Text(v.bstrVal);
      if (v.vt == VT_DATE) out += "date:" + std::to_string(v.date);
      if (v.vt == (VT_ARRAY | VT_UI1)) {
        const auto* bytes = static_cast<const unsigned char*>(v.parray->pvData);
        out += "bytes:" + Text(std::u16string(bytes, bytes + v.parray->rgsabound[0].cElements));
      }
      CComPtr<IVCard> nested;
      if (v.vt == VT_UNKNOWN && v.punkVal->QueryInterface(IID_IVCard, (void**)&nested) == S_OK)
        out += "card{" + Dump(nested) + "}";
    });
  });
  return out;
}
inline std::string Dump(IVCardColl* collection) {
  std::string out;
  ForEach<IVCard>(collection, [&](IVCard* card, LONG) { out += Dump(card) + "\n"; });
  return out;
}

// What to make fail. Errors are ENOSPC unless `error` says otherwise.
struct Failures {
  int write_at = -1;  // The first write that fails (counted from 0); later ones fail too.
  int close_at = -1;  // The one close that fails (counted from 0).
  bool open = false, sync = false, rename = false;
  int error = ENOSPC;
};

// The file calls of the library (frame/file_calls.h), failing as asked for
// the lifetime of the object, and counted. One at a time: the seam is
// process-wide.
class FailingFiles : public Failures {
 public:
  explicit FailingFiles(Failures failures = {}) : Failures(failures) { Current() = this; }
  ~FailingFiles() { Current() = nullptr; }
  int writes = 0, closes = 0;
  std::vector<std::string> modes;  // Of every open.

 private:
  static FailingFiles*& Current() {
    static FailingFiles* current = nullptr;
    return current;
  }
  static int Fail(int error) {
    errno = error;
    return -1;
  }
  static const frame::FileCalls& Calls() {
    static const frame::FileCalls& system = frame::SystemFileCalls();
    static const frame::FileCalls calls = {
        system.open,
        system.read,
        system.close,
        [](const char* path, const char* mode) -> std::FILE* {
          Current()->modes.push_back(mode);
          if (Current()->open) return Fail(Current()->error), nullptr;
          return system.fopen(path, mode);
        },
        [](const void* data, std::size_t size, std::FILE* stream) -> std::size_t {
          FailingFiles& self = *Current();
          if (self.writes++ >= self.write_at && self.write_at >= 0) return Fail(self.error), 0;
          return system.fwrite(data, size, stream);
        },
        [](std::FILE* stream) -> int {
          const int result = system.fclose(stream);
          return Current()->closes++ == Current()->close_at ? Fail(Current()->error), EOF : result;
        },
        system.remove,
        [](const char* path) { return Current()->sync ? Fail(EIO) : system.sync(path); },
        [](const char* from, const char* to) {
          return Current()->rename ? Fail(EACCES) : system.rename(from, to);
        },
    };
    return calls;
  }
  frame::ScopedFileCalls scope_{Calls()};
};

}  // namespace tarvovcard::writer::testing
