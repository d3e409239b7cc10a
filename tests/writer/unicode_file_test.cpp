// CUnicodeFile: what SaveAsXML does not show of it (the newline flag, open
// modes, the wide formats, Seek) and the exceptions of its failures.
#include "writer/unicode_file.h"

#include <gtest/gtest.h>

#include "writer_test.h"

namespace tarvovcard::writer {
namespace {

using namespace testing;

TEST(CUnicodeFile, BytesModesAndFormats) {
  ScratchDir dir;
  FailingFiles files;
  const std::u16string wide(5000, u'w');
  const std::string narrow(3000, 'n');
  {
    CUnicodeFile plain((dir / "lf").c_str(), "w", 1);  // Any flag but 0: LF stays LF.
    plain.Printf(u"a\nb");
    CUnicodeFile file((dir / "f").c_str(), "w", 0);
    file.Printf(u"<%s>%d,%i,%u,%c,%%,%x,%s|%\n", u"T\u00E9L", -12, 7, 4000000000u, u'\u20AC',
                static_cast<const char16_t*>(nullptr));
    // Narrow text is widened from the ANSI code page, and not formatted twice.
    file.Printf("%s|%d\n", "100% caf\xE9 \x80", 5);
    file.Printf(u"%s", wide.c_str());  // Long writes are written whole.
    file.Printf("%s", narrow.c_str());
    file.Write(wide);
    EXPECT_TRUE(file.Close());
    EXPECT_TRUE(file.Close());  // A second close does nothing, nor does the destructor.
    EXPECT_FALSE(file.IsOpen());
  }
  EXPECT_EQ(files.closes, 2);
  EXPECT_EQ(ReadFile(dir / "lf"), std::string("\xFF\xFE"
                                              "a\0\n\0b\0",
                                              8));
  EXPECT_EQ(ReadFile(dir / "f"),
            Utf16File(u"<T\u00E9L>-12,7,4000000000,\u20AC,%,%x,|%\n100% caf\u00E9 \u20AC|5\n" +
                      wide + std::u16string(narrow.begin(), narrow.end()) + wide));

  // Always binary; only write modes start with the mark, appending adds none.
  { CUnicodeFile((dir / "m").c_str(), "wt", 0).Printf(u"a\n"); }
  for (const char* mode : {"a", "ab", "r+"}) CUnicodeFile((dir / "m").c_str(), mode, 0);
  { CUnicodeFile((dir / "m").c_str(), "a", 0).Printf(u"b"); }
  EXPECT_EQ(std::vector<std::string>(files.modes.begin() + 2, files.modes.begin() + 7),
            (std::vector<std::string>{"wb", "ab", "ab", "r+b", "ab"}));
  EXPECT_EQ(ReadFile(dir / "m"), Utf16File(u"a\nb"));

  // Seek: false for an origin it does not know or with no file open.
  CUnicodeFile file((dir / "s").c_str(), "w", 0);
  file.Printf(u"abc");
  EXPECT_FALSE(file.Seek(0, 3));
  EXPECT_FALSE(file.Seek(0, -1));
  EXPECT_TRUE(file.Seek(4, 0));  // Past the mark and "a".
  file.Printf(u"X");
  EXPECT_TRUE(file.Seek(0, 2));
  file.Printf(u"d");
  EXPECT_EQ(file.GetFileName(), dir / "s");
  file.Close();
  EXPECT_FALSE(file.Seek(0, 0));
  EXPECT_EQ(ReadFile(dir / "s"), Utf16File(u"aXcd"));
}

// Each failure throws its code, errno and the file's name; a failed write
// leaves what came before it and fails every later write without retrying.
TEST(CUnicodeFile, FailuresThrowCodeErrnoAndName) {
  ScratchDir dir;
  const std::string name = dir / "f", missing = dir / "missing-folder/f";
  struct Row {
    const char* what;
    std::string file;
    void (*act)(CUnicodeFile*& file, const std::string& name);
    int code, os_error;
  };
  const Row rows[] = {
      {"open", missing,
       [](CUnicodeFile*& file, const std::string& name) {
         file = new CUnicodeFile(name.c_str(), "w", 0);
       },
       CUnicodeFileException::kNotOpen, ENOENT},
      {"write after close", name,
       [](CUnicodeFile*& file, const std::string&) {
         file->Close();
         file->Printf("x");
       },
       CUnicodeFileException::kNotOpen, 0},
      {"seek", name, [](CUnicodeFile*& file, const std::string&) { file->Seek(-100, 0); },
       CUnicodeFileException::kSeekFailed, EINVAL},
      {"write", name,
       [](CUnicodeFile*& file, const std::string&) {
         FailingFiles files({.write_at = 1, .error = EIO});  // After the open: the first text.
         file->Printf(u"kept");
         try {
           file->Printf(u"lost");
         } catch (const CUnicodeFileException&) {
           const int writes = files.writes;
           EXPECT_THROW(file->Printf(u"again"), CUnicodeFileException);
           EXPECT_EQ(files.writes, writes);
           throw;
         }
       },
       CUnicodeFileException::kWriteFailed, EIO},
      {"full disk", "/dev/full",
       [](CUnicodeFile*& file, const std::string&) {
         // More than the stream's buffer, so that the device is written to.
         for (int i = 0; i < 64; ++i) file->Write(std::u16string(4096, u'x'));
       },
       CUnicodeFileException::kWriteFailed, ENOSPC},
  };
  for (const Row& row : rows) {
    if (row.file == "/dev/full" && !std::filesystem::exists(row.file)) continue;
    CUnicodeFile* file = row.file == missing ? nullptr : new CUnicodeFile(row.file.c_str(), "w", 0);
    try {
      row.act(file, row.file);
      ADD_FAILURE() << row.what << ": no exception";
    } catch (const CUnicodeFileException& e) {
      EXPECT_EQ(e.code, row.code) << row.what;
      if (row.os_error) {
        EXPECT_EQ(e.osError, row.os_error) << row.what;
      }
      EXPECT_EQ(e.fileName, row.file) << row.what;
    }
    delete file;
  }
  EXPECT_EQ(ReadFile(name), Utf16File(u"kept"));
  const CUnicodeFileException none;
  EXPECT_EQ(none.code + none.osError, 0);
  EXPECT_EQ(none.fileName, "");
}

}  // namespace
}  // namespace tarvovcard::writer
