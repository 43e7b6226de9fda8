#pragma once
// An in-process wave service for unit tests of the device components: the test defines the
// devices, decides when each queued buffer completes (and with what data), and inspects what
// the component did. It gives every guarantee of WaveService.h (callbacks on a thread of the
// service, order, exactly once, reset and close returning everything before they return);
// nothing happens by itself, so a test is deterministic. Not used by the program.
//
// Threads: every member may be called from any thread, except from inside its own callbacks
// where the Complete* functions are fine but WaitIdle is not needed (it returns at once).
// One mutex guards all state; callbacks run on the dispatcher thread without it.
// Lifetime: destruction forgets open devices without callbacks but still makes the callbacks
// already caused, so the objects they reach must outlive the service.

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "audio/WaveServiceBase.h"

namespace tardivox {

class TALVirtualWaveService final : public TALWaveServiceBase {
 public:
  struct TOpenRecord {
    TWaveHandle handle;  // kNoWaveHandle for format queries
    bool input;
    uint32_t deviceIndex;  // the device actually opened (the default resolved)
    WaveFormat format;
    uintptr_t instance;
    uint32_t flags;
  };

  TALVirtualWaveService();
  ~TALVirtualWaveService() override;

  // Devices get indexes 0, 1, … in the order they are added.
  uint32_t AddInputDevice(const std::string& name, uint16_t channels = 2);
  uint32_t AddOutputDevice(const std::string& name, uint16_t channels = 2);
  // The device kWaveMapper opens (index 0 until set).
  void SetDefaultDevice(bool input, uint32_t index);
  // Later opens of this device fail with result; TWaveResult::NoError lets them succeed again.
  void SetOpenResult(bool input, uint32_t index, TWaveResult result);
  // The playback margin it answers (the default one until set), as a server of its own kind.
  void SetPlaybackMargin(double seconds) { margin_.store(seconds, std::memory_order_relaxed); }
  double PlaybackMarginSeconds() override { return margin_.load(std::memory_order_relaxed); }

  // Every successful open (and format query), in order.
  std::vector<TOpenRecord> Opens() const;
  // The most recent open of that direction still open, or kNoWaveHandle.
  TWaveHandle CurrentHandle(bool input) const;
  bool IsOpen(TWaveHandle handle) const;
  bool IsStarted(TWaveHandle handle) const;
  bool IsPaused(TWaveHandle handle) const;
  size_t QueuedCount(TWaveHandle handle) const;
  // Effective device operations in order: "open in 1", "queue in 1", "start 1", "pause 2",
  // "restart 2", "reset 1", "close 1" (the number is the handle; open gives the device index).
  std::vector<std::string> CallLog() const;

  // Fills the oldest buffer queued at a started input with up to its size of data (bytes
  // recorded = bytes copied) and returns it. False when the handle is not an open, started
  // input or no buffer is queued.
  bool CompleteInput(TWaveHandle handle, const void* data, size_t bytes);
  // Returns the oldest buffer written to an output that is not paused, keeping a copy of its
  // bytes for PlayedData. False when none is queued, the output is paused or not open.
  bool CompleteOutput(TWaveHandle handle);
  // Plays `frames` of an output that is not paused as a device clock would: from the queued
  // buffers in order, completing each once played; with none queued it plays silence and the
  // position runs on, so that what is written later skips what missed its time (an underrun
  // adds no latency). False when the output is paused or not open.
  bool PlayOutput(TWaveHandle handle, uint64_t frames);
  // Whether played bytes are kept for PlayedData (default true; a long run may turn it off).
  void KeepPlayedData(bool keep);
  // Bytes of every output buffer that completed by CompleteOutput or PlayOutput on that
  // handle, in order, with the silence of underruns (kept after close).
  std::vector<uint8_t> PlayedData(TWaveHandle handle) const;
  // Returns once every callback caused so far has been made.
  void WaitIdle();

  uint32_t waveInGetNumDevs() override;
  TWaveResult waveInGetDevCapsA(uint32_t deviceId, TWaveDevCaps& caps) override;
  uint32_t waveOutGetNumDevs() override;
  TWaveResult waveOutGetDevCapsA(uint32_t deviceId, TWaveDevCaps& caps) override;

 private:
  std::atomic<double> margin_{kDefaultPlaybackMarginSeconds};

  struct TDevice {
    TWaveDevCaps caps;
    TWaveResult openResult = TWaveResult::NoError;
  };
  struct TDirection {
    std::vector<TDevice> devices;
    uint32_t defaultIndex = 0;
  };

  void LockState() override { mutex_.lock(); }
  void UnlockState() override { mutex_.unlock(); }
  std::string DescribeDevice(bool input, uint32_t deviceId) override;
  TWaveResult OpenDevice(const TOpenRequest& request, std::unique_ptr<TStream>& stream,
                         std::string& why) override;
  void OnQueued(TStream& stream, TWaveHeader& header) override;
  void OnStart(TStream& stream) override;
  void OnPause(TStream& stream) override;
  void OnRestart(TStream& stream) override;
  void OnReset(TStream& stream) override;
  void OnClose(TStream& stream) override;
  bool Position(TStream& stream, TWavePosition& position) override;

  struct TOutStream;
  TDirection& Direction(bool input) { return input ? inputs_ : outputs_; }
  void Log(const std::string& entry) { log_.push_back(entry); }
  // The handle's open stream of that direction (mutex_ held), or null.
  TStream* Open(TWaveHandle handle, bool input);

  mutable std::recursive_mutex mutex_;
  TDirection inputs_;
  TDirection outputs_;
  std::vector<TOpenRecord> opens_;
  std::map<TWaveHandle, std::vector<uint8_t>> played_;
  std::vector<std::string> log_;
  bool keepPlayed_ = true;
};

}  // namespace tardivox
