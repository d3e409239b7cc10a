// The grammar of vCard text and the per-file entry point of the reader.
//
// ParseFile reads one file and reports what it reads through the callbacks of
// a ParseContext: a card begins, a property with its name and group, a
// parameter, a value or a component, a card ends, an error. It knows nothing
// of the object model; the builder (reader/builder.h) supplies callbacks that
// make objects, and tests supply callbacks that record.
#pragma once

#include <cstdint>

namespace tarvovcard::reader {

class ProblemLog;

// The callbacks and counters shared by the parser and whoever reads its
// events. Every callback may be null (it is then skipped). The texts passed
// are NUL-terminated 8-bit strings owned by the parser, valid only during the
// call.
struct ParseContext {
  // Passed as the first argument of every callback.
  void* User = nullptr;
  // A card's BEGIN:VCARD line has been read.
  void (*OnBeginCard)(void* user) = nullptr;
  // A card's END:VCARD line has been read.
  void (*OnEndCard)(void* user) = nullptr;
  // A property name as written in the file ("tel"), or "X-" and the
  // extension name; group is "" when the line has none.
  void (*OnProperty)(void* user, const char* name, const char* group) = nullptr;
  // A parameter: name is "TYPE", "VALUE", "ENCODING", "CHARSET", "LANGUAGE"
  // or "X-" and the word; value keeps the letters of the file.
  void (*OnParameter)(void* user, const char* name, const char* value) = nullptr;
  // The value of an unstructured property ("\n" when the value is absent).
  void (*OnValue)(void* user, const char* text) = nullptr;
  // The value of BDAY or REV ("\n" when the value is absent).
  void (*OnDateValue)(void* user, const char* text) = nullptr;
  // One component of N, ADR, ORG or SOUND ("" for an empty one).
  void (*OnNameComponent)(void* user, const char* text) = nullptr;
  void (*OnAddressComponent)(void* user, const char* text) = nullptr;
  void (*OnOrganisationComponent)(void* user, const char* text) = nullptr;
  void (*OnSoundComponent)(void* user, const char* text) = nullptr;
  // The property reported last belongs to a line that the grammar refused:
  // it is withdrawn, with what was added to it.
  void (*OnDiscardProperty)(void* user) = nullptr;
  // An error message; the error has been counted and shown already.
  void (*OnParseError)(void* user, const char* message) = nullptr;
  // Cards begun and not yet ended (nested AGENT cards count). 0 at the start
  // of every file.
  std::int32_t Depth = 0;
  // Errors counted during the current file.
  std::int32_t ErrorCount = 0;
};

// Result codes of ParseFile: the platform's error numbers.
constexpr int kParseOk = 0;
constexpr int kParseFileNotFound = 2;  // ERROR_FILE_NOT_FOUND
constexpr int kParseAccessDenied = 5;  // ERROR_ACCESS_DENIED
constexpr int kParseInvalidData = 13;  // ERROR_INVALID_DATA: the text had errors
constexpr int kParseOpenFailed = 110;  // ERROR_OPEN_FAILED

// Reads the file at path (8-bit text) and reports it through context. Sets
// Depth and ErrorCount to 0 first. Problems go to log (a log of the call's
// own when null), under the file name path. Returns kParseOk, or one of the
// codes above: kParseInvalidData exactly when something of the text was lost
// (a line skipped, bytes dropped, a card left open at the end). Exceptions
// raised by a callback are passed on after the file is closed.
int ParseFile(ParseContext* context, const char* path, ProblemLog* log = nullptr);

}  // namespace tarvovcard::reader
