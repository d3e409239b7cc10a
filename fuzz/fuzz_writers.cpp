// The writers on cards that a client builds from any bytes (names, groups,
// parameters, text, byte, date and nested-card values): the XML they save
// must be well-formed, and the vCard text must load again without harm.
#include <libxml/parser.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "tarvovcard/tarvovcard.h"

namespace {

template <class Interface>
CComPtr<Interface> Create(const CLSID& clsid) {
  CComPtr<Interface> object;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, uuidof<Interface>(),
                              reinterpret_cast<void**>(&object))))
    std::abort();
  return object;
}

// Takes bytes off the front of the input.
struct Bytes {
  const std::uint8_t* data;
  std::size_t size;
  std::uint8_t Next() {
    if (size == 0) return 0;
    --size;
    return *data++;
  }
  // A text of up to 15 units, each a byte or, with the top bit, a wider one.
  CComBSTR Text() {
    std::u16string text;
    for (int n = Next() & 0x0F; n > 0 && size > 0; --n) {
      const std::uint8_t c = Next();
      text += static_cast<char16_t>(c & 0x80 ? (c << 8) | Next() : c);
    }
    CComBSTR result;
    result.Attach(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
    return result;
  }
};

CComPtr<IVCard> BuildCard(Bytes& in, int depth) {
  static const char16_t* const kNames[] = {u"N",   u"ADR",   u"ORG",  u"FN",    u"NOTE",
                                           u"TEL", u"PHOTO", u"BDAY", u"AGENT", u"X-A"};
  static const char16_t* const kParameters[] = {u"TYPE", u"ENCODING", u"CHARSET", u"X-P"};
  CComPtr<IVCard> card = Create<IVCard>(CLSID_VCard);
  CComPtr<IVCardPropertyColl> properties;
  card->get_Properties(&properties);
  for (int p = in.Next() & 0x07; p > 0 && in.size > 0; --p) {
    CComPtr<IVCardProperty> property = Create<IVCardProperty>(CLSID_VCardProperty);
    const std::uint8_t kind = in.Next();
    if (kind & 0x80) {
      property->put_Name(in.Text());  // refused unless it is a name the library takes
    } else {
      property->put_Name(CComBSTR(kNames[kind % 10]));
    }
    if (in.Next() & 1) property->put_Group(in.Text());
    CComPtr<IVCardParameterColl> parameters;
    property->get_Parameters(&parameters);
    for (int n = in.Next() & 0x03; n > 0; --n) {
      CComPtr<IVCardParameter> parameter = Create<IVCardParameter>(CLSID_VCardParameter);
      parameter->put_Name(CComBSTR(kParameters[in.Next() & 0x03]));
      parameter->put_Value(in.Text());
      parameters->Add(parameter);
    }
    properties->Add(property);
    CComPtr<IVCardValueColl> values;
    property->get_Values(&values);
    for (int n = in.Next() & 0x03; n > 0; --n) {
      CComPtr<IVCardValue> value = Create<IVCardValue>(CLSID_VCardValue);
      value->putref_Parent(property);
      CComVariant decoded;
      switch (in.Next() & 0x03) {
        case 0:
          decoded.vt = VT_BSTR;
          decoded.bstrVal = in.Text().Detach();
          break;
        case 1: {
          const ULONG count = in.Next() & 0x1F;
          decoded.vt = VT_ARRAY | VT_UI1;
          decoded.parray = SafeArrayCreateVector(VT_UI1, 0, count);
          for (ULONG i = 0; i < count; ++i)
            static_cast<std::uint8_t*>(decoded.parray->pvData)[i] = in.Next();
          break;
        }
        case 2:
          decoded.vt = VT_DATE;
          decoded.date = static_cast<double>(in.Next() << 8 | in.Next()) - 20000.0;
          break;
        default:
          if (depth > 3) continue;
          decoded.vt = VT_UNKNOWN;
          decoded.punkVal = BuildCard(in, depth + 1).Detach();
      }
      value->put_DecodedValue(decoded);
      values->Add(value);
    }
  }
  return card;
}

void IgnoreXmlErrors(void*, const char*, ...) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string prefix = "/tmp/tarvovcard-fuzz-writers-" + std::to_string(::getpid());
  static const std::string xml = prefix + ".xml", text = prefix + ".vcf";
  static const bool quiet = (xmlSetGenericErrorFunc(nullptr, IgnoreXmlErrors), true);
  (void)quiet;
  Bytes in{data, size};
  CComPtr<IVCardColl> cards = Create<IVCardColl>(CLSID_VCardColl);
  for (int n = 1 + (in.Next() & 0x01); n > 0; --n) cards->Add(BuildCard(in, 0));
  CComBSTR stylesheet = in.Text();
  CComVariant xml_name;
  xml_name.vt = VT_BSTR;
  xml_name.bstrVal = SysAllocStringLen(nullptr, static_cast<UINT>(xml.size()));
  for (std::size_t i = 0; i < xml.size(); ++i) xml_name.bstrVal[i] = xml[i];
  if (cards->SaveAsXML(xml_name, stylesheet) == S_OK) {
    xmlDocPtr document = xmlReadFile(xml.c_str(), nullptr, XML_PARSE_NONET);
    if (!document) std::abort();  // the writer made a document no XML reader takes
    xmlFreeDoc(document);
  }
  CComVariant text_name;
  text_name.vt = VT_BSTR;
  text_name.bstrVal = SysAllocStringLen(nullptr, static_cast<UINT>(text.size()));
  for (std::size_t i = 0; i < text.size(); ++i) text_name.bstrVal[i] = text[i];
  if (cards->Save(text_name) == S_OK) {
    CComPtr<IVCardColl> again = Create<IVCardColl>(CLSID_VCardColl);
    again->Load(text_name);
  }
  return 0;
}
