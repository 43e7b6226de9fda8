#pragma once
// A read-only copy of a vector that keeps up to N elements inline, so that taking a snapshot of
// a short list (the sinks of a source, the pins of a lock path) does not allocate.

#include <algorithm>
#include <array>
#include <cstddef>
#include <vector>

namespace tardivox {

template <class T, std::size_t N>
class TSmallCopy {
 public:
  explicit TSmallCopy(const std::vector<T>& from) : size_(from.size()) {
    if (size_ <= N) {
      std::copy(from.begin(), from.end(), inline_.begin());
      data_ = inline_.data();
    } else {
      heap_.assign(from.begin(), from.end());
      data_ = heap_.data();
    }
  }
  TSmallCopy(const TSmallCopy&) = delete;
  TSmallCopy& operator=(const TSmallCopy&) = delete;

  std::size_t size() const { return size_; }
  const T& operator[](std::size_t i) const { return data_[i]; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }

 private:
  std::array<T, N> inline_{};
  std::vector<T> heap_;
  const T* data_;
  std::size_t size_;
};

}  // namespace tardivox
