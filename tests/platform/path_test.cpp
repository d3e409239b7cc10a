#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tarvovcard/platform/shlwapi.h"

namespace {

std::string RemoveFileSpec(std::string path, BOOL expected_result = TRUE) {
  EXPECT_EQ(PathRemoveFileSpecA(path.data()), expected_result) << path;
  return path.c_str();
}

std::string StripPath(std::string path) {
  PathStripPathA(path.data());
  return path.c_str();
}

TEST(PathRemoveFileSpec, SplitsOnEitherSeparator) {
  EXPECT_EQ(RemoveFileSpec("C:\\dir\\x.vcf"), "C:\\dir");
  EXPECT_EQ(RemoveFileSpec("D:\\a\\b\\x.vcf"), "D:\\a\\b");
  EXPECT_EQ(RemoveFileSpec("C:\\x.vcf"), "C:\\");
  EXPECT_EQ(RemoveFileSpec("\\x.vcf"), "\\");
  EXPECT_EQ(RemoveFileSpec("x.vcf"), "");
  EXPECT_EQ(RemoveFileSpec("/home/u/x.vcf"), "/home/u");
  EXPECT_EQ(RemoveFileSpec("/x.vcf"), "/");
  EXPECT_EQ(RemoveFileSpec("dir/sub\\x.vcf"), "dir/sub");
  EXPECT_EQ(RemoveFileSpec("C:x.vcf"), "C:");
  EXPECT_EQ(RemoveFileSpec("C:\\dir\\"), "C:\\dir");
  EXPECT_EQ(RemoveFileSpec("\\\\server\\share\\x.vcf"), "\\\\server\\share");
  // Nothing left to remove.
  EXPECT_EQ(RemoveFileSpec("C:\\", FALSE), "C:\\");
  EXPECT_EQ(RemoveFileSpec("/", FALSE), "/");
  EXPECT_EQ(RemoveFileSpec("", FALSE), "");
  EXPECT_FALSE(PathRemoveFileSpecA(nullptr));
  // No length limit.
  const std::string folder(1000, 'd');
  EXPECT_EQ(RemoveFileSpec(folder + "/" + std::string(500, 'f')), folder);
}

TEST(PathStripPath, KeepsTheLastComponent) {
  EXPECT_EQ(StripPath("C:\\dir\\x.vcf"), "x.vcf");
  EXPECT_EQ(StripPath("/home/u/x.vcf"), "x.vcf");
  EXPECT_EQ(StripPath("x.vcf"), "x.vcf");
  EXPECT_EQ(StripPath("a/b\\x.vcf"), "x.vcf");
  EXPECT_EQ(StripPath("C:x.vcf"), "x.vcf");
  EXPECT_EQ(StripPath("C:\\dir\\"), "dir\\");
  EXPECT_EQ(StripPath(""), "");
  PathStripPathA(nullptr);
}

TEST(PathAppend, JoinsWithOneSeparator) {
  char buffer[64];
  auto append = [&](const char* path, const char* more) {
    std::snprintf(buffer, sizeof buffer, "%s", path);
    EXPECT_TRUE(PathAppendA(buffer, more));
    return std::string(buffer);
  };
  EXPECT_EQ(append("/home/u", "x.vcf"), "/home/u/x.vcf");
  EXPECT_EQ(append("C:\\dir", "x.vcf"), "C:\\dir/x.vcf");
  EXPECT_EQ(append("C:\\dir\\", "x.vcf"), "C:\\dir\\x.vcf");
  EXPECT_EQ(append("/home/u/", "/x.vcf"), "/home/u/x.vcf");
  EXPECT_EQ(append("/home/u", "\\x.vcf"), "/home/u/x.vcf");
  EXPECT_EQ(append("", "x.vcf"), "x.vcf");
  EXPECT_EQ(append("/home/u", ""), "/home/u");
  EXPECT_FALSE(PathAppendA(nullptr, "x"));
  EXPECT_FALSE(PathAppendA(buffer, nullptr));

  char16_t wide[64] = u"C:\\dir";
  EXPECT_TRUE(PathAppendW(wide, u"x.vcf"));
  EXPECT_EQ(std::u16string(wide), u"C:\\dir/x.vcf");
  wide[0] = u'\0';
  EXPECT_TRUE(PathAppendW(wide, u"x.vcf"));
  EXPECT_EQ(std::u16string(wide), u"x.vcf");
}

TEST(PathFileExists, ChecksTheFileSystem) {
  EXPECT_TRUE(PathFileExistsA(TARVOVCARD_SOURCE_DIR "/CMakeLists.txt"));
  EXPECT_TRUE(PathFileExistsA(TARVOVCARD_SOURCE_DIR));
  SetLastError(0);
  EXPECT_FALSE(PathFileExistsA(TARVOVCARD_SOURCE_DIR "/no such file.vcf"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(PathFileExistsA(nullptr));
}

}  // namespace
