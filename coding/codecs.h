// Quoted-Printable and Base64, the two transfer encodings of vCard values.
//
// The four functions see bytes only: text is turned into 8-bit form (ANSI or
// UTF-8, see coding/conversions.h) before it is encoded and after it is
// decoded. None of them fails or reports anything. Malformed input is handled
// by fixed rules, so a damaged value still yields what could be read of it:
//
//   Quoted-Printable  a LF ends the value (lines are joined only by soft
//                     breaks, also one inside an escape: "=" "=" LF "D0"
//                     is "=D0"), a 0xFF byte is dropped, an "=" followed by one
//                     hex digit gives a literal "=", and an "=" followed by
//                     neither a hex digit nor a LF ends the value. Hex digits
//                     are upper case only.
//   Base64            every byte outside the alphabet (white space, "=", bytes
//                     0x80..0xFF, ...) is skipped without ending the value or
//                     breaking a group; bits left over at the end are dropped.
//
// Every function runs in one pass over its input and allocates its result
// once, sized for the worst case and cut to length: they run for every value
// of a file.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvovcard::coding {

// Decodes Quoted-Printable text into the bytes it stands for. Reading stops at
// the first LF that is not part of a soft line break ("=" LF), and at an "="
// that starts no escape.
std::string DecodeQuotedPrintable(std::string_view text);

// Encodes bytes as Quoted-Printable: TAB, SPACE and the printable characters
// other than !"#$=@[\]^`{|}~ stay as they are, every other byte becomes "=XX".
// A soft line break ("=" LF) is inserted wherever the next character would
// carry the line past 76 columns, so no output line holds more than 76
// encoded characters before its "=". CR and LF in the data are escaped: the
// result holds no hard line break and never ends with a soft one. For a
// component of a structured value, ";" is escaped too, since a bare one
// would separate it from the next.
std::string EncodeQuotedPrintable(std::string_view data, bool component = false);

// Clears `bytes`, then appends the bytes that the Base64 text stands for.
void DecodeBase64(std::string_view text, std::vector<unsigned char>& bytes);

// Encodes bytes as Base64 in the layout of a folded vCard value: each line is
// four spaces followed by at most 68 Base64 characters, lines are separated by
// a single LF, and no LF follows the last line. No bytes give four spaces.
std::string EncodeBase64(std::span<const unsigned char> bytes);
// The same for bytes held in a narrow string (text already in 8-bit form).
std::string EncodeBase64(std::string_view bytes);

}  // namespace tarvovcard::coding
