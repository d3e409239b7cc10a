// The automation interfaces of TarvovCard: enumerations, class and interface
// identifiers, and the interfaces in slot order, as the type library describes
// them (server/tarvovcard.idl). Every method returns a status code.
#pragma once

#include "tarvovcard/platform/unknwn.h"
#include "tarvovcard/platform/oleauto.h"

// Property types.
enum EVCardProperty : LONG {
  VCARD_PROP_UNKNOWN = -1,
  VCARD_PROP_FN = 0,
  VCARD_PROP_N = 1,
  VCARD_PROP_PHOTO = 2,
  VCARD_PROP_BDAY = 3,
  VCARD_PROP_ADR = 4,
  VCARD_PROP_LABEL = 5,
  VCARD_PROP_TEL = 6,
  VCARD_PROP_EMAIL = 7,
  VCARD_PROP_MAILER = 8,
  VCARD_PROP_TZ = 9,
  VCARD_PROP_GEO = 10,
  VCARD_PROP_TITLE = 11,
  VCARD_PROP_ROLE = 12,
  VCARD_PROP_LOGO = 13,
  VCARD_PROP_AGENT = 14,
  VCARD_PROP_ORG = 15,
  VCARD_PROP_NOTE = 16,
  VCARD_PROP_REV = 17,
  VCARD_PROP_SOUND = 18,
  VCARD_PROP_URL = 19,
  VCARD_PROP_UID = 20,
  VCARD_PROP_VERSION = 21,
  VCARD_PROP_KEY = 22,
  VCARD_PROP_X = 23,
};

// Parameter types.
enum EVCardParameter : LONG {
  VCARD_PARAM_UNKNOWN = -1,
  VCARD_PARAM_TYPE = 0,
  VCARD_PARAM_VALUE = 1,
  VCARD_PARAM_ENCODING = 2,
  VCARD_PARAM_CHARSET = 3,
  VCARD_PARAM_LANGUAGE = 4,
  VCARD_PARAM_X = 5,
};

// Kinds of a stored value.
enum EVCardValue : LONG {
  VCARD_VALUE_VCARD = 0,
  VCARD_VALUE_STRING = 1,
  VCARD_VALUE_DATE = 2,
  VCARD_VALUE_BYTEARRAY = 3,
};

// Exported from the library, as the type library's identifiers.
#define TARVOVCARD_API __attribute__((visibility("default")))

extern "C" {
TARVOVCARD_API extern const GUID LIBID_TARVOVCARDLib;

TARVOVCARD_API extern const CLSID CLSID_VCard;
TARVOVCARD_API extern const CLSID CLSID_VCardProperty;
TARVOVCARD_API extern const CLSID CLSID_VCardValue;
TARVOVCARD_API extern const CLSID CLSID_VCardParameter;
TARVOVCARD_API extern const CLSID CLSID_VCardColl;
TARVOVCARD_API extern const CLSID CLSID_VCardParameterColl;
TARVOVCARD_API extern const CLSID CLSID_VCardPropertyColl;
TARVOVCARD_API extern const CLSID CLSID_VCardValueColl;

TARVOVCARD_API extern const IID IID_IVCardColl;
TARVOVCARD_API extern const IID IID_IVCard;
TARVOVCARD_API extern const IID IID_IVCardProperty;
TARVOVCARD_API extern const IID IID_IVCardPropertyName;
TARVOVCARD_API extern const IID IID_IVCardPropertyAddress;
TARVOVCARD_API extern const IID IID_IVCardPropertyOrganisation;
TARVOVCARD_API extern const IID IID_IVCardParameter;
TARVOVCARD_API extern const IID IID_IVCardValue;
TARVOVCARD_API extern const IID IID_IVCardPropertyColl;
TARVOVCARD_API extern const IID IID_IVCardParameterColl;
TARVOVCARD_API extern const IID IID_IVCardValueColl;
TARVOVCARD_API extern const IID IID_IVCardLoadReport;
}

struct IVCard;
struct IVCardProperty;
struct IVCardParameter;
struct IVCardValue;
struct IVCardPropertyColl;
struct IVCardParameterColl;
struct IVCardValueColl;
struct IVCardPropertyName;
struct IVCardPropertyAddress;
struct IVCardPropertyOrganisation;

struct IVCardColl : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Item(LONG Index, IVCard** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE Add(IVCard* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE Remove(LONG Index) = 0;
  virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE InsertAt(LONG Index, IVCard* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE Load(VARIANT filenames) = 0;
  virtual HRESULT STDMETHODCALLTYPE Save(VARIANT filenames) = 0;
  virtual HRESULT STDMETHODCALLTYPE SaveAsXML(VARIANT XML_filenames, BSTR XLS_filename) = 0;
};

struct IVCardPropertyColl : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Item(LONG Index, IVCardProperty** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE Add(IVCardProperty* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE Remove(LONG Index) = 0;
  virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE InsertAt(LONG Index, IVCardProperty* pVal) = 0;
};

struct IVCardParameterColl : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Item(LONG Index, IVCardParameter** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE Add(IVCardParameter* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE Remove(LONG Index) = 0;
  virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE InsertAt(LONG Index, IVCardParameter* pVal) = 0;
};

struct IVCardValueColl : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Item(LONG Index, IVCardValue** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE Add(IVCardValue* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE Remove(LONG Index) = 0;
  virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE InsertAt(LONG Index, IVCardValue* pVal) = 0;
};

struct IVCard : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_FolderPath(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_FolderPath(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Filename(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Filename(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Properties(IVCardPropertyColl** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryPropertyByType(EVCardProperty Type,
                                                        IVCardPropertyColl** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryPropertyByParameter(EVCardProperty search_property,
                                                             EVCardParameter search_parameter,
                                                             BSTR parameter_values,
                                                             IVCardPropertyColl** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryPropertyByName(BSTR Name, IVCardPropertyColl** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  QueryPropertyByNameAndParameter(BSTR search_property_name, EVCardParameter search_parameter,
                                  BSTR parameter_values, IVCardPropertyColl** pVal) = 0;
};

struct IVCardProperty : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Type(EVCardProperty* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Type(EVCardProperty newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Name(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Group(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Group(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Parameters(IVCardParameterColl** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Values(IVCardValueColl** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryParameterByType(EVCardParameter search_type,
                                                         IVCardParameterColl** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryParameterByName(BSTR search_name,
                                                         IVCardParameterColl** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AsAddress(IVCardPropertyAddress** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AsName(IVCardPropertyName** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AsOrganisation(IVCardPropertyOrganisation** pVal) = 0;
};

// The N view: values 0..4.
struct IVCardPropertyName : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_FamilyName(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_FamilyName(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_GivenName(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_GivenName(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AdditionalNames(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AdditionalNames(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_NamePrefix(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_NamePrefix(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_NameSuffix(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_NameSuffix(BSTR newVal) = 0;
};

// The ADR view: values 0..6.
struct IVCardPropertyAddress : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_PostOfficeAddress(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_PostOfficeAddress(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Extended(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Extended(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Street(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Street(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Locality(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Locality(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Region(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Region(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PostalCode(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_PostalCode(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Country(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Country(BSTR newVal) = 0;
};

// The ORG view: values 0..1.
struct IVCardPropertyOrganisation : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_OrganisationName(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_OrganisationName(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_OrganisationalUnit(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_OrganisationalUnit(BSTR newVal) = 0;
};

struct IVCardParameter : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Type(EVCardParameter* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Type(EVCardParameter newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Name(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Value(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Value(BSTR newVal) = 0;
};

struct IVCardValue : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Type(EVCardValue* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DecodedValue(VARIANT* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_DecodedValue(VARIANT newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_EncodedValue(VARIANT* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_EncodedValue(VARIANT newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Parent(IVCardProperty** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE putref_Parent(IVCardProperty* newVal) = 0;
};

// The problems of the latest Load of a VCardColl, which answers this
// interface through QueryInterface. Load empties the list first, then adds one
// entry for each line it skipped or each line's dropped bytes (lost data) and
// for each thing it kept only by a lenient rule (repaired), in the order met.
// Positions count from 0; a position outside 0..ProblemCount-1 gives
// E_INVALIDARG.
// Strings are new BSTRs that the caller frees with SysFreeString. Every
// method returns E_POINTER for a missing output pointer.
struct IVCardLoadReport : IUnknown {
  // The number of problems. (Not "Count": the collection that answers this
  // interface has a Count of its own, the number of cards.)
  virtual HRESULT STDMETHODCALLTYPE get_ProblemCount(LONG* pVal) = 0;
  // The file, as named to Load.
  virtual HRESULT STDMETHODCALLTYPE get_File(LONG Index, BSTR* pVal) = 0;
  // The line in the file, from 1 (0 for a problem of the whole file).
  virtual HRESULT STDMETHODCALLTYPE get_Line(LONG Index, LONG* pVal) = 0;
  // VARIANT_TRUE when data was lost (the file's status is then
  // 0x8007000D), VARIANT_FALSE when it was kept under a lenient rule.
  virtual HRESULT STDMETHODCALLTYPE get_Lost(LONG Index, VARIANT_BOOL* pVal) = 0;
  // A short message in plain words ("unreadable line skipped").
  virtual HRESULT STDMETHODCALLTYPE get_Message(LONG Index, BSTR* pVal) = 0;
  // The start of the line's text (at most 60 bytes, without its line end).
  virtual HRESULT STDMETHODCALLTYPE get_Text(LONG Index, BSTR* pVal) = 0;
};

TV_DECLARE_INTERFACE_IID(IVCardColl, IID_IVCardColl)
TV_DECLARE_INTERFACE_IID(IVCard, IID_IVCard)
TV_DECLARE_INTERFACE_IID(IVCardProperty, IID_IVCardProperty)
TV_DECLARE_INTERFACE_IID(IVCardPropertyName, IID_IVCardPropertyName)
TV_DECLARE_INTERFACE_IID(IVCardPropertyAddress, IID_IVCardPropertyAddress)
TV_DECLARE_INTERFACE_IID(IVCardPropertyOrganisation, IID_IVCardPropertyOrganisation)
TV_DECLARE_INTERFACE_IID(IVCardParameter, IID_IVCardParameter)
TV_DECLARE_INTERFACE_IID(IVCardValue, IID_IVCardValue)
TV_DECLARE_INTERFACE_IID(IVCardPropertyColl, IID_IVCardPropertyColl)
TV_DECLARE_INTERFACE_IID(IVCardParameterColl, IID_IVCardParameterColl)
TV_DECLARE_INTERFACE_IID(IVCardValueColl, IID_IVCardValueColl)
TV_DECLARE_INTERFACE_IID(IVCardLoadReport, IID_IVCardLoadReport)
