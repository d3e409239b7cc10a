// Load: the golden table of one file's bytes (status, cards, report, standard
// error, the folder and name of the cards, and the same cards again after
// Save), the sample damaged at every byte, what is more than the bytes of one
// file (the argument and lists of files, files that cannot be read), and Loads
// on several threads at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <tarvovcard/cards.hpp>

#include "support/builders.h"
#include "support/doubles.h"
#include "support/files.h"
#include "support/model_text.h"

namespace tarvovcard::reader {
namespace {

using namespace testing;

constexpr HRESULT kInvalidData = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
constexpr HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
constexpr HRESULT kDenied = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
constexpr HRESULT kOpenFailed = HRESULT_FROM_WIN32(ERROR_OPEN_FAILED);
constexpr const char* kSyntax = "*** ERROR: syntax error\nyychar ";
constexpr const char* kEofError = "*** ERROR/EOF: syntax error\n";

std::string C(const std::string& body) {
  return "BEGIN:VCARD\n" + body + "END:VCARD\n";
}
std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

struct Row {
  std::string bytes;
  HRESULT status;
  std::string model;
  std::string report = "", err = "";
};

// A refused line: skipped alone, wherever the refusal falls in it.
Row Refused(const std::string& line, const std::string& code, const std::string& report,
            int lines = 1) {
  return {C(line + "FN:z\n"), kInvalidData, "FN:z", report, Repeat(kSyntax + code + "\n", lines)};
}

// Every type keyword: a TYPE as a bare parameter, and refused after VALUE=
// with its own code, which the "yychar" diagnostic shows. The codes are fixed,
// and skip those of other tokens.
Row TypeKeywords() {
  std::istringstream words(
      "DOM INTL POSTAL PARCEL HOME WORK PREF VOICE FAX MSG CELL PAGER BBS MODEM CAR ISDN VIDEO "
      "AOL APPLELINK ATTMAIL CIS EWORLD INTERNET IBMMAIL MCIMAIL POWERSHARE PRODIGY TLX X400 GIF "
      "CGM WMF BMP MET PMB DIB PICT TIFF PDF PS JPEG QTIME MPEG MPEG2 AVI WAVE AIFF PCM X509 PGP "
      "X-IRMC-N POC");
  Row row{"BEGIN:VCARD\n", kInvalidData, "", ""};
  int n = 0;
  for (std::string word; words >> word; ++n) {
    const int code = n < 36 ? 302 + n : n < 50 ? 339 + (n - 36) : 367 + (n - 50);
    row.bytes += "TEL;" + word + ":1\nPHOTO;VALUE=" + word + ":x\n";
    row.model += (n ? " / TEL;TYPE=" : "TEL;TYPE=") + word + ":1";
    row.report += (n ? "\n" : "") + std::to_string(2 * n + 3) +
                  " lost: unreadable line skipped [PHOTO;VALUE=" + word + ":x]";
    row.err += kSyntax + std::to_string(code) + "\n";
  }
  EXPECT_EQ(n, 52);
  row.bytes += "END:VCARD\n";
  return row;
}

std::vector<Row> Rows() {
  const std::string big_group(1 << 20, 'g'), big_name(1 << 20, 'n');
  const std::string group(300, 'g'), name(200, 'N'), value(150, 'v');
  const std::string long_line = group + ".X-" + name + ";X-" + name + "=" + value + ";HOME:1\n";
  const std::string long_model =
      "X-" + name + "[" + group + "];X-" + name + "=" + value + ";TYPE=HOME:1";
  const std::string b64_line = "    " + std::string(64, 'A') + "\r\n";
  std::string nested = "BEGIN:VCARD\r\nFN:deep\r\n" +
                       Repeat("AGENT:\r\nBEGIN:VCARD\r\nFN:deep\r\n", 20000) +
                       Repeat("END:VCARD\r\n", 20001);
  std::string junk;  // binary bytes, line feeds among them
  for (unsigned x = 1; junk.size() < 65536;) {
    x = x * 1103515245u + 12345u;
    if (char c = static_cast<char>(x >> 24); c != '\x1A') junk += c;  // 0x1A ends the text
  }
  return {
      // The plain shapes: cards in order, CR LF or LF, keywords in any case,
      // names stored canonically, blank lines anywhere.
      {"begin:vcard\r\nN:A;B\r\ntel;home:123\r\nFn:B\r\nvErSiOn:2.1\r\nend:vcard\r\n" + C("FN:y\n"),
       S_OK, "N:A|B / TEL;TYPE=home:123 / FN:B / VERSION:2.1 // FN:y"},
      {"\n\n  \nBEGIN:VCARD\n\nFN:a\n \n\t\nTEL:1\n\nEND:VCARD\n\n" + C("FN:b\n") + "\n  \n\t\t\n" +
           C("FN:c\n"),
       S_OK, "FN:a / TEL:1 // FN:b // FN:c"},
      {"BEGIN:VCARD  \n\nFN:a\nEND:VCARD\r\n\r\n\n\n \t\n", S_OK, "FN:a"},
      // A last card without its line end.
      {"BEGIN:VCARD\nFN:a\nEND:VCARD", S_OK, "FN:a"},
      {"BEGIN:VCARD\r\nFN:last\r\nEND:VCARD\r", S_OK, "FN:last"},
      // A carriage return inside a line stays (0x1A ends the text: the damaged sample).
      {"BEGIN:VCARD\r\nFN:a\rb\r\nEND:VCARD\r\n", S_OK, "FN:a\\rb"},
      // Property names: matched by length and first letter, any case; names
      // outside the vocabulary kept as read (with their parameters).
      {C("mAiLeR:m\nuid:u\nUrl:x\nn:a\nadr:a;b\nUR:x\nTELX:x\nTE:x\nNICKNAME;HOME;X-A=b:B\n"), S_OK,
       "MAILER:m / UID:u / URL:x / N:a / ADR:a|b / UR?:x / TELX?:x / TE?:x / "
       "NICKNAME?;TYPE=HOME;X-A=b:B",
       "7 repaired: property name outside the vocabulary kept as read [UR:x]\n"
       "8 repaired: property name outside the vocabulary kept as read [TELX:x]\n"
       "9 repaired: property name outside the vocabulary kept as read [TE:x]\n"
       "10 repaired: property name outside the vocabulary kept as read [NICKNAME;HOME;X-A=b:B]"},
      // Groups (a group word may be a keyword's letters and more), and the
      // group of one line does not stay for the next.
      {C("a.b.tel;Home;x-foo=bar;ENCODING=quoted-printable:1\nFN:x\nTELX.FN:2\n"), S_OK,
       "TEL[a.b];TYPE=Home;X-foo=bar;ENCODING=quoted-printable:1 / FN:x / FN[TELX]:2"},
      // Texts of any length, and the same long texts on several lines.
      {C(long_line + long_line + "item1.TEL;HOME:2\n"), S_OK,
       long_model + " / " + long_model + " / TEL[item1];TYPE=HOME:2"},
      {C(big_group + "." + big_group + ".X-" + big_name + ":v\r\n"), S_OK,
       "X-" + big_name + "[" + big_group + "." + big_group + "]:v"},
      // Parameters: keywords, bare words, X- values, value locations, a comma
      // list, empty ones; tabs around a bare word are white space.
      {C("PHOTO;VALUE=URL;TYPE=GIF:http://x\nKEY;TYPE=X-PGP2;VALUE=X-REF;ENCODING=X-ABC:k\n"
         "NOTE;QUOTED-PRINTABLE;CHARSET=UTF-8;LANGUAGE=fi-FI;BASE64;8BIT;7BIT:n\n"
         "TEL;foo;\tHOME\t:1\nTEL;WORK;VOICE:123\nEMAIL;TYPE=INTERNET;X-Q-W=v:a@b\n"),
       S_OK,
       "PHOTO;VALUE=URL;TYPE=GIF:http://x / KEY;TYPE=X-PGP2;VALUE=X-REF;ENCODING=X-ABC:k / "
       "NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8;LANGUAGE=fi-FI;ENCODING=BASE64;"
       "ENCODING=8BIT;ENCODING=7BIT:n / TEL;TYPE=foo;TYPE=HOME:1 / TEL;TYPE=WORK;TYPE=VOICE:123 / "
       "EMAIL;TYPE=INTERNET;X-Q-W=v:a@b"},
      // Extension names and the values of extension parameters keep every
      // hyphen, and such a value is never a keyword (X-S=BASE64 chooses no
      // encoding); after TYPE= "X-" still starts an extension word.
      {C("X-MS-OL-DEFAULT-POSTAL-ADDRESS;X-A-B=c:2\nX-Foo;X-FOO-BAR=baz:v\n"
         "TEL;X-FOO=a-b;X-BAR=c--d-e:123\nX-A;X-ID=ab-12-cd;HOME:v\n"
         "TEL;TYPE=X-a-b;X-Q=X-IRMC-N;X-R=HOME;X-S=BASE64:1\nNOTE;X-C=BASE64:n\n"
         "NOTE;ENCODING=QUOTED-PRINTABLE;VALUE=CONTENT-ID;TYPE=X-IRMC-N:v=3D\n") +
           C("FN:B\n"),
       S_OK,
       "X-MS-OL-DEFAULT-POSTAL-ADDRESS;X-A-B=c:2 / X-Foo;X-FOO-BAR=baz:v / "
       "TEL;X-FOO=a-b;X-BAR=c--d-e:123 / X-A;X-ID=ab-12-cd;TYPE=HOME:v / "
       "TEL;TYPE=X-a-b;X-Q=X-IRMC-N;X-R=HOME;X-S=BASE64:1 / NOTE;X-C=BASE64:n / "
       "NOTE;ENCODING=QUOTED-PRINTABLE;VALUE=CONTENT-ID;TYPE=X-IRMC-N:v= // FN:B"},
      // A keyword followed by a hyphen stays the keyword; the hyphen goes,
      // and the grammar refuses the word after it.
      {C("TEL;TYPE=HOME-x:1\n"), kInvalidData, "",
       "2 lost: a byte that belongs to nothing dropped [TEL;TYPE=HOME-x:1]\n"
       "2 lost: unreadable line skipped [TEL;TYPE=HOME-x:1]",
       std::string(kSyntax) + "260\n"},
      // Values: a 7-bit value runs to the end of its line; tabs and 8-bit
      // bytes (the ANSI code page, or UTF-8 under CHARSET=UTF-8) stay; an
      // absent value is an empty text; NUL ends a value's text but not its line.
      {C("NOTE:a;b=c:d\nFN:M\xFCller\tJr\nNOTE;CHARSET=UTF-8:J\xC3\xBCrgen\nN:M\xFCller;J\xF6rg\n"
         "LABEL;8BIT:caf\xE9\nNOTE:\nN:\nTEL:\n") +
           C(std::string("FN:a\0b;c\nTEL:1\n", 15)),
       S_OK,
       "NOTE:a;b=c:d / FN:M\xC3\xBCller\tJr / NOTE;CHARSET=UTF-8:J\xC3\xBCrgen / "
       "N:M\xC3\xBCller|J\xC3\xB6rg / LABEL;ENCODING=8BIT:caf\xC3\xA9 / NOTE: / N: / TEL: // "
       "FN:a / TEL:1"},
      // An only value that is empty goes before the property's first nested
      // card: nothing written could stand for it there.
      {C("NOTE;ENCODING=QUOTED-PRINTABLE:=\n\nBEGIN:VCARD\nFN:x\nEND:VCARD\n"), S_OK,
       "NOTE;ENCODING=QUOTED-PRINTABLE:card{FN:x}",
       "6 repaired: an empty value before a nested card dropped [END:VCARD]"},
      // Text that its character set could not write back the same (bytes the
      // set does not define) puts its property in UTF-8.
      {C("NOTE;CHARSET=ISO-2022-JP:a\xFFz\n"), S_OK, "NOTE;CHARSET=UTF-8:a\xEF\xBF\xBDz",
       "2 repaired: text the character set cannot write back; the property kept in UTF-8 "
       "[NOTE;CHARSET=ISO-2022-JP:a\xC3\xBFz]"},
      // Components of N, ADR, ORG and SOUND, each in its place; "\;" stays
      // inside one. "Begin" in a value is text.
      {C("N:;;\nADR:;;1 Main St;Town;;;\nORG:Acme\\;Co;R&D\nSOUND:s\nN:Begin;Menachem\n"
         "NOTE:begin\n") +
           C("FN:next\n"),
       S_OK,
       "N:|| / ADR:||1 Main St|Town||| / ORG:Acme;Co|R&D / SOUND:s / N:Begin|Menachem / "
       "NOTE:begin // FN:next"},
      // Quoted-printable across soft line breaks, in text and in components.
      {C("NOTE;ENCODING=QUOTED-PRINTABLE:a=0D=0A=\nb\nNOTE;ENCODING=QUOTED-PRINTABLE:a=3Db=\r\nc\n"
         "ADR;QUOTED-PRINTABLE:x=3D;y\nADR;ENCODING=QUOTED-PRINTABLE:a=3Db;c=\n d\n"),
       S_OK,
       "NOTE;ENCODING=QUOTED-PRINTABLE:a\\r\\nb / NOTE;ENCODING=QUOTED-PRINTABLE:a=bc / "
       "ADR;ENCODING=QUOTED-PRINTABLE:x=|y / ADR;ENCODING=QUOTED-PRINTABLE:a=b|c d"},
      // BASE64 blocks: after the property line (ended by a blank line or the
      // next property), on the property line, after blank lines, with no
      // data at all; a SOUND block is a component, an N block is refused.
      {C("SOUND;ENCODING=BASE64:\n QUJD\n\nPHOTO;BASE64:\n  QUJD\n  REVG\n\n"
         "PHOTO;BASE64:\n QUJD\n REVG \nTEL:1\nPHOTO;BASE64;JPEG:/9j/4AAQ\n  QUJD\n  Rw==\n"
         "KEY;BASE64:QUJD\n\nPHOTO;BASE64:\n\n\n  QUJD\n\nFN:x\n"
         "PHOTO;ENCODING=BASE64;TYPE=GIF:\n\nFN:Ann\nLOGO;BASE64:\n") +
           C("N;BASE64:\n QUJD\n\nFN:y\n"),
       kInvalidData,
       "SOUND;ENCODING=BASE64:bytes:3 / PHOTO;ENCODING=BASE64:bytes:6 / "
       "PHOTO;ENCODING=BASE64:bytes:6 / TEL:1 / PHOTO;ENCODING=BASE64;TYPE=JPEG:bytes:10 / "
       "KEY;ENCODING=BASE64:bytes:3 / PHOTO;ENCODING=BASE64:bytes:3 / FN:x / "
       "PHOTO;ENCODING=BASE64;TYPE=GIF:bytes:0 / FN:Ann / LOGO;ENCODING=BASE64:bytes:0 // FN:y",
       "30 lost: unreadable line skipped [N;BASE64:]", std::string(kSyntax) + "359\n"},
      // Character sets: any case, any set iconv knows (tests/model/value_test.cpp
      // has a set that cannot read "\;"), unknown ones, a code page after the
      // name; a language tag.
      {C("FN;CHARSET=utf-8:caf\xC3\xA9\nN;CHARSET=ISO-8859-2;ENCODING=8BIT:\xA3\xF3"
         "d\xBC;A\nTITLE;CHARSET=X-NOPE:\xE9t\xE9\nNOTE;CHARSET=UTF-8:1234:abc\n"
         "NOTE;CHARSET=UTF-8;LANGUAGE=fi-FI:x\n"),
       S_OK,
       "FN;CHARSET=utf-8:café / N;CHARSET=ISO-8859-2;ENCODING=8BIT:Łódź|A / "
       "TITLE;CHARSET=X-NOPE:été / NOTE;CHARSET=UTF-8:1234:abc / "
       "NOTE;CHARSET=UTF-8;LANGUAGE=fi-FI:x",
       "4 repaired: unknown character set: values read as Windows-1252 "
       "[TITLE;CHARSET=X-NOPE:\xC3\xA9t\xC3\xA9]\n"
       "5 repaired: unknown character set: values read as Windows-1252 "
       "[NOTE;CHARSET=UTF-8:1234:abc]"},
      // Dates; text that is no date (tests/coding/coding_test.cpp has
      // which) is kept as text; an empty date is the invalid-date marker.
      {C("BDAY:19960415\nREV:19951031T222710Z\nBDAY:\nBDAY:--0415\nREV:1\n"), S_OK,
       "BDAY:date:35170.000000 / REV:date:35003.935532 / BDAY:date:-657435.000000 / "
       "BDAY:--0415 / REV:1",
       "5 repaired: text that is no date kept as text [BDAY:--0415]\n"
       "6 repaired: text that is no date kept as text [REV:1]"},
      // A nested card belongs to the property whose line it follows.
      {C("FN:Boss\nAGENT;TYPE=WORK:\nBEGIN:VCARD\nFN:Aide\nTEL:1\nEND:VCARD\nTEL:2\n"
         "agent:\nBEGIN:VCARD\nFN:Two\nAGENT:\nBEGIN:VCARD\nFN:Three\nEND:VCARD\nEND:VCARD\n"),
       S_OK,
       "FN:Boss / AGENT;TYPE=WORK:card{FN:Aide / TEL:1} / TEL:2 / "
       "AGENT:card{FN:Two / AGENT:card{FN:Three}}"},
      // What phones, mail clients and address books write.
      {"BEGIN:VCARD\nCATEGORIES:My Contacts\nFBURL;ENCODING=QUOTED-PRINTABLE:http://x=3Dy\n"
       "ANNIVERSARY;VALUE=DATE:2001-05-04\nsort-string:Doe\nX-MS-TEL;VOICE;CALLBACK:1\n"
       "TEL;X-NEC-SECRET:9\nTEL;TYPE=OTHER:2\nADR;HOME;PREF;:;;St;City;;1;C\n"
       "TEL;TYPE=WORK,VOICE:3\nNOTE;FOO=bar:n\nEND:VCARD.\n",
       S_OK,
       "CATEGORIES?:My Contacts / FBURL?;ENCODING=QUOTED-PRINTABLE:http://x=y / "
       "ANNIVERSARY?;VALUE=DATE:2001-05-04 / sort-string?:Doe / "
       "X-MS-TEL;TYPE=VOICE;TYPE=CALLBACK:1 / TEL;TYPE=X-NEC-SECRET:9 / TEL;TYPE=OTHER:2 / "
       "ADR;TYPE=HOME;TYPE=PREF:||St|City||1|C / TEL;TYPE=WORK;TYPE=VOICE:3 / NOTE;FOO=bar:n",
       "2 repaired: property name outside the vocabulary kept as read [CATEGORIES:My Contacts]\n"
       "3 repaired: property name outside the vocabulary kept as read "
       "[FBURL;ENCODING=QUOTED-PRINTABLE:http://x=3Dy]\n"
       "4 repaired: property name outside the vocabulary kept as read "
       "[ANNIVERSARY;VALUE=DATE:2001-05-04]\n"
       "5 repaired: property name outside the vocabulary kept as read [sort-string:Doe]\n"
       "11 repaired: parameter name outside the vocabulary kept as read [NOTE;FOO=bar:n]\n"
       "12 repaired: text after VCARD ignored [END:VCARD.]"},
      {C("NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=D0=A4=D0=B0=D0=B2=\n\nTEL;HOME:1\n"
         "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:(=D0=BF=D0=BE)=\n;=D0=90=D0=BD=D0=BD=D0=B0;;;\n"
         "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=D0=9A==\nD0=A1\n"
         "ORG;ENCODING=QUOTED-PRINTABLE:A\\;B;C\nNOTE:long\n  continued\n\tand a tab\n"
         "ADR:;;Main St 1;\n Town\n \\;B;;;\nAGENT:Call Olga\n"),
       S_OK,
       "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Фав / TEL;TYPE=HOME:1 / "
       "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:(по)|Анна||| / "
       "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:КС / ORG;ENCODING=QUOTED-PRINTABLE:A;B|C / "
       "NOTE:long  continued\tand a tab / ADR:||Main St 1| Town ;B||| / AGENT:Call Olga"},
      // A refused line is skipped alone: what it began is withdrawn, the
      // lines after it that start nothing go with it, and the reading
      // resumes at the next property, BEGIN or END.
      Refused("TEL;TYPE=:1\n", "58", "2 lost: unreadable line skipped [TEL;TYPE=:1]"),
      Refused("junk\n more\n=C3=A9\n", "263",
              "2 repaired: property name outside the vocabulary kept as read [junk]\n"
              "2 lost: unreadable line skipped, with the 2 lines after it [junk]"),
      Refused(".TEL:1\n", "46", "2 lost: unreadable line skipped [.TEL:1]"),
      // A property whose BASE64 block is refused keeps the empty value of its
      // line, which is what Save writes and Load reads back.
      {C("PHOTO;ENCODING=BASE64;TYPE=GIF:\n    BEGIN:B\nFN:z\n"), kInvalidData,
       "PHOTO;ENCODING=BASE64;TYPE=GIF:bytes:0 / FN:z",
       "3 lost: a byte that belongs to nothing dropped [BEGIN:B]\n"
       "3 lost: unreadable line skipped [BEGIN:B]",
       std::string(kSyntax) + "263\n"},
      Refused("a b\nTEL;HOME 1\n", "260",
              "2 repaired: property name outside the vocabulary kept as read [a b]\n"
              "2 lost: unreadable line skipped [a b]\n3 lost: unreadable line skipped [TEL;HOME 1]",
              2),
      // Between cards and after the last likewise; a card may be empty.
      {C("FN:a\n") + "hello there\nBEGIN:VCARD\nEND:VCARD\njunk\n", kInvalidData, "FN:a // ",
       "4 lost: unreadable line skipped [hello there]\n7 lost: unreadable line skipped [junk]",
       Repeat(kSyntax + std::string("370\n"), 2)},
      // The end of the text: a cut-off BEGIN after the last card costs
      // nothing; a card left open is dropped.
      {C("FN:a\n") + "BEGIN:", S_OK, "FN:a", "", kEofError},
      {"", S_OK, "", "", kEofError},
      {C("FN:a\n") + "BEGIN:VCARD\nFN:b\n", kInvalidData, "FN:a",
       "5 lost: the file ends inside a card: the card is dropped []", kEofError},
      {"BEGIN:VCARD\nTEL:", kInvalidData, "",
       "2 lost: the file ends inside a card: the card is dropped []", kEofError},
      // Bytes that belong to nothing are dropped.
      {C(std::string("\0\0FN:x\n", 7)), kInvalidData, "FN:x",
       "2 lost: 2 bytes that belong to nothing dropped []"},
      {C("FN:before\r\n") + junk + "\r\n" + C("FN:after\r\n"), kInvalidData,
       "FN:before // FN:after", "*", "*"},
      // Items of any size.
      {std::string(2000000, '\n') + C("FN:before\n"), S_OK, "FN:before"},
      {Repeat("\r\n", 1000000) + C("FN:before\n"), S_OK, "FN:before"},
      {C("NOTE;ENCODING=QUOTED-PRINTABLE:" + Repeat("abc=\r\n", 10 * 1024 * 1024 / 6) +
         "end\r\nFN:after\r\n"),
       S_OK,
       "NOTE;ENCODING=QUOTED-PRINTABLE:" + Repeat("abc", 10 * 1024 * 1024 / 6) + "end / FN:after"},
      {C("PHOTO;ENCODING=BASE64:\r\n" + Repeat(b64_line, 50 * 1024 * 1024 / 70 + 1) +
         "\r\nFN:after\r\n"),
       S_OK,
       "PHOTO;ENCODING=BASE64:bytes:" + std::to_string((50 * 1024 * 1024 / 70 + 1) * 48) +
           " / FN:after"},
      {C("FN:before\r\n") + "BEGIN:VCARD\r\nNOTE:" + std::string(100 << 20, 'a'), kInvalidData,
       "FN:before", "5 lost: the file ends inside a card: the card is dropped []", kEofError},
      // Cards nested too deeply for the parser's stacks.
      {C("FN:before\r\n") + nested, kInvalidData, "FN:before",
       "5000 lost: cards nested too deeply: the file is read no further [FN:deep]",
       "*** ERROR: yacc stack overflow\nyychar -2\n"},
      TypeKeywords(),
  };
}

// Every card gets the folder and the name of its file: the name given to
// Load in the file system's form (UTF-8, any length), split at its last "/"
// or "\" as the runtime's path functions split it. The rows take turns at
// three such names.
TEST(ReaderGolden, BytesToStatusCardsReportAndDiagnostics) {
  std::string deep = "deep";
  for (char c = 'a'; c < 'g'; ++c) deep += "/" + std::string(100, c);
  std::filesystem::create_directories(TestPath(deep));
  const std::string names[] = {"J\xC3\xBCrgen \xCE\xA9mega \xE6\x9D\xB1.vcf", "dir\\x.vcf",
                               deep + "/" + std::string(200, 'n')};
  int turn = 0;
  for (const Row& row : Rows()) {
    const std::string what = row.bytes.substr(0, 120),
                      path = WriteFile(TestPath(names[turn++ % 3]), row.bytes);
    CComPtr<IVCardColl> collection = Collection();
    const Read got = LoadFile(path, collection);
    EXPECT_EQ(got.status, row.status) << what;
    const std::size_t split = path.find_last_of("/\\");
    for (const cards::Card card : cards::Cards(collection)) {
      EXPECT_EQ(card.Folder(), path.substr(0, split)) << what;
      EXPECT_EQ(card.File(), path.substr(split + 1)) << what;
    }
    if (got.model != row.model) ADD_FAILURE() << what << "\nmodel: " << got.model.substr(0, 500);
    // "*": too long to spell out here.
    EXPECT_TRUE(row.report == "*" || got.report == row.report) << what << "\n" << got.report;
    EXPECT_TRUE(row.err == "*" || got.err == row.err) << what << "\n" << got.err.substr(0, 500);
    if (row.bytes.size() > 100000 || got.status != S_OK) continue;
    const std::string saved = TestPath("golden-saved.vcf");
    ASSERT_EQ(collection->Save(CComVariant(Wide(saved))), S_OK) << what;
    const Read again = LoadFile(saved);
    EXPECT_EQ(again.status, S_OK) << what;
    EXPECT_EQ(again.model, Model(collection)) << what;  // Save put one VERSION first in each
  }
}

// The sample cut at every byte, and with a 0x1A (which ends the text) or a
// NUL in place of every byte: each gives a file's status (a date cut to a few
// digits may end the Load with E_UNEXPECTED) and keeps the top-level cards
// that ended before the damage as they were; a cut file keeps nothing else,
// and a 0x1A gives what the cut there gives.
TEST(ReaderGolden, SampleCutOrDamagedAtEveryByte) {
  const std::string sample = ReadFile(std::string(TARVOVCARD_SOURCE_DIR) + "/examples/sample.vcf");
  auto cards = [](const std::string& bytes, HRESULT* status) {
    CComPtr<IVCardColl> collection = Collection();
    *status = LoadFile(WriteFile(TestPath("damaged.vcf"), bytes), collection).status;
    return DescribeAll(collection);
  };
  HRESULT status, cut_status;
  const std::vector<std::string> whole = cards(sample, &status);
  ASSERT_EQ(status, S_OK);
  ASSERT_EQ(whole.size(), 2u);  // the first holds a nested card: its END is the second of three
  const std::size_t first_end =
      sample.find('\n', sample.find("END:VCARD", sample.find("END:VCARD") + 1)) + 1;
  for (std::size_t k = 0; k <= sample.size(); ++k) {
    const std::size_t ended = k < first_end ? 0 : k < sample.size() ? 1 : 2;
    // A file's status; no fewer cards than ended and no more than the whole,
    // the first `same` of them the whole's.
    auto fits = [&](const std::vector<std::string>& got, HRESULT status, std::size_t same) {
      return (status == S_OK || status == kInvalidData || status == E_UNEXPECTED) &&
             got.size() >= ended && got.size() <= whole.size() &&
             std::equal(got.begin(), got.begin() + std::min(same, got.size()), whole.begin());
    };
    const std::vector<std::string> cut = cards(sample.substr(0, k), &cut_status);
    ASSERT_TRUE(fits(cut, cut_status, cut.size()))
        << "cut at " << k << ": " << std::hex << cut_status;
    if (k == sample.size()) break;
    std::string damaged = sample;
    damaged[k] = '\x1A';
    ASSERT_TRUE(cards(damaged, &status) == cut && status == cut_status) << "0x1A at " << k;
    damaged[k] = '\0';
    const std::vector<std::string> nul = cards(damaged, &status);
    ASSERT_TRUE(fits(nul, status, ended)) << "NUL at " << k << ": " << std::hex << status;
  }
}

// Each Load into the one collection replaces its cards and takes the status
// of its last file; a file that fails does not disturb the next.
TEST(Load, ArgumentsListsOfFilesAndTheStatusOfTheLast) {
  WriteFile(TestPath("a.vcf"), C("FN:a1\n") + C("FN:a2\n"));
  WriteFile(TestPath("b.vcf"), C("FN:b1\n"));
  WriteFile(TestPath("open.vcf"), C("FN:o1\n") + "BEGIN:VCARD\nFN:o2\n");
  for (const char* name : {"denied.vcf", "emfile.vcf", "unreadable.vcf"})
    WriteFile(TestPath(name), C("FN:" + std::string(name) + "\n"));
  ASSERT_TRUE(std::filesystem::create_directory(TestPath("folder")));
  // Opens of denied.vcf and emfile.vcf fail with their error; reads of
  // unreadable.vcf fail with EIO (Load has one file open at a time).
  constexpr int kEvery = Failure::kEvery;
  FailingFiles files({{Call::kOpenFd, kEvery, EACCES, "denied.vcf"},
                      {Call::kOpenFd, kEvery, EMFILE, "emfile.vcf"},
                      {Call::kRead, kEvery, EIO, "unreadable.vcf"}});
  const std::string eof = kEofError, eio = "input in flex scanner failed\n";
  const struct {
    std::vector<std::string> names;
    HRESULT status;
    std::string cards, err = "";
  } steps[] = {
      {{"a.vcf", "b.vcf"}, S_OK, "FN:a1 // FN:a2 // FN:b1"},
      {{}, S_OK, ""},
      {{"missing.vcf", "a.vcf"}, S_OK, "FN:a1 // FN:a2"},
      {{"a.vcf", "missing.vcf"}, kNotFound, "FN:a1 // FN:a2"},
      {{"b.vcf/x.vcf"}, kNotFound, ""},
      {{""}, kNotFound, ""},
      // The open card of the first file stays out; the next starts clean.
      {{"open.vcf", "b.vcf"}, S_OK, "FN:o1 // FN:b1", eof},
      {{"b.vcf", "folder"}, kOpenFailed, "FN:b1"},
      {{"b.vcf", "denied.vcf"}, kDenied, "FN:b1"},
      {{"b.vcf", "emfile.vcf"}, kOpenFailed, "FN:b1"},
      {{"b.vcf", "unreadable.vcf"}, kInvalidData, "FN:b1", eio},
      {{"unreadable.vcf", "b.vcf"}, S_OK, "FN:b1", eio},
  };
  CComPtr<IVCardColl> collection = Collection();
  for (const auto& step : steps) {
    std::vector<std::string> paths;
    for (const std::string& name : step.names) paths.push_back(name.empty() ? "" : TestPath(name));
    const std::string what = ::testing::PrintToString(step.names);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(collection->Load(NameList(paths)), step.status) << what;
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), step.err) << what;
    EXPECT_EQ(Model(collection), step.cards) << what;
  }
  // An argument that names no files in a form Load takes is refused, and the
  // cards stay.
  CComBSTR name = Wide(TestPath("a.vcf"));
  VARIANT refused[6] = {};
  refused[0].vt = VT_I4;
  refused[1].vt = VT_BYREF | VT_BSTR;
  refused[1].pbstrVal = &name.m_str;
  refused[2].vt = VT_ARRAY | VT_BSTR;  // no array
  refused[3].vt = VT_BSTR;             // no name
  refused[4].vt = VT_ARRAY | VT_BSTR;  // the second name missing
  refused[4].parray = SafeArrayCreateVector(VT_BSTR, 0, 2);
  LONG first = 0;
  SafeArrayPutElement(refused[4].parray, &first, name.m_str);
  refused[5].vt = VT_ARRAY | VT_VARIANT;
  refused[5].parray = SafeArrayCreateVector(VT_VARIANT, 0, 0);  // even empty
  for (VARIANT& v : refused) EXPECT_EQ(collection->Load(v), E_INVALIDARG) << v.vt;
  SafeArrayDestroy(refused[4].parray);
  SafeArrayDestroy(refused[5].parray);
  EXPECT_EQ(Model(collection), "FN:b1");
}

// Collections load files on three threads at once, each Load many times: each
// must read what it reads alone, every card, property, parameter and value
// the generator wrote, and an unreadable line counts for its own file only.
// Built once more with ThreadSanitizer (CMakeLists.txt), so that any state two
// Loads share shows up as a data race.
TEST(ConcurrentLoad, EachReadsWhatItReadsAlone) {
  CorpusCounts expected[2];
  const std::string paths[] = {
      WriteFile(TestPath("crlf.vcf"), GenerateCorpus({.seed = 7, .cards = 1500}, &expected[0])),
      WriteFile(TestPath("lf.vcf"),
                GenerateCorpus({.seed = 8, .cards = 1100, .crlf = false}, &expected[1])),
      WriteFile(TestPath("bad.vcf"),
                "BEGIN:VCARD\nFN:a\nEND:VCARD\nBEGIN:VCARD\nTEL;HOME 1\nEND:VCARD\n")};
  struct {
    HRESULT status;
    std::vector<std::string> cards;
  } together[3], alone[3];
  auto load = [&](int i, int rounds, auto* read) {
    CComPtr<IVCardColl> collection = Collection();
    for (int round = 0; round < rounds; ++round) read->status = LoadOne(collection, paths[i]);
    read->cards = DescribeAll(collection);
    EXPECT_TRUE(i == 2 || CountLoaded(collection) == expected[i]) << i;
  };
  {
    std::jthread a(load, 0, 3, &together[0]), b(load, 1, 4, &together[1]),
        c(load, 2, 50, &together[2]);
  }
  for (int i = 0; i < 3; ++i) {
    load(i, 1, &alone[i]);
    EXPECT_EQ(together[i].status, i < 2 ? S_OK : HRESULT_FROM_WIN32(ERROR_INVALID_DATA)) << i;
    EXPECT_EQ(together[i].status, alone[i].status) << i;
    EXPECT_TRUE(together[i].cards == alone[i].cards) << i;
  }
}

}  // namespace
}  // namespace tarvovcard::reader
