// Round trips through the whole library: a generated corpus is loaded, saved
// and loaded again, and must come back card for card, property for property,
// with the same parameters and decoded values; its XML must satisfy a real
// XML parser.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <filesystem>
#include <cstdlib>
#include <sstream>

#include "card_builder.h"
#include "support/corpus.h"
#include "support/corpus_tally.h"
#include "writer_test_support.h"

namespace tarvovcard::writer {
namespace {

using namespace testing;

CComPtr<IVCardColl> Loaded(const std::string& name, HRESULT expected = S_OK) {
  CComPtr<IVCardColl> collection = NewCollection();
  EXPECT_EQ(collection->Load(NameArgument(name)), expected) << name << "\n" << ReadFile(name);
  return collection;
}

std::string Narrow(BSTR text) {
  std::string narrow;
  for (UINT i = 0; i < SysStringLen(text); ++i) narrow += static_cast<char>(text[i] & 0x7F);
  return narrow;
}

// Walks two trees side by side and describes the first difference.
class TreeComparer {
 public:
  std::string Compare(IVCardColl* a, IVCardColl* b) {
    LONG count_a = -1, count_b = -2;
    a->get_Count(&count_a);
    b->get_Count(&count_b);
    if (count_a != count_b) return Differ("card count", count_a, count_b);
    for (LONG i = 0; i < count_a && difference_.empty(); ++i) {
      CComPtr<IVCard> card_a, card_b;
      a->Item(i, &card_a);
      b->Item(i, &card_b);
      path_ = "card " + std::to_string(i);
      CompareCards(card_a, card_b);
    }
    return difference_;
  }

 private:
  template <class T>
  std::string Differ(const std::string& what, const T& a, const T& b) {
    std::ostringstream text;
    text << path_ << ": " << what << " " << a << " != " << b;
    return text.str();
  }
  void Fail(const std::string& text) {
    if (difference_.empty()) difference_ = text;
  }

  void CompareCards(IVCard* a, IVCard* b) {
    CComPtr<IVCardPropertyColl> properties_a = PropertiesOf(a), properties_b = PropertiesOf(b);
    const LONG count = CountOf(properties_a);
    if (count != CountOf(properties_b)) {
      return Fail(Differ("property count", count, CountOf(properties_b)));
    }
    const std::string card_path = path_;
    for (LONG i = 0; i < count && difference_.empty(); ++i) {
      CComPtr<IVCardProperty> property_a, property_b;
      properties_a->Item(i, &property_a);
      properties_b->Item(i, &property_b);
      path_ = card_path + " property " + std::to_string(i);
      CompareProperties(property_a, property_b);
    }
    path_ = card_path;
  }

  void CompareProperties(IVCardProperty* a, IVCardProperty* b) {
    EVCardProperty type_a, type_b;
    a->get_Type(&type_a);
    b->get_Type(&type_b);
    CComBSTR name_a, name_b, group_a, group_b;
    a->get_Name(&name_a);
    b->get_Name(&name_b);
    a->get_Group(&group_a);
    b->get_Group(&group_b);
    path_ += " " + Narrow(name_a);
    if (type_a != type_b) return Fail(Differ("type", type_a, type_b));
    if (Narrow(name_a) != Narrow(name_b))
      return Fail(Differ("name", Narrow(name_a), Narrow(name_b)));
    if (!SameText(group_a, group_b)) return Fail(Differ("group", Narrow(group_a), Narrow(group_b)));

    CComPtr<IVCardParameterColl> parameters_a, parameters_b;
    a->get_Parameters(&parameters_a);
    b->get_Parameters(&parameters_b);
    LONG count_a = 0, count_b = 0;
    parameters_a->get_Count(&count_a);
    parameters_b->get_Count(&count_b);
    if (count_a != count_b) return Fail(Differ("parameter count", count_a, count_b));
    for (LONG i = 0; i < count_a; ++i) {
      CComPtr<IVCardParameter> parameter_a, parameter_b;
      parameters_a->Item(i, &parameter_a);
      parameters_b->Item(i, &parameter_b);
      EVCardParameter kind_a, kind_b;
      parameter_a->get_Type(&kind_a);
      parameter_b->get_Type(&kind_b);
      CComBSTR pname_a, pname_b, value_a, value_b;
      parameter_a->get_Name(&pname_a);
      parameter_b->get_Name(&pname_b);
      parameter_a->get_Value(&value_a);
      parameter_b->get_Value(&value_b);
      if (kind_a != kind_b || !SameText(pname_a, pname_b) || !SameText(value_a, value_b)) {
        return Fail(Differ("parameter " + std::to_string(i),
                           Narrow(pname_a) + "=" + Narrow(value_a),
                           Narrow(pname_b) + "=" + Narrow(value_b)));
      }
    }

    CComPtr<IVCardValueColl> values_a, values_b;
    a->get_Values(&values_a);
    b->get_Values(&values_b);
    values_a->get_Count(&count_a);
    values_b->get_Count(&count_b);
    if (count_a != count_b) return Fail(Differ("value count", count_a, count_b));
    for (LONG i = 0; i < count_a && difference_.empty(); ++i) {
      CComPtr<IVCardValue> value_a, value_b;
      values_a->Item(i, &value_a);
      values_b->Item(i, &value_b);
      CompareValues(value_a, value_b, i);
    }
  }

  void CompareValues(IVCardValue* a, IVCardValue* b, LONG position) {
    CComVariant decoded_a, decoded_b;
    EXPECT_EQ(a->get_DecodedValue(&decoded_a), S_OK);
    EXPECT_EQ(b->get_DecodedValue(&decoded_b), S_OK);
    const std::string what = "value " + std::to_string(position);
    if (decoded_a.vt != decoded_b.vt)
      return Fail(Differ(what + " kind", decoded_a.vt, decoded_b.vt));
    switch (decoded_a.vt) {
      case VT_BSTR:
        if (!SameText(decoded_a.bstrVal, decoded_b.bstrVal)) {
          Fail(Differ(what, Narrow(decoded_a.bstrVal), Narrow(decoded_b.bstrVal)));
        }
        break;
      case VT_DATE:
        if (decoded_a.date != decoded_b.date) Fail(Differ(what, decoded_a.date, decoded_b.date));
        break;
      case VT_ARRAY | VT_UI1: {
        const ULONG size = decoded_a.parray->rgsabound[0].cElements;
        if (size != decoded_b.parray->rgsabound[0].cElements ||
            (size > 0 &&
             std::memcmp(decoded_a.parray->pvData, decoded_b.parray->pvData, size) != 0)) {
          Fail(path_ + ": " + what + " bytes differ");
        }
        break;
      }
      case VT_UNKNOWN: {
        CComPtr<IVCard> nested_a, nested_b;
        decoded_a.punkVal->QueryInterface(IID_IVCard, reinterpret_cast<void**>(&nested_a));
        decoded_b.punkVal->QueryInterface(IID_IVCard, reinterpret_cast<void**>(&nested_b));
        const std::string saved = path_;
        path_ += " nested";
        CompareCards(nested_a, nested_b);
        path_ = saved;
        break;
      }
      default:
        break;
    }
  }

  static bool SameText(BSTR a, BSTR b) {
    return SysStringLen(a) == SysStringLen(b) &&
           std::char_traits<char16_t>::compare(a ? a : u"", b ? b : u"", SysStringLen(a)) == 0;
  }

  std::string path_;
  std::string difference_;
};

// xmllint's exit status for the file; its complaints (the first few) go into
// the test's output.
int XmlLint(const std::string& name) {
  const std::string report = name + ".lint";
  const int status = std::system(("xmllint --noout '" + name + "' 2>'" + report + "'").c_str());
  const std::string complaints = ReadFile(report);
  if (!complaints.empty()) ADD_FAILURE() << complaints.substr(0, 2000);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveXmlLint() {
  return std::system("command -v xmllint >/dev/null 2>&1") == 0;
}

// The string value of `xpath` in the document, as xmllint reads it (it adds
// a line feed).
std::string XmlLintString(const std::string& name, const std::string& xpath) {
  const std::string out = name + ".xpath";
  std::system(("xmllint --xpath 'string(" + xpath + ")' '" + name + "' >'" + out + "'").c_str());
  return ReadFile(out);
}

TEST(RoundTrip, GeneratedCorpusComesBackWholeAndItsXmlIsWellFormed) {
  ScratchDir dir;
  tarvovcard::testing::CorpusOptions options;
  options.cards = 50000;
  tarvovcard::testing::CorpusCounts counts;
  WriteFile(dir / "corpus.vcf", tarvovcard::testing::GenerateCorpus(options, &counts));

  CComPtr<IVCardColl> original = Loaded(dir / "corpus.vcf");
  const tarvovcard::testing::CorpusCounts before = tarvovcard::testing::CountLoaded(original);
  EXPECT_EQ(before.cards, counts.cards);
  EXPECT_EQ(before.nested_cards, counts.nested_cards);
  EXPECT_EQ(before.properties, counts.properties);
  EXPECT_EQ(before.nested_properties, counts.nested_properties);

  ASSERT_EQ(original->Save(NameArgument(dir / "saved.vcf")), S_OK);
  CComPtr<IVCardColl> reloaded = Loaded(dir / "saved.vcf");
  EXPECT_EQ(TreeComparer().Compare(original, reloaded), "");

  // Saving what was read back gives the same bytes again.
  ASSERT_EQ(reloaded->Save(NameArgument(dir / "again.vcf")), S_OK);
  EXPECT_TRUE(ReadFile(dir / "saved.vcf") == ReadFile(dir / "again.vcf"));

  ASSERT_EQ(original->SaveAsXML(NameArgument(dir / "corpus.xml"), CComBSTR(u"cards.xsl")), S_OK);
  if (!HaveXmlLint()) GTEST_SKIP() << "xmllint is not installed (scripts/setup installs it)";
  EXPECT_EQ(XmlLint(dir / "corpus.xml"), 0);
}

// Files written the way phones, mail clients and address books export them
// (tests/reader/exports): every card and property is kept, nothing is lost,
// and what Save writes reads back to the same model.
TEST(RoundTrip, ExportsOfOtherProgramsLoadWholeAndComeBack) {
  const std::string folder = std::string(TARVOVCARD_SOURCE_DIR) + "/tests/reader/exports/";
  std::istringstream manifest(ReadFile(folder + "MANIFEST.txt"));
  std::string file;
  long cards = 0, properties = 0;
  int files = 0;
  ScratchDir dir;
  while (manifest >> file >> cards >> properties) {
    SCOPED_TRACE(file);
    ++files;
    CComPtr<IVCardColl> original = NewCollection();
    ASSERT_EQ(original->Load(NameArgument(folder + file)), S_OK);
    CComPtr<IVCardLoadReport> report;
    ASSERT_EQ(original->QueryInterface(IID_IVCardLoadReport, reinterpret_cast<void**>(&report)),
              S_OK);
    LONG problems = 0;
    ASSERT_EQ(report->get_ProblemCount(&problems), S_OK);
    for (LONG i = 0; i < problems; ++i) {
      VARIANT_BOOL lost = VARIANT_FALSE;
      ASSERT_EQ(report->get_Lost(i, &lost), S_OK);
      EXPECT_EQ(lost, VARIANT_FALSE) << "problem " << i;
    }
    const tarvovcard::testing::CorpusCounts counts = tarvovcard::testing::CountLoaded(original);
    EXPECT_EQ(counts.cards, cards);
    EXPECT_EQ(counts.properties, properties);
    ASSERT_EQ(original->Save(NameArgument(dir / "saved.vcf")), S_OK);
    EXPECT_EQ(TreeComparer().Compare(original, Loaded(dir / "saved.vcf")), "")
        << ReadFile(dir / "saved.vcf");
    ASSERT_EQ(original->SaveAsXML(NameArgument(dir / "saved.xml"), nullptr), S_OK);
    if (HaveXmlLint()) {
      EXPECT_EQ(XmlLint(dir / "saved.xml"), 0);
      // A property outside the vocabulary is an element of its own name.
      if (file == "webmail_export.vcf") {
        const std::string count = XmlLintString(dir / "saved.xml", "count(//CATEGORIES)");
        EXPECT_EQ(count.substr(0, count.find_first_of("\n")), "5");
      }
    }
  }
  EXPECT_GE(files, 12);
}

// The reader's fuzz seeds, among them inputs the fuzzer once found changing
// on the way (a line refused at an empty ENCODING= before a line of 8-bit
// bytes): whatever Load made of them, Save writes and Load reads back.
TEST(RoundTrip, FuzzSeedsComeBackTheSame) {
  const std::filesystem::path folder =
      std::filesystem::path(TARVOVCARD_SOURCE_DIR) / "fuzz" / "seeds" / "reader";
  ScratchDir dir;
  int seeds = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    SCOPED_TRACE(entry.path().string());
    ++seeds;
    CComPtr<IVCardColl> original = NewCollection();
    ::testing::internal::CaptureStderr();
    original->Load(NameArgument(entry.path().string()));
    ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(original->Save(NameArgument(dir / "saved.vcf")), S_OK);
    EXPECT_EQ(TreeComparer().Compare(original, Loaded(dir / "saved.vcf")), "")
        << ReadFile(dir / "saved.vcf");
  }
  EXPECT_GE(seeds, 4);
}

// Cards that only a client can build, in the forms the writer has to choose
// for them: each is saved, loaded again and must come back the same.
TEST(RoundTrip, WhatSaveWritesLoadReadsBack) {
  struct Case {
    const char* what;
    void (*build)(IVCard* card);
  };
  const Case cases[] = {
      {"an empty quoted-printable value before another property",
       [](IVCard* card) {
         CComPtr<IVCardProperty> note = AddProperty(card, u"NOTE");
         AddParameter(note, u"ENCODING", u"QUOTED-PRINTABLE");
         AddEncoded(note, "");
         AddEncoded(AddProperty(card, u"TEL"), "+1 555");
       }},
      {"components ending in a backslash or holding one before a semicolon",
       [](IVCard* card) {
         CComPtr<IVCardProperty> adr = AddProperty(card, u"ADR");
         for (const char16_t* part : {u"C:\\dir\\", u"a\\;b", u"next"}) AddText(adr, part);
       }},
      {"a quoted-printable component holding a semicolon",
       [](IVCard* card) {
         CComPtr<IVCardProperty> org = AddProperty(card, u"ORG");
         AddText(org, u"Smith; Jones\r\nand Co");
         AddText(org, u"R&D");
       }},
      {"TYPE values that are no keywords",
       [](IVCard* card) {
         CComPtr<IVCardProperty> tel = AddProperty(card, u"TEL");
         AddParameter(tel, u"TYPE", u"X-A");
         AddParameter(tel, u"TYPE", u"OTHER");
         AddParameter(tel, u"TYPE", u"HOME");
         AddEncoded(tel, "1");
       }},
      {"a BASE64 property with several values, one of them empty",
       [](IVCard* card) {
         CComPtr<IVCardProperty> photo = AddProperty(card, u"PHOTO");
         for (const char* bytes : {"", "first", "", "second block"}) AddBytes(photo, bytes);
         AddEncoded(AddProperty(card, u"FN"), "after");
       }},
      {"a property named just X-", [](IVCard* card) { AddEncoded(AddProperty(card, u"X-"), "v"); }},
      {"an AGENT with text instead of a card",
       [](IVCard* card) {
         AddEncoded(AddProperty(card, u"AGENT"), "CID:agent@example.org");
         AddEncoded(AddProperty(card, u"AGENT"), "");
       }},
      {"nested cards in other properties than AGENT, after a text",
       [](IVCard* card) {
         CComPtr<IVCard> nested = NewCard();
         AddEncoded(AddProperty(nested, u"FN"), "Nested");
         AddCard(AddProperty(card, u"X-FRIEND"), nested);
         CComPtr<IVCardProperty> note = AddProperty(card, u"NOTE");
         AddEncoded(note, "two cards follow");
         AddCard(note, nested);
         AddCard(note, nested);
       }},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CComPtr<IVCard> card = NewCard();
    c.build(card);
    CComPtr<IVCardColl> built = NewCollection({card});
    ASSERT_EQ(built->Save(NameArgument(dir / "built.vcf")), S_OK) << c.what;
    EXPECT_EQ(TreeComparer().Compare(built, Loaded(dir / "built.vcf")), "")
        << c.what << "\n"
        << ReadFile(dir / "built.vcf");
  }
}

TEST(RoundTrip, FileOfTwoCardsSavedBackInPlaceKeepsBoth) {
  ScratchDir dir;
  const std::string text = CrLf(
      "BEGIN:VCARD\nVERSION:2.1\nFN:First\nEND:VCARD\n"
      "BEGIN:VCARD\nVERSION:2.1\nFN:Second\nEND:VCARD\n");
  WriteFile(dir / "two.vcf", text);
  CComPtr<IVCardColl> collection = Loaded(dir / "two.vcf");
  ASSERT_EQ(collection->Save(CComVariant()), S_OK);
  EXPECT_EQ(ReadFile(dir / "two.vcf"), text);
  CComPtr<IVCardColl> again = Loaded(dir / "two.vcf");
  EXPECT_EQ(TreeComparer().Compare(collection, again), "");
  CComPtr<IVCard> second;
  ASSERT_EQ(again->Item(1, &second), S_OK);
  AddEncoded(AddProperty(second, u"NOTE"), "extra");
  EXPECT_EQ(TreeComparer().Compare(collection, again), "card 1: property count 2 != 3");

  ASSERT_EQ(collection->SaveAsXML(CComVariant(), nullptr), S_OK);
  EXPECT_EQ(
      ReadFile(dir / "two.vcf"),
      Utf16File(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<vCardSet>\n"
                u"<vCard version=\"2.1\">\n<VERSION>2.1</VERSION>\n<FN>First</FN>\n</vCard>\n"
                u"<vCard version=\"2.1\">\n<VERSION>2.1</VERSION>\n<FN>Second</FN>\n</vCard>\n"
                u"</vCardSet>\n"));
}

TEST(RoundTrip, SampleFileComesBackAndItsXmlIsWellFormed) {
  ScratchDir dir;
  CComPtr<IVCardColl> sample = Loaded(std::string(TARVOVCARD_SOURCE_DIR) + "/examples/sample.vcf");
  LONG count = 0;
  sample->get_Count(&count);
  EXPECT_EQ(count, 2);
  ASSERT_EQ(sample->Save(NameArgument(dir / "sample.vcf")), S_OK);
  EXPECT_EQ(TreeComparer().Compare(sample, Loaded(dir / "sample.vcf")), "");
  ASSERT_EQ(sample->SaveAsXML(NameArgument(dir / "sample.xml"), nullptr), S_OK);
  if (!HaveXmlLint()) GTEST_SKIP() << "xmllint is not installed (scripts/setup installs it)";
  EXPECT_EQ(XmlLint(dir / "sample.xml"), 0);
  // The label's Quoted-Printable CR LF line breaks read back as one line feed
  // each, and its URL with its ampersand.
  EXPECT_EQ(XmlLintString(dir / "sample.xml", "//LABEL"),
            "Building 4\nStorgatan 12\n752 20 Uppsala\nSweden\n");
  EXPECT_EQ(XmlLintString(dir / "sample.xml", "//URL"),
            "http://www.example.org/~ada?lang=en&page=1\n");
}

}  // namespace
}  // namespace tarvovcard::writer
