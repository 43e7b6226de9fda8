#pragma once
// The waveform-audio service: the only way the capture and playback components reach sound
// devices. Input devices record into buffers the caller queues; output devices play the buffers
// the caller writes. Both report through a callback function.
//
// Guarantees every implementation gives:
// - Device indexes run 0 … count − 1 in the order of the last count query; kWaveMapper opens the
//   system's default device. Names are returned in full (no length limit).
// - Open reports success or failure when it returns. On failure no handle is issued, no
//   callback is made, and one line saying which device and why goes to stderr.
// - The callback runs on a thread of the service, never on the caller's thread and never while
//   the service holds a lock of its own, with (handle, message, instance, param1, param2).
//   Messages of one handle arrive in order: the open message first, then the buffer messages
//   (param1 = the TWaveHeader*), the close message last.
// - Queued buffers come back in the order given, each exactly once, with kWhdrDone set and
//   kWhdrInQueue cleared. For input, bytesRecorded tells how much was filled.
// - waveInReset / waveOutReset / waveOutPause / the closes return only after every callback they
//   caused (and every one queued before them) has been made. After a reset the device holds no
//   buffer; after a pause no output buffer completes until waveOutRestart or a reset.
// - Close returns every buffer still queued (as a reset would), then delivers the close
//   message; after close returns no callback mentions that handle again. The instance value is
//   passed with the close message too: a callback must not touch an instance object that its
//   owner has already destroyed.
// - An output's position (waveOutGetPosition) counts the frames it has played since it was
//   opened or reset, as time passes: it starts with the first restart after open (or with the
//   first buffer when never paused), stops while paused, and keeps running through an
//   underrun, during which the device plays silence. Data written after an underrun plays at
//   the time its place in the stream was due: what missed its time is skipped, so an underrun
//   adds no latency. How much waits at a device is (frames written − position); negative, it
//   is how much of what is written next will be skipped.
// - A device that fails while open (the sound server went away) returns no more buffers until
//   it is reset or closed; reset and close still return every buffer in bounded time.
//
// Threads: every operation may be called from any thread except from inside the callback of the
// same service, where reset, pause and close would wait for the callback that is running (they
// deliver pending callbacks inline instead, see TALWaveDispatcher). Do not call reset, pause or
// close while holding a lock that the callback takes (the wave thread's queue lock): they wait
// for the callback. Locks: the service's state lock (rank: sound server loop) and its dispatch
// lock (rank: dispatch), after every component lock — see docs/ARCHITECTURE.md; the callback is
// entered with none of the service's locks held.
//
// Memory: a queued header and the memory it points at belong to the caller but must stay valid
// and untouched until the buffer comes back through the callback (or reset/close returned).

#include <atomic>
#include <cstdint>
#include <string>

#include "buffers/WaveFormat.h"

namespace tardivox {

using TWaveHandle = uint32_t;
constexpr TWaveHandle kNoWaveHandle = 0;

// Device id that opens the system's default device.
constexpr uint32_t kWaveMapper = 0xFFFFFFFFu;

// Callback messages.
constexpr uint32_t kWomOpen = 955;   // output device opened
constexpr uint32_t kWomClose = 956;  // output device closed
constexpr uint32_t kWomDone = 957;   // output buffer played; param1 = the header
constexpr uint32_t kWimOpen = 958;   // input device opened
constexpr uint32_t kWimClose = 959;  // input device closed
constexpr uint32_t kWimData = 960;   // input buffer filled; param1 = the header

// Open flags. Callbacks are always functions and buffers are always handed over
// asynchronously, so kCallbackFunction, kWaveAllowSync and kWaveMapped change nothing;
// kWaveFormatQuery only checks that the device accepts the format and issues no handle.
constexpr uint32_t kWaveFormatQuery = 0x0001;
constexpr uint32_t kWaveAllowSync = 0x0002;
constexpr uint32_t kWaveMapped = 0x0004;
constexpr uint32_t kCallbackFunction = 0x30000;

// Header flags.
constexpr uint32_t kWhdrDone = 0x01;
constexpr uint32_t kWhdrPrepared = 0x02;
constexpr uint32_t kWhdrInQueue = 0x10;

enum class TWaveResult : uint32_t {
  NoError = 0,
  Error = 1,
  BadDeviceId = 2,
  InvalidHandle = 5,
  NoDriver = 6,  // the sound server cannot be reached
  NoMemory = 7,
  InvalidParam = 11,
  BadFormat = 32,
  StillPlaying = 33,
  Unprepared = 34,
};

// One buffer handed to a device. Non-copyable: the service keeps its address while it is
// queued. `flags` is written by the service while queued, hence atomic; the other fields are
// read by the caller only after the buffer came back.
struct TWaveHeader {
  uint8_t* data = nullptr;
  uint32_t bufferLength = 0;   // bytes at data
  uint32_t bytesRecorded = 0;  // input: bytes filled
  uintptr_t user = 0;          // the caller's value, untouched by the service
  std::atomic<uint32_t> flags{0};
  uint32_t loops = 0;
  TWaveHeader* next = nullptr;  // unused by this service
  uint64_t reserved = 0;        // the service's bookkeeping while queued

  TWaveHeader() = default;
  TWaveHeader(const TWaveHeader&) = delete;
  TWaveHeader& operator=(const TWaveHeader&) = delete;
};

// What a device tells about itself.
struct TWaveDevCaps {
  std::string name;       // the device's full name, stable while the device exists
  uint16_t channels = 0;  // channels of the device's own format (0 when unknown)
};

// An output's position since it was opened or reset.
struct TWavePosition {
  uint64_t playedFrames = 0;  // frames played, the silence of underruns included
  uint64_t underruns = 0;     // times the device ran dry while playing
  // When the server plays in whole cycles of this many frames (> 1), a cycle it misses loses
  // that many; 0 when unknown.
  uint32_t cycleFrames = 0;
};

// What a live chain keeps queued at an output beyond one buffer, unless its service says
// otherwise: enough to cover a PulseAudio server's own delivery jitter.
inline constexpr double kDefaultPlaybackMarginSeconds = 0.020;

using TWaveCallback = void (*)(TWaveHandle device, uint32_t message, uintptr_t instance,
                               uintptr_t param1, uintptr_t param2);

class IALWaveService {
 public:
  virtual ~IALWaveService() = default;

  virtual uint32_t waveInGetNumDevs() = 0;
  virtual TWaveResult waveInGetDevCapsA(uint32_t deviceId, TWaveDevCaps& caps) = 0;
  virtual TWaveResult waveInOpen(TWaveHandle* handle, uint32_t deviceId, const WaveFormat& format,
                                 TWaveCallback callback, uintptr_t instance, uint32_t flags) = 0;
  virtual TWaveResult waveInPrepareHeader(TWaveHandle handle, TWaveHeader* header) = 0;
  virtual TWaveResult waveInAddBuffer(TWaveHandle handle, TWaveHeader* header) = 0;
  virtual TWaveResult waveInStart(TWaveHandle handle) = 0;
  virtual TWaveResult waveInReset(TWaveHandle handle) = 0;
  virtual TWaveResult waveInUnprepareHeader(TWaveHandle handle, TWaveHeader* header) = 0;
  virtual TWaveResult waveInClose(TWaveHandle handle) = 0;

  virtual uint32_t waveOutGetNumDevs() = 0;
  virtual TWaveResult waveOutGetDevCapsA(uint32_t deviceId, TWaveDevCaps& caps) = 0;
  virtual TWaveResult waveOutOpen(TWaveHandle* handle, uint32_t deviceId, const WaveFormat& format,
                                  TWaveCallback callback, uintptr_t instance, uint32_t flags) = 0;
  virtual TWaveResult waveOutPrepareHeader(TWaveHandle handle, TWaveHeader* header) = 0;
  virtual TWaveResult waveOutWrite(TWaveHandle handle, TWaveHeader* header) = 0;
  virtual TWaveResult waveOutPause(TWaveHandle handle) = 0;
  virtual TWaveResult waveOutRestart(TWaveHandle handle) = 0;
  virtual TWaveResult waveOutReset(TWaveHandle handle) = 0;
  virtual TWaveResult waveOutUnprepareHeader(TWaveHandle handle, TWaveHeader* header) = 0;
  virtual TWaveResult waveOutClose(TWaveHandle handle) = 0;
  // Where an output stands (see above), as close to now as the device can tell. NoError,
  // InvalidHandle, or Error while the device cannot tell yet.
  virtual TWaveResult waveOutGetPosition(TWaveHandle handle, TWavePosition& position) = 0;

  // Watching the server. None of these blocks; any thread may call them.
  // A count that grows whenever the set of devices may have changed: a device appeared or
  // left, the server's default devices changed, or the connection was made again. A caller
  // that remembers it knows when to list the devices again.
  virtual uint64_t DeviceChanges() { return 0; }
  // A count that grows whenever an open device failed (its stream was lost) and whenever a
  // device could not be opened because the server did not answer.
  virtual uint64_t DeviceFailures() { return 0; }
  // True when the server answers now. Without a ready connection it starts connecting in the
  // background and answers false until the server has answered.
  virtual bool ServerAvailable() { return true; }
  // The name of the device the server uses for a stream that names no device (where it moves
  // the streams of a device that left); empty when unknown or when the server is away. May ask
  // the server (a bounded wait).
  virtual std::string DefaultDeviceName(bool /*input*/) { return {}; }
  // The margin beyond one buffer that a live chain keeps queued at this service's outputs: what
  // covers the jitter with which the server takes what is written. Any thread, never blocks
  // (the capture thread asks it when a stream starts).
  virtual double PlaybackMarginSeconds() { return kDefaultPlaybackMarginSeconds; }
};

// The service the device components use: the PulseAudio service unless one was installed.
// Install a service (a test's virtual one) before creating the components that should use it
// and keep it alive while they exist; SetCurrentWaveService(nullptr) restores the PulseAudio
// service. Returns the previously installed service (nullptr for the default).
IALWaveService& CurrentWaveService();
IALWaveService* SetCurrentWaveService(IALWaveService* service);

}  // namespace tardivox
