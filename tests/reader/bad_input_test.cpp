// Load on damaged and extreme files: each gives its status, keeps the cards
// completed before the damage, and never crashes or hangs.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "reader/model_text.h"
#include "reader/reader_test_files.h"

namespace tarvovcard::reader {
namespace {

using testing::DescribeAll;
using Cards = std::vector<std::string>;

constexpr HRESULT kInvalidData = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

struct Read {
  HRESULT status;
  Cards cards;
};

Read ReadBytes(const std::string& bytes) {
  const std::string path = testing::WriteTestFile("bad.vcf", bytes);
  CComPtr<IVCardColl> collection = testing::NewCollection();
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  const HRESULT status = testing::LoadOne(collection, path);
  ::testing::internal::GetCapturedStderr();
  // Whatever the input, the library writes nothing on standard output.
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  return {status, DescribeAll(collection)};
}

std::string Sample() {
  std::ifstream in(std::string(TARVOVCARD_SOURCE_DIR) + "/examples/sample.vcf", std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The top-level cards of `text` that end (with their END line's line feed)
// at or before `offset`. The sample's first card holds a nested one.
std::size_t CardsEndedBy(const std::string& text, std::size_t offset) {
  std::size_t ended = 0, depth = 0;
  for (std::size_t at = 0; (at = text.find("VCARD\n", at)) != std::string::npos; at += 6) {
    const bool begin = at >= 6 && text.compare(at - 6, 6, "BEGIN:") == 0;
    if (begin) {
      ++depth;
    } else if (--depth == 0 && at + 6 <= offset) {
      ++ended;
    }
  }
  return ended;
}

bool StatusIsAFileStatus(HRESULT status) {
  // A date cut to a few digits cannot be normalised and ends the Load.
  return status == S_OK || status == kInvalidData || status == E_UNEXPECTED;
}

// The cards ended before the damage come back as they were; with `whole_prefix`
// every card that comes back does (a cut file), else a damaged card may
// differ (a NUL cuts its value).
void ExpectLeadingCards(const Read& got, const Cards& whole, std::size_t ended, bool whole_prefix,
                        const std::string& what) {
  ASSERT_TRUE(StatusIsAFileStatus(got.status)) << what << ": " << std::hex << got.status;
  ASSERT_GE(got.cards.size(), ended) << what;
  ASSERT_LE(got.cards.size(), whole.size()) << what;
  const std::size_t same = whole_prefix ? got.cards.size() : ended;
  for (std::size_t i = 0; i < same; ++i) EXPECT_TRUE(got.cards[i] == whole[i]) << what;
}

// The sample cut at every byte, and with a NUL or a 0x1A (which ends the
// text) in place of every byte.
TEST(BadInput, SampleCutOrDamagedAtEveryByte) {
  const std::string sample = Sample();
  const Read whole = ReadBytes(sample);
  ASSERT_EQ(whole.status, S_OK);
  ASSERT_EQ(whole.cards.size(), 2u);
  for (std::size_t k = 0; k <= sample.size(); ++k) {
    const std::string at = " at " + std::to_string(k);
    const Read cut = ReadBytes(sample.substr(0, k));
    ExpectLeadingCards(cut, whole.cards, CardsEndedBy(sample, k), true, "cut" + at);
    if (k == sample.size()) break;
    std::string damaged = sample;
    damaged[k] = '\x1A';
    const Read ended = ReadBytes(damaged);
    EXPECT_EQ(ended.status, cut.status) << "0x1A" << at;
    EXPECT_TRUE(ended.cards == cut.cards) << "0x1A" << at;
    damaged[k] = '\0';
    ExpectLeadingCards(ReadBytes(damaged), whole.cards, CardsEndedBy(sample, k), false, "NUL" + at);
  }
}

std::string Card(const std::string& body) {
  return "BEGIN:VCARD\r\n" + body + "END:VCARD\r\n";
}

TEST(BadInput, LargeAndDeepItems) {
  const std::string before = Card("FN:before\r\n");
  std::string soft_breaks;  // 10 MB of quoted-printable, a soft break every 3 bytes
  for (int i = 0; i < 10 * 1024 * 1024 / 6; ++i) soft_breaks += "abc=\r\n";
  soft_breaks += "end";
  std::string photo;  // 50 MB of BASE64 lines
  const std::string line = "    " + std::string(64, 'A') + "\r\n";
  while (photo.size() < 50 * 1024 * 1024) photo += line;
  std::string nested = "BEGIN:VCARD\r\nFN:deep\r\n";
  for (int i = 0; i < 20000; ++i) nested += "AGENT:\r\nBEGIN:VCARD\r\nFN:deep\r\n";
  for (int i = 0; i <= 20000; ++i) nested += "END:VCARD\r\n";
  std::string junk;  // binary bytes, line feeds among them, between two cards
  for (unsigned x = 1; junk.size() < 65536;) {
    x = x * 1103515245u + 12345u;
    const char c = static_cast<char>(x >> 24);
    if (c != '\x1A') junk += c;  // which would end the text
  }
  const std::string long_name(1 << 20, 'n');
  const std::string long_group(1 << 20, 'g');

  struct Case {
    const char* what;
    std::string text;
    HRESULT status;
    Cards cards;
  };
  const Case cases[] = {
      {"a million empty CR LF lines before a card",
       std::string(2000000, '\n') + before,
       S_OK,
       {"FN:before"}},
      {"a million empty CR LF lines, CR LF included",
       [] {
         std::string blank;
         for (int i = 0; i < 1000000; ++i) blank += "\r\n";
         return blank;
       }() +
           before,
       S_OK,
       {"FN:before"}},
      {"a lone CR after the last END line",
       before + "BEGIN:VCARD\r\nFN:last\r\nEND:VCARD\r",
       S_OK,
       {"FN:before", "FN:last"}},
      {"a 10 MB quoted-printable value with a soft break every 3 bytes",
       before + Card("NOTE;ENCODING=QUOTED-PRINTABLE:" + soft_breaks + "\r\nFN:after\r\n") + before,
       S_OK,
       {"FN:before",
        "NOTE;ENCODING=QUOTED-PRINTABLE:" +
            [] {
              std::string text;
              for (int i = 0; i < 10 * 1024 * 1024 / 6; ++i) text += "abc";
              return text + "end";
            }() +
            "\nFN:after",
        "FN:before"}},
      {"a BASE64 block of 50 MB",
       before + Card("PHOTO;ENCODING=BASE64:\r\n" + photo + "\r\nFN:after\r\n"),
       S_OK,
       {"FN:before", "PHOTO;ENCODING=BASE64:bytes:" +
                         std::to_string(photo.size() / line.size() * 48) + "\nFN:after"}},
      {"AGENT cards nested 20,000 deep", before + nested, kInvalidData, {"FN:before"}},
      {"64 KB of binary bytes between two cards",
       before + junk + "\r\n" + Card("FN:after\r\n"),
       kInvalidData,
       {"FN:before", "FN:after"}},
      {"a group path and an extension name of 1 MB",
       Card(long_group + "." + long_group + ".X-" + long_name + ":v\r\n"),
       S_OK,
       {"X-" + long_name + "[" + long_group + "." + long_group + "]:v"}},
      {"a 100 MB line without line end",
       before + "BEGIN:VCARD\r\nNOTE:" + std::string(100 << 20, 'a'),
       kInvalidData,
       {"FN:before"}},
  };
  for (const Case& c : cases) {
    const Read got = ReadBytes(c.text);
    EXPECT_EQ(got.status, c.status) << c.what;
    EXPECT_EQ(got.cards.size(), c.cards.size()) << c.what;
    if (got.cards != c.cards) ADD_FAILURE() << c.what << ": the cards differ";
  }
}

}  // namespace
}  // namespace tarvovcard::reader
