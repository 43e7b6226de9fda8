#pragma once
// The part of a wave service that does not depend on the sound system: handles, header flags,
// the queue of buffers at each device, reset and close returning every buffer, the open and
// close messages, and the callback thread. A backend (PulseAudio, the virtual test service)
// supplies devices, opens streams and moves data; it returns buffers only through
// CompleteFront, so order and exactly-once hold whatever the backend does.
//
// Threads: the IALWaveService operations may be called from any thread (see WaveService.h).
// Locks: every hook runs with the backend's state lock held (LockState); the base takes it
// around each operation (rank: sound server loop — see docs/ARCHITECTURE.md). Callbacks are
// only queued under it and made later by the dispatcher (rank: dispatch), and no callback runs
// under either.
// Members guarded by the state lock: streams_, nextHandle_, every TStream.

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "audio/WaveDispatcher.h"
#include "audio/WaveService.h"
#include "core/RingQueue.h"

namespace tardivox {

class TALWaveServiceBase : public IALWaveService {
 public:
  TALWaveServiceBase() = default;
  TALWaveServiceBase(const TALWaveServiceBase&) = delete;
  TALWaveServiceBase& operator=(const TALWaveServiceBase&) = delete;
  ~TALWaveServiceBase() override = default;

  TWaveResult waveInOpen(TWaveHandle* handle, uint32_t deviceId, const WaveFormat& format,
                         TWaveCallback callback, uintptr_t instance, uint32_t flags) final;
  TWaveResult waveInPrepareHeader(TWaveHandle handle, TWaveHeader* header) final;
  TWaveResult waveInAddBuffer(TWaveHandle handle, TWaveHeader* header) final;
  TWaveResult waveInStart(TWaveHandle handle) final;
  TWaveResult waveInReset(TWaveHandle handle) final;
  TWaveResult waveInUnprepareHeader(TWaveHandle handle, TWaveHeader* header) final;
  TWaveResult waveInClose(TWaveHandle handle) final;

  TWaveResult waveOutOpen(TWaveHandle* handle, uint32_t deviceId, const WaveFormat& format,
                          TWaveCallback callback, uintptr_t instance, uint32_t flags) final;
  TWaveResult waveOutPrepareHeader(TWaveHandle handle, TWaveHeader* header) final;
  TWaveResult waveOutWrite(TWaveHandle handle, TWaveHeader* header) final;
  TWaveResult waveOutPause(TWaveHandle handle) final;
  TWaveResult waveOutRestart(TWaveHandle handle) final;
  TWaveResult waveOutReset(TWaveHandle handle) final;
  TWaveResult waveOutUnprepareHeader(TWaveHandle handle, TWaveHeader* header) final;
  TWaveResult waveOutClose(TWaveHandle handle) final;
  TWaveResult waveOutGetPosition(TWaveHandle handle, TWavePosition& position) final;

  // Why a format cannot be used, or "" when it can: PCM (plain or extensible with the PCM
  // sub-format), 1 to 32 channels, 8/16/24/32-bit containers, valid bits within the container,
  // block align = channels × container bytes, 1 to 384000 frames per second.
  static std::string CheckFormat(const WaveFormat& format);

 protected:
  struct TStream {
    virtual ~TStream() = default;
    TWaveHandle handle = kNoWaveHandle;
    bool input = false;
    std::string label;  // "input device \"name\"", for messages
    WaveFormat format;
    TWaveCallback callback = nullptr;
    uintptr_t instance = 0;
    TRingQueue<TWaveHeader*> queue;  // buffers at the device, oldest first
    bool started = false;            // input: recording
    bool paused = false;             // output: halted by waveOutPause
  };

  virtual void LockState() = 0;
  virtual void UnlockState() = 0;
  // "input device \"name\"", "the default output device" or "input device number 7".
  virtual std::string DescribeDevice(bool input, uint32_t deviceId) = 0;
  struct TOpenRequest {
    bool input;
    uint32_t deviceId;  // an index or kWaveMapper
    const WaveFormat& format;
    uint32_t flags;  // with kWaveFormatQuery the stream is closed again at once
    uintptr_t instance;
    TWaveHandle handle;  // the handle the stream gets (kept unused after a query or failure)
  };
  // Opens the device with a format CheckFormat accepted. On success returns the backend's
  // stream object (the base fills the common fields); on failure says why.
  virtual TWaveResult OpenDevice(const TOpenRequest& request, std::unique_ptr<TStream>& stream,
                                 std::string& why) = 0;
  // A buffer was appended to stream.queue.
  virtual void OnQueued(TStream& stream, TWaveHeader& header) = 0;
  virtual void OnStart(TStream& stream) = 0;
  virtual void OnPause(TStream& stream) = 0;
  virtual void OnRestart(TStream& stream) = 0;
  // The device must drop its data and forget the queued buffers; the base returns them next.
  virtual void OnReset(TStream& stream) = 0;
  // The stream is about to be destroyed; its queue is empty.
  virtual void OnClose(TStream& stream) = 0;
  // An output's position (see WaveService.h); false while it is not known.
  virtual bool Position(TStream& stream, TWavePosition& position) = 0;

  // With the state lock held: the open stream with this handle, or null.
  TStream* FindStream(TWaveHandle handle);
  // With the state lock held: hands the oldest queued buffer back (flags, then the callback).
  void CompleteFront(TStream& stream);
  // Bytes of the buffer the device uses: whole frames only.
  static uint32_t UsableBytes(const TStream& stream, const TWaveHeader& header);
  // With the state lock held: forgets every stream without callbacks (service shutdown).
  void DropAllStreams();
  TALWaveDispatcher& Dispatcher() { return dispatcher_; }

 private:
  class TStateLock;

  TWaveResult Open(bool input, TWaveHandle* handle, uint32_t deviceId, const WaveFormat& format,
                   TWaveCallback callback, uintptr_t instance, uint32_t flags);
  TWaveResult Prepare(bool input, TWaveHandle handle, TWaveHeader* header);
  TWaveResult Unprepare(bool input, TWaveHandle handle, TWaveHeader* header);
  TWaveResult Queue(bool input, TWaveHandle handle, TWaveHeader* header);
  TWaveResult Reset(bool input, TWaveHandle handle);
  TWaveResult Close(bool input, TWaveHandle handle);
  TStream* Find(bool input, TWaveHandle handle);
  void ReturnAll(TStream& stream);

  std::map<TWaveHandle, std::unique_ptr<TStream>> streams_;
  TWaveHandle nextHandle_ = 1;
  TALWaveDispatcher dispatcher_;
};

}  // namespace tardivox
