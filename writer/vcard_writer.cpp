#include "writer/vcard_writer.h"

#include <cstring>
#include <string>
#include <string_view>

#include "coding/conversions.h"
#include "model/elements.h"
#include "frame/com_object.h"
#include "frame/file_calls.h"

namespace tarvovcard::writer {
namespace {

using _com_util::CheckError;

constexpr VARTYPE kEncodedText = VT_BYREF | VT_I1;
constexpr const char* kDatePattern = "%Y%m%dT%H%M%S";
// Text is handed to the stream in pieces of about this size.
constexpr std::size_t kFlushSize = 64 * 1024;

class TextWriter {
 public:
  explicit TextWriter(std::FILE* stream) : stream_(stream) {}
  ~TextWriter() { Flush(); }

  void WriteCard(IVCard* card);
  // Hands the text gathered so far to the stream; false once any write has
  // come up short, so that a failed write is never reported as success.
  bool Flush() {
    if (!out_.empty() && frame::Files().fwrite(out_.data(), out_.size(), stream_) != out_.size())
      failed_ = true;
    out_.clear();
    return !failed_;
  }

 private:
  // Appends 8-bit text, every LF as CR LF.
  void Put(std::string_view text) {
    std::size_t start = 0;
    for (std::size_t lf = text.find('\n'); lf != std::string_view::npos;
         lf = text.find('\n', start)) {
      out_.append(text.substr(start, lf - start));
      out_.append("\r\n");
      start = lf + 1;
    }
    out_.append(text.substr(start));
    if (out_.size() >= kFlushSize) Flush();
  }
  void PutWide(BSTR text) { Put(coding::WideToNarrow(text, false)); }
  void PutWide(std::u16string_view text) { Put(coding::WideViewToAnsi(text)); }
  // A group, name or parameter goes on the property's line as it is (only
  // values have an encoding), so a line feed or a CR in one would split the
  // line, and an end-of-text character would end the file for the reader:
  // what Load read back would be other properties. Such a card (a client can
  // build one; no file gives one) is refused rather than written broken.
  static void RefuseLineBreaks(std::u16string_view text) {
    if (text.find_first_of(u"\n\r\x1A") != std::u16string_view::npos)
      _com_issue_error(E_INVALIDARG);
  }

  void WriteProperty(IVCardProperty* property);
  void WriteValue(const VARIANT& encoded, bool base64);
  // The property's first ENCODING: exactly "BASE64" makes its values bytes
  // (*base64); "BASE64" in any case makes the reader take them as blocks of
  // lines (*blocks).
  void ReadBase64Encoding(IVCardProperty* property, bool* base64, bool* blocks);

  std::FILE* stream_;
  std::string out_;
  bool failed_ = false;
  OpenCards open_cards_;
};

void TextWriter::WriteCard(IVCard* card) {
  const OpenCards::Scope scope(open_cards_, card);
  CComPtr<IVCardPropertyColl> properties;
  CheckError(card->get_Properties(&properties));
  LONG count = 0;
  CheckError(properties->get_Count(&count));
  Put("BEGIN:VCARD\n");
  for (LONG i = 0; i < count; ++i) {
    CComPtr<IVCardProperty> property;
    CheckError(properties->Item(i, &property));
    WriteProperty(property);
  }
  Put("END:VCARD\n");
}

void TextWriter::WriteProperty(IVCardProperty* property) {
  CComBSTR name, group;
  CheckError(property->get_Name(&name));
  CheckError(property->get_Group(&group));
  if (group.Length() > 0) {
    RefuseLineBreaks(BstrView(group));
    PutWide(group);
    Put(".");
  }
  RefuseLineBreaks(BstrView(name));
  PutWide(name);

  CComBSTR name_holder, value_holder;
  model::PropertyRef::Of(property).ForEachParameter([&](const model::ParameterRef& parameter) {
    const EVCardParameter type = parameter.type();
    const std::u16string_view parameter_name = parameter.name(name_holder);
    const std::u16string_view parameter_value = parameter.value(value_holder);
    Put(";");
    // A TYPE parameter is written as its bare value (";HOME"), whatever its
    // name looked like in the file it came from; but among bare words a tab
    // is white space, so a value holding one keeps its name ("TYPE=a<TAB>b").
    if (type != VCARD_PARAM_TYPE || parameter_value.find(u'\t') != std::u16string_view::npos) {
      RefuseLineBreaks(parameter_name);
      PutWide(parameter_name);
      Put("=");
    }
    RefuseLineBreaks(parameter_value);
    PutWide(parameter_value);
    return true;
  });
  Put(":");

  CComPtr<IVCardValueColl> values;
  CheckError(property->get_Values(&values));
  LONG value_count = 0;
  CheckError(values->get_Count(&value_count));
  bool base64 = false, blocks = false;
  ReadBase64Encoding(property, &base64, &blocks);
  bool line_open = false;
  for (LONG j = 0; j < value_count; ++j) {
    CComPtr<IVCardValue> value;
    CheckError(values->Item(j, &value));
    EncodedValue encoded;
    CheckError(value->get_EncodedValue(&encoded));
    // The separator stands even before a value that writes nothing, so the
    // positions of structured components survive. A nested card needs none:
    // it starts on a line of its own. Text read as a block (under an
    // ENCODING such as "Base64", which makes no bytes) ends its last line
    // before the ";", as a Base64 block does: the reader ends a block only
    // at a line end or after an indented line.
    if (j > 0 && encoded.vt != VT_UNKNOWN) Put(line_open ? "\n;" : ";");
    line_open = !base64 && blocks && encoded.vt == kEncodedText && encoded.pcVal &&
                std::string_view(encoded.pcVal).find_first_not_of(" \t") != std::string_view::npos;
    WriteValue(encoded, base64);
  }
  Put("\n");
}

void TextWriter::WriteValue(const VARIANT& encoded, bool base64) {
  switch (encoded.vt) {
    case VT_UNKNOWN: {
      Put("\n");
      if (!encoded.punkVal) _com_issue_error(E_POINTER);
      CComPtr<IVCard> nested;
      CheckError(encoded.punkVal->QueryInterface(IID_IVCard, reinterpret_cast<void**>(&nested)));
      WriteCard(nested);
      break;
    }
    case VT_DATE:
      Put(coding::FormatDateText(encoded.date, kDatePattern));
      break;
    case kEncodedText: {
      const std::string_view text = encoded.pcVal ? encoded.pcVal : "";
      if (base64 && text.find_first_not_of(" \t") != std::string_view::npos) {
        // A Base64 block starts on its own line and ends at the next one
        // (the property's line end, or the ";" of its next block). One of no
        // bytes (its text is the indent alone) writes nothing, as an empty
        // text does: a blank line would end the property.
        Put("\n");
        Put(text);
        Put("\n");
      } else {
        Put(text);
      }
      break;
    }
    default:  // A value never set: nothing, but its separator stays.
      break;
  }
}

void TextWriter::ReadBase64Encoding(IVCardProperty* property, bool* base64, bool* blocks) {
  model::FirstValue encoding;
  model::PropertyRef::Of(property).FirstParameterValue(VCARD_PARAM_ENCODING, encoding);
  *base64 = encoding.found && encoding.value == u"BASE64";
  *blocks = encoding.found && EqualsIgnoreAsciiCase(encoding.value, u"BASE64");
}

}  // namespace

OpenCards::Scope::Scope(OpenCards& open, IVCard* card) : open_(open) {
  CComPtr<IUnknown> identity;
  CheckError(card->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
  for (const CComPtr<IUnknown>& outer : open.cards_) {
    if (outer == identity) _com_issue_error(E_INVALIDARG);  // It holds itself.
  }
  open.cards_.push_back(std::move(identity));
}

void ClearEncodedValue(VARIANT& encoded) {
  if (encoded.vt == kEncodedText) {
    CoTaskMemFree(encoded.pcVal);
    encoded.vt = VT_EMPTY;
    encoded.pcVal = nullptr;
  } else {
    VariantClear(&encoded);
  }
}

HRESULT WriteVCard(std::FILE* stream, IVCard* card) {
  if (!stream || !card) return E_POINTER;
  return frame::ComBoundary([&] {
    TextWriter writer(stream);
    writer.WriteCard(card);
    return writer.Flush() ? S_OK : HRESULT_FROM_WIN32(ERROR_DISK_FULL);
  });
}

}  // namespace tarvovcard::writer
