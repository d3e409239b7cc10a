// The model builder: turns the events of the parser into objects of the
// object model. A VCard per card, a VCardProperty per property line, a
// VCardParameter per parameter and a VCardValue per value or component, all
// made by the class objects of their classes.
//
// Cards that are open (begun and not yet ended) stand on a stack, so that a
// card nested in an AGENT property is built apart from its parent and then
// attached to the AGENT property whose line it follows. Parameter and value
// events go to the latest property of the innermost open card: the property
// of the same line. A name outside the vocabulary (CATEGORIES) is kept as
// read, with the type VCARD_PROP_UNKNOWN; when a line's property cannot be
// made, the whole line is dropped: its parameters and values go nowhere.
//
// One Builder serves one Load; nothing is shared between Loads.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "reader/parser.h"
#include "reader/problems.h"
#include "tarvovcard/tarvovcard.h"

namespace tarvovcard::reader {

class Builder final : public ParseEvents {
 public:
  // Finished top-level cards are added to collection, which the caller keeps
  // alive while the builder is used; what is kept only under a lenient rule
  // is recorded in log, which lives as long.
  Builder(IVCardColl* collection, ProblemLog& log);
  ~Builder();
  Builder(const Builder&) = delete;
  Builder& operator=(const Builder&) = delete;

  // Drops every open card (cards of a file whose parse stopped inside them).
  void ClearOpenCards();

  // The folder and the name of the file about to be parsed, in the file
  // system's form (UTF-8); every card read gets them as FolderPath and
  // Filename.
  void SetCurrentFile(const std::string& folder, const std::string& file_name);

  // The events. Each catches the object model's failures (_com_error):
  // what the failing step would have added is missing, the parse goes on.
  // E_OUTOFMEMORY is the exception: it leaves the event and ends the Load.
  // Parse errors need nothing: the parser has counted and shown them.
  void OnBeginCard() override;
  void OnEndCard() override;
  void OnProperty(const char* name, const char* group) override;
  void OnParameter(const char* name, const char* value) override;
  void OnValue(const char* text) override;
  void OnDateValue(const char* text) override;
  void OnComponent(const char* text) override;
  void OnDiscardProperty() override;

 private:
  struct OpenCard;

  // The text (8-bit, ANSI code page) as a BSTR that the builder keeps: valid
  // until the next call. Parameter values (HOME, QUOTED-PRINTABLE, UTF-8),
  // extension names and groups recur from line to line, so each is widened
  // once per Load.
  BSTR Recurring(const char* text);
  OpenCard* Innermost();
  // The innermost open card when its latest property takes parameters and
  // values; null otherwise.
  OpenCard* LatestProperty();
  void AddTextValue(OpenCard& card, const char* text);
  void AddValue(OpenCard& card, const VARIANT& encoded);
  // The end of the latest property's values: a property left without one
  // gets its empty value, and what the values asked of its parameters is
  // done.
  void FinishProperty(OpenCard& card);
  // Before the first nested card of the latest property: an only value that
  // is empty (no text, no byte) goes, since nothing written can stand for it
  // there (an empty value area before a nested card reads as none).
  void DropLoneEmptyValue(OpenCard& card);

  IVCardColl* collection_;
  ProblemLog& log_;
  std::vector<OpenCard> OpenCards;
  CComBSTR folder_;
  CComBSTR file_name_;
  // The canonical names, made once per Load: every property and parameter
  // name read from a file is one of them, or an extension name.
  std::vector<CComBSTR> property_names_;
  std::vector<CComBSTR> parameter_names_;
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept {
      return std::hash<std::string_view>{}(text);
    }
  };
  static constexpr std::size_t kRecurringLongest = 64;
  static constexpr std::size_t kRecurringLimit = 1024;
  std::unordered_map<std::string, CComBSTR, TextHash, std::equal_to<>> recurring_;
  CComBSTR scratch_;
  // The class objects of the four classes the builder makes, found on first
  // use.
  CComPtr<IClassFactory> card_factory_;
  CComPtr<IClassFactory> property_factory_;
  CComPtr<IClassFactory> parameter_factory_;
  CComPtr<IClassFactory> value_factory_;
};

}  // namespace tarvovcard::reader
