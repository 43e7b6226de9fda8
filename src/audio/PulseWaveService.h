#pragma once
// The wave service on PulseAudio, on the process's one connection to the server
// (TPulseConnection: connected on first use and connected again by a later call after the
// server went away).
//
// Devices: input devices are the server's sources, real inputs first and the monitors of sinks
// after them, each in the server's order; output devices are its sinks, in the server's order;
// all named by their full descriptions; the list is read again at
// each count query. kWaveMapper opens the server's default source or sink.
// Capture: a record stream fills the queued buffers in order (gaps in the stream become
// silence) and returns each when full; the server delivers about one buffer at a time.
// Playback: buffers are written as the server asks for data and each is returned only when the
// server's read position has passed its end; the server keeps 40 ms queued whatever the buffer
// size (GrantedBufferAttr tells what it granted) and never pre-buffers: after running dry it plays
// silence and skips what comes too late. The stream is corked until it has data and while
// paused; reset flushes it, returns every buffer and starts the positions afresh. The position
// is the server's read index, asked for at each write request and extrapolated in between (on
// PipeWire, whose answers carry the index of their graph cycle, from the recent answer given
// nearest its cycle: TALRecentPositions).
// Failures: an open that fails says why on stderr; a stream that fails later (server gone)
// says so once and returns no more buffers until reset or close, which never wait for the
// server. Every wait on the server is bounded (a few seconds).
//
// Threads and locks: the service's state lock is the connection's main loop lock (rank: sound
// server loop — see docs/ARCHITECTURE.md); PulseAudio runs every event of this service with it
// held, and it guards the handle table, the streams and the device lists. The components'
// callback is made by the dispatch thread without it, so the main loop never waits for a
// component. The main loop lock is not re-entered by the service.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <pulse/pulseaudio.h>

#include "audio/PulseConnection.h"
#include "audio/WaveServiceBase.h"

namespace tardivox {

class TALPulseWaveService final : public TALWaveServiceBase {
 public:
  // Buffer sizes in bytes as the server granted them.
  struct TBufferAttr {
    uint32_t maxLength = 0;
    uint32_t targetLength = 0;  // playback: what the server keeps buffered
    uint32_t preBuffer = 0;
    uint32_t minRequest = 0;
    uint32_t fragmentSize = 0;  // capture: how much the server sends at a time
  };

  // The process's service, created on first use (the server is not contacted before a device
  // is counted, described or opened).
  static TALPulseWaveService& Instance();

  // What the server granted an open device, after the adjustment to its buffer size (which
  // happens when the first buffer is queued and takes one round trip). False for an unknown
  // handle or before the server answered.
  bool GrantedBufferAttr(TWaveHandle handle, TBufferAttr& attr);
  // The server's own name of the device an open handle uses ("" when unknown).
  std::string ServerDeviceName(TWaveHandle handle);

  uint64_t DeviceChanges() override { return connection_.DeviceChanges(); }
  uint64_t DeviceFailures() override { return deviceFailures_.load(std::memory_order_acquire); }
  bool ServerAvailable() override;
  std::string DefaultDeviceName(bool input) override;
  // 20 ms on PulseAudio, 40 ms on PipeWire's PulseAudio service.
  double PlaybackMarginSeconds() override;

  uint32_t waveInGetNumDevs() override;
  TWaveResult waveInGetDevCapsA(uint32_t deviceId, TWaveDevCaps& caps) override;
  uint32_t waveOutGetNumDevs() override;
  TWaveResult waveOutGetDevCapsA(uint32_t deviceId, TWaveDevCaps& caps) override;

 private:
  struct TDevice {
    std::string name;
    std::string description;
    uint16_t channels = 0;
    bool monitor = false;  // a source that records what a sink plays
  };
  struct TPulseStream;

  TALPulseWaveService();
  ~TALPulseWaveService() override;

  void LockState() override;
  void UnlockState() override;
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

  // Everything below runs with the main loop lock held.
  template <class Done>
  bool WaitLocked(Done done, int timeoutMs);
  bool EnsureContext(std::string& why);
  pa_context* Context() const { return connection_.Context(); }
  // Clears the device lists when the connection's context changed since they were read.
  void ForgetStaleDevices();
  std::vector<TDevice>& Devices(bool input) { return input ? sources_ : sinks_; }
  // Reads the device list again; `report` says on stderr (once per outage) why it failed.
  bool RefreshDevices(bool input, bool report = true);
  TPulseStream* Lookup(void* cookie, pa_stream* stream);

  void Tune(TPulseStream& stream, uint32_t bufferBytes);
  uint32_t PlaybackTargetBytes(const TPulseStream& stream) const;
  void Cork(TPulseStream& stream, bool cork);
  void UncorkIfDue(TPulseStream& stream);
  void Pump(TPulseStream& stream);
  void RequestTiming(TPulseStream& stream);
  void CompletePlayed(TPulseStream& stream, uint64_t readIndex);
  void UpdatePoll(TPulseStream& stream);
  void ReadInput(TPulseStream& stream);
  void ReadGrantedAttr(TPulseStream& stream);

  struct TDeviceQuery;
  template <class Info>
  static void DeviceListed(pa_context* context, const Info* info, int eol, void* userdata);
  static void StreamStateChanged(pa_stream* stream, void* userdata);
  static void StreamWriteRequested(pa_stream* stream, size_t bytes, void* userdata);
  static void StreamReadable(pa_stream* stream, size_t bytes, void* userdata);
  static void StreamUnderflow(pa_stream* stream, void* userdata);
  static void StreamAttrChanged(pa_stream* stream, void* userdata);
  static void TimingUpdated(pa_stream* stream, int success, void* userdata);
  static void Flushed(pa_stream* stream, int success, void* userdata);
  static void AttrSet(pa_stream* stream, int success, void* userdata);
  static void PollFired(pa_mainloop_api* api, pa_time_event* event, const struct timeval* tv,
                        void* userdata);

  TPulseConnection& connection_;
  pa_threaded_mainloop* const mainloop_;
  // Guarded by the main loop lock.
  bool unreachableReported_ = false;
  uint64_t devicesGeneration_ = 0;
  std::atomic<uint64_t> deviceFailures_{0};
  std::vector<TDevice> sources_;
  std::vector<TDevice> sinks_;
};

}  // namespace tardivox
