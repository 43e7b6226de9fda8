#pragma once
// The record that ties a device buffer to its owner: the header handed to the wave service and
// the device it went to. The header's user value holds the record's own address, so a header
// that comes back through the callback leads to its record (FromHeader). Each device component
// derives its own record from this one, adding the audio buffer whose memory the header points
// at (and whatever else it needs); the record keeps that memory alive while the device may use
// it.
//
// Ownership: records live in a TALWaveBufferList (the device state's buffer list), which owns
// them; a record must not be destroyed while its header is queued at a device. Not thread-safe
// by itself: the list is guarded by the device state lock.

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "audio/WaveService.h"

namespace tardivox {

class TALWaveBufferBase {
 public:
  explicit TALWaveBufferBase(TWaveHandle device) : device(device) {
    header.user = reinterpret_cast<uintptr_t>(this);
  }
  TALWaveBufferBase(const TALWaveBufferBase&) = delete;
  TALWaveBufferBase& operator=(const TALWaveBufferBase&) = delete;
  virtual ~TALWaveBufferBase() = default;

  // Points the header at the memory the device fills or plays.
  void SetData(uint8_t* data, uint32_t bytes) {
    header.data = data;
    header.bufferLength = bytes;
  }

  // The record a header belongs to (T: the component's own record type), or null.
  template <class T = TALWaveBufferBase>
  static T* FromHeader(const TWaveHeader* header) {
    return header ? static_cast<T*>(reinterpret_cast<TALWaveBufferBase*>(header->user)) : nullptr;
  }

  TWaveHandle device;
  TWaveHeader header;
};

// The buffers currently handed to a device, in the order they were handed over.
class TALWaveBufferList {
 public:
  using TRecords = std::vector<std::unique_ptr<TALWaveBufferBase>>;

  void Add(std::unique_ptr<TALWaveBufferBase> record) { records_.push_back(std::move(record)); }
  // Takes the record out of the list; null when it is not in the list.
  std::unique_ptr<TALWaveBufferBase> Remove(const TALWaveBufferBase* record);
  bool Contains(const TALWaveBufferBase* record) const;
  size_t Count() const { return records_.size(); }
  bool Empty() const { return records_.empty(); }
  // Takes every record out, oldest first.
  TRecords TakeAll() { return std::exchange(records_, {}); }

  TRecords::const_iterator begin() const { return records_.begin(); }
  TRecords::const_iterator end() const { return records_.end(); }

 private:
  TRecords records_;
};

}  // namespace tardivox
