// Load of VCardColl: reads one file or a list of files into a collection.
#pragma once

#include "tarvovcard/automation_types.h"

namespace tarvovcard::reader {

// Empties the collection and reads every named file into it. filenames is
// VT_BSTR or VT_ARRAY|VT_BSTR; the result is the status of the last file.
HRESULT LoadCollection(IVCardColl* collection, const VARIANT& filenames);

}  // namespace tarvovcard::reader
