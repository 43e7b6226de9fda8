#pragma once
// A first-in first-out queue (with a front door too) kept in a ring that only grows.
//
// The audio path hands every buffer through several queues (callbacks of the wave service,
// events of the wave threads, buffers at a device, operations waiting at the playback). A
// std::deque allocates and frees a chunk every few elements as they flow through; this ring
// doubles when it is full and otherwise reuses its slots, so a queue whose length stays
// bounded makes no allocation once it has reached that length. `clear` keeps the slots;
// `release` gives them back.
//
// Failure: growing may raise std::bad_alloc; the queue is then unchanged.
// Not thread-safe: the owner guards it. Elements must be default-constructible and movable;
// a slot left by a popped element holds a default-constructed one (references dropped).

#include <cstddef>
#include <iterator>
#include <utility>
#include <vector>

namespace tardivox {

template <class T>
class TRingQueue {
 public:
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = const T*;
    using reference = const T&;

    const_iterator() = default;
    reference operator*() const { return queue_->at(index_); }
    pointer operator->() const { return &queue_->at(index_); }
    const_iterator& operator++() {
      ++index_;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator before = *this;
      ++index_;
      return before;
    }
    friend bool operator==(const const_iterator& a, const const_iterator& b) {
      return a.queue_ == b.queue_ && a.index_ == b.index_;
    }

   private:
    friend class TRingQueue;
    const_iterator(const TRingQueue* queue, size_t index) : queue_(queue), index_(index) {}
    const TRingQueue* queue_ = nullptr;
    size_t index_ = 0;
  };

  bool empty() const { return count_ == 0; }
  size_t size() const { return count_; }
  size_t capacity() const { return slots_.size(); }

  // The element `index` places from the front (index < size()).
  const T& at(size_t index) const { return slots_[Slot(index)]; }
  T& front() { return slots_[head_]; }
  const T& front() const { return slots_[head_]; }

  void push_back(T value) {
    if (count_ == slots_.size()) Grow();
    slots_[Slot(count_)] = std::move(value);
    ++count_;
  }
  void push_front(T value) {
    if (count_ == slots_.size()) Grow();
    head_ = (head_ + slots_.size() - 1) % slots_.size();
    slots_[head_] = std::move(value);
    ++count_;
  }
  // Requires !empty().
  void pop_front() {
    slots_[head_] = T();
    head_ = (head_ + 1) % slots_.size();
    --count_;
  }
  // Removes and returns the front element (requires !empty()).
  T take_front() {
    T value = std::move(slots_[head_]);
    pop_front();
    return value;
  }
  // Makes room for at least `count` elements without growing again (may raise std::bad_alloc;
  // the queue is then unchanged).
  void reserve(size_t count) {
    while (slots_.size() < count) Grow();
  }
  // Empties the queue, keeping its slots.
  void clear() {
    while (count_ > 0) pop_front();
    head_ = 0;
  }
  // Empties the queue and gives its slots back.
  void release() {
    std::vector<T>().swap(slots_);
    head_ = 0;
    count_ = 0;
  }
  void swap(TRingQueue& other) noexcept {
    slots_.swap(other.slots_);
    std::swap(head_, other.head_);
    std::swap(count_, other.count_);
  }

  const_iterator begin() const { return const_iterator(this, 0); }
  const_iterator end() const { return const_iterator(this, count_); }

 private:
  size_t Slot(size_t index) const { return (head_ + index) % slots_.size(); }

  void Grow() {
    // Unrolled into a ring twice the size, the front at slot 0.
    std::vector<T> larger(slots_.empty() ? 8 : slots_.size() * 2);
    for (size_t i = 0; i < count_; ++i) larger[i] = std::move(slots_[Slot(i)]);
    slots_.swap(larger);
    head_ = 0;
  }

  std::vector<T> slots_;
  size_t head_ = 0;
  size_t count_ = 0;
};

}  // namespace tardivox
