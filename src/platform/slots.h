// A fixed number of slots counted from 1, as the service's tables and queues are: slot n is
// element n - 1 of the storage. A slot number outside 1..N raises error 9.
#pragma once
#include <array>
#include <cstddef>
#include <vector>

#include "platform/error.h"

namespace varnel {

inline void CheckSlot(std::size_t n, std::size_t count) {
  if (n < 1 || n > count) throw VarnelError(err::kSubscript, "Subscript out of range");
}

template <class T, std::size_t N>
class Slots {
 public:
  T& operator[](std::size_t n) {
    CheckSlot(n, N);
    return items_[n - 1];
  }
  const T& operator[](std::size_t n) const {
    CheckSlot(n, N);
    return items_[n - 1];
  }
  static constexpr std::size_t size() { return N; }
  auto begin() { return items_.begin(); }
  auto end() { return items_.end(); }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  std::array<T, N> items_{};
};

// The same for slots kept on the heap (large records), sized once.
template <class T>
class HeapSlots {
 public:
  explicit HeapSlots(std::size_t count) : items_(count) {}
  T& operator[](std::size_t n) {
    CheckSlot(n, items_.size());
    return items_[n - 1];
  }
  const T& operator[](std::size_t n) const {
    CheckSlot(n, items_.size());
    return items_[n - 1];
  }
  std::size_t size() const { return items_.size(); }
  auto begin() { return items_.begin(); }
  auto end() { return items_.end(); }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  std::vector<T> items_;
};

}  // namespace varnel
