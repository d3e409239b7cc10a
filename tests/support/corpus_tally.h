// Counts what a Load read, in the terms of CorpusCounts, so that a test can
// compare it with what GenerateCorpus wrote. Header-only: the programs that
// use it already link the library, the corpus generator does not.
#pragma once

#include "support/corpus.h"
#include "tarvovcard/tarvovcard.h"

namespace tarvovcard::testing {
namespace tally_detail {

// Adds the card (and the cards nested in its AGENT values) to counts; the
// number of the card's own properties.
inline long CountCard(IVCard* card, bool nested, CorpusCounts& counts) {
  ++(nested ? counts.nested_cards : counts.cards);
  CComPtr<IVCardPropertyColl> properties;
  card->get_Properties(&properties);
  LONG count = 0;
  properties->get_Count(&count);
  (nested ? counts.nested_properties : counts.properties) += count;
  for (LONG i = 0; i < count; ++i) {
    CComPtr<IVCardProperty> property;
    properties->Item(i, &property);
    CComPtr<IVCardParameterColl> parameters;
    property->get_Parameters(&parameters);
    LONG parameter_count = 0;
    parameters->get_Count(&parameter_count);
    counts.parameters += parameter_count;
    CComPtr<IVCardValueColl> values;
    property->get_Values(&values);
    LONG value_count = 0;
    values->get_Count(&value_count);
    counts.values += value_count;
    for (LONG k = 0; k < value_count; ++k) {
      CComPtr<IVCardValue> value;
      values->Item(k, &value);
      EVCardValue kind;
      value->get_Type(&kind);
      if (kind != VCARD_VALUE_VCARD) continue;
      CComVariant decoded;
      value->get_DecodedValue(&decoded);
      CComPtr<IVCard> inner;
      decoded.punkVal->QueryInterface(IID_IVCard, reinterpret_cast<void**>(&inner));
      CountCard(inner, true, counts);
    }
  }
  return count;
}

}  // namespace tally_detail

// The counts of the cards in the collection, nested cards included.
inline CorpusCounts CountLoaded(IVCardColl* collection) {
  CorpusCounts counts;
  LONG cards = 0;
  collection->get_Count(&cards);
  for (LONG i = 0; i < cards; ++i) {
    CComPtr<IVCard> card;
    collection->Item(i, &card);
    counts.properties_per_card.push_back(
        static_cast<int>(tally_detail::CountCard(card, false, counts)));
  }
  return counts;
}

}  // namespace tarvovcard::testing
