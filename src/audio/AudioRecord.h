#pragma once
// The outside recording control: it lists the input devices and, on its current device, the
// input lines (recording sources: microphone, line input…), and selects them.
//
// IAudioRecord is what the window's device and line routines call; a provider implements it
// (TPulseAudioRecord in production, a test provider in the tests). TCAudioRecord is the wrapper
// the window owns: it creates its provider at its first call, not when it is constructed.
//
// Indexes are 0-based. Names are UTF-8. After SelectDevice the line operations describe that
// device; before any SelectDevice they describe the provider's initial device (the sound
// server's default input for the PulseAudio provider).
//
// Failure: every operation raises EAudioRecordError (an Exception, so the controller's guarded
// calls swallow it) with a message saying what went wrong: an index outside 0 … count − 1, a
// device that vanished, a sound server that cannot be reached. A failing call changes nothing.
//
// Threads: one thread at a time (the window's thread); none of these classes is thread-safe.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/Exceptions.h"

namespace tardivox {

class EAudioRecordError : public Exception {
 public:
  using Exception::Exception;
};

class IAudioRecord {
 public:
  virtual ~IAudioRecord() = default;

  virtual int32_t GetDeviceCount() = 0;
  virtual std::string GetDeviceName(int32_t index) = 0;
  virtual void SelectDevice(int32_t index) = 0;
  virtual int32_t GetLineCount() = 0;
  virtual void SelectLine(int32_t index) = 0;
  virtual std::string GetLineName(int32_t index) = 0;
};

// Raises EAudioRecordError "<what> : index <index> hors limites (de 0 à <count − 1>)" unless
// 0 <= index < count. `what` names the list, e.g. "Périphérique d'entrée".
void CheckAudioRecordIndex(int32_t index, int32_t count, const char* what);

// The wrapper the window owns. Non-copyable.
// Connection: the first call of any operation creates the provider (for the default provider:
// connects to the sound server); an error there is raised from that call, and the next call
// tries again. Once created, the provider lives as long as the wrapper; every call is passed
// to it unchanged.
class TCAudioRecord final : public IAudioRecord {
 public:
  using TProviderFactory = std::function<std::unique_ptr<IAudioRecord>()>;

  // Uses the PulseAudio provider.
  TCAudioRecord();
  // Uses whatever the factory returns; a factory returning nullptr counts as a failed connection.
  explicit TCAudioRecord(TProviderFactory factory);
  TCAudioRecord(const TCAudioRecord&) = delete;
  TCAudioRecord& operator=(const TCAudioRecord&) = delete;
  ~TCAudioRecord() override;

  // True once a call has created the provider.
  bool Connected() const { return provider_ != nullptr; }

  int32_t GetDeviceCount() override;
  std::string GetDeviceName(int32_t index) override;
  void SelectDevice(int32_t index) override;
  int32_t GetLineCount() override;
  void SelectLine(int32_t index) override;
  std::string GetLineName(int32_t index) override;

 private:
  IAudioRecord& Provider();

  TProviderFactory factory_;
  std::unique_ptr<IAudioRecord> provider_;
};

}  // namespace tardivox
