#pragma once
// Records what a wave service reports through its callback, for tests: open the device with
// TWaveEventRecorder::Callback and the recorder's Instance(). Thread-safe; waits are bounded.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/WaveService.h"

namespace tardivox::testing {

class TWaveEventRecorder {
 public:
  struct TEvent {
    TWaveHandle device;
    uint32_t message;
    TWaveHeader* header;
    std::thread::id thread;
    std::chrono::steady_clock::time_point when;
  };

  static void Callback(TWaveHandle device, uint32_t message, uintptr_t instance, uintptr_t param1,
                       uintptr_t) {
    auto* self = reinterpret_cast<TWaveEventRecorder*>(instance);
    std::lock_guard lock(self->mutex_);
    self->events_.push_back({device, message, reinterpret_cast<TWaveHeader*>(param1),
                             std::this_thread::get_id(), std::chrono::steady_clock::now()});
    self->changed_.notify_all();
  }
  uintptr_t Instance() { return reinterpret_cast<uintptr_t>(this); }

  std::vector<TEvent> Events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  size_t Count(uint32_t message) const {
    std::lock_guard lock(mutex_);
    return CountLocked(message);
  }
  // The headers of the buffer messages of that kind, in the order they came back.
  std::vector<TWaveHeader*> Headers(uint32_t message) const {
    std::lock_guard lock(mutex_);
    std::vector<TWaveHeader*> headers;
    for (const TEvent& e : events_)
      if (e.message == message) headers.push_back(e.header);
    return headers;
  }
  std::vector<std::chrono::steady_clock::time_point> Times(uint32_t message) const {
    std::lock_guard lock(mutex_);
    std::vector<std::chrono::steady_clock::time_point> times;
    for (const TEvent& e : events_)
      if (e.message == message) times.push_back(e.when);
    return times;
  }
  // True once at least count messages of that kind arrived; false after the timeout.
  bool WaitForCount(uint32_t message, size_t count,
                    std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return CountLocked(message) >= count; });
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
  }

 private:
  size_t CountLocked(uint32_t message) const {
    return static_cast<size_t>(std::count_if(
        events_.begin(), events_.end(), [&](const TEvent& e) { return e.message == message; }));
  }

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<TEvent> events_;
};

// Buffers with their headers, kept at stable addresses.
class TWaveBuffers {
 public:
  TWaveBuffers(size_t count, uint32_t bytes) {
    for (size_t i = 0; i < count; ++i) {
      data_.push_back(std::make_unique<std::vector<uint8_t>>(bytes));
      headers_.push_back(std::make_unique<TWaveHeader>());
      headers_.back()->data = data_.back()->data();
      headers_.back()->bufferLength = bytes;
      headers_.back()->user = i;
    }
  }
  size_t Count() const { return headers_.size(); }
  TWaveHeader* Header(size_t i) { return headers_[i].get(); }
  std::vector<uint8_t>& Data(size_t i) { return *data_[i]; }
  std::vector<TWaveHeader*> Headers(size_t from = 0, size_t count = SIZE_MAX) {
    std::vector<TWaveHeader*> list;
    for (size_t i = from; i < headers_.size() && i - from < count; ++i)
      list.push_back(headers_[i].get());
    return list;
  }

 private:
  std::vector<std::unique_ptr<std::vector<uint8_t>>> data_;
  std::vector<std::unique_ptr<TWaveHeader>> headers_;
};

}  // namespace tardivox::testing
