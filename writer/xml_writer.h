// WriteVCardAsXML: one card as a vCard XML element.
//
// The element is written from the decoded values: texts as they are stored,
// dates as 19960415T083000, N, ADR and ORG split into named child elements
// through their views, byte arrays of PHOTO, LOGO, SOUND and KEY as a Base64
// block. All TYPE parameters of a property are gathered into one attribute
// named after the property ("tel.type", "del.type", ... or "<NAME>.type");
// LANGUAGE and VALUE parameters become lang and value attributes; groups and
// the other parameters are not written.
//
// The output is well-formed XML: "&", "<", ">" and the quotation mark in
// texts and attribute values are written as &amp; &lt; &gt; &quot;, the type
// attribute is written after the lang and value attributes (so a LANGUAGE
// parameter after a TYPE parameter cannot land inside it), and repeated
// LANGUAGE or VALUE parameters share one attribute, their values separated by
// spaces. Characters that XML cannot carry at all (control characters other
// than TAB, LF and CR, U+FFFE, U+FFFF, unpaired surrogates) are written as
// U+FFFD.
//
// Line breaks survive an XML reader's line-end handling: a CR LF in a text is
// written as a line break (CR LF in the file, read back as one LF, not as the
// two breaks that CR CR LF would give), a lone CR as &#13;, and TAB, LF and CR
// in attribute values as character references, which attribute
// normalisation would otherwise turn into spaces.
//
// Property names are element names. A character that an XML name cannot hold
// there (an extension name may hold "&", "/", "<" ...; a digit or "-" cannot
// start a name) is written as _xHHHH_, its code point in hexadecimal; a
// property without a name becomes the element "_". Names of the vCard
// vocabulary and ordinary extension names are written as they are.
#pragma once

#include <string>
#include <string_view>

#include "tarvovcard/tarvovcard.h"
#include "writer/unicode_file.h"

namespace tarvovcard::writer {

// Writes `card` into `file` (opened by the caller, the document header
// already written). Returns S_OK; the status of the first object-model call
// that failed; or 0x8007001D when a write to the file failed. After a failure
// what was written stays and the element is left open.
HRESULT WriteVCardAsXML(CUnicodeFile& file, IVCard* card);

// Where escaped text goes: element content, or an attribute value.
enum class XmlContext { kText, kAttribute };

// Appends `text` to `out` with the XML escapes above.
void AppendXmlEscaped(std::u16string& out, std::u16string_view text,
                      XmlContext context = XmlContext::kText);

// A property name as an XML element name (see above).
std::u16string XmlElementName(std::u16string_view name);

}  // namespace tarvovcard::writer
