/* parser.y: the grammar of vCard 2.1 text.
 *
 * An LALR(1) parser. A line that the grammar refuses is skipped alone: its
 * error is recorded in the problem log, the scanner skips to the next line
 * that starts a property, BEGIN or END, and the error productions (a refused
 * property line, a refused line between cards) take up the reading there. A
 * property whose line is refused after its name was reported is withdrawn
 * (OnDiscardProperty). The actions report what was
 * read as the events of a ParseEvents, each at a reduction that needs no
 * lookahead (they read the text of the token just shifted), except
 * for an absent value, which is reported as its line feed once the token
 * after that line feed shows that no nested card takes its place.
 *
 * Everything a parse keeps lives in the ParseState handed to yyparse, so any
 * number of files can be parsed at once on different threads.
 */

%code requires {
namespace tarvovcard::reader {
struct ParseState;
}
}

%code top {
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "reader/input.h"
#include "reader/parser.h"
#include "reader/problems.h"
#include "reader/scanner.h"
}

%code {
namespace tarvovcard::reader {

// The state of one parse.
struct ParseState {
  ParseEvents& events;
  Scanner* scanner;
  // Cards begun and not yet ended (nested AGENT cards count).
  int depth = 0;
  // Errors counted in the file.
  int error_count = 0;
  // The text of the last token, valid until the next one is read.
  const char* text = "";
  // The last code the scanner gave (type keywords keep their own code).
  int last_code = -1;
  // Set once an end of input has been given to the parser.
  bool at_end = false;
  // Set when the parse stacks could not grow for lack of memory.
  bool stack_alloc_failed = false;
  // A property of the line being read has been reported: a refused line
  // withdraws it.
  bool property_pending = false;
  // The property's first ENCODING parameter has been given to the scanner.
  bool encoding_chosen = false;
  // The line being read is a SOUND line (its BASE64 blocks are components).
  bool sound_line = false;
  // The word before "=" of a parameter outside the vocabulary (FOO=bar).
  std::string parameter_word;
  // The group path of the property being read ("" for none) and the name of
  // an extension parameter until its value is read. No length limit.
  std::string group;
  std::string extension_parameter;
  // Where "X-" names are put together.
  std::string name;
  // Blocks of the parse stacks beyond the first: released even when an
  // event's exception leaves the parser.
  void* stack_blocks[2] = {nullptr, nullptr};

  ParseState(ParseEvents& e, Scanner* s) : events(e), scanner(s) {
    group.reserve(64);
    extension_parameter.reserve(64);
    name.reserve(64);
  }
  ~ParseState() {
    for (void* block : stack_blocks) std::free(block);
  }
  ParseState(const ParseState&) = delete;
  ParseState& operator=(const ParseState&) = delete;

  int NextToken();
  void* AllocateStack(std::size_t size);
  void FreeStack(void* block);
};

void ReportParseError(ParseState* state, const char* message, int lookahead);

namespace {

inline const char* Text(const ParseState* state) { return state->text; }

void BeginCard(ParseState* state) {
  state->depth += 1;
  state->events.OnBeginCard();
}

void EndCard(ParseState* state) {
  state->events.OnEndCard();
  state->depth -= 1;
}

// {name}: a property name as written, with the group read before it.
void PropertyName(ParseState* state, const char* name) {
  state->property_pending = true;
  state->encoding_chosen = false;
  // Reduced with no lookahead read: the last token is the name's.
  state->sound_line = state->last_code == TOK_SOUND;
  state->events.OnProperty(name, state->group.c_str());
  state->group.clear();
  state->extension_parameter.clear();
}

// {x-name}: "X-" and the extension word.
void ExtensionPropertyName(ParseState* state) {
  state->name.assign("X-");
  state->name.append(Text(state));
  PropertyName(state, state->name.c_str());
}

void Parameter(ParseState* state, const char* name, const char* value) {
  // Reduced before the ":" that ends the parameters is scanned.
  if (!state->encoding_chosen && std::strcmp(name, "ENCODING") == 0) {
    state->encoding_chosen = true;
    state->scanner->ChooseEncoding(value);
  }
  state->events.OnParameter(name, value);
  state->extension_parameter.clear();
}

// TYPE=X-word, VALUE=X-word, ENCODING=X-word: the value is "X-" and the word.
void ExtensionValueParameter(ParseState* state, const char* name) {
  state->name.assign("X-");
  state->name.append(Text(state));
  Parameter(state, name, state->name.c_str());
}

// A bare X-word among the parameters: a type value.
void BareExtensionParameter(ParseState* state) {
  state->name.assign("X-");
  state->name.append(state->extension_parameter);
  Parameter(state, "TYPE", state->name.c_str());
}

// X-name=word.
void ExtensionParameter(ParseState* state) {
  state->name.assign("X-");
  state->name.append(state->extension_parameter);
  Parameter(state, state->name.c_str(), Text(state));
}

// The end of a refused line: the property it began, if any, is withdrawn.
void RefusedLine(ParseState* state) {
  if (state->property_pending) state->events.OnDiscardProperty();
  state->property_pending = false;
  state->group.clear();
}

}  // namespace
}  // namespace tarvovcard::reader

using namespace tarvovcard::reader;

static int tvparse_lex(TVPARSE_STYPE*, ParseState* state) { return state->NextToken(); }

// Errors are reported with the lookahead token that the grammar refused.
#define tvparse_error(state, message) ReportParseError((state), (message), yychar)

// The parse stacks start with room for 500 entries, and their growth goes
// through the state, so that nothing is lost when an event throws.
#define YYINITDEPTH 500
#define YYMAXDEPTH 10000
#define YYMALLOC(size) state->AllocateStack(size)
#define YYFREE(block) state->FreeStack(block)

#define NAME() PropertyName(state, Text(state))
#define VALUE(event) state->events.event(Text(state))
// An absent value is reported as its line feed.
#define ABSENT(event) state->events.event("\n")
}

%define api.pure full
%define api.prefix {tvparse_}
%define api.header.include {"reader/tokens.h"}
%define parse.error simple
%parse-param {tarvovcard::reader::ParseState* state}
%lex-param {tarvovcard::reader::ParseState* state}
%expect 0

/* The token codes, declared here once: bison writes them to reader/tokens.h,
   which the scanner includes. The numbers are fixed: they appear in the
   "yychar" diagnostic. Single characters (":", ";", "=", ".", ",") are their
   own codes. The type keywords ("DOM" ... "POC") have codes of their own
   (reader/scanner.h, TypeKeywordCode) that the parser reads as
   TOK_TYPE_NAME, the code of the first one. TOK_SOUND_BLOCK is the parser's
   own: a BASE64 block in a SOUND line (ParseState::NextToken). */
%token TOK_VCARD 257 TOK_BEGIN 258 TOK_END 259 TOK_WORD 260 TOK_NEWLINE 263
%token TOK_ADR 266 TOK_ORG 267 TOK_N 268 TOK_SOUND 275
%token TOK_AGENT 269 TOK_LOGO 270 TOK_PHOTO 271 TOK_LABEL 272 TOK_FN 273 TOK_TITLE 274
%token TOK_VERSION 276 TOK_TEL 277 TOK_EMAIL 278 TOK_TZ 279 TOK_GEO 280 TOK_NOTE 281
%token TOK_URL 282 TOK_BDAY 283 TOK_ROLE 284 TOK_REV 285 TOK_UID 286 TOK_KEY 287
%token TOK_MAILER 288 TOK_NICKNAME 366
%token TOK_TYPE 289 TOK_VALUE 290 TOK_ENCODING 291 TOK_CHARSET 292 TOK_LANGUAGE 293
%token TOK_INLINE 294 TOK_CONTENT_ID 295 TOK_CID 296
%token TOK_7BIT 297 TOK_8BIT 298 TOK_QUOTED_PRINTABLE 299 TOK_BASE64 300
%token TOK_TYPE_NAME 302
%token TOK_TEXT7 355 TOK_TEXT8 356 TOK_QP_TEXT 357 TOK_QP_PART 358 TOK_BASE64_TEXT 359
%token TOK_LANGUAGE_TAG 361 TOK_CHARSET_NAME 362 TOK_PART 363 TOK_X 364 TOK_GROUP_WORD 365
%token TOK_NAME 370 TOK_SOUND_BLOCK 371

%%

file
  : leading_newlines cards
  ;

leading_newlines
  : %empty
  | leading_newlines TOK_NEWLINE
  ;

/* A line between cards that is no card (or a card whose BEGIN line is
   refused) is skipped like a refused property line. */
cards
  : card
  | cards card
  | error TOK_NEWLINE            { yyerrok; RefusedLine(state); }
  | cards error TOK_NEWLINE      { yyerrok; RefusedLine(state); }
  ;

card
  : card_begin properties card_end
  ;

card_begin
  : TOK_BEGIN ':' TOK_VCARD TOK_NEWLINE  { BeginCard(state); }
  ;

card_end
  : TOK_END ':' TOK_VCARD TOK_NEWLINE    { EndCard(state); }
  ;

properties
  : %empty
  | properties property
  ;

/* A nested card follows the line of the property it belongs to (AGENT, or
   any other property with a text value). A property with nothing after its
   ":" and a nested card after its line has the card as its only value. */
property
  : text_head ':' TOK_NEWLINE absent_or_cards
  | text_head ':' values TOK_NEWLINE nested_cards
  | group TOK_BDAY { NAME(); } params ':' value { VALUE(OnDateValue); } TOK_NEWLINE
  | group TOK_REV { NAME(); } params ':' value { VALUE(OnDateValue); } TOK_NEWLINE
  | group structured_name { NAME(); } params ':' components TOK_NEWLINE nested_cards
  | error TOK_NEWLINE    { yyerrok; RefusedLine(state); }
  ;

text_head
  : group plain_name { NAME(); } params
  | group TOK_X TOK_WORD { ExtensionPropertyName(state); } params
  | group TOK_X { PropertyName(state, "X-"); } params
  | group TOK_NAME { NAME(); } params
  ;

structured_name
  : TOK_ADR | TOK_ORG | TOK_N | TOK_SOUND
  ;

plain_name
  : TOK_LOGO | TOK_PHOTO | TOK_LABEL | TOK_TITLE | TOK_FN | TOK_VERSION | TOK_TEL | TOK_EMAIL
  | TOK_TZ | TOK_GEO | TOK_NOTE | TOK_URL | TOK_ROLE | TOK_UID | TOK_KEY | TOK_MAILER
  | TOK_NICKNAME | TOK_AGENT
  ;

absent_or_cards
  : %empty               { ABSENT(OnValue); }
  | nested_cards card
  ;

nested_cards
  : %empty
  | nested_cards card
  ;

/* Only BASE64 blocks can be followed by ";": every other value runs to the
   end of its line. A member may be empty (";;"). */
values
  : text_value                   { VALUE(OnValue); }
  | absent_member ';' member
  | values ';' member
  ;

absent_member
  : %empty               { ABSENT(OnValue); }
  ;

member
  : %empty               { ABSENT(OnValue); }
  | text_value           { VALUE(OnValue); }
  ;

value
  : %empty
  | text_value
  ;

text_value
  : TOK_TEXT7
  | TOK_TEXT8
  | TOK_PART
  | TOK_QP_TEXT
  | TOK_BASE64_TEXT
  ;

group
  : %empty
  | group_path '.'
  ;

group_path
  : TOK_GROUP_WORD                 { state->group.assign(Text(state)); }
  | group_path '.' TOK_GROUP_WORD  { state->group.push_back('.'); state->group.append(Text(state)); }
  ;

params
  : %empty
  | ';' param_list
  ;

param_list
  : param
  | param_list ';' param
  | param_list ',' param
  ;

/* An empty parameter (";;", ";:") is skipped. A bare word or extension word
   is a type value, as the writer writes every TYPE parameter. */
param
  : %empty
  | parameter_word                         { Parameter(state, "TYPE", state->parameter_word.c_str()); }
  | parameter_word '=' TOK_WORD            { Parameter(state, state->parameter_word.c_str(), Text(state)); }
  | x_param_name                           { BareExtensionParameter(state); }
  | x_param_name '=' TOK_WORD              { ExtensionParameter(state); }
  | TOK_TYPE '=' TOK_TYPE_NAME             { Parameter(state, "TYPE", Text(state)); }
  | TOK_TYPE '=' TOK_WORD                  { Parameter(state, "TYPE", Text(state)); }
  | TOK_TYPE '=' TOK_X TOK_WORD            { ExtensionValueParameter(state, "TYPE"); }
  | TOK_VALUE '=' value_location           { Parameter(state, "VALUE", Text(state)); }
  | TOK_VALUE '=' TOK_X TOK_WORD           { ExtensionValueParameter(state, "VALUE"); }
  | TOK_VALUE '=' TOK_WORD                 { Parameter(state, "VALUE", Text(state)); }
  | TOK_CHARSET '=' TOK_CHARSET_NAME       { Parameter(state, "CHARSET", Text(state)); }
  | TOK_LANGUAGE '=' TOK_LANGUAGE_TAG      { Parameter(state, "LANGUAGE", Text(state)); }
  | TOK_ENCODING '=' encoding              { Parameter(state, "ENCODING", Text(state)); }
  | TOK_ENCODING '=' TOK_X TOK_WORD        { ExtensionValueParameter(state, "ENCODING"); }
  | TOK_QUOTED_PRINTABLE                   { Parameter(state, "ENCODING", Text(state)); }
  | TOK_BASE64                             { Parameter(state, "ENCODING", Text(state)); }
  | TOK_8BIT                               { Parameter(state, "ENCODING", Text(state)); }
  | TOK_7BIT                               { Parameter(state, "ENCODING", Text(state)); }
  | TOK_TYPE_NAME                          { Parameter(state, "TYPE", Text(state)); }
  ;

/* Reduced before the token after the word is read, while its text stands. */
parameter_word
  : TOK_WORD             { state->parameter_word.assign(Text(state)); }
  ;

x_param_name
  : TOK_X TOK_WORD       { state->extension_parameter.assign(Text(state)); }
  ;

value_location
  : TOK_INLINE | TOK_URL | TOK_CONTENT_ID | TOK_CID
  ;

encoding
  : TOK_7BIT | TOK_8BIT | TOK_QUOTED_PRINTABLE | TOK_BASE64
  ;

/* The components of N, ADR, ORG and SOUND, each in its place: an empty one
   (";;", a ";" at the end, nothing at all) is reported as "". */
components
  : %empty                     { state->events.OnComponent(""); }
  | component                  { VALUE(OnComponent); }
  | components ';' component   { VALUE(OnComponent); }
  | components ';'             { state->events.OnComponent(""); }
  ;

component
  : TOK_PART | TOK_QP_PART | TOK_SOUND_BLOCK
  ;

%%

namespace tarvovcard::reader {


int ParseState::NextToken() {
  // The line before is over: its property can no longer be refused.
  if (last_code == TOK_NEWLINE) property_pending = false;
  if (at_end) return 0;
  int code = scanner->Next();
  if (code == 0) {
    // The last line of the text has no line end (or the text ends inside
    // it). When a card is open, that line is given its line feed, so that a
    // final END:VCARD without one still ends its card.
    if (depth > 0 && last_code != TOK_NEWLINE && last_code != -1) {
      text = "\n";
      last_code = TOK_NEWLINE;
      at_end = true;
      return TOK_NEWLINE;
    }
    at_end = true;
    text = "";
    last_code = 0;
    return 0;
  }
  text = scanner->Text();
  last_code = code;
  // A BASE64 block is a component of a SOUND line (the sound's data), and
  // refused like any other stray token in an N, ADR or ORG line.
  if (code == TOK_BASE64_TEXT && sound_line) return TOK_SOUND_BLOCK;
  return IsTypeKeywordCode(code) ? TOK_TYPE_NAME : code;
}

void* ParseState::AllocateStack(std::size_t size) {
  void* block = std::malloc(size);
  if (!block) {
    stack_alloc_failed = true;
    return nullptr;
  }
  for (void*& slot : stack_blocks) {
    if (!slot) {
      slot = block;
      return block;
    }
  }
  std::free(block);
  stack_alloc_failed = true;
  return nullptr;
}

void ParseState::FreeStack(void* block) {
  for (void*& slot : stack_blocks) {
    if (slot == block) slot = nullptr;
  }
  std::free(block);
}

void ReportParseError(ParseState* state, const char* message, int lookahead) {
  bool exhausted = std::strcmp(message, "memory exhausted") == 0;
  // Stacks that could not grow for lack of memory end the Load; stacks at
  // their depth limit (cards nested thousands deep) are a fault of the file.
  if (exhausted && state->stack_alloc_failed) {
    std::fputs("*** ERROR: yyparse: memory exhausted\n", stderr);
    throw std::bad_alloc();
  }
  if (exhausted) message = state->stack_alloc_failed ? "yyparse: memory exhausted" : "yacc stack overflow";
  state->error_count += 1;
  state->events.OnParseError(message);
  ProblemLog& log = state->scanner->log();
  if (lookahead == 0) {
    std::fprintf(stderr, "*** ERROR/EOF: %s\n", message);
    // The end of the text refused outside any card: only a cut-off last line
    // after the last card, which costs nothing.
    if (!exhausted && state->depth == 0) {
      state->error_count -= 1;
    } else {
      log.Lost(exhausted ? "cards nested too deeply: the file is read no further"
                         : "the file ends inside a card: the card is dropped");
    }
    return;
  }
  std::fprintf(stderr, "*** ERROR: %s\n", message);
  // The scanner's code: type keywords and SOUND's blocks share a code here.
  std::fprintf(stderr, "yychar %d\n",
               lookahead == TOK_TYPE_NAME || lookahead == TOK_SOUND_BLOCK ? state->last_code
                                                                          : lookahead);
  if (exhausted) {
    log.Lost("cards nested too deeply: the file is read no further");
    return;
  }
  log.Lost("unreadable line skipped");
  state->scanner->SkipLine(lookahead == TOK_NEWLINE);
}

int ParseFile(ParseEvents& events, const char* path, ProblemLog* log) {
  ProblemLog own_log;
  if (!log) log = &own_log;
  log->StartFile(path);
  InputSource input;
  if (int code = input.Open(path)) return code;
  int errors = 0;
  try {
    Scanner scanner(input, log);
    ParseState state(events, &scanner);
    tvparse_parse(&state);
    errors = state.error_count;
  } catch (const ScannerFatalError& e) {
    errors = 1;
    log->Lost(e.what());
    events.OnParseError(e.what());
  }
  return errors >= 1 || log->FileLostData() ? kParseInvalidData : kParseOk;
}

}  // namespace tarvovcard::reader
