// WriteVCard: one card as vCard 2.1 text.
//
// The card is written exactly as the object model holds it, in its order:
// properties, then in each property the group, name, parameters and values.
// Value text comes from each value's EncodedValue, so quoting, Quoted-
// Printable, Base64 and UTF-8 are whatever the value coding produces; the
// writer adds no folding of its own. Line ends are CR LF.
#pragma once

#include <cstdio>
#include <vector>

#include "tarvovcard/tarvovcard.h"

namespace tarvovcard::writer {

// Writes `card` on `stream`, an 8-bit stream opened by the caller in binary
// mode (the writer emits CR LF itself). An AGENT-style value that holds a card
// is written in place, nested. Returns S_OK, or the status of the first
// object-model call that failed: the card then stops there (what was written
// stays, END:VCARD is missing); 0x80070070 when a write to the stream came up
// short (a full disk).
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

// The cards on the way from the top-level card to the one being written, for
// both writers. A card that holds itself as a nested card, directly or further
// down (a client can build one), would otherwise be written without end.
class OpenCards {
 public:
  // Enters `card` for the lifetime of the object; throws
  // _com_error(E_INVALIDARG) when it is already being written.
  class Scope {
   public:
    Scope(OpenCards& open, IVCard* card);
    ~Scope() { open_.cards_.pop_back(); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    OpenCards& open_;
  };

 private:
  std::vector<CComPtr<IUnknown>> cards_;  // Identities, outermost first.
};

}  // namespace tarvovcard::writer
