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

// Appends `text` to `out` with the XML escapes above. For tests and the
// document header.
void AppendXmlEscaped(std::u16string& out, std::u16string_view text);

}  // namespace tarvovcard::writer
