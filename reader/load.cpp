#include "reader/load.h"

namespace tarvovcard::reader {

HRESULT LoadCollection(IVCardColl*, const VARIANT&) { return E_NOTIMPL; }

}  // namespace tarvovcard::reader
