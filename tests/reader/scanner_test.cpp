#include "reader/scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "reader/input.h"
#include "reader/problems.h"
#include "reader/reader_test_files.h"

namespace tarvovcard::reader {
namespace {

using Token = std::pair<int, std::string>;
using Tokens = std::vector<Token>;

struct Scan {
  Tokens tokens;
  std::string problems;  // "LINE: message" per entry of the problem log
};

// Scans a file holding exactly these bytes.
Scan ScanBytes(std::string_view bytes) {
  std::string path = testing::WriteTestFile("scan.vcf", bytes);
  InputSource input;
  EXPECT_EQ(input.Open(path.c_str()), 0);
  Scan result;
  ProblemLog log;
  ::testing::internal::CaptureStdout();
  {
    Scanner scanner(input, &log);
    // The grammar names a property's first ENCODING to the scanner; here the
    // first encoding keyword of each line does.
    bool chosen = false;
    while (int code = scanner.Next()) {
      result.tokens.emplace_back(code, scanner.Text());
      if (code == TOK_NEWLINE) chosen = false;
      if (!chosen && (code == TOK_QUOTED_PRINTABLE || code == TOK_BASE64 || code == TOK_8BIT ||
                      code == TOK_7BIT)) {
        chosen = true;
        scanner.ChooseEncoding(scanner.Text());
      }
    }
  }
  // Nothing ever goes to standard output, whatever is dropped.
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  for (const model::LoadProblem& entry : log.entries()) {
    if (!result.problems.empty()) result.problems += "\n";
    result.problems += std::to_string(entry.line) + ": " + entry.message;
  }
  return result;
}

Tokens TokensOf(std::string_view bytes) {
  return ScanBytes(bytes).tokens;
}

Token T(int code, std::string text) {
  return {code, std::move(text)};
}
Token C(char c) {
  return {c, std::string(1, c)};
}
const Token NL = {TOK_NEWLINE, "\n"};

constexpr std::string_view kBegin = "BEGIN:VCARD\n";

Tokens BeginTokens() {
  return {T(TOK_BEGIN, "BEGIN"), C(':'), T(TOK_VCARD, "VCARD"), NL};
}

// The tokens of a card's first line followed by those of `rest`.
Tokens AfterBegin(Tokens rest) {
  Tokens all = BeginTokens();
  all.insert(all.end(), rest.begin(), rest.end());
  return all;
}

TEST(Scanner, KeywordsMatchInAnyCaseAndKeepTheirText) {
  Tokens lower = TokensOf("begin:vcard\ntel;home:123\n");
  EXPECT_EQ(lower,
            (Tokens{T(TOK_BEGIN, "begin"), C(':'), T(TOK_VCARD, "vcard"), NL, T(TOK_TEL, "tel"),
                    C(';'), T(TypeKeywordCode(4), "home"), C(':'), T(TOK_TEXT7, "123"), NL}));
}

TEST(Scanner, CarriageReturnBeforeLineFeedIsDroppedAndSubstituteEndsTheText) {
  std::string bytes = "BEGIN:VCARD\r\nFN:a\rb\r\n";
  bytes += '\x1A';
  bytes += "TEL:1\r\n";
  EXPECT_EQ(TokensOf(bytes), AfterBegin({T(TOK_FN, "FN"), C(':'), T(TOK_TEXT7, "a\rb"), NL}));
}

TEST(Scanner, CarriageReturnsAcrossReadBlocks) {
  // Long enough for several reads; every CR LF falls somewhere else in a block.
  std::string bytes(kBegin);
  for (int i = 0; i < 40000; ++i) bytes += "NOTE:x\r\n";
  Tokens tokens = TokensOf(bytes);
  ASSERT_EQ(tokens.size(), 4u + 4u * 40000u);
  for (std::size_t i = 4; i < tokens.size(); i += 4) {
    ASSERT_EQ(tokens[i + 2], T(TOK_TEXT7, "x")) << i;
    ASSERT_EQ(tokens[i + 3], NL) << i;
  }
}

TEST(Scanner, ValueKeepsTabsAndEightBitBytesAndEchoesNothing) {
  Scan card = ScanBytes(std::string(kBegin) + "FN:J\xC3\xBCrgen\tM\xFC\n");
  EXPECT_EQ(card.tokens,
            AfterBegin({T(TOK_FN, "FN"), C(':'), T(TOK_TEXT7, "J\xC3\xBCrgen\tM\xFC"), NL}));
  EXPECT_EQ(card.problems, "");
}

TEST(Scanner, EightBitAndComponentValuesKeepHighBytes) {
  Scan scan = ScanBytes(std::string(kBegin) +
                        "NOTE;8BIT:caf\xE9\xFF\n"
                        "N:M\xFCller;J\xF6rg\n");
  EXPECT_EQ(scan.tokens,
            AfterBegin({T(TOK_NOTE, "NOTE"), C(';'), T(TOK_8BIT, "8BIT"), C(':'),
                        T(TOK_TEXT8, "caf\xE9\xFF"), NL, T(TOK_N, "N"), C(':'),
                        T(TOK_PART, "M\xFCller"), C(';'), T(TOK_PART, "J\xF6rg"), NL}));
  EXPECT_EQ(scan.problems, "");
}

// Inside a value "Begin" is a word like any other; elsewhere it starts a card.
TEST(Scanner, BeginIsTextInsideAValue) {
  Scan scan = ScanBytes(std::string(kBegin) + "NOTE:begin\nN:Begin;Menachem\nBEGIN:VCARD\n");
  EXPECT_EQ(scan.tokens,
            AfterBegin({T(TOK_NOTE, "NOTE"), C(':'), T(TOK_TEXT7, "begin"), NL, T(TOK_N, "N"),
                        C(':'), T(TOK_PART, "Begin"), C(';'), T(TOK_PART, "Menachem"), NL,
                        T(TOK_BEGIN, "BEGIN"), C(':'), T(TOK_VCARD, "VCARD"), NL}));
  EXPECT_EQ(scan.problems, "");
}

TEST(Scanner, SevenBitValueIsOneToken) {
  EXPECT_EQ(TokensOf(std::string(kBegin) + "NOTE:a;b=c:d\n"),
            AfterBegin({T(TOK_NOTE, "NOTE"), C(':'), T(TOK_TEXT7, "a;b=c:d"), NL}));
}

TEST(Scanner, StructuredValueIsCutIntoComponents) {
  EXPECT_EQ(TokensOf(std::string(kBegin) + "N:Aa;Bb;;Cc.;\n"),
            AfterBegin({T(TOK_N, "N"), C(':'), T(TOK_PART, "Aa"), C(';'), T(TOK_PART, "Bb"), C(';'),
                        C(';'), T(TOK_PART, "Cc."), C(';'), NL}));
  EXPECT_EQ(
      TokensOf(std::string(kBegin) + "N:a\\;b;c\n"),
      AfterBegin({T(TOK_N, "N"), C(':'), T(TOK_PART, "a\\;b"), C(';'), T(TOK_PART, "c"), NL}));
}

TEST(Scanner, QuotedPrintableComponentsSpanSoftLineBreaks) {
  EXPECT_EQ(TokensOf(std::string(kBegin) + "ADR;ENCODING=QUOTED-PRINTABLE:a=3Db;c=\n d\n"),
            AfterBegin({T(TOK_ADR, "ADR"), C(';'), T(TOK_ENCODING, "ENCODING"), C('='),
                        T(TOK_QUOTED_PRINTABLE, "QUOTED-PRINTABLE"), C(':'),
                        T(TOK_QP_PART, "a=3Db"), C(';'), T(TOK_QP_PART, "c=\n d"), NL}));
}

TEST(Scanner, QuotedPrintableTextSpansLines) {
  EXPECT_EQ(TokensOf(std::string(kBegin) + "NOTE;QUOTED-PRINTABLE:a=0D=0A=\nb\n"),
            AfterBegin({T(TOK_NOTE, "NOTE"), C(';'), T(TOK_QUOTED_PRINTABLE, "QUOTED-PRINTABLE"),
                        C(':'), T(TOK_QP_TEXT, "a=0D=0A=\nb"), NL}));
}

TEST(Scanner, Base64BlockIsOneTokenEndedByABlankLine) {
  std::string block = "\n  QUJD\n  REVG\n  Rw==";
  EXPECT_EQ(TokensOf(std::string(kBegin) + "PHOTO;ENCODING=BASE64:" + block + "\nFN:x\n"),
            AfterBegin({T(TOK_PHOTO, "PHOTO"), C(';'), T(TOK_ENCODING, "ENCODING"), C('='),
                        T(TOK_BASE64, "BASE64"), C(':'), T(TOK_BASE64_TEXT, block), NL,
                        T(TOK_FN, "FN"), C(':'), T(TOK_TEXT7, "x"), NL}));
}

TEST(Scanner, Base64BlockMayStartOnThePropertyLine) {
  std::string block = "/9j/4AAQ\n  QUJD\n  Rw==";
  Scan scan =
      ScanBytes(std::string(kBegin) + "PHOTO;BASE64;JPEG:" + block + "\nKEY;BASE64:QUJD\n\n");
  EXPECT_EQ(scan.tokens,
            AfterBegin({T(TOK_PHOTO, "PHOTO"), C(';'), T(TOK_BASE64, "BASE64"), C(';'),
                        T(TypeKeywordCode(40), "JPEG"), C(':'), T(TOK_BASE64_TEXT, block), NL,
                        T(TOK_KEY, "KEY"), C(';'), T(TOK_BASE64, "BASE64"), C(':'),
                        T(TOK_BASE64_TEXT, "QUJD"), NL}));
  EXPECT_EQ(scan.problems, "");
}

// A data line may end in white space; the block ends at the last data line,
// whether a blank line or the next property follows.
TEST(Scanner, Base64BlockEndsAtItsLastDataLine) {
  Scan scan = ScanBytes(std::string(kBegin) + "PHOTO;BASE64:\n QUJD\n REVG \nTEL:1\n");
  EXPECT_EQ(scan.tokens, AfterBegin({T(TOK_PHOTO, "PHOTO"), C(';'), T(TOK_BASE64, "BASE64"), C(':'),
                                     T(TOK_BASE64_TEXT, "\n QUJD\n REVG "), NL, T(TOK_TEL, "TEL"),
                                     C(':'), T(TOK_TEXT7, "1"), NL}));
  EXPECT_EQ(scan.problems, "");
}

// A BASE64 property with nothing after the ":" has an empty value: the line
// feed ends it, and the lines after it are read.
TEST(Scanner, Base64PropertyWithoutDataEndsAtItsLineFeed) {
  Scan scan = ScanBytes(std::string(kBegin) + "PHOTO;ENCODING=BASE64;TYPE=GIF:\n\nFN:Ann\n");
  EXPECT_EQ(scan.tokens, AfterBegin({T(TOK_PHOTO, "PHOTO"), C(';'), T(TOK_ENCODING, "ENCODING"),
                                     C('='), T(TOK_BASE64, "BASE64"), C(';'), T(TOK_TYPE, "TYPE"),
                                     C('='), T(TypeKeywordCode(29), "GIF"), C(':'), NL,
                                     T(TOK_FN, "FN"), C(':'), T(TOK_TEXT7, "Ann"), NL}));
  EXPECT_EQ(scan.problems, "");
  Scan last = ScanBytes(std::string(kBegin) + "LOGO;BASE64:\nEND:VCARD\n");
  EXPECT_EQ(last.tokens, AfterBegin({T(TOK_LOGO, "LOGO"), C(';'), T(TOK_BASE64, "BASE64"), C(':'),
                                     NL, T(TOK_END, "END"), C(':'), T(TOK_VCARD, "VCARD"), NL}));
  EXPECT_EQ(last.problems, "");
  // Blank lines between the property line and its data are skipped.
  Scan late = ScanBytes(std::string(kBegin) + "PHOTO;BASE64:\n\n\n  QUJD\n\nFN:x\n");
  EXPECT_EQ(late.tokens, AfterBegin({T(TOK_PHOTO, "PHOTO"), C(';'), T(TOK_BASE64, "BASE64"), C(':'),
                                     T(TOK_BASE64_TEXT, "\n  QUJD"), NL, T(TOK_FN, "FN"), C(':'),
                                     T(TOK_TEXT7, "x"), NL}));
  EXPECT_EQ(late.problems, "");
}

TEST(Scanner, LargeBase64BlockGrowsTheBuffer) {
  std::string block = "\n";
  for (int i = 0; i < 60000; ++i) block += "  QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVpB\n";
  Tokens tokens = TokensOf(std::string(kBegin) + "LOGO;BASE64:" + block + "\n");
  ASSERT_EQ(tokens.size(), 4u + 6u);
  EXPECT_EQ(tokens[8].first, TOK_BASE64_TEXT);
  block.pop_back();
  EXPECT_TRUE(tokens[8].second == block);  // not EXPECT_EQ: no 2 MB diff
}

TEST(Scanner, ParameterKeywordsAndValueLocations) {
  EXPECT_EQ(TokensOf(std::string(kBegin) + "PHOTO;VALUE=URL;TYPE=GIF:x\n"),
            AfterBegin({T(TOK_PHOTO, "PHOTO"), C(';'), T(TOK_VALUE, "VALUE"), C('='),
                        T(TOK_URL, "URL"), C(';'), T(TOK_TYPE, "TYPE"), C('='),
                        T(TypeKeywordCode(29), "GIF"), C(':'), T(TOK_TEXT7, "x"), NL}));
}

TEST(Scanner, EveryTypeKeywordHasItsOwnCode) {
  const char* keywords[] = {
      "DOM",     "INTL",       "POSTAL",    "PARCEL",  "HOME", "WORK",   "PREF",     "VOICE",
      "FAX",     "MSG",        "CELL",      "PAGER",   "BBS",  "MODEM",  "CAR",      "ISDN",
      "VIDEO",   "AOL",        "APPLELINK", "ATTMAIL", "CIS",  "EWORLD", "INTERNET", "IBMMAIL",
      "MCIMAIL", "POWERSHARE", "PRODIGY",   "TLX",     "X400", "GIF",    "CGM",      "WMF",
      "BMP",     "MET",        "PMB",       "DIB",     "PICT", "TIFF",   "PDF",      "PS",
      "JPEG",    "QTIME",      "MPEG",      "MPEG2",   "AVI",  "WAVE",   "AIFF",     "PCM",
      "X509",    "PGP",        "X-IRMC-N",  "POC"};
  std::string text(kBegin);
  text += "TEL";
  for (const char* k : keywords) text += std::string(";") + k;
  text += ":1\n";
  Tokens tokens = TokensOf(text);
  ASSERT_EQ(tokens.size(), 4u + 1u + 2u * 52u + 3u);
  for (int i = 0; i < 52; ++i) {
    EXPECT_EQ(tokens[5 + 2 * i + 1], T(TypeKeywordCode(i), keywords[i]));
    EXPECT_TRUE(IsTypeKeywordCode(TypeKeywordCode(i)));
  }
  EXPECT_FALSE(IsTypeKeywordCode(338));
  EXPECT_EQ(TypeKeywordCode(35), 337);
  EXPECT_EQ(TypeKeywordCode(36), 339);
  EXPECT_EQ(TypeKeywordCode(49), 352);
  EXPECT_EQ(TypeKeywordCode(51), 368);
}

TEST(Scanner, CharsetAndLanguageValues) {
  EXPECT_EQ(TokensOf(std::string(kBegin) + "NOTE;CHARSET=UTF-8;LANGUAGE=fi-FI:x\n"),
            AfterBegin({T(TOK_NOTE, "NOTE"), C(';'), T(TOK_CHARSET, "CHARSET"), C('='),
                        T(TOK_CHARSET_NAME, "UTF-8"), C(';'), T(TOK_LANGUAGE, "LANGUAGE"), C('='),
                        T(TOK_LANGUAGE_TAG, "fi-FI"), C(':'), T(TOK_TEXT7, "x"), NL}));
  // Any other name is a name too: whether it can be decoded is not the
  // scanner's matter.
  Scan xyz = ScanBytes(std::string(kBegin) + "NOTE;CHARSET=x-mac-roman:x\n");
  EXPECT_EQ(xyz.tokens[8], T(TOK_CHARSET_NAME, "x-mac-roman"));
  EXPECT_EQ(xyz.problems, "");
  // A code page number after the name belongs to it; the last ":" does not.
  EXPECT_EQ(TokensOf(std::string(kBegin) + "NOTE;CHARSET=UTF-8:1234:abc\n"),
            AfterBegin({T(TOK_NOTE, "NOTE"), C(';'), T(TOK_CHARSET, "CHARSET"), C('='),
                        T(TOK_CHARSET_NAME, "UTF-8:1234"), C(':'), T(TOK_TEXT7, "abc"), NL}));
}

TEST(Scanner, ExtensionNamesKeepInnerHyphens) {
  Scan scan = ScanBytes(std::string(kBegin) + "X-MS-OL-DEFAULT-POSTAL-ADDRESS;X-FOO-BAR=baz:2\n");
  EXPECT_EQ(scan.tokens, AfterBegin({T(TOK_X, "X-"), T(TOK_WORD, "MS-OL-DEFAULT-POSTAL-ADDRESS"),
                                     C(';'), T(TOK_X, "X-"), T(TOK_WORD, "FOO-BAR"), C('='),
                                     T(TOK_WORD, "baz"), C(':'), T(TOK_TEXT7, "2"), NL}));
  EXPECT_EQ(scan.problems, "");
}

// The value of an extension parameter is one word that keeps its inner
// hyphens and is never a keyword; other parameters' values are read as they
// always were.
TEST(Scanner, ExtensionParameterValuesAreWholeWords) {
  Scan scan = ScanBytes(std::string(kBegin) + "TEL;X-FOO=a-b;X-BAR=c--d-e:123\n");
  EXPECT_EQ(scan.tokens,
            AfterBegin({T(TOK_TEL, "TEL"), C(';'), T(TOK_X, "X-"), T(TOK_WORD, "FOO"), C('='),
                        T(TOK_WORD, "a-b"), C(';'), T(TOK_X, "X-"), T(TOK_WORD, "BAR"), C('='),
                        T(TOK_WORD, "c--d-e"), C(':'), T(TOK_TEXT7, "123"), NL}));
  EXPECT_EQ(scan.problems, "");

  Scan keywords = ScanBytes(std::string(kBegin) +
                            "NOTE;ENCODING=QUOTED-PRINTABLE;VALUE=CONTENT-ID;TYPE=X-IRMC-N:v\n");
  EXPECT_EQ(
      keywords.tokens,
      AfterBegin({T(TOK_NOTE, "NOTE"), C(';'), T(TOK_ENCODING, "ENCODING"), C('='),
                  T(TOK_QUOTED_PRINTABLE, "QUOTED-PRINTABLE"), C(';'), T(TOK_VALUE, "VALUE"),
                  C('='), T(TOK_CONTENT_ID, "CONTENT-ID"), C(';'), T(TOK_TYPE, "TYPE"), C('='),
                  T(TypeKeywordCode(50), "X-IRMC-N"), C(':'), T(TOK_QP_TEXT, "v"), NL}));
  // "X-" still starts an extension word after TYPE=; after an extension
  // parameter's "=" keywords and "X-" are plain text, and no encoding is chosen.
  Scan x = ScanBytes(std::string(kBegin) + "TEL;TYPE=X-a-b;X-Q=X-IRMC-N;X-R=HOME;X-S=BASE64:1\n");
  EXPECT_EQ(x.tokens, AfterBegin({T(TOK_TEL, "TEL"),
                                  C(';'),
                                  T(TOK_TYPE, "TYPE"),
                                  C('='),
                                  T(TOK_X, "X-"),
                                  T(TOK_WORD, "a-b"),
                                  C(';'),
                                  T(TOK_X, "X-"),
                                  T(TOK_WORD, "Q"),
                                  C('='),
                                  T(TOK_WORD, "X-IRMC-N"),
                                  C(';'),
                                  T(TOK_X, "X-"),
                                  T(TOK_WORD, "R"),
                                  C('='),
                                  T(TOK_WORD, "HOME"),
                                  C(';'),
                                  T(TOK_X, "X-"),
                                  T(TOK_WORD, "S"),
                                  C('='),
                                  T(TOK_WORD, "BASE64"),
                                  C(':'),
                                  T(TOK_TEXT7, "1"),
                                  NL}));
  EXPECT_EQ(keywords.problems + x.problems, "");

  // A type keyword followed by a hyphen stays the keyword; the word after the
  // hyphen is a bare word of its own.
  Scan type = ScanBytes(std::string(kBegin) + "TEL;TYPE=HOME-x:1\n");
  EXPECT_EQ(type.tokens, AfterBegin({T(TOK_TEL, "TEL"), C(';'), T(TOK_TYPE, "TYPE"), C('='),
                                     T(TypeKeywordCode(4), "HOME"), T(TOK_WORD, "x"), C(':'),
                                     T(TOK_TEXT7, "1"), NL}));
  EXPECT_EQ(type.problems, "2: a byte that belongs to nothing dropped");
}

// A bare word that is no keyword is a word; a tab around it stays white space.
TEST(Scanner, BareParameterWordIsAWord) {
  Scan scan = ScanBytes(std::string(kBegin) + "TEL;foo;\tHOME\t:1\n");
  EXPECT_EQ(scan.tokens,
            AfterBegin({T(TOK_TEL, "TEL"), C(';'), T(TOK_WORD, "foo"), C(';'),
                        T(TypeKeywordCode(4), "HOME"), C(':'), T(TOK_TEXT7, "1"), NL}));
  EXPECT_EQ(scan.problems, "");
}

TEST(Scanner, GroupsAndLongerWordsBeatKeywords) {
  EXPECT_EQ(TokensOf(std::string(kBegin) + "a.b.TEL:1\nTELX.FN:2\n"),
            AfterBegin({T(TOK_GROUP_WORD, "a"), C('.'), T(TOK_GROUP_WORD, "b"), C('.'),
                        T(TOK_TEL, "TEL"), C(':'), T(TOK_TEXT7, "1"), NL, T(TOK_GROUP_WORD, "TELX"),
                        C('.'), T(TOK_FN, "FN"), C(':'), T(TOK_TEXT7, "2"), NL}));
}

TEST(Scanner, BlankLinesBetweenLinesAndCardsAreSkipped) {
  std::string text =
      std::string(kBegin) + "FN:a\n\nTEL:1\n \t \n\t\nEND:VCARD\n\n\n" + "BEGIN:VCARD\n";
  EXPECT_EQ(TokensOf(text),
            AfterBegin({T(TOK_FN, "FN"), C(':'), T(TOK_TEXT7, "a"), NL, T(TOK_TEL, "TEL"), C(':'),
                        T(TOK_TEXT7, "1"), NL, T(TOK_END, "END"), C(':'), T(TOK_VCARD, "VCARD"), NL,
                        T(TOK_BEGIN, "BEGIN"), C(':'), T(TOK_VCARD, "VCARD"), NL}));
}

TEST(Scanner, LineFeedAfterVcardIsATokenEvenBeforeABlankLine) {
  EXPECT_EQ(TokensOf("BEGIN:VCARD  \n\n"), BeginTokens());
  EXPECT_EQ(TokensOf("END:VCARD\n\n"),
            (Tokens{T(TOK_END, "END"), C(':'), T(TOK_VCARD, "VCARD"), NL}));
}

TEST(Scanner, EmptyValueGivesTheLineFeedOnly) {
  EXPECT_EQ(TokensOf(std::string(kBegin) + "TEL:\nN:\n"),
            AfterBegin({T(TOK_TEL, "TEL"), C(':'), NL, T(TOK_N, "N"), C(':'), NL}));
}

TEST(Scanner, EndOfInputEndsTheLastToken) {
  EXPECT_EQ(TokensOf("END:VCARD"), (Tokens{T(TOK_END, "END"), C(':'), T(TOK_VCARD, "VCARD")}));
  EXPECT_EQ(TokensOf(""), Tokens{});
}

// A NUL inside a value stays in its token; the line is not broken up.
TEST(Scanner, NulByteInAValueStaysInTheValue) {
  std::string bytes = std::string(kBegin) + std::string("FN:a\0b;c\n", 9) + "TEL:1\n";
  std::string path = testing::WriteTestFile("nul.vcf", bytes);
  InputSource input;
  ASSERT_EQ(input.Open(path.c_str()), 0);
  Scanner scanner(input);
  for (int i = 0; i < 6; ++i) scanner.Next();
  ASSERT_EQ(scanner.Next(), TOK_TEXT7);
  EXPECT_EQ(std::string(scanner.Text(), scanner.Length()), std::string("a\0b;c", 5));
  EXPECT_EQ(scanner.Next(), TOK_NEWLINE);
  EXPECT_EQ(scanner.Next(), TOK_TEL);
}

TEST(Scanner, NulBytesAreDroppedLikeOtherStrayBytes) {
  Scan scan = ScanBytes(std::string("BEGIN:VCARD\n\0\0", 14) + "FN:x\n");
  EXPECT_EQ(scan.tokens, AfterBegin({T(TOK_FN, "FN"), C(':'), T(TOK_TEXT7, "x"), NL}));
  EXPECT_EQ(scan.problems, "2: 2 bytes that belong to nothing dropped");
}

}  // namespace
}  // namespace tarvovcard::reader
