#pragma once
// The device state a capture or playback component shares with its wave thread: whether the
// device is open and exchanging buffers (Active), whether this component drives the stream's
// timing (Pumped), and the buffers at the device.
//
// Threads: the getters and setters do not lock; a caller takes the state lock (Lock/Unlock or
// TALAudioParamsLock) around every sequence that reads and then changes the state, and always
// around the buffer list. The lock is re-entrant. Release it before calls that wait for the
// wave service (reset, close, pause), whose callback may be waiting for it.
// Rank: device state (after the group locks, before the wave thread's queue lock and the wave
// service's locks) — see docs/ARCHITECTURE.md.
// Ownership: reference counted; the component and its records share it.

#include <atomic>
#include <mutex>

#include "audio/WaveBuffer.h"
#include "core/Guid.h"
#include "core/RefCounted.h"

namespace tardivox {

class IALAudioParams : public virtual TRefCounted {
 public:
  static constexpr Guid kIid{
      0xEDF390D0, 0x01DA, 0x47DE, {0xBE, 0x7D, 0x8E, 0xCE, 0xB4, 0x97, 0xAE, 0x7D}};

  virtual bool GetActive() const = 0;
  virtual void SetActive(bool value) = 0;
  virtual bool GetPumped() const = 0;
  virtual void SetPumped(bool value) = 0;
  virtual TALWaveBufferList& Buffers() = 0;
  virtual void Lock() = 0;
  virtual void Unlock() = 0;
};

class TALAudioParams final : public IALAudioParams {
 public:
  bool GetActive() const override { return active_.load(); }
  void SetActive(bool value) override { active_.store(value); }
  bool GetPumped() const override { return pumped_.load(); }
  void SetPumped(bool value) override { pumped_.store(value); }
  TALWaveBufferList& Buffers() override { return buffers_; }
  void Lock() override { lock_.lock(); }
  void Unlock() override { lock_.unlock(); }

 private:
  // Atomic so that a lone read outside the lock is not a data race; sequences still need it.
  std::atomic<bool> active_{false};
  std::atomic<bool> pumped_{false};
  TALWaveBufferList buffers_;  // guarded by lock_
  std::recursive_mutex lock_;
};

// Holds a device state's lock for a scope (Unlock releases it early).
class TALAudioParamsLock {
 public:
  explicit TALAudioParamsLock(IALAudioParams& params) : params_(params) { params_.Lock(); }
  TALAudioParamsLock(const TALAudioParamsLock&) = delete;
  TALAudioParamsLock& operator=(const TALAudioParamsLock&) = delete;
  ~TALAudioParamsLock() {
    if (locked_) params_.Unlock();
  }
  void Unlock() {
    if (locked_) params_.Unlock();
    locked_ = false;
  }
  void Relock() {
    if (!locked_) params_.Lock();
    locked_ = true;
  }

 private:
  IALAudioParams& params_;
  bool locked_ = true;
};

}  // namespace tardivox
