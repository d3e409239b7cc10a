// The scanner alone, for what Load cannot show: the token code of every type
// keyword (the "yychar" diagnostic prints it, and a bare word that is no
// keyword reads back as a TYPE parameter all the same).
#include "reader/scanner.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "reader/input.h"
#include "reader/reader_test_files.h"

namespace tarvovcard::reader {
namespace {

TEST(Scanner, EveryTypeKeywordHasItsOwnCode) {
  std::istringstream keywords(
      "DOM INTL POSTAL PARCEL HOME WORK PREF VOICE FAX MSG CELL PAGER BBS MODEM CAR ISDN VIDEO "
      "AOL APPLELINK ATTMAIL CIS EWORLD INTERNET IBMMAIL MCIMAIL POWERSHARE PRODIGY TLX X400 GIF "
      "CGM WMF BMP MET PMB DIB PICT TIFF PDF PS JPEG QTIME MPEG MPEG2 AVI WAVE AIFF PCM X509 PGP "
      "X-IRMC-N POC");
  int n = 0;
  for (std::string keyword; keywords >> keyword; ++n) {
    std::string path =
        testing::WriteTestFile("keyword.vcf", "BEGIN:VCARD\nTEL;" + keyword + ":1\n");
    InputSource input;
    ASSERT_EQ(input.Open(path.c_str()), 0);
    Scanner scanner(input);
    for (int i = 0; i < 6; ++i) scanner.Next();  // BEGIN : VCARD \n TEL ;
    EXPECT_EQ(scanner.Next(), TypeKeywordCode(n)) << keyword;
    EXPECT_EQ(scanner.Text(), keyword);
    EXPECT_TRUE(IsTypeKeywordCode(TypeKeywordCode(n))) << keyword;
  }
  EXPECT_EQ(n, 52);
  // The codes skip the ones of other tokens.
  EXPECT_FALSE(IsTypeKeywordCode(338));
  EXPECT_FALSE(IsTypeKeywordCode(TOK_NAME));
  EXPECT_EQ(TypeKeywordCode(35), 337);
  EXPECT_EQ(TypeKeywordCode(36), 339);
  EXPECT_EQ(TypeKeywordCode(49), 352);
  EXPECT_EQ(TypeKeywordCode(51), 368);
}

}  // namespace
}  // namespace tarvovcard::reader
