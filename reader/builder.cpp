#include "reader/builder.h"

#include <array>
#include <cstring>
#include <string>

#include "coding/charsets.h"
#include "coding/conversions.h"
#include "model/coding_rules.h"
#include "model/parameter.h"
#include "model/property.h"
#include "model/vocabulary.h"
#include "tarvovcard/text.h"

namespace tarvovcard::reader {
namespace {

using _com_util::CheckError;

// The canonical property names with their types, in 8-bit form, from the
// model's one list.
struct PropertyName {
  const char* name;
  EVCardProperty type;
};
#define TARVOVCARD_NARROW_ENTRY(name, type) {name, type},
constexpr PropertyName kPropertyNames[] = {TARVOVCARD_PROPERTY_NAMES(TARVOVCARD_NARROW_ENTRY)};
#undef TARVOVCARD_NARROW_ENTRY
constexpr int kPropertyNameCount = static_cast<int>(std::size(kPropertyNames));

// The parameter names the parser passes, as fixed strings.
constexpr const char* kParameterNames[] = {"TYPE", "VALUE", "ENCODING", "CHARSET", "LANGUAGE"};

// 8-bit text (ANSI code page) as a BSTR. ASCII, the usual case, is widened
// directly.
CComBSTR Widen(const char* text, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x80) return coding::NarrowToWide(text, false);
  }
  CComBSTR result;
  result.Attach(SysAllocStringLen(nullptr, static_cast<UINT>(length)));
  if (!result) _com_issue_error(E_OUTOFMEMORY);
  for (std::size_t i = 0; i < length; ++i) result.m_str[i] = static_cast<OLECHAR>(text[i]);
  return result;
}

// A file-system name (UTF-8) as a BSTR.
CComBSTR WidenFileSystemName(const std::string& name) {
  const char* text = name.c_str();
  std::size_t length = std::char_traits<char>::length(text);
  for (std::size_t i = 0; i < length; ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x80) return coding::NarrowToWide(text, true);
  }
  return Widen(text, length);
}

// A new object of the class, made by its class object. The class object is
// looked up once per Load and kept: a Load makes hundreds of thousands of
// objects, and a lookup per object would cost as much as the rest of making
// a value.
template <class Interface>
CComPtr<Interface> Create(CComPtr<IClassFactory>& factory, REFCLSID clsid) {
  if (!factory) {
    CheckError(CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                reinterpret_cast<void**>(&factory)));
  }
  CComPtr<Interface> object;
  CheckError(
      factory->CreateInstance(nullptr, uuidof<Interface>(), reinterpret_cast<void**>(&object)));
  return object;
}

// A failing step loses only what it would have added, except for a lack of
// memory: the steps after it would fail the same way, or worse, half build
// a card and report success, so the whole Load ends with E_OUTOFMEMORY and
// keeps the cards completed before it.
void EndLoadIfOutOfMemory(const _com_error& failure) {
  if (failure.Error() == E_OUTOFMEMORY) throw failure;
}

// A step whose status is otherwise not looked at.
void CheckMemory(HRESULT status) {
  if (status == E_OUTOFMEMORY) _com_issue_error(status);
}

// The candidates for a property name, by its length and its first letter: at
// most two names share both (UID and URL). Every property line of a file goes
// through this lookup, so it compares against one or two names, not all.
constexpr std::size_t kLongestPropertyName = 7;
struct Candidates {
  signed char index[2] = {-1, -1};
};
constexpr auto kCandidates = [] {
  std::array<std::array<Candidates, 26>, kLongestPropertyName + 1> table{};
  for (int i = 0; i < kPropertyNameCount; ++i) {
    const char* name = kPropertyNames[i].name;
    std::size_t length = std::char_traits<char>::length(name);
    Candidates& slot = table[length][static_cast<std::size_t>(name[0] - 'A')];
    slot.index[slot.index[0] < 0 ? 0 : 1] = static_cast<signed char>(i);
  }
  return table;
}();

// The position of a property name in kPropertyNames, letter case ignored; -1
// when there is none.
int FindPropertyName(const char* name) {
  std::size_t length = 0;
  while (name[length] && length <= kLongestPropertyName) ++length;
  if (length == 0 || length > kLongestPropertyName) return -1;
  char first = UpperAscii(name[0]);
  if (first < 'A' || first > 'Z') return -1;
  for (signed char i : kCandidates[length][static_cast<std::size_t>(first - 'A')].index) {
    if (i >= 0 && EqualsIgnoreAsciiCase(std::string_view(name, length), kPropertyNames[i].name))
      return i;
  }
  return -1;
}

}  // namespace

// One card on the stack, with what the builder keeps of its latest property
// while the property's line is read.
struct Builder::OpenCard {
  CComPtr<IVCard> card;  // null when the card could not be created
  CComPtr<IVCardPropertyColl> properties;
  CComPtr<IVCardProperty> latest;           // null when the line's property was refused
  CComPtr<IVCardParameterColl> parameters;  // of latest, fetched on first use
  CComPtr<IVCardValueColl> values;          // of latest, fetched on first use
  // latest has a CHARSET parameter; its first one names a set iconv
  // converts (not UTF-8, not ANSI) when converted_charset is not empty...
  bool charset_seen = false;
  std::string converted_charset;
  // ...and a value's text does not come back the same from that set (bytes
  // the set does not define became U+FFFD; an escape the set uses itself
  // was read as text): the property goes over to UTF-8 once all its values
  // are read (FinishProperty), so that Save writes what was read.
  bool wants_utf8 = false;
};

void Builder::FinishProperty(OpenCard& card) {
  // A property whose value went with a refused line (a BASE64 block the
  // grammar could not read) still stands for its line with an empty value:
  // that is what Save writes for it and what Load then reads back.
  if (card.latest && !card.values) AddTextValue(card, "");
  if (!card.wants_utf8) return;
  card.wants_utf8 = false;
  try {
    if (card.parameters) model::ReplaceParameters(card.parameters, VCARD_PARAM_CHARSET, u"UTF-8");
  } catch (const _com_error& failure) {
    EndLoadIfOutOfMemory(failure);
  }
}

Builder::Builder(IVCardColl* collection, ProblemLog& log) : collection_(collection), log_(log) {
  OpenCards.reserve(4);
  property_names_.reserve(kPropertyNameCount);
  for (const PropertyName& entry : kPropertyNames) {
    property_names_.push_back(Widen(entry.name, std::strlen(entry.name)));
  }
  for (const char* name : kParameterNames)
    parameter_names_.push_back(Widen(name, std::strlen(name)));
}

Builder::~Builder() = default;

void Builder::ClearOpenCards() {
  OpenCards.clear();
}

BSTR Builder::Recurring(const char* text) {
  std::string_view key(text);
  if (auto found = recurring_.find(key); found != recurring_.end()) return found->second;
  CComBSTR wide = Widen(text, key.size());
  if (key.size() > kRecurringLongest || recurring_.size() >= kRecurringLimit) {
    scratch_ = std::move(wide);
    return scratch_;
  }
  return recurring_.emplace(std::string(key), std::move(wide)).first->second;
}

void Builder::SetCurrentFile(const std::string& folder, const std::string& file_name) {
  folder_ = WidenFileSystemName(folder);
  file_name_ = WidenFileSystemName(file_name);
}

Builder::OpenCard* Builder::Innermost() {
  if (OpenCards.empty() || !OpenCards.back().card) return nullptr;
  return &OpenCards.back();
}

Builder::OpenCard* Builder::LatestProperty() {
  OpenCard* card = Innermost();
  return card && card->latest ? card : nullptr;
}

void Builder::OnBeginCard() {
  OpenCard open;
  try {
    open.card = Create<IVCard>(card_factory_, CLSID_VCard);
    CheckMemory(open.card->put_Filename(file_name_));
    CheckMemory(open.card->put_FolderPath(folder_));
    CheckError(open.card->get_Properties(&open.properties));
  } catch (const _com_error& failure) {
    EndLoadIfOutOfMemory(failure);
    // The card's lines are read all the same, into nothing, and its end
    // line pops this empty entry.
    open = OpenCard();
  }
  OpenCards.push_back(std::move(open));
}

void Builder::OnEndCard() {
  if (OpenCards.empty()) return;
  FinishProperty(OpenCards.back());
  CComPtr<IVCard> card = std::move(OpenCards.back().card);
  OpenCards.pop_back();
  if (!card) return;
  try {
    if (OpenCards.empty()) {
      CheckError(collection_->Add(card));
      return;
    }
    // A nested card belongs to the property whose line it follows (AGENT, or
    // any other that a client gave a card): the parent's latest property.
    OpenCard* parent = LatestProperty();
    if (!parent) return;
    DropLoneEmptyValue(*parent);
    VARIANT encoded;
    VariantInit(&encoded);
    encoded.vt = VT_UNKNOWN;
    encoded.punkVal = card;
    AddValue(*parent, encoded);
  } catch (const _com_error& failure) {
    EndLoadIfOutOfMemory(failure);
    // The card is dropped.
  }
}

void Builder::DropLoneEmptyValue(OpenCard& card) {
  if (!card.values) return;  // no value yet
  LONG count = 0;
  CheckError(card.values->get_Count(&count));
  if (count != 1) return;
  CComPtr<IVCardValue> value;
  CheckError(card.values->Item(0, &value));
  CComVariant decoded;
  CheckError(value->get_DecodedValue(&decoded));
  const bool empty = (decoded.vt == VT_BSTR && SysStringLen(decoded.bstrVal) == 0) ||
                     (decoded.vt == (VT_ARRAY | VT_UI1) && decoded.parray &&
                      decoded.parray->cDims == 1 && decoded.parray->rgsabound[0].cElements == 0);
  if (!empty) return;
  CheckError(card.values->Remove(0));
  log_.Repaired("an empty value before a nested card dropped");
}

void Builder::OnProperty(const char* name, const char* group) {
  OpenCard* card = Innermost();
  if (!card) return;
  FinishProperty(*card);
  card->latest.Release();
  card->parameters.Release();
  card->values.Release();
  card->charset_seen = false;
  card->converted_charset.clear();
  try {
    // Names from a file are matched without regard to letter case and
    // stored under their canonical name; "X-" names are kept as written.
    CComPtr<IVCardProperty> property =
        Create<IVCardProperty>(property_factory_, CLSID_VCardProperty);
    int found = -1;
    if (name[0] == 'X' && name[1] == '-') {
      CheckError(property->put_Name(Recurring(name)));
    } else if ((found = FindPropertyName(name)) >= 0) {
      CheckError(property->put_Name(property_names_[found]));
    } else if (model::VCardProperty* own = model::impl_from_IVCardProperty(property)) {
      // Outside the vocabulary: kept under the name as read. A property of
      // another module cannot take such a name, and the line is dropped.
      own->SetNameAsRead(CComBSTR(Recurring(name)));
      log_.Repaired("property name outside the vocabulary kept as read");
    } else {
      log_.Lost("property name outside the vocabulary: line dropped");
      return;
    }
    if (group[0]) CheckError(property->put_Group(Recurring(group)));
    CheckError(card->properties->Add(property));
    card->latest = std::move(property);
  } catch (const _com_error& failure) {
    EndLoadIfOutOfMemory(failure);
    // Not added: the line's parameters and values go nowhere.
  }
}

void Builder::OnParameter(const char* name, const char* value) {
  OpenCard* card = LatestProperty();
  if (!card) return;
  try {
    BSTR fixed = nullptr;
    for (int i = 0; i < 5; ++i) {
      if (std::strcmp(name, kParameterNames[i]) == 0) {
        fixed = parameter_names_[i];
        break;
      }
    }
    // A character set that cannot be decoded: the values are read in the
    // ANSI code page, as the value coding does for any name it lacks.
    if (fixed == parameter_names_[3] && !EqualsIgnoreAsciiCase(std::string_view(value), "UTF-8") &&
        !coding::KnowsCharset(value)) {
      log_.Repaired("unknown character set: values read as Windows-1252");
    } else if (fixed == parameter_names_[3] && !card->charset_seen &&
               !EqualsIgnoreAsciiCase(std::string_view(value), "UTF-8")) {
      card->converted_charset = value;
    }
    if (fixed == parameter_names_[3]) card->charset_seen = true;
    CComPtr<IVCardParameter> parameter =
        Create<IVCardParameter>(parameter_factory_, CLSID_VCardParameter);
    // Each Recurring text is handed over before the next is asked for.
    HRESULT named = parameter->put_Name(fixed ? fixed : Recurring(name));
    if (named == E_INVALIDARG) {
      // Outside the vocabulary (NOTE;FOO=bar): kept as read when the
      // parameter is the library's own, dropped otherwise.
      model::VCardParameter* own = model::impl_from_IVCardParameter(parameter);
      if (!own) {
        log_.Lost("parameter name outside the vocabulary: parameter dropped");
        return;
      }
      own->SetNameAsRead(CComBSTR(Recurring(name)));
      log_.Repaired("parameter name outside the vocabulary kept as read");
    } else {
      CheckError(named);
    }
    CheckError(parameter->put_Value(Recurring(value)));
    if (!card->parameters) CheckError(card->latest->get_Parameters(&card->parameters));
    CheckError(card->parameters->Add(parameter));
  } catch (const _com_error& failure) {
    EndLoadIfOutOfMemory(failure);
    // The parameter is not added.
  }
}

void Builder::AddValue(OpenCard& card, const VARIANT& encoded) {
  CComPtr<IVCardValue> value = Create<IVCardValue>(value_factory_, CLSID_VCardValue);
  // The parent first: the encoded text is decoded at once by the parent's
  // ENCODING and CHARSET parameters.
  CheckError(value->putref_Parent(card.latest));
  CheckError(value->put_EncodedValue(encoded));
  if (!card.values) CheckError(card.latest->get_Values(&card.values));
  CheckError(card.values->Add(value));
  if (!card.converted_charset.empty() && !card.wants_utf8 && encoded.vt == (VT_BYREF | VT_I1)) {
    CComVariant decoded;
    CheckError(value->get_DecodedValue(&decoded));
    if (decoded.vt == VT_BSTR) {
      bool lossless = true;
      const std::string written =
          coding::WideToCharset(decoded.bstrVal, card.converted_charset, &lossless);
      const CComBSTR read_back = coding::CharsetToWide(written.c_str(), card.converted_charset);
      if (!lossless || BstrView(read_back) != BstrView(decoded.bstrVal)) {
        card.wants_utf8 = true;
        log_.Repaired("text the character set cannot write back; the property kept in UTF-8");
      }
    }
  }
}

void Builder::AddTextValue(OpenCard& card, const char* text) {
  VARIANT encoded;
  VariantInit(&encoded);
  encoded.vt = VT_BYREF | VT_I1;
  encoded.pcVal = const_cast<char*>(text);
  try {
    AddValue(card, encoded);
  } catch (const _com_error& failure) {
    EndLoadIfOutOfMemory(failure);
    // The value is not added.
  }
}

void Builder::OnValue(const char* text) {
  OpenCard* card = LatestProperty();
  if (!card) return;
  // An absent value reaches here as its line feed.
  AddTextValue(*card, text[0] == '\n' && text[1] == '\0' ? "" : text);
}

void Builder::OnDateValue(const char* text) {
  OpenCard* card = LatestProperty();
  if (!card) return;
  VARIANT encoded;
  VariantInit(&encoded);
  encoded.vt = VT_DATE;
  encoded.date = coding::ParseDateText(text);
  // Text that is no date (BDAY:00719, REV:1) is kept as text, and written
  // back as read, instead of a date that could not be read.
  if (!coding::IsValidDate(encoded.date) && text[0] != '\0' && text[0] != '\n') {
    log_.Repaired("text that is no date kept as text");
    AddTextValue(*card, text);
    return;
  }
  try {
    AddValue(*card, encoded);
  } catch (const _com_error& failure) {
    EndLoadIfOutOfMemory(failure);
    // The value is not added.
  }
}

void Builder::OnDiscardProperty() {
  OpenCard* card = Innermost();
  if (!card || !card->latest) return;
  try {
    LONG count = 0;
    CheckError(card->properties->get_Count(&count));
    if (count > 0) CheckError(card->properties->Remove(count - 1));
  } catch (const _com_error& failure) {
    EndLoadIfOutOfMemory(failure);
  }
  card->latest.Release();
  card->parameters.Release();
  card->values.Release();
  card->wants_utf8 = false;
}

void Builder::OnComponent(const char* text) {
  OpenCard* card = LatestProperty();
  if (!card) return;
  AddTextValue(*card, text);
}

}  // namespace tarvovcard::reader
