// CUnicodeFile: what SaveAsXML does not show of it (the newline flag, open
// modes, the wide formats, Seek) and the exceptions of its failures.
#include "writer/unicode_file.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "support/builders.h"
#include "support/doubles.h"
#include "support/files.h"
#include "support/model_text.h"

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
    file.Printf(u"%s", wide.c_str());
    file.Printf("%s", narrow.c_str());
    EXPECT_TRUE(file.Close());
    EXPECT_TRUE(file.Close());  // A second close does nothing, nor does the destructor.
    EXPECT_FALSE(file.IsOpen());
  }
  EXPECT_EQ(files.Count(Call::kClose), 2);
  EXPECT_EQ(ReadFile(dir / "lf"), std::string("\xFF\xFE\x61\0\n\0b\0", 8));
  EXPECT_EQ(ReadFile(dir / "f"),
            Utf16File(u"<T\u00E9L>-12,7,4000000000,\u20AC,%,%x,|%\n100% caf\u00E9 \u20AC|5\n" +
                      wide + std::u16string(narrow.begin(), narrow.end())));

  // Always binary; only write modes start with the mark, appending adds none.
  { CUnicodeFile((dir / "m").c_str(), "wt", 0).Printf(u"a\n"); }
  for (const char* mode : {"a", "ab", "r+"}) CUnicodeFile((dir / "m").c_str(), mode, 0);
  { CUnicodeFile((dir / "m").c_str(), "a", 0).Printf(u"b"); }
  EXPECT_EQ(std::vector<std::string>(files.modes.begin() + 2, files.modes.end()),
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

// What `act` threw: code, errno and file name.
std::tuple<int, int, std::string> Thrown(const std::function<void()>& act) {
  try {
    act();
  } catch (const CUnicodeFileException& e) {
    return {e.code, e.osError, e.fileName};
  }
  return {-1, -1, "no exception"};
}

// Each failure throws its code, errno and the file's name; a failed write
// leaves what came before it and fails every later write without retrying.
TEST(CUnicodeFile, FailuresThrowCodeErrnoAndName) {
  using E = CUnicodeFileException;
  using Fields = std::tuple<int, int, std::string>;
  ScratchDir dir;
  const std::string name = dir / "f", missing = dir / "missing-folder/f";
  EXPECT_EQ(Thrown([&] { CUnicodeFile(missing.c_str(), "w", 0); }),
            Fields(E::kNotOpen, ENOENT, missing));
  CUnicodeFile file(name.c_str(), "w", 0);
  EXPECT_EQ(Thrown([&] { file.Seek(-100, 0); }), Fields(E::kSeekFailed, EINVAL, name));
  {
    FailingFiles files({Call::kWrite, 1});  // After the open: the first text.
    file.Printf(u"kept");
    EXPECT_EQ(Thrown([&] { file.Printf(u"lost"); }), Fields(E::kWriteFailed, ENOSPC, name));
    EXPECT_EQ(std::get<0>(Thrown([&] { file.Printf(u"again"); })), E::kWriteFailed);
    EXPECT_EQ(files.Count(Call::kWrite), 2);
  }
  file.Close();
  EXPECT_EQ(ReadFile(name), Utf16File(u"kept"));
  const auto [code, os_error, file_name] = Thrown([&] { file.Printf("x"); });
  EXPECT_EQ(code, E::kNotOpen);
  EXPECT_EQ(file_name, name);
  EXPECT_EQ(Fields(E().code, E().osError, E().fileName), Fields(0, 0, ""));
}

}  // namespace
}  // namespace tarvovcard::writer
