// The reader on any bytes: Load them as a file, read every value, Save and
// SaveAsXML the cards, Load the saved text again and require the same model.
// TARVOVCARD_FUZZ_ROUNDTRIP=0 leaves out the comparison.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/builders.h"
#include "support/files.h"
#include "support/model_text.h"

namespace {

using namespace tarvovcard::testing;

bool RoundTripWanted() {
  const char* setting = std::getenv("TARVOVCARD_FUZZ_ROUNDTRIP");
  return !setting || std::strcmp(setting, "0") != 0;
}

// Every value's decoded form, as a client walking the tree reads it.
void ReadEveryValue(IVCard* card) {
  CComPtr<IVCardPropertyColl> properties;
  if (FAILED(card->get_Properties(&properties))) std::abort();
  LONG count = 0;
  properties->get_Count(&count);
  for (LONG i = 0; i < count; ++i) {
    CComPtr<IVCardProperty> property;
    if (FAILED(properties->Item(i, &property))) std::abort();
    CComPtr<IVCardValueColl> values;
    if (FAILED(property->get_Values(&values))) std::abort();
    LONG value_count = 0;
    values->get_Count(&value_count);
    for (LONG j = 0; j < value_count; ++j) {
      CComPtr<IVCardValue> value;
      if (FAILED(values->Item(j, &value))) std::abort();
      CComVariant decoded;
      if (FAILED(value->get_DecodedValue(&decoded))) std::abort();
      if (decoded.vt == VT_UNKNOWN) {
        CComPtr<IVCard> nested;
        if (FAILED(decoded.punkVal->QueryInterface(IID_IVCard, reinterpret_cast<void**>(&nested))))
          std::abort();
        ReadEveryValue(nested);
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool round_trip = RoundTripWanted();
  static const std::string input = TestPath("in.vcf"), saved = TestPath("saved.vcf"),
                           xml = TestPath("saved.xml");
  WriteFile(input, std::string(reinterpret_cast<const char*>(data), size));
  CComPtr<IVCardColl> first = Collection();
  const HRESULT status = LoadOne(first, input);
  LONG cards = 0;
  first->get_Count(&cards);
  for (LONG i = 0; i < cards; ++i) ReadEveryValue(CardAt(first, i));
  CComVariant xml_name(Wide(xml));
  first->SaveAsXML(xml_name, CComBSTR(u"cards.xsl"));
  CComVariant saved_name(Wide(saved));
  if (first->Save(saved_name) != S_OK) return 0;
  // After the saves, which put one VERSION:2.1 first in every card.
  const std::vector<std::string> before = DescribeAll(first);
  // Values travel as NUL-terminated text: what follows a NUL is cut when the
  // file is read, and a date that cannot be normalised ends the Load.
  if (!round_trip || status == E_UNEXPECTED || std::memchr(data, 0, size)) return 0;
  CComPtr<IVCardColl> second = Collection();
  const HRESULT again = LoadOne(second, saved);
  if (again != S_OK || DescribeAll(second) != before) {
    std::fprintf(stderr, "round trip changed the cards (status %08x)\n",
                 static_cast<unsigned>(again));
    std::abort();
  }
  return 0;
}
