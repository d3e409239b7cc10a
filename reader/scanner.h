// The scanner of vCard text: cuts the bytes of one file into the tokens that
// the grammar (reader/parser.y) consumes.
//
// The rule table itself is reader/scanner.l (flex). This header gives the
// token codes shared by the scanner and the grammar, the state that the rules
// keep between tokens, and a small owning wrapper around one scanner instance.
// Every Load creates its own scanners, so two collections can read files on
// two threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "reader/problems.h"

namespace tarvovcard::reader {

class InputSource;

// Token codes. Single characters (":", ";", "=", ".") are their own codes and
// 0 is the end of input. The numbers are fixed: they appear in the parser's
// "yychar" diagnostic.
enum TokenCode : int {
  TOK_VCARD = 257,
  TOK_BEGIN = 258,
  TOK_END = 259,
  TOK_WORD = 260,
  TOK_NEWLINE = 263,
  TOK_ADR = 266,
  TOK_ORG = 267,
  TOK_N = 268,
  TOK_AGENT = 269,
  TOK_LOGO = 270,
  TOK_PHOTO = 271,
  TOK_LABEL = 272,
  TOK_FN = 273,
  TOK_TITLE = 274,
  TOK_SOUND = 275,
  TOK_VERSION = 276,
  TOK_TEL = 277,
  TOK_EMAIL = 278,
  TOK_TZ = 279,
  TOK_GEO = 280,
  TOK_NOTE = 281,
  TOK_URL = 282,
  TOK_BDAY = 283,
  TOK_ROLE = 284,
  TOK_REV = 285,
  TOK_UID = 286,
  TOK_KEY = 287,
  TOK_MAILER = 288,
  TOK_TYPE = 289,
  TOK_VALUE = 290,
  TOK_ENCODING = 291,
  TOK_CHARSET = 292,
  TOK_LANGUAGE = 293,
  TOK_INLINE = 294,
  TOK_CONTENT_ID = 295,
  TOK_CID = 296,
  TOK_7BIT = 297,
  TOK_8BIT = 298,
  TOK_QUOTED_PRINTABLE = 299,
  TOK_BASE64 = 300,
  // The type keywords ("DOM" ... "POC") each have a code of their own; the
  // grammar treats them alike. TOK_TYPE_NAME is the code of the first one.
  TOK_TYPE_NAME = 302,
  TOK_TEXT7 = 355,
  TOK_TEXT8 = 356,
  TOK_QP_TEXT = 357,
  TOK_QP_PART = 358,
  TOK_BASE64_TEXT = 359,
  TOK_LANGUAGE_TAG = 361,
  TOK_CHARSET_NAME = 362,
  TOK_PART = 363,
  TOK_X = 364,
  TOK_GROUP_WORD = 365,
  TOK_NICKNAME = 366,
  // A property name outside the vocabulary (CATEGORIES, SORT-STRING).
  TOK_NAME = 370,
};

// The code of the n-th type keyword (0 for "DOM", 51 for "POC"), in rule order.
constexpr int TypeKeywordCode(int n) {
  return n < 36 ? 302 + n : n < 50 ? 339 + (n - 36) : 367 + (n - 50);
}
// True for the codes of the 52 type keywords.
constexpr bool IsTypeKeywordCode(int code) {
  return (code >= 302 && code <= 337) || (code >= 339 && code <= 352) || code == 367 || code == 368;
}

// How the value after the ":" that ends the parameters is cut.
enum class ValueEncoding { kSevenBit, kEightBit, kQuotedPrintable, kBase64, kStructured };

// What the rules remember between tokens, besides the start condition.
struct ScanState {
  InputSource* input = nullptr;
  ValueEncoding EncodingMark = ValueEncoding::kSevenBit;
  // False while the property being read is ADR, ORG, N or SOUND.
  bool IsUnstructured = false;
  // The code of the token returned last (0 before the first).
  int LastToken = 0;
  // Where line numbers, dropped bytes and repairs are recorded.
  ProblemLog* log = nullptr;
  // The next token starts a line; where the current line starts in the
  // buffer, valid while the buffer has not been refilled since (Refills
  // counts the reads).
  bool LinePending = true;
  std::int32_t Line = 1;  // the line that the next byte is on
  const char* LineStart = nullptr;
  unsigned LineRefill = 0;
  unsigned Refills = 0;
  // While skipping after a refused line: the grammar is still owed the line
  // feed of that line, and how many lines after it went too.
  bool OweNewline = false;
  int SkippedLines = 0;
};

// Raised out of the scanner for the conditions that a flex scanner treats as
// fatal, but for lack of memory (std::bad_alloc): a failed read, an internal
// error. The message has already been written to standard error; the file
// being read counts as failed.
class ScannerFatalError : public std::exception {
 public:
  explicit ScannerFatalError(const char* message) noexcept : message_(message) {}
  const char* what() const noexcept override { return message_; }

 private:
  const char* message_;
};

// One scanner over one input, in the state START. Not copyable. It gives
// its problem log the text of the line being read.
class Scanner : private LineSource {
 public:
  // Lines and problems go to log (one of the scanner's own when null).
  // Throws std::bad_alloc when the scanner or its buffer cannot be
  // allocated.
  explicit Scanner(InputSource& input, ProblemLog* log = nullptr);
  ~Scanner();
  Scanner(const Scanner&) = delete;
  Scanner& operator=(const Scanner&) = delete;

  // The code of the next token, 0 at the end of input. May throw
  // ScannerFatalError, or std::bad_alloc when the buffer cannot grow.
  int Next();
  // The exact bytes of the last token, NUL-terminated, valid until Next().
  const char* Text() const noexcept { return text_; }
  std::size_t Length() const noexcept;
  // The property's first ENCODING parameter has this value (in any letter
  // case): its value is cut accordingly, QUOTED-PRINTABLE, BASE64, 8BIT or
  // else as 7-bit text. Later ENCODING parameters do not count, as the value
  // coding decodes by the first.
  void ChooseEncoding(const char* value) noexcept;
  // After a line that the grammar refused: skips the rest of that line (none
  // when the refused token was its line feed) and every line after it up to
  // one that starts a property, BEGIN or END. The next token is then the
  // refused line's line feed, unless the grammar has it already.
  void SkipLine(bool at_line_start);
  ProblemLog& log() noexcept { return *state_.log; }

 private:
  std::string CurrentLineText() const override;

  void* scanner_ = nullptr;
  ScanState state_;
  std::unique_ptr<ProblemLog> own_log_;
  const char* text_ = "";
};

}  // namespace tarvovcard::reader
