// Parameter and value objects: fields at creation, plain accessors, and the
// value's non-owning, never dangling Parent.
#include "model_test_support.h"

namespace tarvovcard::testing {
namespace {

TEST(VCardParameter, NewParameterHasNoNameNoValueAndUnknownType) {
  auto parameter = Create<IVCardParameter>(CLSID_VCardParameter);
  EVCardParameter type;
  BSTR name = reinterpret_cast<BSTR>(1), value = reinterpret_cast<BSTR>(1);
  ExpectStatuses({
      {CALL(parameter->get_Type(&type)), S_OK},
      {CALL(parameter->get_Name(&name)), S_OK},
      {CALL(parameter->get_Value(&value)), S_OK},
      {CALL(parameter->get_Type(nullptr)), E_POINTER},
      {CALL(parameter->get_Name(nullptr)), E_POINTER},
      {CALL(parameter->get_Value(nullptr)), E_POINTER},
  });
  EXPECT_EQ(type, VCARD_PARAM_UNKNOWN);
  EXPECT_EQ(name, nullptr);
  EXPECT_EQ(value, nullptr);
}

// The value is copied up to its first NUL; an empty one stays a string, a
// null one null.
TEST(VCardParameter, ValueIsCopiedUpToTheFirstNul) {
  const char16_t with_nul[] = {u'H', u'O', 0, u'M', u'E'};
  const struct {
    CComBSTR in;
    const char16_t* out;
  } cases[] = {{CComBSTR(u""), u""}, {CComBSTR(with_nul, 5), u"HO"}, {CComBSTR(), nullptr}};
  auto parameter = MakeParameter(u"TYPE", u"HOME");
  for (const auto& c : cases) {
    CComBSTR value;
    ASSERT_EQ(parameter->put_Value(c.in), S_OK);
    ASSERT_EQ(parameter->get_Value(&value), S_OK);
    ASSERT_EQ(value.m_str == nullptr, c.out == nullptr);
    if (c.out) {
      EXPECT_EQ(Str(value), c.out);
    }
  }
}

TEST(VCardValue, ParentIsNotCountedAndCanBeReplaced) {
  auto first = MakeProperty(u"NOTE");
  auto second = MakeProperty(u"TEL");
  auto value = Create<IVCardValue>(CLSID_VCardValue);
  const ULONG before = Refs(first);
  ASSERT_EQ(value->putref_Parent(first), S_OK);
  EXPECT_EQ(Refs(first), before);
  ASSERT_EQ(value->putref_Parent(second), S_OK);
  EXPECT_EQ(Refs(first), before);
  CComPtr<IVCardProperty> parent;
  ASSERT_EQ(value->get_Parent(&parent), S_OK);
  EXPECT_EQ(parent, second);
}

// A value never refers to a destroyed property, wherever it is held.
TEST(VCardValue, ParentReadsAsUnsetOnceThePropertyIsGone) {
  CComPtr<IVCardValue> kept, elsewhere, orphan;
  auto other = Create<IVCardValueColl>(CLSID_VCardValueColl);
  {
    auto property = MakeProperty(u"NOTE");
    kept = AddTextValue(property, u"held by a client");
    elsewhere = AddTextValue(property, u"also in another collection");
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
  // Without a parent the coding rules cannot be read; a new parent works.
  CComVariant encoded;
  EXPECT_EQ(kept->get_EncodedValue(&encoded), E_POINTER);
  auto again = MakeProperty(u"NOTE");
  ASSERT_EQ(kept->putref_Parent(again), S_OK);
  CComPtr<IVCardProperty> parent;
  EXPECT_EQ(kept->get_Parent(&parent), S_OK);
}

TEST(VCardValue, ValuesThatLeaveFirstDoNotDisturbTheProperty) {
  auto property = MakeProperty(u"NOTE");
  {
    auto a = AddTextValue(property, u"a");
    auto b = AddTextValue(property, u"b");
    auto c = AddTextValue(property, u"c");
    CComPtr<IVCardValueColl> values;
    property->get_Values(&values);
    ASSERT_EQ(values->Remove(1), S_OK);  // b dies when its holder goes
    auto other = MakeProperty(u"TEL");   // c moves to another property
    ASSERT_EQ(c->putref_Parent(other), S_OK);
  }
  // The property's list of dependants stays sound: it is destroyed cleanly
  // (the sanitizers check) and its remaining values still see it.
  CComPtr<IVCardValueColl> values;
  CComPtr<IVCardValue> first;
  CComPtr<IVCardProperty> parent;
  property->get_Values(&values);
  ASSERT_EQ(values->Item(0, &first), S_OK);
  EXPECT_EQ(first->get_Parent(&parent), S_OK);
  EXPECT_EQ(parent, property);
}

}  // namespace
}  // namespace tarvovcard::testing
