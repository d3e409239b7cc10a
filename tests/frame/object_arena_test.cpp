// Where instances live: blocks carved from per-thread chunks, given back from
// any thread, each chunk returned to malloc once its last block and its
// thread are gone.
#include "frame/object_arena.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define ARENA_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ARENA_TEST_ASAN 1
#endif
#endif
#ifdef ARENA_TEST_ASAN
#include <sanitizer/asan_interface.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
// The sanitizer runtime's count of allocated bytes (declared by hand: not
// every compiler ships the header that declares it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace tarvovcard::frame {
namespace {

#ifdef ARENA_TEST_ASAN
// A freed block must fault when touched: either the sanitizer has poisoned
// it, or its chunk (a mapping of its own) has already been unmapped.
bool Inaccessible(const void* at) {
  if (__asan_address_is_poisoned(at)) return true;
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  unsigned char resident = 0;
  void* start = reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(at) & ~(page - 1));
  return ::mincore(start, 1, &resident) != 0 && errno == ENOMEM;
}
#endif

std::size_t HeapInUse() {
#ifdef ARENA_TEST_ASAN
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

TEST(ObjectArena, BlocksAreAlignedApartAndTheirChunksGoWithTheLastOfThem) {
  const struct {
    const char* name;
    std::size_t size;
    std::size_t count;  // enough for several chunks
    bool other_thread;  // taken on a thread that ends before they are freed
    bool backwards;     // freed newest first
  } kCases[] = {
      {"objects of a Load", 48, 20000, false, false},
      {"freed newest first", 112, 5000, false, true},
      {"taken on a thread that has ended", 64, 20000, true, false},
      {"the largest blocks", kLargestObject, 600, true, true},
      // Past a thread's small chunks: large ones, taken and given back.
      {"large chunks on a thread that has ended", 96, 60000, true, true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<unsigned char*> blocks(c.count);
    const std::size_t before = ArenaBytes(), heap_before = HeapInUse();
    auto take = [&] {
      for (std::size_t i = 0; i < c.count; ++i) {
        blocks[i] = static_cast<unsigned char*>(AllocateObject(c.size));
        ASSERT_NE(blocks[i], nullptr);
        std::memset(blocks[i], static_cast<int>(i & 0xFF), c.size);
      }
    };
    if (c.other_thread) {
      std::thread(take).join();
    } else {
      take();
    }
    for (std::size_t i = 0; i < c.count; ++i) {
      ASSERT_EQ(reinterpret_cast<std::uintptr_t>(blocks[i]) % kObjectAlignment, 0u) << i;
      // No block overlaps another: each still holds its own pattern.
      ASSERT_EQ(blocks[i][0], i & 0xFF) << i;
      ASSERT_EQ(blocks[i][c.size - 1], i & 0xFF) << i;
    }
    for (std::size_t n = 0; n < c.count; ++n) {
      const std::size_t i = c.backwards ? c.count - 1 - n : n;
      FreeObject(blocks[i], c.size);
#ifdef ARENA_TEST_ASAN
      EXPECT_TRUE(Inaccessible(blocks[i])) << i;
#endif
    }
    // Only this thread's current chunk may remain; a thread that has ended
    // keeps none.
    EXPECT_LE(ArenaBytes(), before + (c.other_thread ? 0 : kLargestChunk));
    EXPECT_LE(HeapInUse(), heap_before + (c.other_thread ? 16 * 1024 : 128 * 1024));
  }
  EXPECT_EQ(AllocateObject(kLargestObject + 1), nullptr);
}

}  // namespace
}  // namespace tarvovcard::frame
