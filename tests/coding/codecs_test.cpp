// Quoted-Printable and Base64 where a value cannot show them: NUL bytes, the
// encoders' line layout and every byte, and random round trips. The decoders'
// skip and stop rules are rows of tests/model/value_coding_test.cpp.
#include "coding/codecs.h"

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace tarvovcard::coding {
namespace {

using namespace std::string_literals;
using Bytes = std::vector<unsigned char>;

Bytes ToBytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

Bytes DecodeBase64(std::string_view text) {
  Bytes bytes{1, 2, 3, 4, 5};  // cleared first
  coding::DecodeBase64(text, bytes);
  return bytes;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return lines;
    start = end + 1;
  }
}

// Random bytes, all 256 values equally likely; a fixed seed keeps failures
// reproducible.
std::string RandomBytes(std::mt19937& engine, std::size_t max_length) {
  std::string data(std::uniform_int_distribution<std::size_t>(0, max_length)(engine), '\0');
  for (char& c : data) c = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(engine));
  return data;
}

TEST(Codecs, NulBytesPassBothWays) {
  EXPECT_EQ(DecodeQuotedPrintable("=00=E9=FF"), "\0\xE9\xFF"s);
  EXPECT_EQ(DecodeQuotedPrintable("a\0\x80\xFE\tb"s), "a\0\x80\xFE\tb"s);
  EXPECT_EQ(EncodeQuotedPrintable("a\0b"s), "a=00b");
  EXPECT_EQ(DecodeBase64("T\0WFu"s), ToBytes("Man"));
  EXPECT_EQ(DecodeBase64(""), Bytes{});  // the output is cleared first
  EXPECT_EQ(EncodeBase64(Bytes{0, 0xFF}), "    AP8=");
}

TEST(EncodeQuotedPrintable, EscapesEveryByteOutsideTheLiteralSet) {
  const std::string_view literals =
      "\t %&'()*+,-./0123456789:;<>?ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";
  constexpr char kHex[] = "0123456789ABCDEF";
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    const std::string expected = literals.find(c) != std::string_view::npos
                                     ? std::string(1, c)
                                     : std::string{'=', kHex[b >> 4], kHex[b & 15]};
    EXPECT_EQ(EncodeQuotedPrintable(std::string(1, c)), expected) << "byte " << b;
  }
  EXPECT_EQ(EncodeQuotedPrintable(";", true), "=3B");  // in a component
}

// A soft break comes before a character that would pass column 76, and only
// then.
TEST(EncodeQuotedPrintable, KeepsEveryLineWithin76Columns) {
  const std::string a73(73, 'a');
  EXPECT_EQ(EncodeQuotedPrintable(std::string(80, 'a')), a73 + "aaa=\naaaa");
  EXPECT_EQ(EncodeQuotedPrintable(std::string(76, 'a')), a73 + "aaa");
  EXPECT_EQ(EncodeQuotedPrintable(a73 + "\xE9"), a73 + "=E9");
  EXPECT_EQ(EncodeQuotedPrintable(a73 + "a\xE9"), a73 + "a=\n=E9");
  EXPECT_EQ(EncodeQuotedPrintable(a73 + "aa\xE9"), a73 + "aa=\n=E9");

  std::mt19937 engine(20261206);
  for (int i = 0; i < 200; ++i) {
    const std::string encoded = EncodeQuotedPrintable(RandomBytes(engine, 600));
    const std::vector<std::string> lines = SplitLines(encoded);
    for (std::size_t n = 0; n + 1 < lines.size(); ++n) {
      const std::string& line = lines[n];
      ASSERT_FALSE(line.empty());
      ASSERT_EQ(line.back(), '=') << "a hard line break in " << encoded;
      ASSERT_LE(line.size(), 77u);
      ASSERT_GT(line.size() - 1 + (lines[n + 1][0] == '=' ? 3 : 1), 76u);
    }
    ASSERT_LE(lines.back().size(), 76u);
  }
}

TEST(EncodeBase64, Writes68CharactersPerIndentedLine) {
  const std::string line = "    " + std::string(68, 'A');
  EXPECT_EQ(EncodeBase64(Bytes(51, 0)), line);
  EXPECT_EQ(EncodeBase64(Bytes(52, 0)), line + "\n    AA==");
  EXPECT_EQ(EncodeBase64(Bytes(102, 0)), line + "\n" + line);
  EXPECT_EQ(EncodeBase64(Bytes(105, 0)), line + "\n" + line + "\n    AAAA");

  std::mt19937 engine(7);
  for (int i = 0; i < 100; ++i) {
    const std::string data = RandomBytes(engine, 1000);
    const std::vector<std::string> lines = SplitLines(EncodeBase64(data));
    ASSERT_EQ(lines.size(), data.empty() ? 1 : (data.size() + 50) / 51);
    std::size_t characters = 0;
    for (std::size_t n = 0; n < lines.size(); ++n) {
      ASSERT_EQ(lines[n].substr(0, 4), "    ");
      if (n + 1 < lines.size()) {
        ASSERT_EQ(lines[n].size(), 4u + 68u);
      }
      characters += lines[n].size() - 4;
    }
    ASSERT_EQ(characters, (data.size() + 2) / 3 * 4);
  }
}

TEST(Codecs, RoundTripsGiveBackAnyBytes) {
  std::mt19937 engine(1);
  for (int i = 0; i < 500; ++i) {
    const std::string data = RandomBytes(engine, 400);
    ASSERT_EQ(DecodeQuotedPrintable(EncodeQuotedPrintable(data)), data);
    ASSERT_EQ(DecodeBase64(EncodeBase64(data)), ToBytes(data));
  }
  const std::string large = RandomBytes(engine, 1 << 20);
  EXPECT_EQ(DecodeQuotedPrintable(EncodeQuotedPrintable(large)), large);
  EXPECT_EQ(DecodeBase64(EncodeBase64(large)), ToBytes(large));
}

}  // namespace
}  // namespace tarvovcard::coding
