// Quoted-Printable and Base64: the fixed results of the decoders' skip and stop
// rules, the line layout of the encoders, and random round trips.
#include "coding/codecs.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tarvovcard::coding {
namespace {

using namespace std::string_literals;
using Bytes = std::vector<unsigned char>;

Bytes ToBytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

Bytes DecodeBase64(std::string_view text) {
  Bytes bytes;
  coding::DecodeBase64(text, bytes);
  return bytes;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return lines;
    start = end + 1;
  }
}

// Random bytes, all 256 values equally likely; a fixed seed keeps failures
// reproducible.
class RandomBytes {
 public:
  explicit RandomBytes(std::uint32_t seed) : engine_(seed) {}
  std::string Next(std::size_t max_length) {
    std::string data(std::uniform_int_distribution<std::size_t>(0, max_length)(engine_), '\0');
    for (char& c : data) c = static_cast<char>(byte_(engine_));
    return data;
  }

 private:
  std::mt19937 engine_;
  std::uniform_int_distribution<int> byte_{0, 255};
};

TEST(DecodeQuotedPrintable, DecodesUpperCaseEscapes) {
  EXPECT_EQ(DecodeQuotedPrintable("A=3DB"), "A=B");
  EXPECT_EQ(DecodeQuotedPrintable("Line1=0D=0ALine2"), "Line1\r\nLine2");
  EXPECT_EQ(DecodeQuotedPrintable("=00=E9=FF"), "\0\xE9\xFF"s);
  EXPECT_EQ(DecodeQuotedPrintable(""), "");
}

TEST(DecodeQuotedPrintable, JoinsSoftLineBreaks) {
  EXPECT_EQ(DecodeQuotedPrintable("abc=\ndef"), "abcdef");
  EXPECT_EQ(DecodeQuotedPrintable("abc=\n=\ndef=\n"), "abcdef");
}

TEST(DecodeQuotedPrintable, EndsAtALineFeedOrAnEqualsSignThatStartsNoEscape) {
  EXPECT_EQ(DecodeQuotedPrintable("one\ntwo"), "one");
  EXPECT_EQ(DecodeQuotedPrintable("abc=\r\ndef"), "abc");  // CR is no soft break
  EXPECT_EQ(DecodeQuotedPrintable("x=G1y"), "x");
  EXPECT_EQ(DecodeQuotedPrintable("x=g1y"), "x");
  EXPECT_EQ(DecodeQuotedPrintable("abc==41"), "abc");
  EXPECT_EQ(DecodeQuotedPrintable("abc="), "abc");
  EXPECT_EQ(DecodeQuotedPrintable("a\rb\n"), "a\rb");
}

TEST(DecodeQuotedPrintable, OneHexDigitGivesAnEqualsSignAndDropsTheByteAfterIt) {
  EXPECT_EQ(DecodeQuotedPrintable("=41=4a"), "A=");
  EXPECT_EQ(DecodeQuotedPrintable("=3d"), "=");
  EXPECT_EQ(DecodeQuotedPrintable("a=3dB"), "a=B");
  EXPECT_EQ(DecodeQuotedPrintable("a=4"), "a=");
  // The byte that ends the escape is consumed, even a line feed.
  EXPECT_EQ(DecodeQuotedPrintable("a=4\nb"), "a=b");
}

TEST(DecodeQuotedPrintable, DropsEveryFFByte) {
  EXPECT_EQ(DecodeQuotedPrintable("\xFF"
                                  "ab\xFF\xFF"
                                  "c\xFF"),
            "abc");
  EXPECT_EQ(DecodeQuotedPrintable("\xFF"), "");
  // Other bytes, NUL and the high half included, pass unchanged.
  EXPECT_EQ(DecodeQuotedPrintable("a\0\x80\xFE\tb"s), "a\0\x80\xFE\tb"s);
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
  EXPECT_EQ(EncodeQuotedPrintable("!\"#$=@[\\]^`{|}~"),
            "=21=22=23=24=3D=40=5B=5C=5D=5E=60=7B=7C=7D=7E");
  EXPECT_EQ(EncodeQuotedPrintable("a=b"), "a=3Db");
  EXPECT_EQ(EncodeQuotedPrintable("\r\n"), "=0D=0A");
  EXPECT_EQ(EncodeQuotedPrintable("end \t"), "end \t");
  EXPECT_EQ(EncodeQuotedPrintable(""), "");
}

TEST(EncodeQuotedPrintable, BreaksBeforeACharacterThatWouldPassColumn76) {
  EXPECT_EQ(EncodeQuotedPrintable(std::string(80, 'a')),
            std::string(76, 'a') + "=\n" + std::string(4, 'a'));
  EXPECT_EQ(EncodeQuotedPrintable(std::string(76, 'a')), std::string(76, 'a'));
  EXPECT_EQ(EncodeQuotedPrintable(std::string(73, 'a') + "\xE9"), std::string(73, 'a') + "=E9");
  EXPECT_EQ(EncodeQuotedPrintable(std::string(74, 'a') + "\xE9"), std::string(74, 'a') + "=\n=E9");
  EXPECT_EQ(EncodeQuotedPrintable(std::string(75, 'a') + "\xE9"), std::string(75, 'a') + "=\n=E9");
}

TEST(EncodeQuotedPrintable, KeepsEveryLineWithin76Columns) {
  RandomBytes random(20261206);
  for (int i = 0; i < 200; ++i) {
    const std::string encoded = EncodeQuotedPrintable(random.Next(600));
    const std::vector<std::string> lines = SplitLines(encoded);
    for (std::size_t n = 0; n < lines.size(); ++n) {
      const std::string& line = lines[n];
      if (n + 1 < lines.size()) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '=') << "a hard line break in " << encoded;
        ASSERT_LE(line.size(), 77u);
        // A break comes only when the next character would not have fitted.
        const std::string& next = lines[n + 1];
        ASSERT_GT(line.size() - 1 + (next[0] == '=' ? 3 : 1), 76u);
      } else {
        ASSERT_LE(line.size(), 76u);
      }
    }
  }
}

TEST(EncodeBase64, EncodesGroupsAndPadsTheLastOne) {
  EXPECT_EQ(EncodeBase64(ToBytes("Man")), "    TWFu");
  EXPECT_EQ(EncodeBase64(ToBytes("Ma")), "    TWE=");
  EXPECT_EQ(EncodeBase64(ToBytes("M")), "    TQ==");
  EXPECT_EQ(EncodeBase64(Bytes{}), "    ");
  EXPECT_EQ(EncodeBase64(ToBytes("foobar")), "    Zm9vYmFy");
  EXPECT_EQ(EncodeBase64(Bytes{0xFB, 0xFF, 0xBF}), "    +/+/");
  // Text already in 8-bit form goes the same way.
  EXPECT_EQ(EncodeBase64(std::string_view("fooba")), "    Zm9vYmE=");
}

TEST(EncodeBase64, Writes68CharactersPerIndentedLine) {
  const std::string line(68, 'A');
  EXPECT_EQ(EncodeBase64(Bytes(51, 0)), "    " + line);
  EXPECT_EQ(EncodeBase64(Bytes(52, 0)), "    " + line + "\n    AA==");
  EXPECT_EQ(EncodeBase64(Bytes(102, 0)), "    " + line + "\n    " + line);
  EXPECT_EQ(EncodeBase64(Bytes(105, 0)), "    " + line + "\n    " + line + "\n    AAAA");

  RandomBytes random(7);
  for (int i = 0; i < 100; ++i) {
    const std::string data = random.Next(1000);
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

TEST(DecodeBase64, DecodesWholeAndPartialGroups) {
  EXPECT_EQ(DecodeBase64("TWFu"), ToBytes("Man"));
  EXPECT_EQ(DecodeBase64("TWE="), ToBytes("Ma"));
  EXPECT_EQ(DecodeBase64("TWE"), ToBytes("Ma"));
  EXPECT_EQ(DecodeBase64("TQ=="), ToBytes("M"));
  EXPECT_EQ(DecodeBase64("T"), Bytes{});
  EXPECT_EQ(DecodeBase64(""), Bytes{});
  EXPECT_EQ(DecodeBase64("+/+/"), (Bytes{0xFB, 0xFF, 0xBF}));
}

TEST(DecodeBase64, SkipsCharactersOutsideTheAlphabetWithoutBreakingAGroup) {
  EXPECT_EQ(DecodeBase64("    TW Fu\n    YQ=="), ToBytes("Mana"));
  EXPECT_EQ(DecodeBase64("T\tW\r\nF=u"), ToBytes("Man"));
  EXPECT_EQ(DecodeBase64("\x80TW\xFF"
                         "F\x9Fu\xC3"),
            ToBytes("Man"));
  EXPECT_EQ(DecodeBase64("T\0WFu"s), ToBytes("Man"));
  // Padding does not close a group: the second "QQ" continues the first.
  EXPECT_EQ(DecodeBase64("QQ==QQ=="), (Bytes{0x41, 0x04, 0x10}));
}

TEST(DecodeBase64, ClearsTheOutputFirst) {
  Bytes bytes{1, 2, 3, 4, 5};
  coding::DecodeBase64("TQ==", bytes);
  EXPECT_EQ(bytes, ToBytes("M"));
  coding::DecodeBase64("", bytes);
  EXPECT_TRUE(bytes.empty());
}

TEST(CodecRoundTrip, QuotedPrintableGivesBackAnyBytes) {
  RandomBytes random(1);
  for (int i = 0; i < 500; ++i) {
    const std::string data = random.Next(400);
    ASSERT_EQ(DecodeQuotedPrintable(EncodeQuotedPrintable(data)), data);
  }
  const std::string large = RandomBytes(2).Next(1 << 20);
  EXPECT_EQ(DecodeQuotedPrintable(EncodeQuotedPrintable(large)), large);
}

TEST(CodecRoundTrip, Base64GivesBackAnyBytes) {
  RandomBytes random(3);
  for (int i = 0; i < 500; ++i) {
    const std::string data = random.Next(400);
    ASSERT_EQ(DecodeBase64(EncodeBase64(data)), ToBytes(data));
  }
  const std::string large = RandomBytes(4).Next(1 << 20);
  EXPECT_EQ(DecodeBase64(EncodeBase64(large)), ToBytes(large));
}

}  // namespace
}  // namespace tarvovcard::coding
