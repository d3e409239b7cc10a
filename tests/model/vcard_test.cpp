// The card and its four queries, the pair-counting parameter test included.
#include "model/vcard.h"

#include <string>

#include "model_test_support.h"

namespace tarvovcard::model {
namespace {

using testing::AddParameter;
using testing::CountOf;
using testing::Create;
using testing::MakeProperty;
using testing::Str;

class VCardQueries : public ::testing::Test {
 protected:
  void SetUp() override {
    card = Create<IVCard>(CLSID_VCard);
    ASSERT_EQ(card->get_Properties(&properties), S_OK);
  }

  CComPtr<IVCardProperty> Add(const char16_t* name) {
    auto property = MakeProperty(name);
    EXPECT_EQ(properties->Add(property), S_OK);
    return property;
  }

  LONG CountByParameter(const char16_t* values) {
    CComPtr<IVCardPropertyColl> result;
    CComBSTR text(values);
    EXPECT_EQ(card->QueryPropertyByParameter(VCARD_PROP_TEL, VCARD_PARAM_TYPE, text, &result),
              S_OK);
    return result ? CountOf(result) : -1;
  }

  CComPtr<IVCard> card;
  CComPtr<IVCardPropertyColl> properties;
};

TEST_F(VCardQueries, NewCardHasNoPathsAndEveryQueryIsEmpty) {
  BSTR folder = reinterpret_cast<BSTR>(1), file = reinterpret_cast<BSTR>(1);
  EXPECT_EQ(card->get_FolderPath(&folder), S_OK);
  EXPECT_EQ(card->get_Filename(&file), S_OK);
  EXPECT_EQ(folder, nullptr);
  EXPECT_EQ(file, nullptr);
  EXPECT_EQ(CountOf(properties), 0);
  CComPtr<IVCardPropertyColl> a, b, c, d;
  ASSERT_EQ(card->QueryPropertyByType(VCARD_PROP_TEL, &a), S_OK);
  ASSERT_EQ(card->QueryPropertyByName(CComBSTR(u"TEL"), &b), S_OK);
  ASSERT_EQ(card->QueryPropertyByParameter(VCARD_PROP_TEL, VCARD_PARAM_TYPE, nullptr, &c), S_OK);
  ASSERT_EQ(card->QueryPropertyByNameAndParameter(nullptr, VCARD_PARAM_TYPE, nullptr, &d), S_OK);
  for (IVCardPropertyColl* result : {a.p, b.p, c.p, d.p}) EXPECT_EQ(CountOf(result), 0);
  EXPECT_EQ(card->QueryPropertyByType(VCARD_PROP_TEL, nullptr), E_POINTER);
  EXPECT_EQ(card->QueryPropertyByName(nullptr, nullptr), E_POINTER);
}

TEST_F(VCardQueries, PathsAndPropertiesBelongToTheCard) {
  ASSERT_EQ(card->put_FolderPath(CComBSTR(u"/tmp/cards")), S_OK);
  ASSERT_EQ(card->put_Filename(CComBSTR(u"a.vcf")), S_OK);
  CComBSTR folder, file;
  card->get_FolderPath(&folder);
  card->get_Filename(&file);
  EXPECT_EQ(Str(folder), u"/tmp/cards");
  EXPECT_EQ(Str(file), u"a.vcf");
  CComPtr<IVCardPropertyColl> again;
  card->get_Properties(&again);
  EXPECT_EQ(again, properties);
}

TEST_F(VCardQueries, ByTypeGivesTheCardsOwnObjectsInCardOrder) {
  auto t1 = Add(u"TEL");
  Add(u"EMAIL");
  auto t2 = Add(u"TEL");
  auto t3 = Add(u"TEL");
  CComPtr<IVCardPropertyColl> result;
  ASSERT_EQ(card->QueryPropertyByType(VCARD_PROP_TEL, &result), S_OK);
  ASSERT_EQ(CountOf(result), 3);
  CComPtr<IVCardProperty> r0, r1, r2;
  result->Item(0, &r0);
  result->Item(1, &r1);
  result->Item(2, &r2);
  EXPECT_EQ(r0, t1);
  EXPECT_EQ(r1, t2);
  EXPECT_EQ(r2, t3);
  // A change through the result is a change of the card; removing from the
  // result is not.
  ASSERT_EQ(r1->put_Group(CComBSTR(u"work")), S_OK);
  CComPtr<IVCardProperty> own;
  properties->Item(2, &own);
  CComBSTR group;
  own->get_Group(&group);
  EXPECT_EQ(Str(group), u"work");
  ASSERT_EQ(result->Remove(0), S_OK);
  EXPECT_EQ(CountOf(properties), 4);

  auto unnamed = Create<IVCardProperty>(CLSID_VCardProperty);
  properties->Add(unnamed);
  Add(u"X-ICQ");
  CComPtr<IVCardPropertyColl> unknown, extensions;
  ASSERT_EQ(card->QueryPropertyByType(VCARD_PROP_UNKNOWN, &unknown), S_OK);
  ASSERT_EQ(card->QueryPropertyByType(VCARD_PROP_X, &extensions), S_OK);
  EXPECT_EQ(CountOf(unknown), 1);
  EXPECT_EQ(CountOf(extensions), 1);
}

TEST_F(VCardQueries, ByNameIsExactAndCaseSensitive) {
  Add(u"X-ICQ");
  Add(u"X-icq");
  Add(u"TEL");
  properties->Add(Create<IVCardProperty>(CLSID_VCardProperty));
  auto count = [&](const char16_t* name) {
    CComPtr<IVCardPropertyColl> result;
    EXPECT_EQ(card->QueryPropertyByName(name ? CComBSTR(name) : CComBSTR(), &result), S_OK);
    return CountOf(result);
  };
  EXPECT_EQ(count(u"X-ICQ"), 1);
  EXPECT_EQ(count(u"tel"), 0);
  EXPECT_EQ(count(u"TEL"), 1);
  EXPECT_EQ(count(u""), 1);  // the property never named
  EXPECT_EQ(count(nullptr), 1);
}

TEST_F(VCardQueries, ParameterTestCountsPairsNotTokens) {
  auto both = Add(u"TEL");
  AddParameter(both, u"TYPE", u"HOME");
  AddParameter(both, u"TYPE", u"VOICE");
  auto home_only = Add(u"TEL");
  AddParameter(home_only, u"TYPE", u"HOME");
  auto lower = Add(u"TEL");
  AddParameter(lower, u"type", u"home");
  AddParameter(lower, u"TYPE", u"voice");
  auto twice = Add(u"TEL");
  AddParameter(twice, u"TYPE", u"HOME");
  AddParameter(twice, u"TYPE", u"HOME");
  auto bare = Add(u"TEL");
  auto email = Add(u"EMAIL");
  AddParameter(email, u"TYPE", u"HOME");

  // HOME;VOICE: both (M=2), lower (case ignored), twice (HOME pairs twice: M=2).
  EXPECT_EQ(CountByParameter(u"HOME;VOICE"), 3);
  // HOME;WORK: only "twice" reaches M=2 (a pair count, not matched tokens).
  EXPECT_EQ(CountByParameter(u"HOME;WORK"), 1);
  EXPECT_EQ(CountByParameter(u"HOME"), 4);
  // No tokens at all: every TEL passes, with or without parameters.
  EXPECT_EQ(CountByParameter(u""), 5);
  EXPECT_EQ(CountByParameter(u";;"), 5);
  // Runs of separators count as one; none at the ends make empty tokens.
  EXPECT_EQ(CountByParameter(u";;HOME;;;VOICE;"), 3);
}

TEST_F(VCardQueries, ByNameAndParameterComparesValuesWithoutCase) {
  auto qp = Add(u"TEL");
  AddParameter(qp, u"ENCODING", u"quoted-printable");
  auto b64 = Add(u"TEL");
  AddParameter(b64, u"ENCODING", u"BASE64");
  auto note = Add(u"NOTE");
  AddParameter(note, u"ENCODING", u"QUOTED-PRINTABLE");
  CComPtr<IVCardPropertyColl> result;
  ASSERT_EQ(card->QueryPropertyByNameAndParameter(CComBSTR(u"TEL"), VCARD_PARAM_ENCODING,
                                                  CComBSTR(u"QUOTED-PRINTABLE"), &result),
            S_OK);
  ASSERT_EQ(CountOf(result), 1);
  CComPtr<IVCardProperty> selected;
  result->Item(0, &selected);
  EXPECT_EQ(selected, qp);
}

// no 259-byte limit; the whole text is cut into tokens.
TEST_F(VCardQueries, LongParameterValuesAreTokenisedWhole) {
  std::u16string long_token(300, u'A');
  auto long_one = Add(u"TEL");
  AddParameter(long_one, u"TYPE", long_token.c_str());
  AddParameter(long_one, u"TYPE", u"HOME");
  auto home = Add(u"TEL");
  AddParameter(home, u"TYPE", u"HOME");

  const std::u16string values = long_token + u";HOME";
  EXPECT_EQ(CountByParameter(values.c_str()), 1);
  // The token behind the 259th byte still counts: HOME alone no longer passes.
  std::u16string padded(400, u';');
  padded += u"HOME;WORK";
  EXPECT_EQ(CountByParameter(padded.c_str()), 0);
  padded = std::u16string(400, u';') + u"HOME";
  EXPECT_EQ(CountByParameter(padded.c_str()), 2);
  // Separators alone name no value: every property of the type passes.
  EXPECT_EQ(CountByParameter(u";;;"), 2);
}

// A property implemented outside the library whose Type fails.
struct FailingProperty : IVCardProperty {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IVCardProperty)) {
      return E_NOINTERFACE;
    }
    *ppv = static_cast<IVCardProperty*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE get_Type(EVCardProperty*) override { return E_ACCESSDENIED; }
  HRESULT STDMETHODCALLTYPE put_Type(EVCardProperty) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Name(BSTR*) override { return E_ACCESSDENIED; }
  HRESULT STDMETHODCALLTYPE put_Name(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Group(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Group(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Parameters(IVCardParameterColl**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Values(IVCardValueColl**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryParameterByType(EVCardParameter, IVCardParameterColl**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE QueryParameterByName(BSTR, IVCardParameterColl**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_AsAddress(IVCardPropertyAddress**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_AsName(IVCardPropertyName**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_AsOrganisation(IVCardPropertyOrganisation**) override {
    return E_NOTIMPL;
  }
  ULONG refs = 1;
};

TEST_F(VCardQueries, AFailingPropertyStopsTheQueryWithItsCode) {
  FailingProperty failing;
  Add(u"TEL");
  ASSERT_EQ(properties->Add(&failing), S_OK);
  IVCardPropertyColl* result = reinterpret_cast<IVCardPropertyColl*>(1);
  EXPECT_EQ(card->QueryPropertyByType(VCARD_PROP_TEL, &result), E_ACCESSDENIED);
  EXPECT_EQ(result, nullptr);
  EXPECT_EQ(card->QueryPropertyByName(CComBSTR(u"TEL"), &result), E_ACCESSDENIED);
  EXPECT_EQ(result, nullptr);
  card.Release();
  properties.Release();
  EXPECT_EQ(failing.refs, 1u);
}

TEST(VCardLifetime, PropertiesNobodyElseHoldsGoWithTheCard) {
  CComPtr<IVCardProperty> survivor;
  ASSERT_EQ(DllCanUnloadNow(), S_OK);
  {
    auto card = Create<IVCard>(CLSID_VCard);
    CComPtr<IVCardPropertyColl> properties;
    card->get_Properties(&properties);
    survivor = MakeProperty(u"FN");
    properties->Add(survivor);
    properties->Add(MakeProperty(u"TEL"));
  }
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  EVCardProperty type;
  EXPECT_EQ(survivor->get_Type(&type), S_OK);
  EXPECT_EQ(type, VCARD_PROP_FN);
  survivor.Release();
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace tarvovcard::model
