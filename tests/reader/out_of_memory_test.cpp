// Load when memory runs out: every allocation of a Load is made to fail in
// turn, and each time the Load either reads the whole file or ends with
// E_OUTOFMEMORY, keeping only cards that are complete.
//
// The program replaces malloc, calloc and realloc (everything else,
// operator new and the runtime's BSTR and SAFEARRAY blocks included, goes
// through them), so it is built only without the sanitizers, which replace
// them too.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <string>
#include <vector>

#include "reader/model_text.h"
#include "reader/reader_test_files.h"

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
}

namespace {

// Counts allocations while armed; from the allocation numbered fail_at on,
// every allocation fails, as under a memory limit.
struct Allocations {
  bool armed = false;
  long count = 0;
  long fail_at = 0;  // 0: none fails
};
Allocations g_allocations;

bool FailThisOne() {
  if (!g_allocations.armed) return false;
  ++g_allocations.count;
  return g_allocations.fail_at > 0 && g_allocations.count >= g_allocations.fail_at;
}

}  // namespace

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

struct Outcome {
  HRESULT status;
  std::vector<std::string> cards;
  long allocations;
};

Outcome LoadFailingFrom(const std::string& path, long fail_at) {
  CComPtr<IVCardColl> collection = testing::NewCollection();
  CComBSTR name = testing::Wide(path);
  VARIANT argument;
  VariantInit(&argument);
  argument.vt = VT_BSTR;
  argument.bstrVal = name;
  g_allocations = {true, 0, fail_at};
  HRESULT status = collection->Load(argument);
  g_allocations.armed = false;
  return {status, testing::DescribeAll(collection), g_allocations.count};
}

TEST(LoadOutOfMemory, EndsWithItsStatusAndKeepsOnlyCompleteCards) {
  std::string text =
      "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Doe;John;;;\r\nFN:John Doe\r\n"
      "ADR;HOME:;;1 Main St;Town;;12345;Land\r\n"
      "NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:Gr=C3=BC=\r\n=C3=9Fe\r\n"
      "PHOTO;ENCODING=BASE64;TYPE=GIF:\r\n    "
      "R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAIBRAA7\r\n\r\n"
      "AGENT:\r\nBEGIN:VCARD\r\nFN:Agent\r\nEND:VCARD\r\n"
      "BDAY:1970-01-02\r\nX-A;X-B=c:d\r\nEND:VCARD\r\n"
      "BEGIN:VCARD\r\nFN:Second\r\nTEL;WORK;VOICE:+1 555\r\nEND:VCARD\r\n";
  const std::string path = testing::WriteTestFile("oom.vcf", text);
  ::testing::internal::CaptureStderr();
  const Outcome whole = LoadFailingFrom(path, 0);
  ASSERT_EQ(whole.status, S_OK);
  ASSERT_EQ(whole.cards.size(), 2u);
  for (long k = 1; k <= whole.allocations; ++k) {
    const Outcome cut = LoadFailingFrom(path, k);
    if (cut.status == S_OK) {
      EXPECT_EQ(cut.cards, whole.cards) << "allocation " << k;
      continue;
    }
    ASSERT_EQ(cut.status, E_OUTOFMEMORY) << "allocation " << k;
    ASSERT_LE(cut.cards.size(), whole.cards.size()) << "allocation " << k;
    for (std::size_t i = 0; i < cut.cards.size(); ++i) {
      EXPECT_EQ(cut.cards[i], whole.cards[i]) << "allocation " << k;
    }
  }
  ::testing::internal::GetCapturedStderr();
}

}  // namespace
}  // namespace tarvovcard::reader
