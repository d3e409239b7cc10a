// Parameter and value objects: fields at creation, plain accessors, and the
// value's non-owning, never dangling Parent.
#include "model_test_support.h"

namespace tarvovcard::model {
namespace {

using testing::Create;
using testing::Str;

TEST(VCardParameter, NewParameterHasNoNameNoValueAndUnknownType) {
  auto parameter = Create<IVCardParameter>(CLSID_VCardParameter);
  EVCardParameter type;
  EXPECT_EQ(parameter->get_Type(&type), S_OK);
  EXPECT_EQ(type, VCARD_PARAM_UNKNOWN);
  BSTR name = reinterpret_cast<BSTR>(1);
  EXPECT_EQ(parameter->get_Name(&name), S_OK);
  EXPECT_EQ(name, nullptr);
  BSTR value = reinterpret_cast<BSTR>(1);
  EXPECT_EQ(parameter->get_Value(&value), S_OK);
  EXPECT_EQ(value, nullptr);
  EXPECT_EQ(parameter->get_Type(nullptr), E_POINTER);
  EXPECT_EQ(parameter->get_Name(nullptr), E_POINTER);
  EXPECT_EQ(parameter->get_Value(nullptr), E_POINTER);
}

TEST(VCardParameter, RefusedNameChangesNothing) {
  auto parameter = Create<IVCardParameter>(CLSID_VCardParameter);
  ASSERT_EQ(parameter->put_Name(CComBSTR(u"type")), S_OK);
  EXPECT_EQ(parameter->put_Name(CComBSTR(u"HOME")), E_INVALIDARG);
  EXPECT_EQ(parameter->put_Name(nullptr), E_INVALIDARG);
  EVCardParameter type;
  CComBSTR name;
  parameter->get_Type(&type);
  parameter->get_Name(&name);
  EXPECT_EQ(type, VCARD_PARAM_TYPE);
  EXPECT_EQ(Str(name), u"type");
}

TEST(VCardParameter, ValueIsCopiedUpToTheFirstNul) {
  auto parameter = Create<IVCardParameter>(CLSID_VCardParameter);
  EXPECT_EQ(parameter->put_Value(CComBSTR(u"")), S_OK);
  CComBSTR value;
  EXPECT_EQ(parameter->get_Value(&value), S_OK);
  ASSERT_NE(value.m_str, nullptr);
  EXPECT_EQ(value.Length(), 0u);

  const char16_t with_nul[] = {u'H', u'O', 0, u'M', u'E'};
  CComBSTR text(with_nul, 5);
  EXPECT_EQ(parameter->put_Value(text), S_OK);
  value.Empty();
  parameter->get_Value(&value);
  EXPECT_EQ(Str(value), u"HO");

  EXPECT_EQ(parameter->put_Value(nullptr), S_OK);
  value.Empty();
  parameter->get_Value(&value);
  EXPECT_EQ(value.m_str, nullptr);
}

TEST(VCardValue, NewValueIsAnEmptyStringWithoutParent) {
  auto value = Create<IVCardValue>(CLSID_VCardValue);
  EVCardValue kind;
  EXPECT_EQ(value->get_Type(&kind), S_OK);
  EXPECT_EQ(kind, VCARD_VALUE_STRING);
  IVCardProperty* parent = reinterpret_cast<IVCardProperty*>(1);
  EXPECT_EQ(value->get_Parent(&parent), E_POINTER);
  EXPECT_EQ(parent, nullptr);
  EXPECT_EQ(value->putref_Parent(nullptr), E_POINTER);
  CComVariant decoded;
  EXPECT_EQ(value->get_DecodedValue(&decoded), S_OK);
  EXPECT_EQ(decoded.vt, VT_EMPTY);
}

TEST(VCardValue, ParentIsNotCountedAndCanBeReplaced) {
  auto first = testing::MakeProperty(u"NOTE");
  auto second = testing::MakeProperty(u"TEL");
  auto value = Create<IVCardValue>(CLSID_VCardValue);
  // Counts seen from outside: AddRef/Release return the new count.
  auto count = [](IUnknown* p) {
    p->AddRef();
    return p->Release();
  };
  const ULONG before = count(first);
  ASSERT_EQ(value->putref_Parent(first), S_OK);
  EXPECT_EQ(count(first), before);
  ASSERT_EQ(value->putref_Parent(second), S_OK);
  EXPECT_EQ(count(first), before);
  CComPtr<IVCardProperty> parent;
  ASSERT_EQ(value->get_Parent(&parent), S_OK);
  EXPECT_EQ(parent, second);
}

// a value never refers to a destroyed property.
TEST(VCardValueParent, ReadsAsUnsetOnceThePropertyIsGone) {
  CComPtr<IVCardValue> kept;
  CComPtr<IVCardValue> elsewhere;
  CComPtr<IVCardValue> orphan;
  auto other = Create<IVCardValueColl>(CLSID_VCardValueColl);
  {
    auto property = testing::MakeProperty(u"NOTE");
    kept = testing::AddTextValue(property, u"held by a client");
    elsewhere = testing::AddTextValue(property, u"also in another collection");
    ASSERT_EQ(other->Add(elsewhere), S_OK);
    // A value whose parent is set but which was never added anywhere.
    orphan = Create<IVCardValue>(CLSID_VCardValue);
    ASSERT_EQ(orphan->putref_Parent(property), S_OK);
    CComPtr<IVCardProperty> parent;
    ASSERT_EQ(kept->get_Parent(&parent), S_OK);
    EXPECT_EQ(parent, property);
  }
  for (IVCardValue* value : {kept.p, elsewhere.p, orphan.p}) {
    IVCardProperty* parent = reinterpret_cast<IVCardProperty*>(1);
    EXPECT_EQ(value->get_Parent(&parent), E_POINTER);
    EXPECT_EQ(parent, nullptr);
  }
  // Without a parent the coding rules cannot be read.
  VARIANT encoded;
  VariantInit(&encoded);
  EXPECT_EQ(kept->get_EncodedValue(&encoded), E_POINTER);
  // A new parent works as ever.
  auto again = testing::MakeProperty(u"NOTE");
  ASSERT_EQ(kept->putref_Parent(again), S_OK);
  CComPtr<IVCardProperty> parent;
  EXPECT_EQ(kept->get_Parent(&parent), S_OK);
}

TEST(VCardValueParent, ValuesThatLeaveFirstDoNotDisturbTheProperty) {
  auto property = testing::MakeProperty(u"NOTE");
  {
    auto a = testing::AddTextValue(property, u"a");
    auto b = testing::AddTextValue(property, u"b");
    auto c = testing::AddTextValue(property, u"c");
    CComPtr<IVCardValueColl> values;
    property->get_Values(&values);
    ASSERT_EQ(values->Remove(1), S_OK);  // b dies when its holder goes
    // c moves to another property.
    auto other = testing::MakeProperty(u"TEL");
    ASSERT_EQ(c->putref_Parent(other), S_OK);
  }
  // The property's list of dependants stays sound: it is destroyed cleanly
  // (the sanitizers check) and its remaining values still see it.
  CComPtr<IVCardValueColl> values;
  property->get_Values(&values);
  CComPtr<IVCardValue> first;
  ASSERT_EQ(values->Item(0, &first), S_OK);
  CComPtr<IVCardProperty> parent;
  EXPECT_EQ(first->get_Parent(&parent), S_OK);
  EXPECT_EQ(parent, property);
}

TEST(VCardValue, AnswersErrorInfoForItsInterfaceOnly) {
  auto value = Create<IVCardValue>(CLSID_VCardValue);
  CComPtr<ISupportErrorInfo> info;
  ASSERT_EQ(value.QueryInterface(&info), S_OK);
  EXPECT_EQ(info->InterfaceSupportsErrorInfo(IID_IVCardValue), S_OK);
  EXPECT_EQ(info->InterfaceSupportsErrorInfo(IID_IVCardParameter), S_FALSE);
  auto parameter = Create<IVCardParameter>(CLSID_VCardParameter);
  CComPtr<ISupportErrorInfo> info2;
  ASSERT_EQ(parameter.QueryInterface(&info2), S_OK);
  EXPECT_EQ(info2->InterfaceSupportsErrorInfo(IID_IVCardParameter), S_OK);
}

}  // namespace
}  // namespace tarvovcard::model
