// Where the instances of the library's classes live.
//
// A Load makes millions of small objects that live and die together, and
// malloc spent more on them than the reader spent on the text. So each
// thread carves its instances out of chunks of its own, one after the other
// (a bump of a pointer), and a chunk goes back to malloc when the last of its
// objects has gone and its thread has moved on to a newer chunk. Freeing is a
// decrement of the chunk's count, from whatever thread.
//
// Invariants:
// - A thread's first eight chunks are malloc blocks of about 124 KiB; its
//   later ones are mappings of their own, 2 MiB aligned for a huge page and
//   advised as such, because on a virtual machine a page fault costs more
//   than filling the page, and a large Load faulted in every page it used.
//   (Carved from malloc blocks, the extents left malloc the unaligned rest,
//   which it filled and kept resident: a process that loaded again and again
//   grew.) A failure to get a chunk is an ordinary lack of memory,
//   E_OUTOFMEMORY. A chunk's usable part is whole 4 KiB pages, and
//   every page starts with a pointer to the chunk's header, which is how a
//   block finds its chunk. A block never crosses a page.
// - The count of a chunk is its live blocks plus one while it is its
//   thread's current chunk; whoever brings it to zero frees it.
// - Blocks are kObjectAlignment-aligned (the alignment of a pointer, which is
//   all the library's classes need; a 16-byte step would add 8 bytes to most
//   of them) and at most kLargestObject bytes; nothing is reused before its
//   chunk is freed, so an object that outlives the rest of its Load keeps its
//   chunk (at most 2 MiB of memory) alive.
// - Under AddressSanitizer every byte not handed out is poisoned, so a use
//   after Release is still caught.
#pragma once

#include <cstddef>
#include <new>

namespace tarvovcard::frame {

inline constexpr std::size_t kLargestObject = 1024;
// The size of a thread's later chunks, the largest (its first ones take
// 124 KiB).
inline constexpr std::size_t kLargestChunk = std::size_t{2} << 20;

// The memory the arena holds now: every live chunk, whole.
std::size_t ArenaBytes() noexcept;
inline constexpr std::size_t kObjectAlignment = 8;

// A block of `size` bytes (at most kLargestObject), or null when memory is
// short.
void* AllocateObject(std::size_t size) noexcept;

// Gives back a block of AllocateObject of that `size`; null is ignored.
void FreeObject(void* block, std::size_t size) noexcept;

// A BSTR carved from the arena like an object, for text that lives and dies
// with one object of a Load (a value's decoded text): the same layout as the
// runtime's BSTR (the 32-bit byte length just before the characters, a NUL
// character after them), so everything that reads a BSTR reads it, and copies
// of it (VariantCopy, SysAllocString) are ordinary BSTRs. Only
// FreeArenaString may free it, never SysFreeString or VariantClear. Null when
// the text is too long for a block (kLargestArenaString characters at most)
// or memory is short.
inline constexpr unsigned kLargestArenaString = (kLargestObject - 8) / 2;
char16_t* AllocateArenaString(const char16_t* text, unsigned length) noexcept;
void FreeArenaString(char16_t* text) noexcept;

// The allocation functions of a class whose instances live in the arena.
#define TARVOVCARD_ARENA_ALLOCATED(Class)                                       \
  static void* operator new(std::size_t size) {                                 \
    static_assert(sizeof(Class) <= ::tarvovcard::frame::kLargestObject);        \
    static_assert(alignof(Class) <= ::tarvovcard::frame::kObjectAlignment);     \
    if (void* block = ::tarvovcard::frame::AllocateObject(size)) return block;  \
    throw std::bad_alloc();                                                     \
  }                                                                             \
  static void* operator new(std::size_t size, const std::nothrow_t&) noexcept { \
    static_assert(sizeof(Class) <= ::tarvovcard::frame::kLargestObject);        \
    return ::tarvovcard::frame::AllocateObject(size);                           \
  }                                                                             \
  static void operator delete(void* block, std::size_t size) noexcept {         \
    ::tarvovcard::frame::FreeObject(block, size);                               \
  }

}  // namespace tarvovcard::frame
