#include "frame/object_arena.h"

#include <pthread.h>
#include <sys/mman.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define TARVOVCARD_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARVOVCARD_ASAN 1
#endif
#endif
#ifdef TARVOVCARD_ASAN
#include <sanitizer/asan_interface.h>
#define TARVOVCARD_POISON(at, size) ASAN_POISON_MEMORY_REGION(at, size)
#define TARVOVCARD_UNPOISON(at, size) ASAN_UNPOISON_MEMORY_REGION(at, size)
#else
#define TARVOVCARD_POISON(at, size) ((void)(at), (void)(size))
#define TARVOVCARD_UNPOISON(at, size) ((void)(at), (void)(size))
#endif

namespace tarvovcard::frame {
namespace {

constexpr std::size_t kPage = 4096;
// A thread's first chunks, under malloc's threshold for a mapping of its own,
// so that a program that makes a few objects takes little memory; then
// mappings of one 2 MiB extent the kernel may back with a huge page
// (object_arena.h says why).
constexpr std::size_t kSmallChunkBytes = 32 * kPage - 64;
constexpr int kSmallChunks = 8;
constexpr std::size_t kHugePage = kLargestChunk;
constexpr std::size_t kAlignment = kObjectAlignment;
constexpr std::size_t kPageHeader = 16;  // the chunk's address, padded
// The count a chunk starts with while its thread takes blocks from it: the
// blocks taken are not counted one by one but added when the thread moves on,
// so the count only nears zero once it has.
constexpr std::int64_t kOwnerBias = std::int64_t{1} << 40;

struct Chunk {
  std::atomic<std::int64_t> count{kOwnerBias};
  void* block;        // as malloc or mmap returned it
  std::size_t bytes;  // its size; kHugePage for a mapping
};

// Every live chunk's bytes (ArenaBytes).
std::atomic<std::size_t> g_chunk_bytes{0};

// A mapping of kHugePage bytes aligned to kHugePage, or null. Twice the size
// is mapped and the unaligned ends are given back at once. The advice is only
// advice: where the kernel has no huge page to give, or huge pages are off,
// the extent is made of ordinary pages all the same.
void* MapExtent() noexcept {
  void* raw =
      ::mmap(nullptr, 2 * kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
  if (aligned > start) ::munmap(raw, aligned - start);
  if (const std::size_t tail = start + kHugePage - aligned; tail > 0) {
    ::munmap(reinterpret_cast<void*>(aligned + kHugePage), tail);
  }
  ::madvise(reinterpret_cast<void*>(aligned), kHugePage, MADV_HUGEPAGE);
  return reinterpret_cast<void*>(aligned);
}
constexpr std::size_t kFirstPageHeader = kPageHeader + sizeof(Chunk);
static_assert(kFirstPageHeader % kAlignment == 0);
static_assert(kLargestObject <= kPage - kFirstPageHeader);

// The calling thread's current chunk. Constant-initialised and trivially
// destructible: a thread_local with a destructor would keep the library
// from ever being unloaded.
struct Cursor {
  Chunk* chunk;
  char* next;          // the next free byte of the current page
  char* page_end;      // the end of the current page
  char* end;           // the end of the chunk's last whole page
  std::int64_t taken;  // blocks handed out of the chunk
  int chunks;          // chunks the thread has taken, up to kSmallChunks
};
// Initial-exec: the cursor is read on every allocation, and the general model
// would call __tls_get_addr each time; 48 bytes fit the static TLS that
// libraries loaded later may use.
[[gnu::tls_model("initial-exec")]] thread_local Cursor t_cursor{};

void Release(Chunk* chunk, std::int64_t count) noexcept {
  if (chunk->count.fetch_sub(count, std::memory_order_acq_rel) != count) return;
  void* block = chunk->block;
  const std::size_t bytes = chunk->bytes;
  TARVOVCARD_UNPOISON(block, bytes);
  g_chunk_bytes.fetch_sub(bytes, std::memory_order_relaxed);
  if (bytes == kHugePage) {
    ::munmap(block, bytes);
  } else {
    std::free(block);
  }
}

// The thread gives up its current chunk: the count becomes the number of
// live blocks, and the chunk goes now if there are none.
void Retire(Cursor& cursor) noexcept {
  Chunk* chunk = cursor.chunk;
  if (!chunk) return;
  const std::int64_t taken = cursor.taken;
  cursor = {nullptr, nullptr, nullptr, nullptr, 0, cursor.chunks};
  Release(chunk, kOwnerBias - taken);
}

// A thread that ends retires its chunk through a key's destructor; the key
// goes when the library is unloaded.
class ThreadEnd {
 public:
  ThreadEnd() noexcept {
    made_ = pthread_key_create(&key_, [](void*) { Retire(t_cursor); }) == 0;
  }
  ~ThreadEnd() {
    if (made_) pthread_key_delete(key_);
    made_ = false;
    Retire(t_cursor);
  }
  void Watch() noexcept {
    if (made_) pthread_setspecific(key_, &t_cursor);
  }

 private:
  pthread_key_t key_{};
  bool made_ = false;
};

void StartPage(Cursor& cursor, char* page, std::size_t header) noexcept {
  *reinterpret_cast<Chunk**>(page) = cursor.chunk;
  cursor.next = page + header;
  cursor.page_end = page + kPage;
  TARVOVCARD_POISON(cursor.next, kPage - header);
}

bool NextPage(Cursor& cursor) noexcept {
  if (cursor.chunk && cursor.page_end + kPage <= cursor.end) {
    StartPage(cursor, cursor.page_end, kPageHeader);
    return true;
  }
  Retire(cursor);
  const bool large = cursor.chunks >= kSmallChunks;
  const std::size_t bytes = large ? kHugePage : kSmallChunkBytes;
  void* block = large ? MapExtent() : std::malloc(bytes);
  if (!block) return false;
  if (!large) ++cursor.chunks;
  g_chunk_bytes.fetch_add(bytes, std::memory_order_relaxed);
  const auto start = reinterpret_cast<std::uintptr_t>(block);
  char* first = reinterpret_cast<char*>((start + kPage - 1) & ~(kPage - 1));
  const std::size_t pages = (start + bytes - reinterpret_cast<std::uintptr_t>(first)) / kPage;
  Chunk* chunk = new (first + kPageHeader) Chunk;
  chunk->block = block;
  chunk->bytes = bytes;
  cursor.chunk = chunk;
  cursor.end = first + pages * kPage;
  cursor.taken = 0;
  StartPage(cursor, first, kFirstPageHeader);
  static ThreadEnd thread_end;
  thread_end.Watch();
  return true;
}

}  // namespace

void* AllocateObject(std::size_t size) noexcept {
  size = (size + kAlignment - 1) & ~(kAlignment - 1);
  if (size > kLargestObject) return nullptr;
  Cursor& cursor = t_cursor;
  if (!cursor.chunk || static_cast<std::size_t>(cursor.page_end - cursor.next) < size) {
    if (!NextPage(cursor)) return nullptr;
  }
  void* block = cursor.next;
  cursor.next += size;
  ++cursor.taken;
  TARVOVCARD_UNPOISON(block, size);
  return block;
}

std::size_t ArenaBytes() noexcept {
  return g_chunk_bytes.load(std::memory_order_relaxed);
}

void FreeObject(void* block, std::size_t size) noexcept {
  if (!block) return;
  char* page = reinterpret_cast<char*>(reinterpret_cast<std::uintptr_t>(block) & ~(kPage - 1));
  Chunk* chunk = *reinterpret_cast<Chunk**>(page);
  TARVOVCARD_POISON(block, (size + kAlignment - 1) & ~(kAlignment - 1));
  Release(chunk, 1);
}

namespace {
constexpr std::size_t kStringPrefix = sizeof(std::uint32_t);
std::size_t StringBlockBytes(std::size_t length) noexcept {
  return kStringPrefix + (length + 1) * sizeof(char16_t);
}
}  // namespace

char16_t* AllocateArenaString(const char16_t* text, unsigned length) noexcept {
  if (length > kLargestArenaString) return nullptr;
  char* block = static_cast<char*>(AllocateObject(StringBlockBytes(length)));
  if (!block) return nullptr;
  const std::uint32_t bytes = length * sizeof(char16_t);
  std::memcpy(block, &bytes, sizeof bytes);
  auto* characters = reinterpret_cast<char16_t*>(block + kStringPrefix);
  if (length) std::memcpy(characters, text, bytes);
  characters[length] = u'\0';
  return characters;
}

void FreeArenaString(char16_t* text) noexcept {
  if (!text) return;
  char* block = reinterpret_cast<char*>(text) - kStringPrefix;
  std::uint32_t bytes;
  std::memcpy(&bytes, block, sizeof bytes);
  FreeObject(block, StringBlockBytes(bytes / sizeof(char16_t)));
}

}  // namespace tarvovcard::frame
