// A grow-only array of plain values whose contents the user writes whole
// before reading: it is never value-initialised, and its memory stays with
// it from one use to the next, so a run of pictures touches fresh memory
// only when a picture is larger than every one before it.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>

template <class T>
class ScratchArray {
  static_assert(std::is_trivially_copyable_v<T>, "ScratchArray holds plain values");

 public:
  // At least n values, contents unspecified (earlier contents are not kept
  // when it grows); null when memory runs out.
  T* Get(size_t n) {
    if (n > size_) {
      data_.reset();
      size_ = 0;
      data_.reset(new (std::nothrow) T[n]);
      if (!data_) return nullptr;
      size_ = n;
    }
    return data_.get();
  }

 private:
  std::unique_ptr<T[]> data_;
  size_t size_ = 0;
};
