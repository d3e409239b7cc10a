// Decoded and encoded values: the coding table in both directions, the
// encoding-parameter replacement, and the switch to a UTF-8 charset for text
// that the ANSI code page cannot hold.
#include "coding/value_coding.h"

#include <string>

#include "model_test_support.h"

namespace tarvovcard::coding {
namespace {

using testing::AddParameter;
using testing::CountOf;
using testing::Create;
using testing::MakeProperty;
using testing::Str;

// A value of a property, with helpers for both sides.
class ValueCoding : public ::testing::Test {
 protected:
  void Use(const char16_t* property_name) {
    property = MakeProperty(property_name);
    value = Create<IVCardValue>(CLSID_VCardValue);
    ASSERT_EQ(value->putref_Parent(property), S_OK);
  }

  HRESULT PutEncoded(const char* text) {
    VARIANT encoded;  // borrows the text, as put_EncodedValue takes it
    VariantInit(&encoded);
    encoded.vt = VT_BYREF | VT_I1;
    encoded.pcVal = const_cast<char*>(text);
    return value->put_EncodedValue(encoded);
  }

  std::string GetEncoded() {
    VARIANT out;
    VariantInit(&out);
    EXPECT_EQ(value->get_EncodedValue(&out), S_OK);
    EXPECT_EQ(out.vt, kEncodedTextType);
    std::string text = out.vt == kEncodedTextType && out.pcVal ? out.pcVal : "<none>";
    ClearEncodedValue(&out);
    EXPECT_EQ(out.vt, VT_EMPTY);
    return text;
  }

  HRESULT PutDecodedText(const char16_t* text) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(text);
    HRESULT hr = value->put_DecodedValue(v);
    VariantClear(&v);
    return hr;
  }

  std::u16string DecodedText() {
    CComVariant decoded;
    EXPECT_EQ(value->get_DecodedValue(&decoded), S_OK);
    EXPECT_EQ(decoded.vt, VT_BSTR);
    return decoded.vt == VT_BSTR ? Str(decoded.bstrVal) : u"<not text>";
  }

  // "NAME=VALUE,..." of the property's parameters in order.
  std::u16string Parameters() {
    CComPtr<IVCardParameterColl> parameters;
    property->get_Parameters(&parameters);
    std::u16string list;
    for (LONG i = 0; i < CountOf(parameters); ++i) {
      CComPtr<IVCardParameter> parameter;
      parameters->Item(i, &parameter);
      CComBSTR name, text;
      parameter->get_Name(&name);
      parameter->get_Value(&text);
      if (!list.empty()) list += u",";
      list += Str(name) + u"=" + Str(text);
    }
    return list;
  }

  CComPtr<IVCardProperty> property;
  CComPtr<IVCardValue> value;
};

TEST_F(ValueCoding, NewValueIsEmptyAndLeavesTheEncodedOutAlone) {
  Use(u"NOTE");
  EVCardValue kind;
  value->get_Type(&kind);
  EXPECT_EQ(kind, VCARD_VALUE_STRING);
  VARIANT out;
  out.vt = VT_I4;
  out.lVal = 42;
  EXPECT_EQ(value->get_EncodedValue(&out), S_OK);
  EXPECT_EQ(out.vt, VT_I4);
  EXPECT_EQ(out.lVal, 42);
  EXPECT_EQ(value->get_EncodedValue(nullptr), E_POINTER);
  EXPECT_EQ(value->get_DecodedValue(nullptr), E_POINTER);
  EXPECT_EQ(value->get_Type(nullptr), E_POINTER);
}

TEST_F(ValueCoding, QuotedPrintableOnlyWhenTheParameterSaysSoExactly) {
  Use(u"NOTE");
  AddParameter(property, u"ENCODING", u"QUOTED-PRINTABLE");
  ASSERT_EQ(PutEncoded("Hello=20World"), S_OK);
  EXPECT_EQ(DecodedText(), u"Hello World");
  EXPECT_EQ(GetEncoded(), "Hello World");

  Use(u"NOTE");
  AddParameter(property, u"ENCODING", u"quoted-printable");
  ASSERT_EQ(PutEncoded("Hello=20World"), S_OK);
  EXPECT_EQ(DecodedText(), u"Hello=20World");
  EXPECT_EQ(GetEncoded(), "Hello=20World");
}

TEST_F(ValueCoding, StructuredPropertiesEscapeSemicolons) {
  Use(u"N");
  ASSERT_EQ(PutEncoded("Smith\\;Jr"), S_OK);
  EXPECT_EQ(DecodedText(), u"Smith;Jr");
  EXPECT_EQ(GetEncoded(), "Smith\\;Jr");
  // A run of backslashes before a semicolon comes back as one.
  ASSERT_EQ(PutEncoded("a\\\\\\;b;c"), S_OK);
  EXPECT_EQ(DecodedText(), u"a;b;c");
  EXPECT_EQ(GetEncoded(), "a\\;b\\;c");

  Use(u"NOTE");
  ASSERT_EQ(PutEncoded("Smith\\;Jr"), S_OK);
  EXPECT_EQ(DecodedText(), u"Smith\\;Jr");
  EXPECT_EQ(GetEncoded(), "Smith\\;Jr");

  // With another ENCODING the escapes are the encoding's business: kept as
  // read, and none added; but a "\\;" inside a quoted-printable component is
  // a ";" of the text, as phones write it. Quoted-Printable writes a
  // component's ";" as "=3B", so that it does not separate the component
  // from the next.
  struct Case {
    const char16_t* encoding;
    const char16_t* decoded;
    const char* encoded;
  };
  for (const Case& c :
       {Case{u"QUOTED-PRINTABLE", u"Smith;Jr", "a=3Bb"}, Case{u"8BIT", u"Smith\\;Jr", "a;b"}}) {
    Use(u"N");
    AddParameter(property, u"ENCODING", c.encoding);
    ASSERT_EQ(PutEncoded("Smith\\;Jr"), S_OK);
    EXPECT_EQ(DecodedText(), c.decoded);
    ASSERT_EQ(PutDecodedText(u"a;b"), S_OK);
    EXPECT_EQ(GetEncoded(), c.encoded);
  }
}

TEST_F(ValueCoding, Base64GivesAByteArrayThatReadsBackAsBase64) {
  Use(u"PHOTO");
  AddParameter(property, u"ENCODING", u"BASE64");
  ASSERT_EQ(PutEncoded("AQID/w=="), S_OK);
  EVCardValue kind;
  value->get_Type(&kind);
  EXPECT_EQ(kind, VCARD_VALUE_BYTEARRAY);
  CComVariant decoded;
  value->get_DecodedValue(&decoded);
  ASSERT_EQ(decoded.vt, VT_ARRAY | VT_UI1);
  ASSERT_EQ(decoded.parray->rgsabound[0].cElements, 4u);
  auto* bytes = static_cast<unsigned char*>(decoded.parray->pvData);
  EXPECT_EQ(bytes[0], 1);
  EXPECT_EQ(bytes[3], 0xFF);
  EXPECT_EQ(GetEncoded(), "    AQID/w==");

  // A stored array reads as Base64 whatever the parameters say.
  CComPtr<IVCardParameterColl> parameters;
  property->get_Parameters(&parameters);
  parameters->Remove(0);
  EXPECT_EQ(GetEncoded(), "    AQID/w==");
}

TEST_F(ValueCoding, TextInBase64AndOtherEncodings) {
  Use(u"NOTE");
  AddParameter(property, u"ENCODING", u"BASE64");
  ASSERT_EQ(PutDecodedText(u"Hi"), S_OK);
  EXPECT_EQ(GetEncoded(), "    SGk=");
  Use(u"NOTE");
  AddParameter(property, u"ENCODING", u"8BIT");
  ASSERT_EQ(PutEncoded("a;b=20"), S_OK);
  EXPECT_EQ(DecodedText(), u"a;b=20");
  EXPECT_EQ(GetEncoded(), "a;b=20");
}

TEST_F(ValueCoding, CharsetUtf8SelectsUtf8BothWays) {
  Use(u"NOTE");
  AddParameter(property, u"CHARSET", u"UTF-8");
  ASSERT_EQ(PutEncoded("\xC3\xA9"), S_OK);
  EXPECT_EQ(DecodedText(), u"\u00E9");

  Use(u"N");  // structured: no Quoted-Printable for é
  ASSERT_EQ(PutEncoded("\xC3\xA9"), S_OK);
  EXPECT_EQ(DecodedText(), u"\u00C3\u00A9");  // two ANSI characters
  EXPECT_EQ(GetEncoded(), "\xC3\xA9");

  // The name in any letter case; other sets that iconv knows decode too, and
  // a name it does not know reads as the ANSI code page.
  struct Case {
    const char16_t* charset;
    const char* encoded;
    const char16_t* decoded;
  };
  for (const Case& c : {Case{u"utf-8", "\xC3\xA9", u"\u00E9"},
                        Case{u"ISO-8859-2",
                             "\xA3\xF3"
                             "d\xBC",
                             u"\u0141\u00F3d\u017A"},
                        Case{u"koi8-r", "\xED\xC9\xD2", u"\u041C\u0438\u0440"},
                        Case{u"Shift_JIS", "\x93\xFA\x96\x7B", u"\u65E5\u672C"},
                        Case{u"x-unknown", "\xC3\xA9", u"\u00C3\u00A9"}}) {
    Use(u"N");
    AddParameter(property, u"CHARSET", c.charset);
    ASSERT_EQ(PutEncoded(c.encoded), S_OK);
    EXPECT_EQ(DecodedText(), c.decoded) << c.encoded;
    EXPECT_EQ(GetEncoded(), c.encoded);
  }
}

TEST_F(ValueCoding, OnlyTheFirstEncodingAndCharsetSteerAndChangesApplyAtOnce) {
  Use(u"NOTE");
  AddParameter(property, u"TYPE", u"HOME");
  AddParameter(property, u"CHARSET", u"UTF-8");
  AddParameter(property, u"ENCODING", u"QUOTED-PRINTABLE");
  AddParameter(property, u"CHARSET", u"ISO-8859-1");
  AddParameter(property, u"ENCODING", u"BASE64");
  ASSERT_EQ(PutEncoded("=C3=A9"), S_OK);
  EXPECT_EQ(DecodedText(), u"\u00E9");

  // The next put reads the parameters as they are then.
  CComPtr<IVCardParameterColl> parameters;
  ASSERT_EQ(property->get_Parameters(&parameters), S_OK);
  ASSERT_EQ(parameters->Remove(1), S_OK);  // the first CHARSET
  ASSERT_EQ(PutEncoded("=C3=A9"), S_OK);
  EXPECT_EQ(DecodedText(), u"\u00C3\u00A9");
  CComPtr<IVCardParameter> encoding;
  ASSERT_EQ(parameters->Item(1, &encoding), S_OK);
  ASSERT_EQ(encoding->put_Value(CComBSTR(u"8BIT")), S_OK);
  ASSERT_EQ(PutEncoded("=C3=A9"), S_OK);
  EXPECT_EQ(DecodedText(), u"=C3=A9");
}

TEST_F(ValueCoding, ForeignParameterIsAskedThroughItsInterface) {
  // A parameter wrapped so that the library cannot see its implementation,
  // standing before the ENCODING and CHARSET that the library's own hold.
  struct Wrapper : IVCardParameter {
    explicit Wrapper(IVCardParameter* inner) : inner(inner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
      *ppv = nullptr;
      if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IVCardParameter)) {
        return E_NOINTERFACE;
      }
      *ppv = static_cast<IVCardParameter*>(this);
      return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE get_Type(EVCardParameter* p) override {
      ++asked;
      return inner->get_Type(p);
    }
    HRESULT STDMETHODCALLTYPE put_Type(EVCardParameter t) override { return inner->put_Type(t); }
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* p) override { return inner->get_Name(p); }
    HRESULT STDMETHODCALLTYPE put_Name(BSTR n) override { return inner->put_Name(n); }
    HRESULT STDMETHODCALLTYPE get_Value(BSTR* p) override { return inner->get_Value(p); }
    HRESULT STDMETHODCALLTYPE put_Value(BSTR v) override { return inner->put_Value(v); }
    IVCardParameter* inner;
    int asked = 0;
  };
  Use(u"NOTE");
  CComPtr<IVCardParameter> charset = testing::MakeParameter(u"CHARSET", u"UTF-8");
  Wrapper wrapper(charset);
  CComPtr<IVCardParameterColl> parameters;
  ASSERT_EQ(property->get_Parameters(&parameters), S_OK);
  ASSERT_EQ(parameters->Add(&wrapper), S_OK);
  AddParameter(property, u"ENCODING", u"QUOTED-PRINTABLE");
  AddParameter(property, u"CHARSET", u"ISO-8859-1");
  ASSERT_EQ(PutEncoded("=C3=A9"), S_OK);
  EXPECT_EQ(DecodedText(), u"\u00E9");  // the wrapped CHARSET comes first
  EXPECT_EQ(wrapper.asked, 1);          // one walk finds ENCODING and CHARSET
  value.Release();
  parameters.Release();
  property.Release();
}

TEST_F(ValueCoding, ControlCharactersReplaceEveryEncodingByQuotedPrintable) {
  Use(u"NOTE");
  AddParameter(property, u"ENCODING", u"8BIT");
  AddParameter(property, u"TYPE", u"WORK");
  ASSERT_EQ(PutDecodedText(u"Line1\r\nLine2"), S_OK);
  EXPECT_EQ(Parameters(), u"TYPE=WORK,ENCODING=QUOTED-PRINTABLE");
  EXPECT_EQ(GetEncoded(), "Line1=0D=0ALine2");
}

TEST_F(ValueCoding, HighCharactersNeedQuotedPrintableOnlyOutsideStructuredProperties) {
  Use(u"ADR");
  ASSERT_EQ(PutDecodedText(u"Caf\u00E9"), S_OK);
  EXPECT_EQ(Parameters(), u"");
  EXPECT_EQ(GetEncoded(), "Caf\xE9");

  Use(u"NOTE");
  ASSERT_EQ(PutDecodedText(u"Caf\u00E9"), S_OK);
  EXPECT_EQ(Parameters(), u"ENCODING=QUOTED-PRINTABLE");
  EXPECT_EQ(GetEncoded(), "Caf=E9");

  // Plain text leaves an ENCODING that is already there.
  Use(u"NOTE");
  AddParameter(property, u"ENCODING", u"8BIT");
  ASSERT_EQ(PutDecodedText(u"plain"), S_OK);
  EXPECT_EQ(Parameters(), u"ENCODING=8BIT");
}

TEST_F(ValueCoding, ByteArrayLeavesExactlyOneBase64AtTheEnd) {
  Use(u"LOGO");
  AddParameter(property, u"ENCODING", u"QUOTED-PRINTABLE");
  AddParameter(property, u"TYPE", u"GIF");
  AddParameter(property, u"encoding", u"8BIT");
  VARIANT bytes;
  VariantInit(&bytes);
  bytes.vt = VT_ARRAY | VT_UI1;
  bytes.parray = SafeArrayCreateVector(VT_UI1, 0, 2);
  static_cast<unsigned char*>(bytes.parray->pvData)[0] = 'H';
  static_cast<unsigned char*>(bytes.parray->pvData)[1] = 'i';
  ASSERT_EQ(value->put_DecodedValue(bytes), S_OK);
  VariantClear(&bytes);
  EXPECT_EQ(Parameters(), u"TYPE=GIF,ENCODING=BASE64");
  EXPECT_EQ(GetEncoded(), "    SGk=");
}

// text the ANSI code page cannot hold is written in UTF-8.
TEST_F(ValueCoding, TextOutsideTheAnsiCodePageSwitchesTheCharsetToUtf8) {
  Use(u"NOTE");
  AddParameter(property, u"CHARSET", u"ISO-8859-1");
  AddParameter(property, u"charset", u"US-ASCII");
  ASSERT_EQ(PutDecodedText(u"\u0141\u00F3d\u017A"), S_OK);  // Łódź
  EXPECT_EQ(Parameters(), u"ENCODING=QUOTED-PRINTABLE,CHARSET=UTF-8");
  EXPECT_EQ(GetEncoded(), "=C5=81=C3=B3d=C5=BA");
  // Read back from the file text, the characters survive.
  std::string encoded = GetEncoded();
  ASSERT_EQ(PutEncoded(encoded.c_str()), S_OK);
  EXPECT_EQ(DecodedText(), u"\u0141\u00F3d\u017A");

  // Structured: no ENCODING, but the charset still switches.
  Use(u"ORG");
  ASSERT_EQ(PutDecodedText(u"\u20AC\u4E2D"), S_OK);  // € is in the code page, 中 is not
  EXPECT_EQ(Parameters(), u"CHARSET=UTF-8");
  EXPECT_EQ(GetEncoded(), "\xE2\x82\xAC\xE4\xB8\xAD");

  // Already UTF-8, or text the code page holds: the parameters stay.
  Use(u"ORG");
  AddParameter(property, u"CHARSET", u"UTF-8");
  ASSERT_EQ(PutDecodedText(u"\u4E2D"), S_OK);
  EXPECT_EQ(Parameters(), u"CHARSET=UTF-8");
  // The property's own set decides, in any letter case: Windows-1252 has
  // the euro sign, ISO-8859-1 does not.
  Use(u"ORG");
  AddParameter(property, u"CHARSET", u"windows-1252");
  ASSERT_EQ(PutDecodedText(u"\u20AC \u00E9"), S_OK);
  EXPECT_EQ(Parameters(), u"CHARSET=windows-1252");
  EXPECT_EQ(GetEncoded(), "\x80 \xE9");
  Use(u"ORG");
  AddParameter(property, u"CHARSET", u"ISO-8859-1");
  ASSERT_EQ(PutDecodedText(u"\u20AC \u00E9"), S_OK);
  EXPECT_EQ(Parameters(), u"CHARSET=UTF-8");
}

TEST_F(ValueCoding, RefusedTypesLeaveTheOldContent) {
  Use(u"NOTE");
  ASSERT_EQ(PutDecodedText(u"kept"), S_OK);
  VARIANT bstr;
  VariantInit(&bstr);
  bstr.vt = VT_BSTR;
  bstr.bstrVal = SysAllocString(u"x");
  EXPECT_EQ(value->put_EncodedValue(bstr), E_INVALIDARG);
  VariantClear(&bstr);
  VARIANT number;
  VariantInit(&number);
  number.vt = VT_I4;
  EXPECT_EQ(value->put_DecodedValue(number), E_INVALIDARG);
  EXPECT_EQ(DecodedText(), u"kept");
}

TEST_F(ValueCoding, WithoutParentTextIsStoredButReported) {
  value = Create<IVCardValue>(CLSID_VCardValue);
  EXPECT_EQ(PutEncoded("text"), E_POINTER);
  CComVariant decoded;
  value->get_DecodedValue(&decoded);
  EXPECT_EQ(decoded.vt, VT_EMPTY);  // put EncodedValue: nothing stored
  EXPECT_EQ(PutDecodedText(u"text"), E_POINTER);
  EXPECT_EQ(DecodedText(), u"text");  // put DecodedValue: stored all the same
  // A get that fails has released what the caller passed in.
  VARIANT passed;
  VariantInit(&passed);
  passed.vt = VT_BSTR;
  passed.bstrVal = SysAllocString(u"old");
  EXPECT_EQ(value->get_EncodedValue(&passed), E_POINTER);
  EXPECT_EQ(passed.vt, VT_EMPTY);
  VARIANT date;
  VariantInit(&date);
  date.vt = VT_DATE;
  date.date = 36000.5;
  EXPECT_EQ(value->put_EncodedValue(date), S_OK);  // dates need no parent
  VARIANT out;
  VariantInit(&out);
  ASSERT_EQ(value->get_EncodedValue(&out), S_OK);
  EXPECT_EQ(out.vt, VT_DATE);
  EXPECT_EQ(out.date, 36000.5);
}

TEST_F(ValueCoding, EmbeddedCardsAreHeldByReference) {
  Use(u"AGENT");
  auto card = Create<IVCard>(CLSID_VCard);
  auto count = [](IUnknown* p) {
    p->AddRef();
    return p->Release();
  };
  const ULONG before = count(card);
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_UNKNOWN;
  v.punkVal = card;
  ASSERT_EQ(value->put_DecodedValue(v), S_OK);
  EXPECT_EQ(count(card), before + 1);
  EVCardValue kind;
  value->get_Type(&kind);
  EXPECT_EQ(kind, VCARD_VALUE_VCARD);
  VARIANT out;
  VariantInit(&out);
  ASSERT_EQ(value->get_EncodedValue(&out), S_OK);
  EXPECT_EQ(out.vt, VT_UNKNOWN);
  VariantClear(&out);
  ASSERT_EQ(value->put_EncodedValue(v), S_OK);
  EXPECT_EQ(count(card), before + 1);

  // Something that is no card is refused and leaves the value empty.
  auto parameter = Create<IVCardParameter>(CLSID_VCardParameter);
  v.punkVal = parameter;
  EXPECT_EQ(value->put_EncodedValue(v), E_NOINTERFACE);
  EXPECT_EQ(count(card), before);
  EXPECT_EQ(value->put_DecodedValue(v), E_NOINTERFACE);
  v.punkVal = nullptr;  // no object at all: refused the same way
  EXPECT_TRUE(FAILED(value->put_EncodedValue(v)));
  EXPECT_TRUE(FAILED(value->put_DecodedValue(v)));
  CComVariant decoded;
  value->get_DecodedValue(&decoded);
  EXPECT_EQ(decoded.vt, VT_EMPTY);

  v.punkVal = card;
  ASSERT_EQ(value->put_DecodedValue(v), S_OK);
  value.Release();  // releasing the value releases its card
  EXPECT_EQ(count(card), before);
}

TEST_F(ValueCoding, ForeignParentIsReadThroughItsInterface) {
  // A property wrapped so that the library cannot see its implementation:
  // the coding then asks QueryParameterByType like any client.
  struct Wrapper : IVCardProperty {
    explicit Wrapper(IVCardProperty* inner) : inner(inner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
      *ppv = nullptr;
      if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IVCardProperty)) {
        return E_NOINTERFACE;
      }
      *ppv = static_cast<IVCardProperty*>(this);
      return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE get_Type(EVCardProperty* p) override { return inner->get_Type(p); }
    HRESULT STDMETHODCALLTYPE put_Type(EVCardProperty t) override { return inner->put_Type(t); }
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* p) override { return inner->get_Name(p); }
    HRESULT STDMETHODCALLTYPE put_Name(BSTR n) override { return inner->put_Name(n); }
    HRESULT STDMETHODCALLTYPE get_Group(BSTR* p) override { return inner->get_Group(p); }
    HRESULT STDMETHODCALLTYPE put_Group(BSTR g) override { return inner->put_Group(g); }
    HRESULT STDMETHODCALLTYPE get_Parameters(IVCardParameterColl** p) override {
      return inner->get_Parameters(p);
    }
    HRESULT STDMETHODCALLTYPE get_Values(IVCardValueColl** p) override {
      return inner->get_Values(p);
    }
    HRESULT STDMETHODCALLTYPE QueryParameterByType(EVCardParameter t,
                                                   IVCardParameterColl** p) override {
      ++queries;
      return inner->QueryParameterByType(t, p);
    }
    HRESULT STDMETHODCALLTYPE QueryParameterByName(BSTR n, IVCardParameterColl** p) override {
      return inner->QueryParameterByName(n, p);
    }
    HRESULT STDMETHODCALLTYPE get_AsAddress(IVCardPropertyAddress** p) override {
      return inner->get_AsAddress(p);
    }
    HRESULT STDMETHODCALLTYPE get_AsName(IVCardPropertyName** p) override {
      return inner->get_AsName(p);
    }
    HRESULT STDMETHODCALLTYPE get_AsOrganisation(IVCardPropertyOrganisation** p) override {
      return inner->get_AsOrganisation(p);
    }
    IVCardProperty* inner;
    int queries = 0;
  };
  Use(u"N");
  AddParameter(property, u"ENCODING", u"QUOTED-PRINTABLE");
  AddParameter(property, u"CHARSET", u"UTF-8");
  Wrapper wrapper(property);
  ASSERT_EQ(value->putref_Parent(&wrapper), S_OK);
  ASSERT_EQ(PutEncoded("=C3=A9;x"), S_OK);
  EXPECT_EQ(DecodedText(), u"\u00E9;x");
  EXPECT_EQ(wrapper.queries, 2);
  value.Release();
}

}  // namespace
}  // namespace tarvovcard::coding
