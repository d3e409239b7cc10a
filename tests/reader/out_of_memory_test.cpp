// Load when memory runs out: from each allocation of a Load on, in turn, every
// one fails (the program replaces malloc, calloc and realloc, which operator
// new and the runtime's BSTR and SAFEARRAY blocks go through), and each time
// the Load either reads the whole file or ends with E_OUTOFMEMORY, keeping only
// cards that are complete.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "support/builders.h"
#include "support/files.h"
#include "support/model_text.h"

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
}

// While armed, allocations are counted, and from the one numbered fail_at on
// (0: none) every one fails.
static bool g_armed = false;
static long g_count = 0, g_fail_at = 0;
static bool FailThisOne() {
  return g_armed && ++g_count >= g_fail_at && g_fail_at > 0;
}

extern "C" void* malloc(std::size_t size) {
  return FailThisOne() ? nullptr : __libc_malloc(size);
}
extern "C" void* calloc(std::size_t count, std::size_t size) {
  return FailThisOne() ? nullptr : __libc_calloc(count, size);
}
extern "C" void* realloc(void* block, std::size_t size) {
  return FailThisOne() ? nullptr : __libc_realloc(block, size);
}

namespace tarvovcard::reader {
namespace {

TEST(LoadOutOfMemory, EndsWithItsStatusAndKeepsOnlyCompleteCards) {
  const std::string path =
      testing::WriteFile(testing::TestPath("oom.vcf"),
                         "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Doe;John;;;\r\nFN:John Doe\r\n"
                         "ADR;HOME:;;1 Main St;Town;;12345;Land\r\n"
                         "NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:Gr=C3=BC=\r\n=C3=9Fe\r\n"
                         "PHOTO;ENCODING=BASE64;TYPE=GIF:\r\n    "
                         "R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAIBRAA7\r\n\r\n"
                         "AGENT:\r\nBEGIN:VCARD\r\nFN:Agent\r\nEND:VCARD\r\n"
                         "BDAY:1970-01-02\r\nX-A;X-B=c:d\r\nEND:VCARD\r\n"
                         "BEGIN:VCARD\r\nFN:Second\r\nTEL;WORK;VOICE:+1 555\r\nEND:VCARD\r\n");
  auto load = [&path](long fail_at, std::vector<std::string>* cards) {
    CComPtr<IVCardColl> collection = testing::Collection();
    const CComVariant argument(testing::Wide(path));
    g_count = 0;
    g_fail_at = fail_at;
    g_armed = true;
    const HRESULT status = collection->Load(argument);
    g_armed = false;
    *cards = testing::DescribeAll(collection);
    return status;
  };
  ::testing::internal::CaptureStderr();
  std::vector<std::string> whole, cut;
  ASSERT_EQ(load(0, &whole), S_OK);
  ASSERT_EQ(whole.size(), 2u);
  for (long k = 1, allocations = g_count; k <= allocations; ++k) {
    const HRESULT status = load(k, &cut);
    const bool complete =
        cut.size() <= whole.size() && std::equal(cut.begin(), cut.end(), whole.begin());
    ASSERT_TRUE(status == S_OK ? cut == whole : status == E_OUTOFMEMORY && complete)
        << "allocation " << k << ": " << std::hex << status;
  }
  ::testing::internal::GetCapturedStderr();
}

}  // namespace
}  // namespace tarvovcard::reader
