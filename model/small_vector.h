// The element storage of the collections: a sequence that keeps its first
// few elements inside its owner and moves to the heap only beyond them.
//
// Most collections a Load makes hold one or two elements (the values and the
// parameters of a property line), so keeping two in place saves an
// allocation for nearly every one of them; the collection object itself does
// not grow into a larger allocation class for it.
//
// Only what the collections need: append, insert, erase at a position, and
// destruction. Positions are checked by the caller. Every operation that may
// allocate throws std::bad_alloc and then leaves the sequence as it was.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <type_traits>
#include <utility>

namespace tarvovcard::model {

template <class T, std::size_t kInline>
class SmallVector {
  static_assert(kInline > 0);
  // Moving elements around must not fail half-way.
  static_assert(std::is_nothrow_move_constructible_v<T> && std::is_nothrow_move_assignable_v<T>);

 public:
  SmallVector() noexcept : data_(InlineData()) {}
  SmallVector(const SmallVector&) = delete;
  SmallVector& operator=(const SmallVector&) = delete;
  ~SmallVector() {
    std::destroy_n(data_, size_);
    if (data_ != InlineData()) ::operator delete(data_);
  }

  std::size_t size() const noexcept { return size_; }
  std::size_t capacity() const noexcept { return capacity_; }
  T& operator[](std::size_t i) noexcept { return data_[i]; }
  const T& operator[](std::size_t i) const noexcept { return data_[i]; }
  T* begin() noexcept { return data_; }
  T* end() noexcept { return data_ + size_; }
  operator std::span<const T>() const noexcept { return {data_, size_}; }

  void push_back(T&& value) {
    if (size_ == capacity_) Grow();
    ::new (static_cast<void*>(data_ + size_)) T(std::move(value));
    ++size_;
  }

  // Puts value at position (at most size()); the elements from there on move
  // up by one.
  void insert(std::size_t position, T&& value) {
    if (size_ == capacity_) Grow();
    if (position == size_) {
      ::new (static_cast<void*>(data_ + size_)) T(std::move(value));
    } else {
      ::new (static_cast<void*>(data_ + size_)) T(std::move(data_[size_ - 1]));
      std::move_backward(data_ + position, data_ + size_ - 1, data_ + size_);
      data_[position] = std::move(value);
    }
    ++size_;
  }

  // Takes out the element at position; the ones after it move down by one.
  void erase(std::size_t position) noexcept {
    std::move(data_ + position + 1, data_ + size_, data_ + position);
    --size_;
    std::destroy_at(data_ + size_);
  }

 private:
  T* InlineData() noexcept { return std::launder(reinterpret_cast<T*>(inline_)); }

  // Doubles the capacity, starting on the heap with eight places: a sequence
  // that outgrows its inline places is most often a structured value (five
  // or seven components) or a card's properties, and then needs one
  // allocation instead of two.
  void Grow() {
    constexpr std::size_t kFirstHeapCapacity = 8;
    const std::size_t capacity =
        capacity_ * 2 < kFirstHeapCapacity ? kFirstHeapCapacity : capacity_ * 2;
    T* data = static_cast<T*>(::operator new(capacity * sizeof(T)));
    std::uninitialized_move_n(data_, size_, data);
    std::destroy_n(data_, size_);
    if (data_ != InlineData()) ::operator delete(data_);
    data_ = data;
    capacity_ = static_cast<std::uint32_t>(capacity);
  }

  T* data_;
  std::uint32_t size_ = 0;
  std::uint32_t capacity_ = kInline;
  alignas(T) unsigned char inline_[kInline * sizeof(T)];
};

}  // namespace tarvovcard::model
