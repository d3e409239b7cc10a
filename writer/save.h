// Save and SaveAsXML of VCardColl: write the collection's cards to files.
#pragma once

#include "tarvovcard/automation_types.h"

namespace tarvovcard::writer {

// filenames is VT_EMPTY (each card to its own FolderPath and Filename), VT_BSTR
// (all cards into one file) or VT_ARRAY|VT_BSTR (card i to name i).
HRESULT SaveCollection(IVCardColl* collection, const VARIANT& filenames);
HRESULT SaveCollectionAsXML(IVCardColl* collection, const VARIANT& xml_filenames,
                            BSTR xsl_filename);

}  // namespace tarvovcard::writer
