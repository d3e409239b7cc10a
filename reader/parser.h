// The grammar of vCard text and the per-file entry point of the reader.
//
// ParseFile reads one file and reports what it reads as events to a
// ParseEvents: a card begins, a property with its name and group, a
// parameter, a value or a component, a card ends, an error. It knows nothing
// of the object model; the builder (reader/builder.h) makes objects of the
// events, and tests record them.
#pragma once

namespace tarvovcard::reader {

class ProblemLog;

// What the parser reports, in the order of the text. Every event does
// nothing unless a reader of the events overrides it. The texts passed are
// NUL-terminated 8-bit strings owned by the parser, valid only during the
// call.
class ParseEvents {
 public:
  // A card's BEGIN:VCARD line has been read (a nested AGENT card's too).
  virtual void OnBeginCard() {}
  // A card's END:VCARD line has been read.
  virtual void OnEndCard() {}
  // A property name as written in the file ("tel"), or "X-" and the
  // extension name; group is "" when the line has none.
  virtual void OnProperty(const char* /*name*/, const char* /*group*/) {}
  // A parameter: name is "TYPE", "VALUE", "ENCODING", "CHARSET", "LANGUAGE"
  // or "X-" and the word; value keeps the letters of the file.
  virtual void OnParameter(const char* /*name*/, const char* /*value*/) {}
  // The value of an unstructured property ("\n" when the value is absent).
  virtual void OnValue(const char* /*text*/) {}
  // The value of BDAY or REV ("\n" when the value is absent).
  virtual void OnDateValue(const char* /*text*/) {}
  // One component of N, ADR, ORG or SOUND, in its place ("" for an empty
  // one).
  virtual void OnComponent(const char* /*text*/) {}
  // The property reported last belongs to a line that the grammar refused:
  // it is withdrawn, with what was added to it.
  virtual void OnDiscardProperty() {}
  // An error message; the error has been counted and shown already.
  virtual void OnParseError(const char* /*message*/) {}

 protected:
  ~ParseEvents() = default;
};

// Result codes of ParseFile: the platform's error numbers.
constexpr int kParseOk = 0;
constexpr int kParseFileNotFound = 2;  // ERROR_FILE_NOT_FOUND
constexpr int kParseAccessDenied = 5;  // ERROR_ACCESS_DENIED
constexpr int kParseInvalidData = 13;  // ERROR_INVALID_DATA: the text had errors
constexpr int kParseOpenFailed = 110;  // ERROR_OPEN_FAILED

// Reads the file at path (8-bit text) and reports it to events, from a clean
// start: nothing of an earlier file (a card it left open, its errors)
// counts. Problems go to log (a log of the call's own when null), under the
// file name path. Returns kParseOk, or one of the codes above:
// kParseInvalidData exactly when something of the text was lost (a line
// skipped, bytes dropped, a card left open at the end). Exceptions raised by
// an event are passed on after the file is closed.
int ParseFile(ParseEvents& events, const char* path, ProblemLog* log = nullptr);

}  // namespace tarvovcard::reader
