// The value object: its content through the coding rules of its parent (what
// Load reads is the reader's golden table's; tests/coding has what a value
// cannot show), its statuses, embedded cards and the parent it does not hold.
#include <random>
#include <string>
#include <vector>

#include "coding/value_coding.h"
#include "support/builders.h"
#include "support/doubles.h"
#include "support/model_text.h"

namespace tarvovcard::testing {
namespace {

using coding::kByteArrayType;
using coding::kEncodedTextType;

constexpr const char16_t* kQP = u"NOTE;ENCODING=QUOTED-PRINTABLE";
constexpr const char16_t* kB64 = u"PHOTO;ENCODING=BASE64";
constexpr const char16_t* kLatin1QP = u"NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=ISO-8859-1";

CComPtr<IVCardValue> ValueOf(IVCardProperty* parent) {
  auto value = Create<IVCardValue>(CLSID_VCardValue);
  EXPECT_EQ(value->putref_Parent(parent), S_OK);
  return value;
}

std::string Encoded(IVCardValue* value) {
  VARIANT out{};
  EXPECT_EQ(value->get_EncodedValue(&out), S_OK);
  EXPECT_EQ(out.vt, kEncodedTextType);
  std::string text = out.vt == kEncodedTextType && out.pcVal ? out.pcVal : "<none>";
  coding::ClearEncodedValue(&out);
  EXPECT_EQ(out.vt, VT_EMPTY);
  return text;
}

// The content as text, a byte array written "bytes:" and one character a
// byte; the value's Type must agree with it.
std::u16string Decoded(IVCardValue* value) {
  CComVariant decoded;
  EXPECT_EQ(value->get_DecodedValue(&decoded), S_OK);
  const EVCardValue kind = Get(value, &IVCardValue::get_Type);
  if (decoded.vt == VT_BSTR) {
    EXPECT_EQ(kind, VCARD_VALUE_STRING);
    EXPECT_NE(decoded.bstrVal, nullptr);  // empty text is an empty string
    return Str(decoded.bstrVal);
  }
  if (decoded.vt != kByteArrayType) return u"<neither text nor bytes>";
  EXPECT_EQ(kind, VCARD_VALUE_BYTEARRAY);
  const auto* bytes = static_cast<const unsigned char*>(decoded.parray->pvData);
  return u"bytes:" + std::u16string(bytes, bytes + decoded.parray->rgsabound[0].cElements);
}

// The inverse of Decoded: a BSTR, or a byte array for "bytes:...".
CComVariant Content(std::u16string_view decoded) {
  if (!decoded.starts_with(u"bytes:")) return CComVariant(std::u16string(decoded).c_str());
  return Bytes(decoded.substr(6));
}

// put EncodedValue, get DecodedValue, get EncodedValue (`again`; null: the same).
struct EncodedCase {
  const char16_t* property;  // as support/builders.h's CardBuilder writes it
  const char* encoded;
  const char16_t* decoded;
  const char* again;
};
const EncodedCase kEncodedCases[] = {
    // Quoted-Printable only for the exact upper-case value; upper-case escapes.
    {u"NOTE;ENCODING=quoted-printable", "Hello=20World", u"Hello=20World", nullptr},
    // Soft breaks join, inside an escape too; a LF ends the value, CR LF too.
    {kQP, "=D=\n0==\nD1", u"\u00D0\u00D1", "=D0=D1"},
    {kQP, "one\ntwo", u"one", "one"},
    {kQP, "abc=\r\ndef", u"abc", "abc"},
    {kQP, "a\rb\n", u"a\rb", "a=0Db"},
    // An "=" that starts no escape ends the value (lower case is no hex digit)...
    {kQP, "x=G1y", u"x", "x"},
    {kQP, "abc==41", u"abc", "abc"},
    {kQP, "abc=", u"abc", "abc"},
    // ...one hex digit gives "=" and drops the byte after it, even a LF...
    {kQP, "=41=4a", u"A=", "A=3D"},
    {kQP, "a=4", u"a=", "a=3D"},
    {kQP, "a=4\nb", u"a=b", "a=3Db"},
    // ...and every FF byte is dropped, while the other high bytes pass.
    {kQP, "\xFFxy\xFF\xFFz\xFF", u"xyz", "xyz"},
    {kQP, "\x80\xFE\tb", u"\u20AC\u00FE\tb", "=80=FE\tb"},
    // Structured properties unescape "\;" (a run of backslashes as one) and
    // escape ";" (under Quoted-Printable "=3B": the reader's golden table, read
    // back after Save); under another ENCODING the escapes are kept as read.
    {u"N", "a\\\\\\;b;c", u"a;b;c", "a\\;b\\;c"},
    {u"NOTE", "Smith\\;Jr", u"Smith\\;Jr", nullptr},
    {u"N;ENCODING=8BIT", "Smith\\;Jr", u"Smith\\;Jr", nullptr},
    // Base64 gives bytes, skipping what is outside the alphabet without
    // breaking a group ("=" closes none); a last partial group gives its
    // whole bytes. Bytes encode in groups, padded, behind four spaces.
    {kB64, "AQID/w==", u"bytes:\x01\x02\x03\xFF", "    AQID/w=="},
    {kB64, "TWE", u"bytes:Ma", "    TWE="},
    {kB64, "T", u"bytes:", "    "},
    {kB64, "+/+/", u"bytes:\xFB\xFF\xBF", "    +/+/"},
    {kB64, "\x80T\xFFWF\x9Fu\xC3", u"bytes:Man", "    TWFu"},
    {kB64, "QQ==QQ==", u"bytes:\x41\x04\x10", "    QQQQ"},
    // Without CHARSET the ANSI code page, whose conversions tests/platform
    // checks; ASCII alone takes a shortcut around them, the lone 0x80 not.
    {u"NOTE", "\x80", u"\u20AC", nullptr},
    // CHARSET (how sets decode: the reader's golden table): a set that cannot
    // read the backslash of "\;" (UTF-7) keeps the escape as read around its
    // text; one that reads it as another character keeps that.
    {u"N;ENCODING=8BIT;CHARSET=UTF-7", "Smith\\;Jr K+APY-ln", u"Smith\\;Jr K\u00F6ln", nullptr},
    {u"N;ENCODING=8BIT;CHARSET=Shift_JIS", "a\\;b", u"a\u00A5;b", nullptr},
    // Only the first ENCODING and the first CHARSET steer.
    {u"NOTE;TYPE=HOME;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE;CHARSET=ISO-8859-1;ENCODING=BASE64",
     "=C3=A9", u"\u00E9", nullptr},
};

TEST(ValueCoding, FileTextDecodesAndEncodesBack) {
  for (const EncodedCase& c : kEncodedCases) {
    SCOPED_TRACE(::testing::Message() << "row " << &c - kEncodedCases << ": " << c.encoded);
    auto property = MakeProperty(c.property);
    auto value = ValueOf(property);
    ASSERT_EQ(PutEncoded(value, c.encoded), S_OK);
    EXPECT_EQ(Decoded(value), c.decoded);
    const std::string again = c.again ? c.again : c.encoded;
    EXPECT_EQ(Encoded(value), again);
    if (!std::u16string_view(c.decoded).starts_with(u"bytes:")) continue;
    // A stored byte array reads as Base64 whatever the parameters say.
    CComPtr<IVCardParameterColl> parameters = Get(property.p, &IVCardProperty::get_Parameters);
    while (CountOf(parameters) > 0) ASSERT_EQ(parameters->Remove(0), S_OK);
    EXPECT_EQ(Encoded(value), again);
  }
}

// put DecodedValue (the value names the property but is none of its values),
// then the property (`after`; null: unchanged) and get EncodedValue. Text
// that needs Quoted-Printable (a control character, or above 0x7F outside N,
// ADR, ORG and SOUND) and every byte array leave one ENCODING at the end in
// place of all; text that the first CHARSET's set (the ANSI code page without
// one) cannot hold leaves one CHARSET=UTF-8.
struct DecodedCase {
  const char16_t* property;
  std::u16string decoded;
  const char16_t* after;
  std::string encoded;
};
const DecodedCase kDecodedCases[] = {
    {u"NOTE;ENCODING=BASE64", u"Hi", nullptr, "    SGk="},
    {u"NOTE;ENCODING=8BIT;TYPE=WORK", u"Line1\r\nLine2",
     u"NOTE;TYPE=WORK;ENCODING=QUOTED-PRINTABLE", "Line1=0D=0ALine2"},
    {u"ADR", u"Caf\u00E9", nullptr, "Caf\xE9"},
    {u"NOTE", u"Caf\u00E9", u"NOTE;ENCODING=QUOTED-PRINTABLE", "Caf=E9"},
    {u"NOTE;ENCODING=8BIT", u"plain", nullptr, "plain"},
    {u"LOGO;ENCODING=QUOTED-PRINTABLE;TYPE=GIF;encoding=8BIT", u"bytes:Hi",
     u"LOGO;TYPE=GIF;ENCODING=BASE64", "    SGk="},
    {u"NOTE;CHARSET=ISO-8859-1;charset=US-ASCII", u"\u0141\u00F3d\u017A",
     u"NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8", "=C5=81=C3=B3d=C5=BA"},
    {u"NOTE;CHARSET=utf-8", u"a\xD800z", u"NOTE;CHARSET=utf-8;ENCODING=QUOTED-PRINTABLE",
     "a=EF=BF=BDz"},
    // Structured: no ENCODING, but the charset still switches. The euro sign
    // is in the ANSI code page and in Windows-1252, not in ISO-8859-1.
    {u"ORG", u"\u20AC\u4E2D", u"ORG;CHARSET=UTF-8", "\xE2\x82\xAC\xE4\xB8\xAD"},
    {u"ORG;CHARSET=windows-1252", u"\u20AC \u00E9", nullptr, "\x80 \xE9"},
    {u"ORG;CHARSET=ISO-8859-1", u"\u20AC \u00E9", u"ORG;CHARSET=UTF-8", "\xE2\x82\xAC \xC3\xA9"},
};

TEST(ValueCoding, DecodedValueSetsParametersAndEncodes) {
  for (const DecodedCase& c : kDecodedCases) {
    SCOPED_TRACE(::testing::Message() << "row " << &c - kDecodedCases << ": " << c.encoded);
    auto property = MakeProperty(c.property);
    auto value = ValueOf(property);
    ASSERT_EQ(value->put_DecodedValue(Content(c.decoded)), S_OK);
    EXPECT_EQ(Describe(property), ToUtf8(c.after ? c.after : c.property) + ":");
    EXPECT_EQ(Encoded(value), c.encoded);
  }
}

// Under Quoted-Printable, each character of ISO-8859-1 is itself or its escape.
TEST(ValueCoding, EveryLatin1CharacterUnderQuotedPrintable) {
  const std::string_view literals =
      "\t %&'()*+,-./0123456789:;<>?ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";
  constexpr char kHex[] = "0123456789ABCDEF";
  auto latin1 = MakeProperty(kLatin1QP);
  for (int b = 1; b < 256; ++b) {
    SCOPED_TRACE(b);
    auto value = ValueOf(latin1);
    ASSERT_EQ(value->put_DecodedValue(Content(std::u16string(1, char16_t(b)))), S_OK);
    const std::string escape = {'=', kHex[b >> 4], kHex[b & 15]};
    EXPECT_EQ(Encoded(value),
              literals.find(char(b)) != std::string_view::npos ? std::string(1, char(b)) : escape);
  }
}

// Quoted-Printable breaks a line ("=" LF) before a character that would pass
// column 76, and only then; Base64 writes four spaces and up to 68 characters
// a line. Random text and bytes, the last up to a megabyte, keep that layout
// and come back the same (a fixed seed keeps a failure reproducible).
TEST(ValueCoding, EncodedLinesKeepTheirLayoutAndComeBack) {
  std::mt19937 engine(20261206);
  const auto random = [&engine](std::size_t max_length, int lowest) {
    std::u16string text(std::uniform_int_distribution<std::size_t>(0, max_length)(engine), u'\0');
    for (char16_t& c : text)
      c = static_cast<char16_t>(std::uniform_int_distribution(lowest, 255)(engine));
    return text;
  };
  // The file text of `content`, which reads back the same, cut into lines.
  const auto lines_of = [](IVCardValue* value, const std::u16string& content) {
    EXPECT_EQ(value->put_DecodedValue(Content(content)), S_OK);
    const std::string encoded = Encoded(value);
    EXPECT_EQ(PutEncoded(value, encoded.c_str()), S_OK);
    EXPECT_TRUE(Decoded(value) == content);
    std::vector<std::string> lines(1);
    for (char c : encoded) c == '\n' ? lines.emplace_back() : (lines.back() += c);
    return lines;
  };
  for (int i = 0; i <= 300; ++i) {
    const std::size_t max_length = i < 300 ? 1000 : 1 << 20;
    auto latin1 = MakeProperty(kLatin1QP);  // the bytes change its parameters
    auto value = ValueOf(latin1);
    std::vector<std::string> lines = lines_of(value, random(max_length, 1));
    for (std::size_t n = 0; n + 1 < lines.size(); ++n) {
      ASSERT_TRUE(lines[n].ends_with('=')) << "a hard line break at line " << n;
      ASSERT_LE(lines[n].size(), 77u);
      ASSERT_GT(lines[n].size() - 1 + (lines[n + 1][0] == '=' ? 3 : 1), 76u);
    }
    ASSERT_LE(lines.back().size(), 76u);
    const std::u16string bytes = u"bytes:" + random(max_length, 0);
    lines = lines_of(value, bytes);
    const std::size_t size = bytes.size() - 6;
    ASSERT_EQ(lines.size(), size == 0 ? 1 : (size + 50) / 51);
    std::size_t characters = 0;
    for (std::size_t n = 0; n < lines.size(); ++n) {
      ASSERT_EQ(lines[n].substr(0, 4), "    ");
      ASSERT_EQ(lines[n].size(), n + 1 < lines.size() ? 72u : lines[n].size());
      characters += lines[n].size() - 4;
    }
    ASSERT_EQ(characters, (size + 2) / 3 * 4);
  }
}

// Each put reads the parameters as they are then. Parameters and parents that
// the library did not make are asked through their interfaces, in order; a
// foreign CHARSET first steers.
TEST(ValueCoding, EachPutAsksTheParametersAsTheyAreThen) {
  StubParameter charset(VCARD_PARAM_CHARSET, u"CHARSET", u"UTF-8");
  {
    auto property = MakeProperty(u"NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE");
    auto value = ValueOf(property);
    CComPtr<IVCardParameterColl> parameters = Get(property.p, &IVCardProperty::get_Parameters);
    CComPtr<IVCardParameter> encoding;
    const auto read = [&value] {
      EXPECT_EQ(PutEncoded(value, "=C3=A9"), S_OK);
      return Decoded(value);
    };
    EXPECT_EQ(read(), u"\u00E9");
    ASSERT_EQ(parameters->Remove(0), S_OK);
    EXPECT_EQ(read(), u"\u00C3\u00A9");
    ASSERT_EQ(parameters->Item(0, &encoding), S_OK);
    ASSERT_EQ(encoding->put_Value(CComBSTR(u"8BIT")), S_OK);
    EXPECT_EQ(read(), u"=C3=A9");
    ASSERT_EQ(encoding->put_Value(CComBSTR(u"QUOTED-PRINTABLE")), S_OK);
    ASSERT_EQ(parameters->InsertAt(0, &charset), S_OK);
    ASSERT_EQ(parameters->Add(MakeParameter(u"CHARSET", u"ISO-8859-1")), S_OK);
    EXPECT_EQ(read(), u"\u00E9");
    EXPECT_EQ(charset.type_queries, 1);  // one walk finds ENCODING and CHARSET
  }
  EXPECT_EQ(charset.refs, 1u);
  auto property = MakeProperty(u"N;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8");
  ForeignProperty foreign(property);
  auto value = ValueOf(&foreign);
  ASSERT_EQ(PutEncoded(value, "=C3=A9;x"), S_OK);
  EXPECT_EQ(Decoded(value), u"\u00E9;x");
  EXPECT_EQ(foreign.parameter_queries, 2);
}

// A new value is an empty string without parent. Text put without a parent
// is reported: put EncodedValue stores nothing, put DecodedValue stores it all
// the same; a get that fails has released what was passed. A refused variant
// type leaves the content. Dates need no parent, and an empty value leaves
// the encoded out as it was passed.
TEST(ValueCoding, WithoutParentTextIsStoredButReported) {
  auto value = Create<IVCardValue>(CLSID_VCardValue);
  CComVariant empty, passed(u"old"), date, out, untouched(LONG{42});
  EXPECT_EQ(Get(value.p, &IVCardValue::get_Type), VCARD_VALUE_STRING);
  ExpectStatuses({
      {CALL(value->putref_Parent(nullptr)), E_POINTER},
      {CALL(value->get_EncodedValue(nullptr)), E_POINTER},
      {CALL(value->get_DecodedValue(nullptr)), E_POINTER},
      {CALL(value->get_Type(nullptr)), E_POINTER},
      {CALL(PutEncoded(value, "text")), E_POINTER},
      {CALL(value->get_DecodedValue(&empty)), S_OK},
      {CALL(value->put_DecodedValue(CComVariant(u"text"))), E_POINTER},
      {CALL(value->get_EncodedValue(&passed)), E_POINTER},
      {CALL(value->put_EncodedValue(CComVariant(u"x"))), E_INVALIDARG},  // no VT_BSTR
      {CALL(value->put_DecodedValue(CComVariant(LONG{1}))), E_INVALIDARG},
  });
  EXPECT_EQ(empty.vt, VT_EMPTY);
  EXPECT_EQ(passed.vt, VT_EMPTY);
  date.vt = VT_DATE;
  date.date = 36000.5;
  ASSERT_EQ(value->put_EncodedValue(date), S_OK);
  ASSERT_EQ(value->get_EncodedValue(&out), S_OK);
  EXPECT_EQ(out.vt, VT_DATE);
  EXPECT_EQ(out.date, 36000.5);
  EXPECT_EQ(Get(value.p, &IVCardValue::get_Type), VCARD_VALUE_DATE);
  auto property = MakeProperty(u"NOTE");
  ASSERT_EQ(ValueOf(property)->get_EncodedValue(&untouched), S_OK);
  EXPECT_EQ(untouched.vt, VT_I4);
  EXPECT_EQ(untouched.lVal, 42);
}

// An object given as a value is asked for IVCard and held by one reference:
// something that is no card, or no object at all, is refused and leaves the
// value empty; releasing the value releases its card.
TEST(ValueCoding, EmbeddedCardsAreHeldByReference) {
  auto property = MakeProperty(u"AGENT");
  auto value = ValueOf(property);
  auto card = Create<IVCard>(CLSID_VCard);
  auto parameter = Create<IVCardParameter>(CLSID_VCardParameter);
  const ULONG before = Refs(card);
  const auto object = [](IUnknown* unknown) {  // a VARIANT that borrows it
    VARIANT v{};
    v.vt = VT_UNKNOWN;
    v.punkVal = unknown;
    return v;
  };
  CComVariant decoded;
  ASSERT_EQ(value->put_DecodedValue(object(card)), S_OK);
  EXPECT_EQ(Refs(card), before + 1);
  EXPECT_EQ(Get(value.p, &IVCardValue::get_Type), VCARD_VALUE_VCARD);
  ASSERT_EQ(value->put_EncodedValue(object(card)), S_OK);
  EXPECT_EQ(Refs(card), before + 1);
  EXPECT_EQ(value->put_EncodedValue(object(parameter)), E_NOINTERFACE);
  EXPECT_EQ(Refs(card), before);
  EXPECT_EQ(value->put_DecodedValue(object(parameter)), E_NOINTERFACE);
  EXPECT_TRUE(FAILED(value->put_EncodedValue(object(nullptr))));
  EXPECT_TRUE(FAILED(value->put_DecodedValue(object(nullptr))));
  value->get_DecodedValue(&decoded);
  EXPECT_EQ(decoded.vt, VT_EMPTY);
  ASSERT_EQ(value->put_DecodedValue(object(card)), S_OK);
  value.Release();
  EXPECT_EQ(Refs(card), before);
}

// The parent is not counted. Once it is gone, every value that named it (held
// by a client, in another collection, never added) reads it as unset and cannot
// be coded until it has a new parent. A value that moved or died first is off
// its list: a new value likely takes a dead one's memory, where a list still
// holding it would stop.
TEST(VCardValue, ParentIsNotHeldAndNeverDangles) {
  auto other = Create<IVCardValueColl>(CLSID_VCardValueColl);
  auto second = MakeProperty(u"TEL");
  CComPtr<IVCardValue> kept, elsewhere, orphan, moved, successor;
  {
    auto property = MakeProperty(u"NOTE");
    const ULONG before = Refs(property);
    kept = AddTextValue(property, u"held by a client");
    elsewhere = AddTextValue(property, u"also in another collection");
    ASSERT_EQ(other->Add(elsewhere), S_OK);
    orphan = ValueOf(property);
    moved = AddTextValue(property, u"moves");
    ASSERT_EQ(moved->putref_Parent(second), S_OK);
    AddTextValue(property, u"dies first");
    ASSERT_EQ(Get(property.p, &IVCardProperty::get_Values)->Remove(3), S_OK);
    successor = Create<IVCardValue>(CLSID_VCardValue);
    EXPECT_EQ(Refs(property), before);
  }
  for (IVCardValue* value : {kept.p, elsewhere.p, orphan.p}) {
    IVCardProperty* gone = reinterpret_cast<IVCardProperty*>(1);
    EXPECT_EQ(value->get_Parent(&gone), E_POINTER);
    EXPECT_EQ(gone, nullptr);
  }
  EXPECT_EQ(Get(moved.p, &IVCardValue::get_Parent), second);
  ASSERT_EQ(kept->putref_Parent(second), S_OK);
  EXPECT_EQ(Encoded(kept), "held by a client");
}

}  // namespace
}  // namespace tarvovcard::testing
