// The C++ face of the library: cards, properties, parameters and values as
// small value types over the interfaces, text as UTF-8 std::string (or
// std::u16string), dates as std::chrono time points, byte arrays as
// std::vector<std::byte>, collections that range-for walks, and failures as
// exceptions that carry the status.
//
//   #include <tarvovcard/cards.hpp>
//   namespace tc = tarvovcard::cards;
//   tc::Cards book = tc::Cards::Load("contacts.vcf");
//   for (tc::Card card : book)
//     for (tc::Property tel : card.Find("TEL"))
//       std::cout << card.Text("FN") << ": " << tel.Text() << '\n';
//   book.Save("contacts.vcf");
//
// Header-only and built on the public interfaces alone: every object here
// holds one counted reference to the interface it wraps (Get() lends it) and
// owns nothing the interfaces do not. Copies share the object, as the
// interfaces do. Positions count from 0.
//
// Errors: every operation throws cards::Error, which carries the library's
// status (Error::Status()) and a message that names the step and the meaning
// of the status. Loading and saving have non-throwing forms (TryLoad,
// TrySave, TrySaveAsXML) that return the status instead.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "tarvovcard/status.h"
#include "tarvovcard/tarvovcard.h"
#include "tarvovcard/text.h"

namespace tarvovcard::cards {

// A failure of the library: the status and "STEP: 0x80070002 no such file".
class Error : public std::runtime_error {
 public:
  Error(HRESULT status, const std::string& step)
      : std::runtime_error(step + ": " + Format(status) + " " + StatusMeaning(status)),
        status_(status) {}
  HRESULT Status() const noexcept { return status_; }

 private:
  static std::string Format(HRESULT status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
    return text;
  }
  HRESULT status_;
};

// Dates are whole seconds, as a vCard writes them ("19960415T083000"); no zone
// arithmetic is done, so a date reads as the clock time the file gives.
using DateTime = std::chrono::sys_seconds;

namespace detail {

inline void Check(HRESULT status, const char* step) {
  if (FAILED(status)) throw Error(status, step);
}

inline std::string Utf8(BSTR text) {
  return ToUtf8(BstrView(text));
}

inline CComBSTR Bstr(std::u16string_view text) {
  CComBSTR result(text.data(), static_cast<UINT>(text.size()));
  if (!result) throw Error(E_OUTOFMEMORY, "allocating a string");
  return result;
}

inline CComBSTR Bstr(std::string_view utf8) {
  return Bstr(std::u16string_view(FromUtf8(utf8)));
}

template <class Interface>
CComPtr<Interface> Create(REFCLSID clsid, const char* step) {
  CComPtr<Interface> object;
  Check(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, uuidof<Interface>(),
                         reinterpret_cast<void**>(&object)),
        step);
  return object;
}

// The elements of a collection interface, each wrapped as Wrapper; walked by
// position, so the collection may be changed between steps.
template <class Wrapper, class Collection, class Element>
class Range {
 public:
  explicit Range(CComPtr<Collection> collection) : collection_(std::move(collection)) {}

  std::size_t size() const {
    LONG count = 0;
    Check(collection_->get_Count(&count), "counting a collection");
    return static_cast<std::size_t>(count);
  }
  bool empty() const { return size() == 0; }
  Wrapper operator[](std::size_t position) const {
    CComPtr<Element> element;
    Check(collection_->Item(static_cast<LONG>(position), &element), "reading an element");
    return Wrapper(std::move(element));
  }
  // Adds an element at the end.
  void Add(const Wrapper& element) { Check(collection_->Add(element.Get()), "adding an element"); }
  // Removes the element at the position.
  void Remove(std::size_t position) {
    Check(collection_->Remove(static_cast<LONG>(position)), "removing an element");
  }

  class iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = Wrapper;
    using difference_type = std::ptrdiff_t;
    iterator() = default;
    iterator(CComPtr<Collection> collection, std::size_t position)
        : range_(std::move(collection)), position_(position) {}
    Wrapper operator*() const { return range_[position_]; }
    iterator& operator++() {
      ++position_;
      return *this;
    }
    iterator operator++(int) {
      iterator before = *this;
      ++position_;
      return before;
    }
    bool operator==(const iterator& other) const { return position_ == other.position_; }

   private:
    // The iterator holds the collection: the range it came from may be a
    // temporary.
    Range range_{nullptr};
    std::size_t position_ = 0;
  };
  iterator begin() const { return iterator(collection_, 0); }
  iterator end() const { return iterator(collection_, size()); }

  Collection* Get() const noexcept { return collection_; }

 private:
  CComPtr<Collection> collection_;
};

inline DateTime FromDate(DATE date) {
  SYSTEMTIME t{};
  if (!VariantTimeToSystemTime(date, &t)) throw Error(E_INVALIDARG, "reading a date");
  const std::chrono::year_month_day day{std::chrono::year(t.wYear), std::chrono::month(t.wMonth),
                                        std::chrono::day(t.wDay)};
  return std::chrono::sys_days(day) + std::chrono::hours(t.wHour) +
         std::chrono::minutes(t.wMinute) + std::chrono::seconds(t.wSecond);
}

inline DATE ToDate(DateTime when) {
  const auto day = std::chrono::floor<std::chrono::days>(when);
  const std::chrono::year_month_day ymd(day);
  const std::chrono::hh_mm_ss clock(when - day);
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(static_cast<int>(ymd.year()));
  t.wMonth = static_cast<WORD>(static_cast<unsigned>(ymd.month()));
  t.wDay = static_cast<WORD>(static_cast<unsigned>(ymd.day()));
  t.wHour = static_cast<WORD>(clock.hours().count());
  t.wMinute = static_cast<WORD>(clock.minutes().count());
  t.wSecond = static_cast<WORD>(clock.seconds().count());
  DATE date = 0;
  if (!SystemTimeToVariantTime(&t, &date)) throw Error(E_INVALIDARG, "writing a date");
  return date;
}

}  // namespace detail

class Card;

// One value of a property: text, a date, bytes or a nested card.
class Value {
 public:
  enum class Kind { kEmpty, kText, kDate, kBytes, kCard };

  explicit Value(CComPtr<IVCardValue> value) : value_(std::move(value)) {}

  Kind GetKind() const {
    const CComVariant v = Decoded();
    switch (v.vt) {
      case VT_BSTR:
        return Kind::kText;
      case VT_DATE:
        return Kind::kDate;
      case VT_UNKNOWN:
        return Kind::kCard;
      case VT_ARRAY | VT_UI1:
        return Kind::kBytes;
      default:
        return Kind::kEmpty;
    }
  }
  // The text of a text value, UTF-8; empty for any other kind.
  std::string Text() const { return ToUtf8(Text16()); }
  std::u16string Text16() const {
    const CComVariant v = Decoded();
    return v.vt == VT_BSTR ? std::u16string(BstrView(v.bstrVal)) : std::u16string();
  }
  // The date of a date value (BDAY, REV); nothing for any other kind.
  std::optional<DateTime> Date() const {
    const CComVariant v = Decoded();
    if (v.vt != VT_DATE) return std::nullopt;
    return detail::FromDate(v.date);
  }
  // The bytes of a BASE64 value (PHOTO, SOUND, KEY); empty for any other kind.
  std::vector<std::byte> Bytes() const {
    const CComVariant v = Decoded();
    std::vector<std::byte> bytes;
    if (v.vt != (VT_ARRAY | VT_UI1) || !v.parray) return bytes;
    LONG low = 0, high = -1;
    SafeArrayGetLBound(v.parray, 1, &low);
    SafeArrayGetUBound(v.parray, 1, &high);
    void* data = nullptr;
    detail::Check(SafeArrayAccessData(v.parray, &data), "reading bytes");
    const auto* first = static_cast<const std::byte*>(data);
    bytes.assign(first, first + (high - low + 1));
    SafeArrayUnaccessData(v.parray);
    return bytes;
  }
  // The nested card of an AGENT value.
  std::optional<Card> NestedCard() const;

  // Sets the decoded text; the property's ENCODING and CHARSET follow as the
  // text needs (quoted-printable for line breaks, UTF-8 beyond the code page).
  void SetText(std::string_view utf8) { SetText(std::u16string_view(FromUtf8(utf8))); }
  void SetText(std::u16string_view text) {
    CComVariant v;
    v.vt = VT_BSTR;
    v.bstrVal = detail::Bstr(text).Detach();
    detail::Check(value_->put_DecodedValue(v), "setting a text value");
  }
  void SetDate(DateTime when) {
    CComVariant v;
    v.vt = VT_DATE;
    v.date = detail::ToDate(when);
    detail::Check(value_->put_DecodedValue(v), "setting a date value");
  }
  // Sets bytes; the property's ENCODING becomes BASE64.
  void SetBytes(std::span<const std::byte> bytes) {
    CComVariant v;
    v.vt = VT_ARRAY | VT_UI1;
    v.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (!v.parray) throw Error(E_OUTOFMEMORY, "setting bytes");
    void* data = nullptr;
    detail::Check(SafeArrayAccessData(v.parray, &data), "setting bytes");
    if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    SafeArrayUnaccessData(v.parray);
    detail::Check(value_->put_DecodedValue(v), "setting a byte value");
  }

  IVCardValue* Get() const noexcept { return value_; }

 private:
  CComVariant Decoded() const {
    CComVariant v;
    detail::Check(value_->get_DecodedValue(&v), "reading a value");
    return v;
  }
  CComPtr<IVCardValue> value_;
};

// One parameter of a property: TYPE=HOME, ENCODING=BASE64, X-FOO=bar.
class Parameter {
 public:
  explicit Parameter(CComPtr<IVCardParameter> parameter) : parameter_(std::move(parameter)) {}

  EVCardParameter Type() const {
    EVCardParameter type = VCARD_PARAM_UNKNOWN;
    detail::Check(parameter_->get_Type(&type), "reading a parameter type");
    return type;
  }
  std::string Name() const { return Read(&IVCardParameter::get_Name, "reading a parameter name"); }
  std::string Text() const {
    return Read(&IVCardParameter::get_Value, "reading a parameter value");
  }
  void SetText(std::string_view utf8) {
    detail::Check(parameter_->put_Value(detail::Bstr(utf8)), "setting a parameter value");
  }
  IVCardParameter* Get() const noexcept { return parameter_; }

 private:
  std::string Read(HRESULT (STDMETHODCALLTYPE IVCardParameter::*get)(BSTR*),
                   const char* step) const {
    CComBSTR text;
    detail::Check((parameter_->*get)(&text), step);
    return detail::Utf8(text);
  }
  CComPtr<IVCardParameter> parameter_;
};

using Parameters = detail::Range<Parameter, IVCardParameterColl, IVCardParameter>;
using Values = detail::Range<Value, IVCardValueColl, IVCardValue>;

// The components of N, ADR and ORG by name, for Property::Part.
enum class Part {
  // N
  kFamilyName,
  kGivenName,
  kAdditionalNames,
  kNamePrefix,
  kNameSuffix,
  // ADR
  kPostOfficeAddress,
  kExtended,
  kStreet,
  kLocality,
  kRegion,
  kPostalCode,
  kCountry,
  // ORG
  kOrganisationName,
  kOrganisationalUnit,
};

// One property line of a card: a name ("TEL", "X-SKYPE"), an optional group,
// parameters and values.
class Property {
 public:
  explicit Property(CComPtr<IVCardProperty> property) : property_(std::move(property)) {}

  // A new property named `name` with one text value (none when `text` is
  // empty), not yet in any card: Card::Add puts it there.
  static Property New(std::string_view name, std::string_view text = {}) {
    Property property(detail::Create<IVCardProperty>(CLSID_VCardProperty, "creating a property"));
    detail::Check(property.property_->put_Name(detail::Bstr(name)), "naming a property");
    if (!text.empty()) property.SetText(text);
    return property;
  }

  EVCardProperty Type() const {
    EVCardProperty type = VCARD_PROP_UNKNOWN;
    detail::Check(property_->get_Type(&type), "reading a property type");
    return type;
  }
  std::string Name() const {
    CComBSTR name;
    detail::Check(property_->get_Name(&name), "reading a property name");
    return detail::Utf8(name);
  }
  std::string Group() const {
    CComBSTR group;
    detail::Check(property_->get_Group(&group), "reading a property group");
    return detail::Utf8(group);
  }
  Parameters GetParameters() const {
    CComPtr<IVCardParameterColl> parameters;
    detail::Check(property_->get_Parameters(&parameters), "reading the parameters");
    return Parameters(std::move(parameters));
  }
  Values GetValues() const {
    CComPtr<IVCardValueColl> values;
    detail::Check(property_->get_Values(&values), "reading the values");
    return Values(std::move(values));
  }

  // The text of the first value ("" without one); the components of N, ADR
  // and ORG are values of their own (Part, GetValues).
  std::string Text() const {
    const Values values = GetValues();
    return values.empty() ? std::string() : values[0].Text();
  }
  // Sets the first value's text, adding a value when there is none.
  void SetText(std::string_view utf8) {
    Values values = GetValues();
    if (values.empty()) {
      Value value(detail::Create<IVCardValue>(CLSID_VCardValue, "creating a value"));
      // The parent first: a value's coding follows its property's parameters.
      detail::Check(value.Get()->putref_Parent(property_), "setting a value's property");
      value.SetText(utf8);
      values.Add(value);
      return;
    }
    values[0].SetText(utf8);
  }

  // The values of the TYPE parameters, in order ("HOME", "VOICE").
  std::vector<std::string> Types() const {
    std::vector<std::string> types;
    for (const Parameter parameter : GetParameters()) {
      if (parameter.Type() == VCARD_PARAM_TYPE) types.push_back(parameter.Text());
    }
    return types;
  }
  // True when a TYPE parameter has the value, ASCII letter case aside.
  bool HasType(std::string_view type) const {
    for (const std::string& t : Types()) {
      if (EqualsIgnoreAsciiCase(std::string_view(t), type)) return true;
    }
    return false;
  }
  // Adds a parameter (a TYPE word when `name` is "TYPE").
  void AddParameter(std::string_view name, std::string_view value) {
    Parameter parameter(
        detail::Create<IVCardParameter>(CLSID_VCardParameter, "creating a parameter"));
    detail::Check(parameter.Get()->put_Name(detail::Bstr(name)), "naming a parameter");
    parameter.SetText(value);
    GetParameters().Add(parameter);
  }

  // A named component of N, ADR or ORG; throws Error(E_NOTIMPL) when the
  // property is of another type.
  std::string GetPart(Part part) const {
    CComBSTR text;
    detail::Check(CallPart(part, &text, nullptr), "reading a component");
    return detail::Utf8(text);
  }
  void SetPart(Part part, std::string_view utf8) {
    const CComBSTR text = detail::Bstr(utf8);
    detail::Check(CallPart(part, nullptr, text), "setting a component");
  }

  IVCardProperty* Get() const noexcept { return property_; }

 private:
  // Reads into *out, or writes `in`, through the view the part belongs to.
  HRESULT CallPart(Part part, BSTR* out, BSTR in) const {
    const int p = static_cast<int>(part);
    if (p <= static_cast<int>(Part::kNameSuffix)) {
      CComPtr<IVCardPropertyName> n;
      if (HRESULT hr = property_->get_AsName(&n); FAILED(hr)) return hr;
      using Get = HRESULT (STDMETHODCALLTYPE IVCardPropertyName::*)(BSTR*);
      using Put = HRESULT (STDMETHODCALLTYPE IVCardPropertyName::*)(BSTR);
      static constexpr Get gets[] = {
          &IVCardPropertyName::get_FamilyName, &IVCardPropertyName::get_GivenName,
          &IVCardPropertyName::get_AdditionalNames, &IVCardPropertyName::get_NamePrefix,
          &IVCardPropertyName::get_NameSuffix};
      static constexpr Put puts[] = {
          &IVCardPropertyName::put_FamilyName, &IVCardPropertyName::put_GivenName,
          &IVCardPropertyName::put_AdditionalNames, &IVCardPropertyName::put_NamePrefix,
          &IVCardPropertyName::put_NameSuffix};
      return out ? (n->*gets[p])(out) : (n->*puts[p])(in);
    }
    if (p <= static_cast<int>(Part::kCountry)) {
      CComPtr<IVCardPropertyAddress> a;
      if (HRESULT hr = property_->get_AsAddress(&a); FAILED(hr)) return hr;
      using Get = HRESULT (STDMETHODCALLTYPE IVCardPropertyAddress::*)(BSTR*);
      using Put = HRESULT (STDMETHODCALLTYPE IVCardPropertyAddress::*)(BSTR);
      static constexpr Get gets[] = {&IVCardPropertyAddress::get_PostOfficeAddress,
                                     &IVCardPropertyAddress::get_Extended,
                                     &IVCardPropertyAddress::get_Street,
                                     &IVCardPropertyAddress::get_Locality,
                                     &IVCardPropertyAddress::get_Region,
                                     &IVCardPropertyAddress::get_PostalCode,
                                     &IVCardPropertyAddress::get_Country};
      static constexpr Put puts[] = {&IVCardPropertyAddress::put_PostOfficeAddress,
                                     &IVCardPropertyAddress::put_Extended,
                                     &IVCardPropertyAddress::put_Street,
                                     &IVCardPropertyAddress::put_Locality,
                                     &IVCardPropertyAddress::put_Region,
                                     &IVCardPropertyAddress::put_PostalCode,
                                     &IVCardPropertyAddress::put_Country};
      const int i = p - static_cast<int>(Part::kPostOfficeAddress);
      return out ? (a->*gets[i])(out) : (a->*puts[i])(in);
    }
    CComPtr<IVCardPropertyOrganisation> o;
    if (HRESULT hr = property_->get_AsOrganisation(&o); FAILED(hr)) return hr;
    if (part == Part::kOrganisationName) {
      return out ? o->get_OrganisationName(out) : o->put_OrganisationName(in);
    }
    return out ? o->get_OrganisationalUnit(out) : o->put_OrganisationalUnit(in);
  }

  CComPtr<IVCardProperty> property_;
};

using Properties = detail::Range<Property, IVCardPropertyColl, IVCardProperty>;

// One card.
class Card {
 public:
  explicit Card(CComPtr<IVCard> card) : card_(std::move(card)) {}

  // A new empty card, not yet in any collection: Cards::Add puts it there.
  static Card New() { return Card(detail::Create<IVCard>(CLSID_VCard, "creating a card")); }

  Properties GetProperties() const {
    CComPtr<IVCardPropertyColl> properties;
    detail::Check(card_->get_Properties(&properties), "reading the properties");
    return Properties(std::move(properties));
  }
  // The properties named exactly `name` ("TEL", "X-SKYPE"), in order.
  std::vector<Property> Find(std::string_view name) const {
    CComPtr<IVCardPropertyColl> selected;
    detail::Check(card_->QueryPropertyByName(detail::Bstr(name), &selected), "querying by name");
    return Collect(selected);
  }
  // The properties named `name` whose `parameter` parameters hold every one
  // of `values` (";"-separated, ASCII case aside): ("TEL", VCARD_PARAM_TYPE,
  // "home;voice").
  std::vector<Property> Find(std::string_view name, EVCardParameter parameter,
                             std::string_view values) const {
    CComPtr<IVCardPropertyColl> selected;
    detail::Check(card_->QueryPropertyByNameAndParameter(detail::Bstr(name), parameter,
                                                         detail::Bstr(values), &selected),
                  "querying by name and parameter");
    return Collect(selected);
  }
  // The text of the first property named `name`, "" without one.
  std::string Text(std::string_view name) const {
    const std::vector<Property> found = Find(name);
    return found.empty() ? std::string() : found.front().Text();
  }
  // Adds a property at the end and returns it.
  Property Add(const Property& property) {
    GetProperties().Add(property);
    return property;
  }
  Property Add(std::string_view name, std::string_view text) {
    return Add(Property::New(name, text));
  }

  // The folder and the file name the card was read from.
  std::string Folder() const {
    CComBSTR text;
    detail::Check(card_->get_FolderPath(&text), "reading the folder");
    return detail::Utf8(text);
  }
  std::string File() const {
    CComBSTR text;
    detail::Check(card_->get_Filename(&text), "reading the file name");
    return detail::Utf8(text);
  }

  IVCard* Get() const noexcept { return card_; }

 private:
  static std::vector<Property> Collect(IVCardPropertyColl* selected) {
    std::vector<Property> result;
    for (Property p : cards::Properties(CComPtr<IVCardPropertyColl>(selected))) {
      result.push_back(std::move(p));
    }
    return result;
  }
  CComPtr<IVCard> card_;
};

inline std::optional<Card> Value::NestedCard() const {
  const CComVariant v = Decoded();
  if (v.vt != VT_UNKNOWN || !v.punkVal) return std::nullopt;
  CComPtr<IVCard> card;
  detail::Check(v.punkVal->QueryInterface(IID_IVCard, reinterpret_cast<void**>(&card)),
                "reading a nested card");
  return Card(std::move(card));
}

// One line of the latest Load that could not be read or was repaired.
struct Problem {
  std::string file;
  long line = 0;      // from 1
  bool lost = false;  // true when data was dropped, false for a repair
  std::string message;
  std::string text;  // the line as read
};

// A collection of cards: what Load reads, what Save writes.
class Cards {
 public:
  Cards() : cards_(detail::Create<IVCardColl>(CLSID_VCardColl, "creating a collection")) {}
  explicit Cards(CComPtr<IVCardColl> cards) : cards_(std::move(cards)) {}

  // Reads one file or several. Throws Error for a file that cannot be read
  // at all; lines that could not be read are kept out and listed in
  // Problems() (Complete() is then false), and the rest is here.
  static Cards Load(const std::filesystem::path& file) { return Load(std::vector{file}); }
  static Cards Load(const std::vector<std::filesystem::path>& files) {
    Cards cards;
    const HRESULT status = cards.TryLoad(files);
    if (FAILED(status) && status != HRESULT_FROM_WIN32(ERROR_INVALID_DATA)) {
      throw Error(status, "loading " + (files.empty() ? std::string() : files.back().string()));
    }
    return cards;
  }
  // Reads vCard text held in memory.
  static Cards Parse(std::string_view text) {
    const Scratch scratch;
    {
      std::ofstream out(scratch.Path(), std::ios::binary);
      out.write(text.data(), static_cast<std::streamsize>(text.size()));
      if (!out) throw Error(E_FAIL, "writing a scratch file");
    }
    return Load(scratch.Path());
  }
  // The non-throwing Load: the collection is emptied, and the status of the
  // last file returned (S_OK; 0x8007000D when a line could not be read; the
  // failure of a file that could not be read at all).
  HRESULT TryLoad(const std::vector<std::filesystem::path>& files) noexcept {
    try {
      CComVariant argument;
      if (files.size() == 1) {
        argument = CComVariant(detail::Bstr(std::string_view(files[0].string())));
      } else {
        SAFEARRAY* list = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(files.size()));
        if (!list) return E_OUTOFMEMORY;
        for (LONG i = 0; i < static_cast<LONG>(files.size()); ++i) {
          const CComBSTR name = detail::Bstr(std::string_view(files[i].string()));
          if (HRESULT hr = SafeArrayPutElement(list, &i, name.m_str); FAILED(hr)) {
            SafeArrayDestroy(list);
            return hr;
          }
        }
        argument.vt = VT_ARRAY | VT_BSTR;
        argument.parray = list;
      }
      return cards_->Load(argument);
    } catch (const Error& e) {
      return e.Status();
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

  std::size_t size() const { return Range().size(); }
  bool empty() const { return size() == 0; }
  Card operator[](std::size_t position) const { return Range()[position]; }
  auto begin() const { return Range().begin(); }
  auto end() const { return Range().end(); }
  // Adds a card at the end and returns it.
  Card Add(const Card& card) {
    detail::Check(cards_->Add(card.Get()), "adding a card");
    return card;
  }
  void Remove(std::size_t position) {
    detail::Check(cards_->Remove(static_cast<LONG>(position)), "removing a card");
  }

  // Writes every card as vCard 2.1 text into `file` (replaced whole or not
  // at all).
  void Save(const std::filesystem::path& file) const {
    detail::Check(TrySave(file), ("saving " + file.string()).c_str());
  }
  // Writes the cards as UTF-16 XML; `stylesheet` (when given) is the href of
  // an XSL stylesheet the document names.
  void SaveAsXML(const std::filesystem::path& file, std::string_view stylesheet = {}) const {
    detail::Check(TrySaveAsXML(file, stylesheet), ("saving " + file.string()).c_str());
  }
  HRESULT TrySave(const std::filesystem::path& file) const noexcept {
    try {
      return cards_->Save(CComVariant(detail::Bstr(std::string_view(file.string()))));
    } catch (const Error& e) {
      return e.Status();
    }
  }
  HRESULT TrySaveAsXML(const std::filesystem::path& file,
                       std::string_view stylesheet = {}) const noexcept {
    try {
      return cards_->SaveAsXML(CComVariant(detail::Bstr(std::string_view(file.string()))),
                               detail::Bstr(stylesheet));
    } catch (const Error& e) {
      return e.Status();
    }
  }
  // The cards as vCard 2.1 text (CR LF line ends), as Save writes them.
  std::string ToVCard() const {
    const Scratch scratch;
    Save(scratch.Path());
    return scratch.Read();
  }
  // The cards as XML, as SaveAsXML writes them (UTF-16 text).
  std::u16string ToXML(std::string_view stylesheet = {}) const {
    const Scratch scratch;
    SaveAsXML(scratch.Path(), stylesheet);
    const std::string bytes = scratch.Read();
    std::u16string text(bytes.size() / 2, u'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * 2);
    if (!text.empty() && text[0] == u'\uFEFF') text.erase(0, 1);
    return text;
  }

  // What the latest Load could not read or repaired, in order.
  std::vector<Problem> Problems() const {
    CComPtr<IVCardLoadReport> report;
    detail::Check(cards_->QueryInterface(IID_IVCardLoadReport, reinterpret_cast<void**>(&report)),
                  "reading the load report");
    LONG count = 0;
    detail::Check(report->get_ProblemCount(&count), "reading the load report");
    std::vector<Problem> problems;
    for (LONG i = 0; i < count; ++i) {
      Problem p;
      CComBSTR file, message, text;
      LONG line = 0;
      VARIANT_BOOL lost = VARIANT_FALSE;
      detail::Check(report->get_File(i, &file), "reading the load report");
      detail::Check(report->get_Line(i, &line), "reading the load report");
      detail::Check(report->get_Lost(i, &lost), "reading the load report");
      detail::Check(report->get_Message(i, &message), "reading the load report");
      detail::Check(report->get_Text(i, &text), "reading the load report");
      p.file = detail::Utf8(file);
      p.line = line;
      p.lost = lost != VARIANT_FALSE;
      p.message = detail::Utf8(message);
      p.text = detail::Utf8(text);
      problems.push_back(std::move(p));
    }
    return problems;
  }
  // True when the latest Load lost nothing.
  bool Complete() const {
    for (const Problem& p : Problems()) {
      if (p.lost) return false;
    }
    return true;
  }

  IVCardColl* Get() const noexcept { return cards_; }

 private:
  using CardRange = detail::Range<Card, IVCardColl, IVCard>;
  CardRange Range() const { return CardRange(cards_); }

  // A file name in a folder of its own under the system's temporary folder,
  // removed with the folder when the object goes.
  class Scratch {
   public:
    Scratch() {
      std::string folder = (std::filesystem::temp_directory_path() / "tarvovcard-XXXXXX").string();
      if (!mkdtemp(folder.data())) throw Error(E_FAIL, "making a scratch folder");
      folder_ = folder;
    }
    ~Scratch() {
      std::error_code ignored;
      std::filesystem::remove_all(folder_, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    std::filesystem::path Path() const { return folder_ / "cards"; }
    std::string Read() const {
      std::ifstream in(Path(), std::ios::binary);
      std::ostringstream text;
      text << in.rdbuf();
      return text.str();
    }

   private:
    std::filesystem::path folder_;
  };

  CComPtr<IVCardColl> cards_;
};

}  // namespace tarvovcard::cards
