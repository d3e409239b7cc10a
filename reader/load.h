// Load of VCardColl: reads one file or a list of files into a collection.
#pragma once

#include "model/load_report.h"
#include "tarvovcard/automation_types.h"

namespace tarvovcard::reader {

// Empties the collection and the report, and reads every named file into
// the collection; what was lost or repaired goes to the report. filenames is
// VT_BSTR or VT_ARRAY|VT_BSTR; the result is the status of the last file.
HRESULT LoadCollection(IVCardColl* collection, const VARIANT& filenames,
                       model::LoadReport* report);

}  // namespace tarvovcard::reader
