// WriteVCard: one card as vCard 2.1 text.
//
// The card is written exactly as the object model holds it, in its order:
// properties, then in each property the group, name, parameters and values.
// Value text comes from each value's EncodedValue, so quoting, Quoted-
// Printable, Base64 and UTF-8 are whatever the value coding produces; the
// writer adds no folding of its own. Line ends are CR LF.
#pragma once

#include <cstdio>

#include "tarvovcard/tarvovcard.h"

namespace tarvovcard::writer {

// Writes `card` on `stream`, an 8-bit stream opened by the caller in binary
// mode (the writer emits CR LF itself). An AGENT-style value that holds a card
// is written in place, nested. Returns S_OK, or the status of the first
// object-model call that failed: the card then stops there (what was written
// stays, END:VCARD is missing). Write errors of the stream are left in the
// stream's error indicator for whoever closes it.
HRESULT WriteVCard(std::FILE* stream, IVCard* card);

// Frees the 8-bit text that a value's EncodedValue hands out (VT_BYREF|VT_I1)
// and leaves the variant VT_EMPTY; other variants are cleared as usual.
void ClearEncodedValue(VARIANT& encoded);

// Receives a value's EncodedValue and frees it at the end of its scope.
struct EncodedValue : VARIANT {
  EncodedValue() { VariantInit(this); }
  ~EncodedValue() { ClearEncodedValue(*this); }
  EncodedValue(const EncodedValue&) = delete;
  EncodedValue& operator=(const EncodedValue&) = delete;
};

}  // namespace tarvovcard::writer
