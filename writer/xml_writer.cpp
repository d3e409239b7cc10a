#include "writer/xml_writer.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <vector>

#include "coding/conversions.h"
#include "model/elements.h"
#include "writer/vcard_writer.h"

namespace tarvovcard::writer {
namespace {

using _com_util::CheckError;

constexpr HRESULT kWriteFault = static_cast<HRESULT>(0x8007001D);
constexpr const char* kDatePattern = "%Y%m%dT%H%M%S";
// Text is handed to the file in pieces of about this many units.
constexpr std::size_t kFlushSize = 32 * 1024;

std::u16string_view View(BSTR text) {
  return text ? std::u16string_view(text, SysStringLen(text)) : std::u16string_view();
}

// 8-bit text that is ASCII by construction (dates, Base64), widened as it is.
void AppendAscii(std::u16string& out, std::string_view text) {
  for (char c : text) out += static_cast<char16_t>(static_cast<unsigned char>(c));
}

// The prefix of a property's type attribute; `element` is the property's
// element name.
std::u16string TypeAttributePrefix(EVCardProperty type, const std::u16string& element) {
  switch (type) {
    case VCARD_PROP_ADR:
    case VCARD_PROP_LABEL:
      return u"del";
    case VCARD_PROP_TEL:
      return u"tel";
    case VCARD_PROP_EMAIL:
      return u"email";
    case VCARD_PROP_PHOTO:
    case VCARD_PROP_LOGO:
      return u"img";
    case VCARD_PROP_SOUND:
      return u"aud";
    default:
      return element;
  }
}

// A lang or value attribute; a repeated parameter adds its value to the first.
struct Attribute {
  EVCardParameter type;
  std::u16string text;
};

using StringGetter = HRESULT (*)(IUnknown* view, BSTR* text);
struct ChildElement {
  const char16_t* tag;
  StringGetter get;
};

template <class View, HRESULT (View::*Get)(BSTR*)>
HRESULT CallGetter(IUnknown* view, BSTR* text) {
  return (static_cast<View*>(view)->*Get)(text);
}

constexpr ChildElement kNameElements[] = {
    {u"family", CallGetter<IVCardPropertyName, &IVCardPropertyName::get_FamilyName>},
    {u"given", CallGetter<IVCardPropertyName, &IVCardPropertyName::get_GivenName>},
    {u"other", CallGetter<IVCardPropertyName, &IVCardPropertyName::get_AdditionalNames>},
    {u"prefix", CallGetter<IVCardPropertyName, &IVCardPropertyName::get_NamePrefix>},
    {u"suffix", CallGetter<IVCardPropertyName, &IVCardPropertyName::get_NameSuffix>},
};
constexpr ChildElement kAddressElements[] = {
    {u"pobox", CallGetter<IVCardPropertyAddress, &IVCardPropertyAddress::get_PostOfficeAddress>},
    {u"extadd", CallGetter<IVCardPropertyAddress, &IVCardPropertyAddress::get_Extended>},
    {u"street", CallGetter<IVCardPropertyAddress, &IVCardPropertyAddress::get_Street>},
    {u"locality", CallGetter<IVCardPropertyAddress, &IVCardPropertyAddress::get_Locality>},
    {u"region", CallGetter<IVCardPropertyAddress, &IVCardPropertyAddress::get_Region>},
    {u"pcode", CallGetter<IVCardPropertyAddress, &IVCardPropertyAddress::get_PostalCode>},
    {u"country", CallGetter<IVCardPropertyAddress, &IVCardPropertyAddress::get_Country>},
};
constexpr ChildElement kOrganisationElements[] = {
    {u"orgname",
     CallGetter<IVCardPropertyOrganisation, &IVCardPropertyOrganisation::get_OrganisationName>},
    {u"orgunit",
     CallGetter<IVCardPropertyOrganisation, &IVCardPropertyOrganisation::get_OrganisationalUnit>},
};

class XmlWriter {
 public:
  explicit XmlWriter(CUnicodeFile& file) : file_(file) {}

  void WriteCard(IVCard* card);
  // Hands the text gathered so far to the file; throws CUnicodeFileException.
  void Flush() {
    if (out_.empty()) return;
    // The text goes whether or not the file takes it; the buffer's room
    // stays for the next piece.
    struct Emptied {
      std::u16string& text;
      ~Emptied() { text.clear(); }
    } emptied{out_};
    file_.Write(out_);
  }

 private:
  void Put(std::u16string_view text) {
    out_ += text;
    if (out_.size() >= kFlushSize) Flush();
  }
  void PutText(std::u16string_view text) { AppendXmlEscaped(out_, text, XmlContext::kText); }
  void PutAttribute(std::u16string_view text) {
    AppendXmlEscaped(out_, text, XmlContext::kAttribute);
  }

  void WriteProperty(IVCardProperty* property);
  template <class ViewInterface, std::size_t N>
  void WriteStructured(IVCardProperty* property,
                       HRESULT (IVCardProperty::*get_view)(ViewInterface**),
                       const ChildElement (&elements)[N]);
  void WriteValues(IVCardProperty* property, EVCardProperty type, std::u16string_view first_type);
  void WriteByteArray(IVCardValue* value, EVCardProperty type, std::u16string_view first_type);

  CUnicodeFile& file_;
  std::u16string out_;
  OpenCards open_cards_;
};

void XmlWriter::WriteCard(IVCard* card) {
  const OpenCards::Scope scope(open_cards_, card);
  CComPtr<IVCardPropertyColl> properties;
  CheckError(card->get_Properties(&properties));
  LONG count = 0;
  CheckError(properties->get_Count(&count));
  Put(u"<vCard version=\"2.1\">\n");
  for (LONG i = 0; i < count; ++i) {
    CComPtr<IVCardProperty> property;
    CheckError(properties->Item(i, &property));
    WriteProperty(property);
  }
  Put(u"</vCard>\n");
}

void XmlWriter::WriteProperty(IVCardProperty* property) {
  EVCardProperty type = VCARD_PROP_UNKNOWN;
  CComBSTR name, group;
  CheckError(property->get_Type(&type));
  CheckError(property->get_Name(&name));
  CheckError(property->get_Group(&group));  // Read, as every property is, but not written.
  const std::u16string element = XmlElementName(View(name));
  Put(u"<");
  Put(element);

  std::vector<std::u16string> type_values;
  std::vector<Attribute> attributes;
  CComBSTR holder;
  model::PropertyRef::Of(property).ForEachParameter([&](const model::ParameterRef& parameter) {
    const EVCardParameter parameter_type = parameter.type();
    if (parameter_type == VCARD_PARAM_TYPE) {
      type_values.emplace_back(parameter.value(holder));
    } else if (parameter_type == VCARD_PARAM_LANGUAGE || parameter_type == VCARD_PARAM_VALUE) {
      const std::u16string_view value = parameter.value(holder);
      auto same = std::find_if(attributes.begin(), attributes.end(),
                               [&](const Attribute& a) { return a.type == parameter_type; });
      if (same == attributes.end()) {
        attributes.push_back({parameter_type, std::u16string(value)});
      } else {
        same->text += u' ';
        same->text += value;
      }
    }
    return true;
  });
  for (const Attribute& attribute : attributes) {
    Put(attribute.type == VCARD_PARAM_LANGUAGE ? u" lang=\"" : u" value=\"");
    PutAttribute(attribute.text);
    Put(u"\" ");
  }
  if (!type_values.empty()) {
    Put(u" ");
    Put(TypeAttributePrefix(type, element));
    Put(u".type=\"");
    for (const std::u16string& value : type_values) {
      PutAttribute(value);
      Put(u" ");
    }
    Put(u"\"");
  }
  Put(u">");

  switch (type) {
    case VCARD_PROP_N:
      WriteStructured(property, &IVCardProperty::get_AsName, kNameElements);
      break;
    case VCARD_PROP_ADR:
      WriteStructured(property, &IVCardProperty::get_AsAddress, kAddressElements);
      break;
    case VCARD_PROP_ORG:
      WriteStructured(property, &IVCardProperty::get_AsOrganisation, kOrganisationElements);
      break;
    default:
      WriteValues(property, type,
                  type_values.empty() ? std::u16string_view() : type_values.front());
      break;
  }
  Put(u"</");
  Put(element);
  Put(u">\n");
}

template <class ViewInterface, std::size_t N>
void XmlWriter::WriteStructured(IVCardProperty* property,
                                HRESULT (IVCardProperty::*get_view)(ViewInterface**),
                                const ChildElement (&elements)[N]) {
  CComPtr<ViewInterface> view;
  CheckError((property->*get_view)(&view));
  for (const ChildElement& element : elements) {
    CComBSTR text;
    CheckError(element.get(view, &text));
    Put(u"<");
    Put(element.tag);
    Put(u">");
    PutText(View(text));
    Put(u"</");
    Put(element.tag);
    Put(u">");
  }
}

void XmlWriter::WriteValues(IVCardProperty* property, EVCardProperty type,
                            std::u16string_view first_type) {
  CComPtr<IVCardValueColl> values;
  CheckError(property->get_Values(&values));
  LONG count = 0;
  CheckError(values->get_Count(&count));
  for (LONG k = 0; k < count; ++k) {
    if (k > 0) Put(u";");
    CComPtr<IVCardValue> value;
    CheckError(values->Item(k, &value));
    CComVariant decoded;
    CheckError(value->get_DecodedValue(&decoded));
    switch (decoded.vt) {
      case VT_UNKNOWN: {
        Put(u"\n");
        if (!decoded.punkVal) _com_issue_error(E_POINTER);
        CComPtr<IVCard> nested;
        CheckError(decoded.punkVal->QueryInterface(IID_IVCard, reinterpret_cast<void**>(&nested)));
        WriteCard(nested);
        break;
      }
      case VT_DATE:
        AppendAscii(out_, coding::FormatDateText(decoded.date, kDatePattern));
        break;
      case VT_BSTR:
        PutText(View(decoded.bstrVal));
        break;
      case VT_ARRAY | VT_UI1:
        WriteByteArray(value, type, first_type);
        break;
      default:
        break;
    }
  }
}

void XmlWriter::WriteByteArray(IVCardValue* value, EVCardProperty type,
                               std::u16string_view first_type) {
  const char16_t* format_prefix = nullptr;  // The start of the fmttype attribute, if any.
  switch (type) {
    case VCARD_PROP_PHOTO:
    case VCARD_PROP_LOGO:
      format_prefix = u"<b64bin fmttype=\"IMAGE/";
      break;
    case VCARD_PROP_SOUND:
      format_prefix = u"<b64bin fmttype=\"SOUND/";
      break;
    case VCARD_PROP_KEY:
      break;
    default:  // Bytes of any other property have no XML form.
      return;
  }
  EncodedValue encoded;
  CheckError(value->get_EncodedValue(&encoded));
  if (format_prefix) {
    Put(format_prefix);
    PutAttribute(first_type);
    Put(u"\">\n");
  } else {
    Put(u"<b64bin>\n");
  }
  if (encoded.vt == (VT_BYREF | VT_I1) && encoded.pcVal) AppendAscii(out_, encoded.pcVal);
  Put(u"\n</b64bin>\n");
}

bool IsHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The characters of XML names (ASCII colon left out: it would name a
// namespace prefix).
bool IsNameStartChar(char32_t c) {
  return (c >= 'A' && c <= 'Z') || c == '_' || (c >= 'a' && c <= 'z') || (c >= 0xC0 && c <= 0xD6) ||
         (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) || (c >= 0x370 && c <= 0x37D) ||
         (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) ||
         (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) ||
         (c >= 0x3001 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFDCF) ||
         (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}
bool IsNameChar(char32_t c) {
  return IsNameStartChar(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
         (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

}  // namespace

std::u16string XmlElementName(std::u16string_view name) {
  if (name.empty()) return u"_";
  std::u16string out;
  out.reserve(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) {
    char32_t c = name[i];
    std::size_t units = 1;
    if (IsHighSurrogate(name[i]) && i + 1 < name.size() && IsLowSurrogate(name[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (name[i + 1] - 0xDC00);
      units = 2;
    }
    if (i == 0 ? IsNameStartChar(c) : IsNameChar(c)) {
      out.append(name.substr(i, units));
    } else {
      char code[16];
      std::snprintf(code, sizeof code, c > 0xFFFF ? "_x%08X_" : "_x%04X_",
                    static_cast<unsigned>(c));
      AppendAscii(out, code);
    }
    i += units - 1;
  }
  return out;
}

void AppendXmlEscaped(std::u16string& out, std::u16string_view text, XmlContext context) {
  const bool attribute = context == XmlContext::kAttribute;
  // Most text needs no escape at all: such runs are appended whole.
  auto plain = [](char16_t unit) {
    return unit >= 0x20 && unit != u'&' && unit != u'<' && unit != u'>' && unit != u'"' &&
           (unit < 0xD800 || (unit > 0xDFFF && unit < 0xFFFE));
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::size_t end = i;
    while (end < text.size() && plain(text[end])) ++end;
    if (end > i) {
      out.append(text.substr(i, end - i));
      if (end == text.size()) break;
      i = end;
    }
    const char16_t unit = text[i];
    switch (unit) {
      case u'&':
        out += u"&amp;";
        continue;
      case u'<':
        out += u"&lt;";
        continue;
      case u'>':
        out += u"&gt;";
        continue;
      case u'"':
        out += u"&quot;";
        continue;
      case u'\t':
        out += attribute ? u"&#9;" : u"\t";
        continue;
      case u'\n':
        out += attribute ? u"&#10;" : u"\n";
        continue;
      case u'\r':
        // In a text a CR LF is one line break: the file writes the LF as
        // CR LF, which a reader takes for one LF. A CR of its own, or any CR
        // in an attribute, would come back as a line feed or a space.
        if (!attribute && i + 1 < text.size() && text[i + 1] == u'\n') continue;
        out += u"&#13;";
        continue;
      default:
        break;
    }
    if (unit < 0x20 || unit == 0xFFFE || unit == 0xFFFF) {
      out += u'\uFFFD';
    } else if (IsHighSurrogate(unit)) {
      if (i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
        out += unit;
        out += text[++i];
      } else {
        out += u'\uFFFD';
      }
    } else if (IsLowSurrogate(unit)) {
      out += u'\uFFFD';
    } else {
      out += unit;
    }
  }
}

HRESULT WriteVCardAsXML(CUnicodeFile& file, IVCard* card) {
  if (!card) return E_POINTER;
  XmlWriter writer(file);
  HRESULT hr = S_OK;
  try {
    writer.WriteCard(card);
  } catch (const CUnicodeFileException&) {
    return kWriteFault;
  } catch (const _com_error& e) {
    hr = e.Error();
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  } catch (...) {
    hr = E_UNEXPECTED;
  }
  // What was gathered before a failure goes into the file too.
  try {
    writer.Flush();
  } catch (const CUnicodeFileException&) {
    if (SUCCEEDED(hr)) hr = kWriteFault;
  } catch (...) {
    if (SUCCEEDED(hr)) hr = E_UNEXPECTED;
  }
  return hr;
}

}  // namespace tarvovcard::writer
