// CUnicodeFile: the bytes of UTF-16 files, formatted writes, and failures.
#include "writer/unicode_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>

#include "writer_test_support.h"

namespace tarvovcard::writer {
namespace {

using testing::FailingFiles;
using testing::ReadFile;
using testing::ScratchDir;
using testing::Utf16File;

TEST(CUnicodeFile, FileWithoutWritesHoldsOnlyTheByteOrderMark) {
  ScratchDir dir;
  { CUnicodeFile file((dir / "empty.xml").c_str(), "w", 0); }
  EXPECT_EQ(ReadFile(dir / "empty.xml"), std::string("\xFF\xFE"));
}

TEST(CUnicodeFile, NewlineFlagZeroWritesCrLfAnyOtherWritesLf) {
  ScratchDir dir;
  {
    CUnicodeFile translated((dir / "crlf").c_str(), "w", 0);
    translated.Printf(u"a\nb");
    CUnicodeFile plain((dir / "lf").c_str(), "w", 1);
    plain.Printf(u"a\nb");
  }
  EXPECT_EQ(ReadFile(dir / "crlf"), std::string("\xFF\xFE"
                                                "a\0\r\0\n\0b\0",
                                                10));
  EXPECT_EQ(ReadFile(dir / "lf"), std::string("\xFF\xFE"
                                              "a\0\n\0b\0",
                                              8));
}

TEST(CUnicodeFile, WideFormatKnowsStringsNumbersUnitsAndPercent) {
  ScratchDir dir;
  {
    CUnicodeFile file((dir / "f").c_str(), "w", 0);
    file.Printf(u"<%s>%d,%i,%u,%c,%%,%x,%s|%", u"T\u00E9L", -12, 7, 4000000000u, u'\u20AC',
                static_cast<const char16_t*>(nullptr));
  }
  EXPECT_EQ(ReadFile(dir / "f"), Utf16File(u"<T\u00E9L>-12,7,4000000000,\u20AC,%,%x,|%"));
}

TEST(CUnicodeFile, NarrowWriteIsWidenedFromTheAnsiCodePageAndNotFormattedTwice) {
  ScratchDir dir;
  {
    CUnicodeFile file((dir / "f").c_str(), "w", 0);
    file.Printf("%s|%d\n", "100% caf\xE9 \x80", 5);
  }
  EXPECT_EQ(ReadFile(dir / "f"), Utf16File(u"100% caf\u00E9 \u20AC|5\n"));
}

TEST(CUnicodeFile, LongWritesAreWrittenWhole) {
  ScratchDir dir;
  const std::u16string wide(5000, u'w');
  const std::string narrow(3000, 'n');
  {
    CUnicodeFile file((dir / "f").c_str(), "w", 0);
    file.Printf(u"%s", wide.c_str());
    file.Printf("%s", narrow.c_str());
    file.Write(wide);
  }
  EXPECT_EQ(ReadFile(dir / "f"),
            Utf16File(wide + std::u16string(narrow.begin(), narrow.end()) + wide));
}

TEST(CUnicodeFile, ModeIsAlwaysBinaryAndOnlyWriteModesGetTheMark) {
  ScratchDir dir;
  FailingFiles files;
  { CUnicodeFile file((dir / "a").c_str(), "wt", 0); }
  { CUnicodeFile file((dir / "a").c_str(), "a", 0); }
  { CUnicodeFile file((dir / "a").c_str(), "ab", 0); }
  { CUnicodeFile file((dir / "a").c_str(), "r+", 0); }
  EXPECT_EQ(files.modes, (std::vector<std::string>{"wb", "ab", "ab", "r+b"}));
  EXPECT_EQ(ReadFile(dir / "a"), std::string("\xFF\xFE"));
}

TEST(CUnicodeFile, AppendModeAddsWithoutAnotherMark) {
  ScratchDir dir;
  { CUnicodeFile((dir / "f").c_str(), "w", 0).Printf(u"a\n"); }
  { CUnicodeFile((dir / "f").c_str(), "a", 0).Printf(u"b"); }
  EXPECT_EQ(ReadFile(dir / "f"), Utf16File(u"a\nb"));
}

TEST(CUnicodeFile, SecondCloseAndDestructionAfterCloseDoNothing) {
  ScratchDir dir;
  FailingFiles files;
  {
    CUnicodeFile file((dir / "f").c_str(), "w", 0);
    EXPECT_TRUE(file.Close());
    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(file.IsOpen());
  }
  EXPECT_EQ(files.closes, 1);
}

TEST(CUnicodeFile, OpenFailureThrowsCodeFourWithErrnoAndName) {
  ScratchDir dir;
  const std::string name = dir / "missing-folder/f.xml";
  try {
    CUnicodeFile file(name.c_str(), "w", 0);
    FAIL() << "no exception";
  } catch (const CUnicodeFileException& e) {
    EXPECT_EQ(e.code, CUnicodeFileException::kNotOpen);
    EXPECT_EQ(e.osError, ENOENT);
    EXPECT_EQ(e.fileName, name);
  }
  const CUnicodeFileException none;
  EXPECT_EQ(none.code, 0);
  EXPECT_EQ(none.osError, 0);
  EXPECT_EQ(none.fileName, "");
}

TEST(CUnicodeFile, WriteAfterCloseThrowsCodeFour) {
  ScratchDir dir;
  CUnicodeFile file((dir / "f").c_str(), "w", 0);
  file.Close();
  try {
    file.Printf("x");
    FAIL() << "no exception";
  } catch (const CUnicodeFileException& e) {
    EXPECT_EQ(e.code, CUnicodeFileException::kNotOpen);
    EXPECT_EQ(e.fileName, dir / "f");
  }
}

TEST(CUnicodeFile, FailedWriteThrowsCodeThreeAndEveryLaterWriteFailsWithoutRetrying) {
  ScratchDir dir;
  FailingFiles files;
  files.writes_before_failure = 2;  // The mark and the first text.
  files.error = EIO;
  CUnicodeFile file((dir / "f").c_str(), "w", 0);
  file.Printf(u"kept");
  try {
    file.Printf(u"lost");
    FAIL() << "no exception";
  } catch (const CUnicodeFileException& e) {
    EXPECT_EQ(e.code, CUnicodeFileException::kWriteFailed);
    EXPECT_EQ(e.osError, EIO);
  }
  const int writes = files.writes;
  EXPECT_THROW(file.Printf(u"again"), CUnicodeFileException);
  EXPECT_EQ(files.writes, writes);
  file.Close();
  EXPECT_EQ(ReadFile(dir / "f"), Utf16File(u"kept"));
}

TEST(CUnicodeFile, FullDiskShowsAsAFailedWrite) {
  if (!testing::FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  CUnicodeFile file("/dev/full", "w", 0);
  try {
    // More than the stream's buffer, so that the device is written to.
    for (int i = 0; i < 64; ++i) file.Write(std::u16string(4096, u'x'));
    FAIL() << "no exception";
  } catch (const CUnicodeFileException& e) {
    EXPECT_EQ(e.code, CUnicodeFileException::kWriteFailed);
    EXPECT_EQ(e.osError, ENOSPC);
  }
}

TEST(CUnicodeFile, SeekMovesTheStreamOrSaysWhyNot) {
  ScratchDir dir;
  CUnicodeFile file((dir / "f").c_str(), "w", 0);
  file.Printf(u"abc");
  EXPECT_FALSE(file.Seek(0, 3));
  EXPECT_FALSE(file.Seek(0, -1));
  EXPECT_TRUE(file.Seek(4, 0));  // Past the mark and "a".
  file.Printf(u"X");
  EXPECT_TRUE(file.Seek(0, 2));
  file.Printf(u"d");
  try {
    file.Seek(-100, 0);
    FAIL() << "no exception";
  } catch (const CUnicodeFileException& e) {
    EXPECT_EQ(e.code, CUnicodeFileException::kSeekFailed);
    EXPECT_EQ(e.osError, EINVAL);
  }
  EXPECT_EQ(file.GetFileName(), dir / "f");
  file.Close();
  EXPECT_FALSE(file.Seek(0, 0));
  EXPECT_EQ(ReadFile(dir / "f"), Utf16File(u"aXcd"));
}

}  // namespace
}  // namespace tarvovcard::writer
