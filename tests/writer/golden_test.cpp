// The writers' golden table: a card described on one line (CardBuilder, support/builders.h),
// and the vCard text and the XML element it is saved as. A card that saves
// is saved through Save and SaveAsXML and compared on the whole file; a card
// that cannot be saved gives its status there, and the writers alone show
// what they wrote before they stopped. Then CUnicodeFile: what SaveAsXML does
// not show of it (the newline flag, open modes, the wide formats, Seek) and
// the exceptions of its failures.
#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "writer/unicode_file.h"
#include "writer/vcard_writer.h"
#include "writer/xml_writer.h"

#include "support/builders.h"
#include "support/doubles.h"
#include "support/files.h"
#include "support/model_text.h"

namespace tarvovcard::writer {
namespace {

using namespace testing;

struct Row {
  std::u16string card;
  std::string vcard;   // Between VERSION:2.1 and END:VCARD, LF for CR LF; "*": not checked.
  std::u16string xml;  // Between the VERSION element and </vCard>; u"*": not checked.
  HRESULT status = S_OK;
};

// Base64 of `bytes` bytes of 0xFF as the value coding lays it out.
std::string Slashes(int bytes) {
  std::string lines, text(static_cast<std::size_t>(bytes) * 4 / 3, '/');
  for (std::size_t at = 0; at < text.size(); at += 68) lines += "    " + text.substr(at, 68) + "\n";
  return lines;
}
std::u16string Widened(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

std::vector<Row> Rows() {
  const std::string gif = "R0lGODlhAQABAIAAAP///wAAACwAAAAAAQABAAACAkQBADs=";
  const std::string text(5000, 't');
  return {
      // The example card of the documentation.
      {u"VERSION:2.1 / N:Doe|John||| / TEL;TYPE=HOME;TYPE=VOICE:+1 555 0100 / "
       u"PHOTO;ENCODING=BASE64;TYPE=GIF:" +
           Widened(gif),
       "N:Doe;John;;;\nTEL;HOME;VOICE:+1 555 0100\nPHOTO;ENCODING=BASE64;GIF:\n    " + gif + "\n\n",
       u"<N><family>Doe</family><given>John</given><other></other><prefix></prefix>"
       u"<suffix></suffix></N>\n<TEL tel.type=\"HOME VOICE \">+1 555 0100</TEL>\n"
       u"<PHOTO img.type=\"GIF \"><b64bin fmttype=\"IMAGE/GIF\">\n    " +
           Widened(gif) + u"\n</b64bin>\n</PHOTO>\n"},
      // Every VERSION gives way to one VERSION:2.1, first; a card without
      // properties gets it too.
      {u"FN:A / VERSION;X-SOURCE=phone:3.0 / VERSION:4.0", "FN:A\n", u"<FN>A</FN>\n"},
      {u"VERSION:3.0", "", u""},
      {u"", "", u""},
      // Bare properties and groups (the group through the ANSI code page).
      {u"TEL[]:1 / TEL[home]:2 / X-CUSTOM[caf\u00E9\u4E00]:3",
       "TEL:1\nhome.TEL:2\ncaf\xE9?.X-CUSTOM:3\n", u"*"},
      // TYPE is its bare value, other parameters their name as set.
      {u"TEL;type=HOME;ENCODING=QUOTED-PRINTABLE;charset=UTF-8;LANGUAGE=en;VALUE=URL;"
       u"X-FOO-BAR=baz;TYPE=:1",
       "TEL;HOME;ENCODING=QUOTED-PRINTABLE;charset=UTF-8;LANGUAGE=en;VALUE=URL;X-FOO-BAR=baz;:1\n",
       u"*"},
      // Separators stand for values never set.
      {u"ADR:first|empty|third;with semicolon|empty", "ADR:first;;third\\;with semicolon;\n", u"*"},
      // Dates in basic form (13:45 is no binary fraction); a date out of range
      // writes nothing.
      {u"BDAY:date:38119.572916666667 / REV:date:-657435", "BDAY:20040512T134500\nREV:\n",
       u"<BDAY>20040512T134500</BDAY>\n<REV></REV>\n"},
      // Base64 blocks on lines of their own only for exactly BASE64.
      {u"LOGO:bytes:\x01\x01\x01", "LOGO;ENCODING=BASE64:\n    AQEB\n\n",
       u"<LOGO><b64bin fmttype=\"IMAGE/\">\n    AQEB\n</b64bin>\n</LOGO>\n"},
      {u"KEY;ENCODING=base64:YWI=", "KEY;ENCODING=base64:YWI=\n", u"*"},
      {u"X-DATA;ENCODING=QUOTED-PRINTABLE;ENCODING=BASE64:a=3Db",
       "X-DATA;ENCODING=QUOTED-PRINTABLE;ENCODING=BASE64:a=3Db\n", u"*"},
      // Long texts and blocks are written whole.
      {u"NOTE:" + Widened(text) + u" / PHOTO:bytes:" + std::u16string(3000, u'\xFF'),
       "NOTE:" + text + "\nPHOTO;ENCODING=BASE64:\n" + Slashes(3000) + "\n",
       u"<NOTE>" + Widened(text) + u"</NOTE>\n<PHOTO><b64bin fmttype=\"IMAGE/\">\n" +
           Widened(Slashes(3000)) + u"</b64bin>\n</PHOTO>\n"},
      // A nested card is written whole, as it is, in its property; groups
      // are no XML.
      {u"FN[work]:Boss / AGENT:card{VERSION:3.0 / FN:Agent} / NOTE:after",
       "work.FN:Boss\nAGENT:\nBEGIN:VCARD\nVERSION:3.0\nFN:Agent\nEND:VCARD\n\nNOTE:after\n",
       u"<FN>Boss</FN>\n<AGENT>\n<vCard version=\"2.1\">\n<VERSION>3.0</VERSION>\n<FN>Agent</FN>\n"
       u"</vCard>\n</AGENT>\n<NOTE>after</NOTE>\n"},
      // The same card twice side by side is no loop.
      {u"AGENT:card{FN:A} / AGENT:card",
       "AGENT:\nBEGIN:VCARD\nFN:A\nEND:VCARD\n\nAGENT:\nBEGIN:VCARD\nFN:A\nEND:VCARD\n\n",
       u"<AGENT>\n<vCard version=\"2.1\">\n<FN>A</FN>\n</vCard>\n</AGENT>\n"
       u"<AGENT>\n<vCard version=\"2.1\">\n<FN>A</FN>\n</vCard>\n</AGENT>\n"},
      // XML type attributes, named by the property; the other parameters
      // and the group are left out.
      {u"LABEL;TYPE=DOM:v", "LABEL;DOM:v\n", u"<LABEL del.type=\"DOM \">v</LABEL>\n"},
      {u"EMAIL;TYPE=INTERNET:v", "EMAIL;INTERNET:v\n",
       u"<EMAIL email.type=\"INTERNET \">v</EMAIL>\n"},
      {u"LOGO;TYPE=GIF:v", "LOGO;GIF:v\n", u"<LOGO img.type=\"GIF \">v</LOGO>\n"},
      {u"ADR[home];TYPE=HOME;ENCODING=8BIT;CHARSET=UTF-8;X-IGNORED=1;TYPE=POSTAL:||1 Main St",
       "home.ADR;HOME;ENCODING=8BIT;CHARSET=UTF-8;X-IGNORED=1;POSTAL:;;1 Main St\n",
       u"<ADR del.type=\"HOME POSTAL \"><pobox></pobox><extadd></extadd><street>1 Main St</street>"
       u"<locality></locality><region></region><pcode></pcode><country></country></ADR>\n"},
      // lang and value attributes keep their spaces and come before the type
      // attribute, repeated ones share theirs.
      {u"NOTE;LANGUAGE=en:hello", "NOTE;LANGUAGE=en:hello\n", u"<NOTE lang=\"en\" >hello</NOTE>\n"},
      {u"URL;VALUE=URL;TYPE=WORK:http://example.com/", "URL;VALUE=URL;WORK:http://example.com/\n",
       u"<URL value=\"URL\"  URL.type=\"WORK \">http://example.com/</URL>\n"},
      {u"TEL;TYPE=HOME;LANGUAGE=en;TYPE=VOICE;VALUE=TEXT;LANGUAGE=fr:1",
       "TEL;HOME;LANGUAGE=en;VOICE;VALUE=TEXT;LANGUAGE=fr:1\n",
       u"<TEL lang=\"en fr\"  value=\"TEXT\"  tel.type=\"HOME VOICE \">1</TEL>\n"},
      // Escapes in texts and attributes; what XML cannot carry is U+FFFD.
      {u"NOTE;TYPE=A&B\";LANGUAGE=<en>:text:Tom & Jerry <\"cat\" > 'mouse'>", "*",
       u"<NOTE lang=\"&lt;en&gt;\"  NOTE.type=\"A&amp;B&quot; \">"
       u"Tom &amp; Jerry &lt;&quot;cat&quot; &gt; 'mouse'&gt;</NOTE>\n"},
      {u"ORG:AT&T|R<D", "ORG:AT&T;R<D\n",
       u"<ORG><orgname>AT&amp;T</orgname><orgunit>R&lt;D</orgunit></ORG>\n"},
      {u"PHOTO;TYPE=X&Y:bytes:ab", "*",
       u"<PHOTO img.type=\"X&amp;Y \"><b64bin fmttype=\"IMAGE/X&amp;Y\">\n    YWI=\n</b64bin>\n"
       u"</PHOTO>\n"},
      {u"TITLE:text:bell\u0007 \uFFFF \xD800 ok \U0001F600", "*",
       u"<TITLE>bell\uFFFD \uFFFD \uFFFD ok \U0001F600</TITLE>\n"},
      // Line breaks that an XML reader keeps: CR LF as a line break, a lone CR
      // and attribute white space as character references.
      {u"LABEL;LANGUAGE=a\tb\nc\r:text:1 Main St\r\nSpringfield\rlone CR\nlone LF\r", "*",
       u"<LABEL lang=\"a&#9;b&#10;c&#13;\" >1 Main St\nSpringfield&#13;lone CR\nlone LF&#13;"
       u"</LABEL>\n"},
      // Names no XML name can hold are encoded, the others kept.
      {u"X-A&B/C\\:\u00D7;TYPE=T:v / X-\u00C5SA-1.2:w / ", "*",
       u"<X-A_x0026_B_x002F_C_x003A__x00D7_ X-A_x0026_B_x002F_C_x003A__x00D7_.type=\"T \">v"
       u"</X-A_x0026_B_x002F_C_x003A__x00D7_>\n<X-\u00C5SA-1.2>w</X-\u00C5SA-1.2>\n<_></_>\n"},
      {u"X-\U0001F600\xD800:w", "*", u"<X-\U0001F600_xD800_>w</X-\U0001F600_xD800_>\n"},
      // Structured properties write all their child elements.
      {u"N:Doe / ORG", "N:Doe\nORG:\n",
       u"<N><family>Doe</family><given></given><other></other><prefix></prefix><suffix></suffix>"
       u"</N>\n<ORG><orgname></orgname><orgunit></orgunit></ORG>\n"},
      // Bytes are a Base64 block in XML only for media and keys.
      {u"PHOTO:bytes:ab / SOUND;TYPE=WAVE:bytes:ab / KEY;TYPE=X509:bytes:ab / "
       u"NOTE:text|bytes:ab / X-DATA:bytes:ab",
       "*",
       u"<PHOTO><b64bin fmttype=\"IMAGE/\">\n    YWI=\n</b64bin>\n</PHOTO>\n"
       u"<SOUND aud.type=\"WAVE \"><b64bin fmttype=\"SOUND/WAVE\">\n    YWI=\n</b64bin>\n</SOUND>\n"
       u"<KEY KEY.type=\"X509 \"><b64bin>\n    YWI=\n</b64bin>\n</KEY>\n"
       u"<NOTE>text;</NOTE>\n<X-DATA></X-DATA>\n"},
      // The first failing call ends the card with its status: a text that
      // cannot be encoded (XML reads it decoded), an N whose family name is
      // a date (only XML reads the view), also inside a nested card.
      {u"FN:kept / NOTE:orphan:x / TITLE:never", "FN:kept\nNOTE:", u"*", E_POINTER},
      {u"FN:kept / NOTE:orphan:x", "*", u"<FN>kept</FN>\n<NOTE>x</NOTE>\n"},
      {u"FN:kept / AGENT:card{FN:in / NOTE:orphan:x} / TITLE:never",
       "FN:kept\nAGENT:\nBEGIN:VCARD\nFN:in\nNOTE:", u"*", E_POINTER},
      {u"FN:kept / AGENT:card{N:date:1} / TITLE:never", "*",
       u"<FN>kept</FN>\n<AGENT>\n<vCard version=\"2.1\">\n<N>", E_FAIL},
      // A card that holds itself is refused instead of written for ever.
      {u"FN:Loop / AGENT:self", "FN:Loop\nAGENT:\n", u"<FN>Loop</FN>\n<AGENT>\n", E_INVALIDARG},
      {u"AGENT:card{FN:Loop / AGENT:self}", "AGENT:\nBEGIN:VCARD\nFN:Loop\nAGENT:\n",
       u"<AGENT>\n<vCard version=\"2.1\">\n<FN>Loop</FN>\n<AGENT>\n", E_INVALIDARG},
      // So is one whose group, name or parameter holds a line break or an
      // end-of-text character, which would split its line or end the file.
      {u"FN:kept / TEL;X-P=a\nb:1 / TITLE:never", "FN:kept\nTEL;X-P=", u"*", E_INVALIDARG},
      {u"TEL;TYPE=HO\rME:1", "TEL;", u"*", E_INVALIDARG},
      {u"TEL;X-P\r=a:1", "TEL;", u"*", E_INVALIDARG},
      {u"FN:kept / NOTE[g\nh]:x", "FN:kept\n", u"*", E_INVALIDARG},
      {u"X-A\x1A:x", "", u"*", E_INVALIDARG},
  };
}

TEST(WriterGolden, CardToVCardTextAndXml) {
  EXPECT_EQ(XmlElementName(u"1X"), u"_x0031_X");  // A name no property may have.
  for (const Row& row : Rows()) {
    SCOPED_TRACE(Text(std::u16string_view(row.card).substr(0, 150)));
    CardBuilder builder;
    CComPtr<IVCard> card = builder.Build(row.card);
    std::vector<ULONG> references;
    for (IVCard* built : builder.cards) references.push_back(Refs(built));
    ScratchDir dir;
    const bool saves = row.status == S_OK;
    if (!saves && row.vcard != "*") {
      std::FILE* stream = std::fopen((dir / "w.vcf").c_str(), "wb");
      EXPECT_EQ(WriteVCard(stream, card), row.status);
      std::fclose(stream);
      EXPECT_EQ(ReadFile(dir / "w.vcf"), CrLf("BEGIN:VCARD\n" + row.vcard));
    }
    if (!saves && row.xml != u"*") {
      {
        CUnicodeFile file((dir / "w.xml").c_str(), "w", 0);
        EXPECT_EQ(WriteVCardAsXML(file, card), row.status);
      }
      EXPECT_EQ(ReadFile(dir / "w.xml"), Utf16File(u"<vCard version=\"2.1\">\n" + row.xml));
    }
    CComPtr<IVCardColl> collection = Collection({card});
    if (row.vcard != "*") {  // A failed save leaves no file.
      EXPECT_EQ(collection->Save(Name(dir / "c.vcf")), row.status);
      EXPECT_EQ(ReadFile(dir / "c.vcf"),
                saves ? CrLf("BEGIN:VCARD\nVERSION:2.1\n" + row.vcard + "END:VCARD\n") : "");
    }
    if (row.xml != u"*") {
      EXPECT_EQ(collection->SaveAsXML(Name(dir / "c.xml"), nullptr), row.status);
      EXPECT_EQ(ReadFile(dir / "c.xml"),
                saves ? XmlDocument(u"<vCard version=\"2.1\">\n<VERSION>2.1</VERSION>\n" + row.xml +
                                    u"</vCard>\n")
                      : "");
    }
    collection.Release();
    // The writers leave no reference behind, whatever happened.
    for (std::size_t i = 0; i < references.size(); ++i)
      EXPECT_EQ(Refs(builder.cards[i]), references[i]) << "card " << i;
  }
}

TEST(CUnicodeFile, BytesModesAndFormats) {
  ScratchDir dir;
  FailingFiles files;
  const std::u16string wide(5000, u'w');
  const std::string narrow(3000, 'n');
  {
    CUnicodeFile plain((dir / "lf").c_str(), "w", 1);  // Any flag but 0: LF stays LF.
    plain.Printf(u"a\nb");
    CUnicodeFile file((dir / "f").c_str(), "w", 0);
    file.Printf(u"<%s>%d,%i,%u,%c,%%,%x,%s|%\n", u"T\u00E9L", -12, 7, 4000000000u, u'\u20AC',
                static_cast<const char16_t*>(nullptr));
    // Narrow text is widened from the ANSI code page, and not formatted twice.
    file.Printf("%s|%d\n", "100% caf\xE9 \x80", 5);
    file.Printf(u"%s", wide.c_str());
    file.Printf("%s", narrow.c_str());
    EXPECT_TRUE(file.Close());
    EXPECT_TRUE(file.Close());  // A second close does nothing, nor does the destructor.
    EXPECT_FALSE(file.IsOpen());
  }
  EXPECT_EQ(files.Count(Call::kClose), 2);
  EXPECT_EQ(ReadFile(dir / "lf"), std::string("\xFF\xFE\x61\0\n\0b\0", 8));
  EXPECT_EQ(ReadFile(dir / "f"),
            Utf16File(u"<T\u00E9L>-12,7,4000000000,\u20AC,%,%x,|%\n100% caf\u00E9 \u20AC|5\n" +
                      wide + std::u16string(narrow.begin(), narrow.end())));

  // Always binary; only write modes start with the mark, appending adds none.
  { CUnicodeFile((dir / "m").c_str(), "wt", 0).Printf(u"a\n"); }
  for (const char* mode : {"a", "ab", "r+"}) CUnicodeFile((dir / "m").c_str(), mode, 0);
  EXPECT_EQ(std::vector<std::string>(files.modes.begin() + 2, files.modes.end()),
            (std::vector<std::string>{"wb", "ab", "ab", "r+b"}));
  EXPECT_EQ(ReadFile(dir / "m"), Utf16File(u"a\n"));

  // Seek: false for an origin it does not know or with no file open.
  CUnicodeFile file((dir / "s").c_str(), "w", 0);
  file.Printf(u"abc");
  EXPECT_FALSE(file.Seek(0, 3));
  EXPECT_FALSE(file.Seek(0, -1));
  EXPECT_TRUE(file.Seek(4, 0));  // Past the mark and "a".
  file.Printf(u"X");
  EXPECT_TRUE(file.Seek(0, 2));
  file.Printf(u"d");
  EXPECT_EQ(file.GetFileName(), dir / "s");
  file.Close();
  EXPECT_FALSE(file.Seek(0, 0));
  EXPECT_EQ(ReadFile(dir / "s"), Utf16File(u"aXcd"));
}

// What `act` threw: code, errno and file name.
std::tuple<int, int, std::string> Thrown(const std::function<void()>& act) {
  try {
    act();
  } catch (const CUnicodeFileException& e) {
    return {e.code, e.osError, e.fileName};
  }
  return {-1, -1, "no exception"};
}

// Each failure throws its code, errno and the file's name; a failed write
// leaves what came before it and fails every later write without retrying.
TEST(CUnicodeFile, FailuresThrowCodeErrnoAndName) {
  using E = CUnicodeFileException;
  using Fields = std::tuple<int, int, std::string>;
  ScratchDir dir;
  const std::string name = dir / "f", missing = dir / "missing-folder/f";
  EXPECT_EQ(Thrown([&] { CUnicodeFile(missing.c_str(), "w", 0); }),
            Fields(E::kNotOpen, ENOENT, missing));
  CUnicodeFile file(name.c_str(), "w", 0);
  EXPECT_EQ(Thrown([&] { file.Seek(-100, 0); }), Fields(E::kSeekFailed, EINVAL, name));
  {
    FailingFiles files({Call::kWrite, 1});  // After the open: the first text.
    file.Printf(u"kept");
    EXPECT_EQ(Thrown([&] { file.Printf(u"lost"); }), Fields(E::kWriteFailed, ENOSPC, name));
    EXPECT_EQ(std::get<0>(Thrown([&] { file.Printf(u"again"); })), E::kWriteFailed);
    EXPECT_EQ(files.Count(Call::kWrite), 2);
  }
  file.Close();
  EXPECT_EQ(ReadFile(name), Utf16File(u"kept"));
  const auto [code, os_error, file_name] = Thrown([&] { file.Printf("x"); });
  EXPECT_EQ(code, E::kNotOpen);
  EXPECT_EQ(file_name, name);
  EXPECT_EQ(Fields(E().code, E().osError, E().fileName), Fields(0, 0, ""));
}

}  // namespace
}  // namespace tarvovcard::writer
