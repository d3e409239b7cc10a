#include "writer/save.h"

namespace tarvovcard::writer {

HRESULT SaveCollection(IVCardColl*, const VARIANT&) { return E_NOTIMPL; }
HRESULT SaveCollectionAsXML(IVCardColl*, const VARIANT&, BSTR) { return E_NOTIMPL; }

}  // namespace tarvovcard::writer
