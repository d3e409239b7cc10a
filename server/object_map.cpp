// The object map: the eight creatable classes in their fixed order, each with
// its instance creator and its registration data.
#include "model/collection.h"
#include "model/parameter.h"
#include "model/property.h"
#include "model/value.h"
#include "model/vcard.h"
#include "reader/load.h"
#include "writer/save.h"
#include "frame/com_object.h"
#include "server/module.h"

namespace tarvovcard::server {
namespace {

using namespace tarvovcard::model;
using frame::Creator;

// The card collection with its file operations bound to the reader and the
// writers, which stand above the object model.
class BoundVCardColl : public VCardColl {
 public:
  HRESULT STDMETHODCALLTYPE Load(VARIANT filenames) override {
    return frame::ComBoundary([&] { return reader::LoadCollection(this, filenames, &report()); });
  }
  HRESULT STDMETHODCALLTYPE Save(VARIANT filenames) override {
    return frame::ComBoundary([&] { return writer::SaveCollection(this, filenames); });
  }
  HRESULT STDMETHODCALLTYPE SaveAsXML(VARIANT XML_filenames, BSTR XLS_filename) override {
    return frame::ComBoundary(
        [&] { return writer::SaveCollectionAsXML(this, XML_filenames, XLS_filename); });
  }
};

constexpr ObjectMapEntry kObjectMap[kObjectMapSize] = {
    {&CLSID_VCard, &Creator<VCard>::CreateInstance, 101, u"VCard", u"VCard Class",
     u"TarvovCard.VCard.1", u"TarvovCard.VCard"},
    {&CLSID_VCardProperty, &Creator<VCardProperty>::CreateInstance, 102, u"VCardProperty",
     u"VCardProperty Class", u"TarvovCard.VCardProperty.1", u"TarvovCard.VCardProperty"},
    {&CLSID_VCardValue, &Creator<VCardValue>::CreateInstance, 103, u"VCardValue",
     u"VCardValue Class", u"TarvovCard.VCardValue.1", u"TarvovCard.VCardValue"},
    {&CLSID_VCardParameter, &Creator<VCardParameter>::CreateInstance, 105, u"VCardParameter",
     u"VCardParameter Class", u"TarvovCard.VCardParameter.1", u"TarvovCard.VCardParameter"},
    {&CLSID_VCardColl, &Creator<BoundVCardColl>::CreateInstance, 106, u"VCardColl",
     u"VCardColl Class", u"TarvovCard.VCardColl.1", u"TarvovCard.VCardColl"},
    {&CLSID_VCardParameterColl, &Creator<VCardParameterColl>::CreateInstance, 107,
     u"VCardParameterColl", u"VCardParameterColl Class", u"TarvovCard.VCardParameterColl.1",
     u"TarvovCard.VCardParameterColl"},
    {&CLSID_VCardPropertyColl, &Creator<VCardPropertyColl>::CreateInstance, 108,
     u"VCardPropertyColl", u"VCardPropertyColl Class", u"TarvovCard.VCardPropertyColl.1",
     u"TarvovCard.VCardPropertyColl"},
    {&CLSID_VCardValueColl, &Creator<VCardValueColl>::CreateInstance, 109, u"VCardValueColl",
     u"VCardValueColl Class", u"TarvovCard.VCardValueColl.1", u"TarvovCard.VCardValueColl"},
};

}  // namespace

std::span<const ObjectMapEntry, kObjectMapSize> ObjectMap() noexcept {
  return std::span<const ObjectMapEntry, kObjectMapSize>(kObjectMap);
}

}  // namespace tarvovcard::server
