// The automation interfaces of TarvovCard: enumerations, class and interface
// identifiers, and the interfaces in slot order, as the type library describes
// them (server/tarvovcard.idl). Every method returns a status code.
//
// Rules that hold for every method below:
// - Positions count from 0. A position outside 0..Count-1 gives E_INVALIDARG.
// - A missing output pointer gives E_POINTER.
// - Strings handed out are new BSTRs: the caller frees them with
//   SysFreeString (CComBSTR does). Strings handed in are copied up to their
//   first NUL; the caller keeps them.
// - Objects handed out carry one reference for the caller to Release
//   (CComPtr does); objects handed in are AddRef'd by the receiver when kept.
// - E_OUTOFMEMORY when memory runs out; a failure of an object implemented
//   by the client is passed on unchanged.
// The C++ face <tarvovcard/cards.hpp> wraps all of this.
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

// An ordered collection of card objects (the same object may stand at
// several positions and in several collections).
struct IVCardColl : IUnknown {
  // The card at Index (from 0), with a reference for the caller.
  virtual HRESULT STDMETHODCALLTYPE Item(LONG Index, IVCard** pVal) = 0;
  // Appends the card (AddRef'd); E_POINTER for a null one.
  virtual HRESULT STDMETHODCALLTYPE Add(IVCard* pVal) = 0;
  // The number of cards.
  virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) = 0;
  // Removes the card at Index (from 0) and releases it.
  virtual HRESULT STDMETHODCALLTYPE Remove(LONG Index) = 0;
  // An IEnumVARIANT over the cards (each VARIANT holds the element's own
  // interface under VT_DISPATCH); the collection is its own enumerator, reset to position 0.
  virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** pVal) = 0;
  // Inserts the card before position Index (0..Count-1; use Add to append);
  // E_POINTER for a null one.
  virtual HRESULT STDMETHODCALLTYPE InsertAt(LONG Index, IVCard* pVal) = 0;
  // Empties the collection and reads the vCard files named: one name
  // (VT_BSTR) or several (VT_ARRAY|VT_BSTR), UTF-8 file system names. The
  // cards are appended in file order. Returns the status of the LAST file:
  // S_OK; 0x8007000D when something of it was lost (see IVCardLoadReport);
  // 0x80070002 no such file; 0x80070005 access denied; 0x8007006E it cannot
  // be opened; E_INVALIDARG for another argument type (the collection is
  // then untouched); E_OUTOFMEMORY; E_UNEXPECTED.
  virtual HRESULT STDMETHODCALLTYPE Load(VARIANT filenames) = 0;
  // Writes the cards as vCard 2.1 text: all into one file (VT_BSTR), card i
  // into name i (VT_ARRAY|VT_BSTR), or each back to the file it came from
  // (VT_EMPTY). Each file is replaced whole or not at all. Each card gets one
  // VERSION:2.1 first (kept in the card). S_OK; E_INVALIDARG for another
  // argument type; 0x8007006E a file cannot be created (or more cards than
  // names); 0x80070070 a file cannot be written or closed (disk full);
  // 0x8007001D a file cannot be renamed into place.
  virtual HRESULT STDMETHODCALLTYPE Save(VARIANT filenames) = 0;
  // Writes the cards as UTF-16 XML, named as for Save. XLS_filename, when
  // not empty, is the href of the XSL stylesheet the document names (an
  // xml-stylesheet processing instruction); E_INVALIDARG when it holds a
  // character XML cannot hold. Statuses as for Save, and 0x8007001D for a
  // failed write.
  virtual HRESULT STDMETHODCALLTYPE SaveAsXML(VARIANT XML_filenames, BSTR XLS_filename) = 0;
};

// An ordered collection of property objects (the same object may stand at
// several positions and in several collections).
struct IVCardPropertyColl : IUnknown {
  // The property at Index (from 0), with a reference for the caller.
  virtual HRESULT STDMETHODCALLTYPE Item(LONG Index, IVCardProperty** pVal) = 0;
  // Appends the property (AddRef'd); E_POINTER for a null one.
  virtual HRESULT STDMETHODCALLTYPE Add(IVCardProperty* pVal) = 0;
  // The number of propertys.
  virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) = 0;
  // Removes the property at Index (from 0) and releases it.
  virtual HRESULT STDMETHODCALLTYPE Remove(LONG Index) = 0;
  // An IEnumVARIANT over the propertys (each VARIANT holds the element's own
  // interface under VT_DISPATCH); the collection is its own enumerator, reset to position 0.
  virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** pVal) = 0;
  // Inserts the property before position Index (0..Count-1; use Add to append);
  // E_POINTER for a null one.
  virtual HRESULT STDMETHODCALLTYPE InsertAt(LONG Index, IVCardProperty* pVal) = 0;
};

// An ordered collection of parameter objects (the same object may stand at
// several positions and in several collections).
struct IVCardParameterColl : IUnknown {
  // The parameter at Index (from 0), with a reference for the caller.
  virtual HRESULT STDMETHODCALLTYPE Item(LONG Index, IVCardParameter** pVal) = 0;
  // Appends the parameter (AddRef'd); E_POINTER for a null one.
  virtual HRESULT STDMETHODCALLTYPE Add(IVCardParameter* pVal) = 0;
  // The number of parameters.
  virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) = 0;
  // Removes the parameter at Index (from 0) and releases it.
  virtual HRESULT STDMETHODCALLTYPE Remove(LONG Index) = 0;
  // An IEnumVARIANT over the parameters (each VARIANT holds the element's own
  // interface under VT_DISPATCH); the collection is its own enumerator, reset to position 0.
  virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** pVal) = 0;
  // Inserts the parameter before position Index (0..Count-1; use Add to append);
  // E_POINTER for a null one.
  virtual HRESULT STDMETHODCALLTYPE InsertAt(LONG Index, IVCardParameter* pVal) = 0;
};

// An ordered collection of value objects (the same object may stand at
// several positions and in several collections).
struct IVCardValueColl : IUnknown {
  // The value at Index (from 0), with a reference for the caller.
  virtual HRESULT STDMETHODCALLTYPE Item(LONG Index, IVCardValue** pVal) = 0;
  // Appends the value (AddRef'd); E_POINTER for a null one.
  virtual HRESULT STDMETHODCALLTYPE Add(IVCardValue* pVal) = 0;
  // The number of values.
  virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) = 0;
  // Removes the value at Index (from 0) and releases it.
  virtual HRESULT STDMETHODCALLTYPE Remove(LONG Index) = 0;
  // An IEnumVARIANT over the values (each VARIANT holds the element's own
  // interface under VT_DISPATCH); the collection is its own enumerator, reset to position 0.
  virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** pVal) = 0;
  // Inserts the value before position Index (0..Count-1; use Add to append);
  // E_POINTER for a null one.
  virtual HRESULT STDMETHODCALLTYPE InsertAt(LONG Index, IVCardValue* pVal) = 0;
};

// One card. The queries return new collections holding the card's own
// property objects (not copies), in card order.
struct IVCard : IUnknown {
  // The folder of the file the card was read from ("" for "x.vcf"; "/a" for
  // "/a/x.vcf").
  virtual HRESULT STDMETHODCALLTYPE get_FolderPath(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_FolderPath(BSTR newVal) = 0;
  // The file name the card was read from, without its folder.
  virtual HRESULT STDMETHODCALLTYPE get_Filename(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Filename(BSTR newVal) = 0;
  // The card's own property collection (changes to it change the card).
  virtual HRESULT STDMETHODCALLTYPE get_Properties(IVCardPropertyColl** pVal) = 0;
  // The properties of the type.
  virtual HRESULT STDMETHODCALLTYPE QueryPropertyByType(EVCardProperty Type,
                                                        IVCardPropertyColl** pVal) = 0;
  // The properties of type search_property whose search_parameter parameters
  // hold every one of parameter_values, ";"-separated and compared without
  // regard to ASCII case (u"home;voice"); an empty parameter_values selects
  // every property of the type.
  virtual HRESULT STDMETHODCALLTYPE QueryPropertyByParameter(EVCardProperty search_property,
                                                             EVCardParameter search_parameter,
                                                             BSTR parameter_values,
                                                             IVCardPropertyColl** pVal) = 0;
  // The properties named Name exactly (case-sensitive: u"TEL", u"X-SKYPE").
  virtual HRESULT STDMETHODCALLTYPE QueryPropertyByName(BSTR Name, IVCardPropertyColl** pVal) = 0;
  // As QueryPropertyByParameter, the properties selected by name.
  virtual HRESULT STDMETHODCALLTYPE
  QueryPropertyByNameAndParameter(BSTR search_property_name, EVCardParameter search_parameter,
                                  BSTR parameter_values, IVCardPropertyColl** pVal) = 0;
};

// One property line: a type and name, a group, parameters and values.
struct IVCardProperty : IUnknown {
  // The type; VCARD_PROP_X for an "X-" name, VCARD_PROP_UNKNOWN for a name
  // read from a file that the vocabulary lacks (CATEGORIES).
  virtual HRESULT STDMETHODCALLTYPE get_Type(EVCardProperty* pVal) = 0;
  // Sets the type and its canonical name; E_INVALIDARG for VCARD_PROP_X,
  // VCARD_PROP_UNKNOWN and values outside the enumeration.
  virtual HRESULT STDMETHODCALLTYPE put_Type(EVCardProperty newVal) = 0;
  // The name as stored (u"TEL", u"X-SKYPE").
  virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* pVal) = 0;
  // Sets name and type: a canonical name exactly (u"TEL") or one that starts
  // with "X-"; E_INVALIDARG for any other.
  virtual HRESULT STDMETHODCALLTYPE put_Name(BSTR newVal) = 0;
  // The group written before the name ("work" in work.TEL), "" for none.
  virtual HRESULT STDMETHODCALLTYPE get_Group(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Group(BSTR newVal) = 0;
  // The property's own parameter collection.
  virtual HRESULT STDMETHODCALLTYPE get_Parameters(IVCardParameterColl** pVal) = 0;
  // The property's own value collection (one value per ";" component).
  virtual HRESULT STDMETHODCALLTYPE get_Values(IVCardValueColl** pVal) = 0;
  // A new collection of the property's parameters of the type, in order;
  // empty (not a failure) when there is none.
  virtual HRESULT STDMETHODCALLTYPE QueryParameterByType(EVCardParameter search_type,
                                                         IVCardParameterColl** pVal) = 0;
  // The same by name, compared without regard to ASCII case.
  virtual HRESULT STDMETHODCALLTYPE QueryParameterByName(BSTR search_name,
                                                         IVCardParameterColl** pVal) = 0;
  // The property itself through its ADR, N or ORG view (holding the view
  // holds the property). A view method on a property of another type gives
  // E_NOTIMPL.
  virtual HRESULT STDMETHODCALLTYPE get_AsAddress(IVCardPropertyAddress** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AsName(IVCardPropertyName** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AsOrganisation(IVCardPropertyOrganisation** pVal) = 0;
};

// The N view: the property's values 0..4 by name. A getter of a position
// beyond the values reads ""; a setter adds the values before it as needed.
// A component holding a date, card or bytes gives E_FAIL. E_NOTIMPL on a
// property that is not N (the same rules hold for the ADR and ORG views).
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

// The ADR view: the property's values 0..6 by name, as the N view.
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

// The ORG view: the property's values 0..1 by name, as the N view.
struct IVCardPropertyOrganisation : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_OrganisationName(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_OrganisationName(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_OrganisationalUnit(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_OrganisationalUnit(BSTR newVal) = 0;
};

// One parameter of a property: TYPE=HOME, ENCODING=BASE64, X-FOO=bar.
struct IVCardParameter : IUnknown {
  // The type; VCARD_PARAM_X for a name holding "X-".
  virtual HRESULT STDMETHODCALLTYPE get_Type(EVCardParameter* pVal) = 0;
  // Sets the type and its canonical name; E_INVALIDARG for VCARD_PARAM_X,
  // VCARD_PARAM_UNKNOWN and values outside the enumeration.
  virtual HRESULT STDMETHODCALLTYPE put_Type(EVCardParameter newVal) = 0;
  // The name, letter for letter as set.
  virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* pVal) = 0;
  // Sets name and type: TYPE, VALUE, ENCODING, CHARSET, LANGUAGE in any case,
  // or a name holding "X-"; E_INVALIDARG for any other.
  virtual HRESULT STDMETHODCALLTYPE put_Name(BSTR newVal) = 0;
  // The value (u"HOME", u"UTF-8"); a null BSTR when never set.
  virtual HRESULT STDMETHODCALLTYPE get_Value(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Value(BSTR newVal) = 0;
};

// One value of a property, stored decoded: text (VT_BSTR), a date (VT_DATE:
// days since 30 December 1899, the time as the fraction), bytes
// (VT_ARRAY|VT_UI1) or a nested card (VT_UNKNOWN). Its coding in the file
// follows its parent property's first ENCODING and CHARSET parameters.
struct IVCardValue : IUnknown {
  // The kind of what is stored.
  virtual HRESULT STDMETHODCALLTYPE get_Type(EVCardValue* pVal) = 0;
  // A copy of the stored value (as VariantCopy; free with VariantClear, or
  // hold it in a CComVariant). VT_EMPTY for a value never set.
  virtual HRESULT STDMETHODCALLTYPE get_DecodedValue(VARIANT* pVal) = 0;
  // Stores text, a date, bytes or a card (E_INVALIDARG for another type).
  // Text and bytes change the parent's parameters as they need: BASE64 for
  // bytes, QUOTED-PRINTABLE for line breaks, CHARSET=UTF-8 for characters
  // Windows-1252 lacks; set the Parent first (E_POINTER without one, the
  // value being stored all the same).
  virtual HRESULT STDMETHODCALLTYPE put_DecodedValue(VARIANT newVal) = 0;
  // The value as the file holds it. Text comes as VT_BYREF|VT_I1, a new
  // buffer from CoTaskMemAlloc that the caller frees with CoTaskMemFree (a
  // CComVariant does NOT free it); a date or card as for DecodedValue. What
  // *pVal held is released first; an empty value leaves it as passed.
  virtual HRESULT STDMETHODCALLTYPE get_EncodedValue(VARIANT* pVal) = 0;
  // Decodes file text (VT_BYREF|VT_I1, borrowed) by the parent's rules and
  // stores it; also takes a date or a card (E_NOINTERFACE for an object
  // that is no card).
  virtual HRESULT STDMETHODCALLTYPE put_EncodedValue(VARIANT newVal) = 0;
  // The parent property; E_POINTER when there is none or it is gone.
  virtual HRESULT STDMETHODCALLTYPE get_Parent(IVCardProperty** pVal) = 0;
  // Sets the parent, which is not AddRef'd: the value never keeps its
  // property alive (the library's own property unsets itself when it goes).
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
