#include "audio/PulseWaveService.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <utility>

#include "audio/PulseFormat.h"
#include "audio/RecentPositions.h"
#include "audio/WaveThread.h"

namespace tardivox {

namespace {

// Bounds of every wait on the server: a hung server must not hang the program (connecting is
// bounded by the connection itself).
constexpr int kStreamTimeoutMs = 5000;
constexpr int kQueryTimeoutMs = 3000;

// The live service, for the static PulseAudio callbacks (it outlives its main loop).
TALPulseWaveService* gService = nullptr;

// Stream callbacks carry the handle, not a pointer: an event that arrives after the stream was
// closed finds no stream instead of freed memory.
void* Cookie(TWaveHandle handle) {
  return reinterpret_cast<void*>(static_cast<uintptr_t>(handle));
}

enum TRebase { kRebaseNone, kRebaseAwaitFlush, kRebaseAwaitTiming };

}  // namespace

struct TALPulseWaveService::TPulseStream : TALWaveServiceBase::TStream {
  pa_stream* stream = nullptr;
  bool ready = false;
  bool failed = false;
  uint32_t bytesPerFrame = 1;
  double bytesPerSecond = 1;
  uint32_t tunedForBytes = 0;  // buffer size the server attributes were asked for
  TBufferAttr granted;
  bool grantedKnown = false;
  pa_time_event* pollTimer = nullptr;
  bool pollArmed = false;
  unsigned pendingFlushes = 0;
  // Playback positions: `baseIndex` is the server's write index where our byte 0 landed;
  // a queued header's `reserved` holds the position of its end.
  TRebase rebase = kRebaseNone;
  unsigned rebaseTries = 0;
  uint64_t baseIndex = 0;
  uint64_t queuedBytes = 0;
  uint64_t writtenBytes = 0;
  bool timingInFlight = false;
  bool timingForRebase = false;
  bool timingAgain = false;
  // Playback on PipeWire: the recent timing answers (see Position).
  TALRecentPositions recent;
  // Capture: data that was on its way before a reset is dropped until the flush is answered.
  bool discarding = false;
  // Playback: corked until there is something to play and the caller does not hold it paused,
  // so that the server's clock (which runs on through an underrun) starts with the data.
  bool corked = true;
  uint64_t underruns = 0;  // underflows the server reported while playing
};

namespace {

// What the server keeps queued for a playback stream, whatever the buffer size; the rest of
// what the caller wrote waits here and is written as the server asks. The server's own latency
// follows this length (about half of it goes to the sink), and the sink reads in bites of about
// that latency: a length that grew with the buffer size would make it read long buffers in
// bites of tens of milliseconds at a time, more than the caller's cushion keeps ahead of it.
// 25 ms left the server's own queue (the part not given to the sink) so short that a main loop
// woken late under load let it run dry for a few frames now and then (10 gaps a minute at a
// load of 9 on two cores); 40 ms had none, for 2.5 ms more latency.
constexpr double kPlaybackQueueSeconds = 0.040;
// The same on PipeWire's PulseAudio service, which grants three quarters of what is asked (30 ms
// for 40, 60 ms for 80) and asks for more from its main thread. With 30 ms granted, three of
// four quiet minutes at 512 frames (PipeWire 0.3.65 on a virtual machine) had 138 to 232
// underruns, though the cushion held the data: the service's part of it ran dry. With 60 ms,
// five of five had none. The cushion's level counts what waits here too, so the latency does
// not change (51.6 ms of extra latency either way).
constexpr double kPipeWirePlaybackQueueSeconds = 0.080;
// The cushion a live chain keeps beyond one buffer on PipeWire's PulseAudio service. That
// service moves what a client wrote into its graph from its own thread, in the graph's
// cycles, and grants a shorter queue than asked (30 ms for 40). At 512 frames and the default
// 20 ms (PipeWire 0.3.65, a graph of 256 frames at 44100 Hz) a quiet minute had 1 to 25
// underruns, and the level they left moved for good: 533 to 645 single frames a minute were
// corrected, so the output was not bit-exact. With 40 ms: no underrun and no correction in
// four minutes.
constexpr double kPipeWirePlaybackMarginSeconds = 0.040;
// A position is extrapolated from the last timing answer for at most this long.
constexpr pa_usec_t kMaxExtrapolationUsec = 50000;

}  // namespace

TALPulseWaveService& TALPulseWaveService::Instance() {
  static TALPulseWaveService service;
  return service;
}

TALPulseWaveService::TALPulseWaveService()
    : connection_(TPulseConnection::Instance()), mainloop_(connection_.Mainloop()) {
  gService = this;
}

TALPulseWaveService::~TALPulseWaveService() {
  // The connection outlives the service: an answer still on its way (a flush, a timing update)
  // reaches a callback after this. Cleared under the loop's lock, which every callback holds,
  // so each one finds either the service or nothing, and then returns.
  TPulseConnection::TLock lock(connection_);
  DropAllStreams();
  gService = nullptr;
}

void TALPulseWaveService::LockState() {
  connection_.Lock();
}
void TALPulseWaveService::UnlockState() {
  connection_.Unlock();
}

template <class Done>
bool TALPulseWaveService::WaitLocked(Done done, int timeoutMs) {
  return connection_.WaitLocked(done, std::chrono::milliseconds(timeoutMs));
}

bool TALPulseWaveService::EnsureContext(std::string& why) {
  int error = PA_OK;
  if (!connection_.EnsureContext(error)) {
    why = std::string("sound server unreachable: ") +
          (error == PA_ERR_TIMEOUT ? "no answer" : pa_strerror(error));
    ForgetStaleDevices();
    return false;
  }
  ForgetStaleDevices();
  unreachableReported_ = false;
  return true;
}

void TALPulseWaveService::ForgetStaleDevices() {
  // Device lists learnt on a context that has since been replaced may name devices of a server
  // that is gone.
  if (devicesGeneration_ == connection_.Generation()) return;
  devicesGeneration_ = connection_.Generation();
  sources_.clear();
  sinks_.clear();
}

struct TALPulseWaveService::TDeviceQuery {
  pa_threaded_mainloop* loop;
  std::vector<TDevice> devices;
  bool done = false;
  bool failed = false;
};

template <class Info>
void TALPulseWaveService::DeviceListed(pa_context*, const Info* info, int eol, void* userdata) {
  auto& query = *static_cast<TDeviceQuery*>(userdata);
  if (eol != 0 || !info) {
    query.failed = eol < 0;
    query.done = true;
    pa_threaded_mainloop_signal(query.loop, 0);
    return;
  }
  const char* name = info->name ? info->name : "";
  const char* description = info->description && *info->description ? info->description : name;
  bool monitor = false;
  if constexpr (std::is_same_v<Info, pa_source_info>) {
    monitor = info->monitor_of_sink != PA_INVALID_INDEX;
  }
  query.devices.push_back({name, description, info->sample_spec.channels, monitor});
}

bool TALPulseWaveService::RefreshDevices(bool input, bool report) {
  std::string why;
  if (!EnsureContext(why)) {
    Devices(input).clear();
    if (report && !unreachableReported_) {
      unreachableReported_ = true;
      std::fprintf(stderr, "tardivox: no audio devices: %s\n", why.c_str());
    }
    return false;
  }
  TDeviceQuery query{mainloop_, {}};
  pa_operation* op =
      input ? pa_context_get_source_info_list(Context(), &DeviceListed<pa_source_info>, &query)
            : pa_context_get_sink_info_list(Context(), &DeviceListed<pa_sink_info>, &query);
  if (!op) {
    Devices(input).clear();
    return false;
  }
  const bool answered = WaitLocked([&] { return query.done; }, kQueryTimeoutMs);
  // The query lives on this stack frame: make sure no late answer reaches it.
  if (!answered) pa_operation_cancel(op);
  pa_operation_unref(op);
  if (!answered || query.failed) {
    Devices(input).clear();
    return false;
  }
  // Real inputs first, monitors of outputs after them, each in the server's order: a sink's
  // monitor is listed before the card's microphone, and the first input device must not be the
  // program's own output played back into it.
  std::stable_partition(query.devices.begin(), query.devices.end(),
                        [](const TDevice& device) { return !device.monitor; });
  Devices(input) = std::move(query.devices);
  return true;
}

bool TALPulseWaveService::ServerAvailable() {
  TPulseConnection::TLock lock(connection_);
  return connection_.StartConnect();
}

std::string TALPulseWaveService::DefaultDeviceName(bool input) {
  TPulseConnection::TLock lock(connection_);
  if (!connection_.Ready()) return {};
  struct TQuery {
    TPulseConnection* connection;
    bool input;
    bool done = false;
    std::string name;
  } query{&connection_, input, false, {}};
  pa_operation* op = pa_context_get_server_info(
      Context(),
      [](pa_context*, const pa_server_info* info, void* userdata) {
        auto& q = *static_cast<TQuery*>(userdata);
        const char* name =
            info ? (q.input ? info->default_source_name : info->default_sink_name) : nullptr;
        q.name = name ? name : "";
        q.done = true;
        q.connection->Signal();
      },
      &query);
  if (!op) return {};
  const bool answered = WaitLocked([&] { return query.done; }, kQueryTimeoutMs);
  // The query lives on this stack frame: make sure no late answer reaches it.
  if (!answered) pa_operation_cancel(op);
  pa_operation_unref(op);
  if (!answered || query.name.empty()) return {};
  RefreshDevices(input, false);
  for (const TDevice& device : Devices(input)) {
    if (device.name == query.name) return device.description;
  }
  return {};
}

double TALPulseWaveService::PlaybackMarginSeconds() {
  return connection_.OnPipeWire() ? kPipeWirePlaybackMarginSeconds : kDefaultPlaybackMarginSeconds;
}

uint32_t TALPulseWaveService::waveInGetNumDevs() {
  TPulseConnection::TLock lock(connection_);
  RefreshDevices(true);
  return static_cast<uint32_t>(sources_.size());
}

uint32_t TALPulseWaveService::waveOutGetNumDevs() {
  TPulseConnection::TLock lock(connection_);
  RefreshDevices(false);
  return static_cast<uint32_t>(sinks_.size());
}

TWaveResult TALPulseWaveService::waveInGetDevCapsA(uint32_t deviceId, TWaveDevCaps& caps) {
  TPulseConnection::TLock lock(connection_);
  if (sources_.empty()) RefreshDevices(true);
  if (deviceId >= sources_.size()) return TWaveResult::BadDeviceId;
  caps.name = sources_[deviceId].description;
  caps.channels = sources_[deviceId].channels;
  return TWaveResult::NoError;
}

TWaveResult TALPulseWaveService::waveOutGetDevCapsA(uint32_t deviceId, TWaveDevCaps& caps) {
  TPulseConnection::TLock lock(connection_);
  if (sinks_.empty()) RefreshDevices(false);
  if (deviceId >= sinks_.size()) return TWaveResult::BadDeviceId;
  caps.name = sinks_[deviceId].description;
  caps.channels = sinks_[deviceId].channels;
  return TWaveResult::NoError;
}

std::string TALPulseWaveService::DescribeDevice(bool input, uint32_t deviceId) {
  const std::string kind = input ? "input" : "output";
  if (deviceId == kWaveMapper) return "the default " + kind + " device";
  std::vector<TDevice>& devices = Devices(input);
  // Quietly: a failing open says why in its own line.
  if (devices.empty()) RefreshDevices(input, false);
  if (deviceId < devices.size()) return kind + " device \"" + devices[deviceId].description + "\"";
  return kind + " device number " + std::to_string(deviceId);
}

bool TALPulseWaveService::GrantedBufferAttr(TWaveHandle handle, TBufferAttr& attr) {
  TPulseConnection::TLock lock(connection_);
  auto* stream = static_cast<TPulseStream*>(FindStream(handle));
  if (!stream || !stream->grantedKnown) return false;
  attr = stream->granted;
  return true;
}

std::string TALPulseWaveService::ServerDeviceName(TWaveHandle handle) {
  TPulseConnection::TLock lock(connection_);
  auto* stream = static_cast<TPulseStream*>(FindStream(handle));
  if (!stream || !stream->ready || stream->failed) return {};
  const char* name = pa_stream_get_device_name(stream->stream);
  return name ? name : "";
}

TALPulseWaveService::TPulseStream* TALPulseWaveService::Lookup(void* cookie, pa_stream* s) {
  auto* stream = static_cast<TPulseStream*>(
      FindStream(static_cast<TWaveHandle>(reinterpret_cast<uintptr_t>(cookie))));
  return stream && stream->stream == s ? stream : nullptr;
}

TWaveResult TALPulseWaveService::OpenDevice(const TOpenRequest& request,
                                            std::unique_ptr<TStream>& result, std::string& why) {
  const pa_sample_spec spec = ToPulseSampleSpec(request.format);
  const pa_channel_map map = ToPulseChannelMap(request.format);
  if (!pa_sample_spec_valid(&spec) || !pa_channel_map_valid(&map) ||
      !pa_channel_map_compatible(&map, &spec)) {
    why = "the sound server does not take this format";
    return TWaveResult::BadFormat;
  }
  if (!EnsureContext(why)) {
    // A device that could not be opened for want of a server counts as lost: it is opened
    // again once the server answers.
    deviceFailures_.fetch_add(1, std::memory_order_release);
    return TWaveResult::NoDriver;
  }

  std::string deviceName;
  if (request.deviceId != kWaveMapper) {
    std::vector<TDevice>& devices = Devices(request.input);
    if (devices.empty()) RefreshDevices(request.input, false);
    if (request.deviceId >= devices.size()) {
      why = "no such device";
      return TWaveResult::BadDeviceId;
    }
    deviceName = devices[request.deviceId].name;
  }

  pa_stream* s = pa_stream_new(Context(), request.input ? "Tardivox capture" : "Tardivox playback",
                               &spec, &map);
  if (!s) {
    why = pa_strerror(pa_context_errno(Context()));
    return TWaveResult::Error;
  }
  auto stream = std::make_unique<TPulseStream>();
  stream->stream = s;
  stream->handle = request.handle;
  stream->input = request.input;
  stream->bytesPerFrame = request.format.blockAlign;
  stream->bytesPerSecond =
      static_cast<double>(request.format.blockAlign) * request.format.samplesPerSec;
  void* cookie = Cookie(request.handle);
  pa_stream_set_state_callback(s, &StreamStateChanged, cookie);
  pa_stream_set_buffer_attr_callback(s, &StreamAttrChanged, cookie);

  // Until the first buffer tells its size, ask for about 10 ms at a time.
  const uint32_t provisionalBytes =
      std::max<uint32_t>(1, request.format.samplesPerSec / 100) * request.format.blockAlign;
  pa_buffer_attr attr;
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.tlength = static_cast<uint32_t>(-1);
  attr.prebuf = static_cast<uint32_t>(-1);
  attr.minreq = static_cast<uint32_t>(-1);
  attr.fragsize = static_cast<uint32_t>(-1);
  const char* device = deviceName.empty() ? nullptr : deviceName.c_str();
  int connected;
  // Latency follows the buffer attributes, so the server (and an idle null sink) runs with the
  // small buffering we ask for instead of its default of seconds.
  const auto flags =
      static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED);
  if (request.input) {
    pa_stream_set_read_callback(s, &StreamReadable, cookie);
    attr.fragsize = provisionalBytes;
    connected = pa_stream_connect_record(s, device, &attr, flags);
  } else {
    pa_stream_set_write_callback(s, &StreamWriteRequested, cookie);
    pa_stream_set_underflow_callback(s, &StreamUnderflow, cookie);
    attr.tlength = PlaybackTargetBytes(*stream);
    // No pre-buffering: the server never waits for a new pre-buffer after running dry (which
    // would add that wait to the latency for good); it plays silence, its read position runs
    // on, and what comes late is skipped. The stream is started by uncorking it.
    attr.prebuf = 0;
    connected = pa_stream_connect_playback(s, device, &attr, flags, nullptr, nullptr);
  }
  bool ready = false;
  if (connected == 0) {
    ready =
        WaitLocked([&] { return pa_stream_get_state(s) != PA_STREAM_CREATING; }, kStreamTimeoutMs);
    ready = ready && pa_stream_get_state(s) == PA_STREAM_READY;
  }
  if (!ready) {
    // A failed stream has left its context: the connection's error tells why.
    const int error = Context() ? pa_context_errno(Context()) : PA_ERR_CONNECTIONTERMINATED;
    why = connected == 0 && pa_stream_get_state(s) == PA_STREAM_CREATING
              ? "no answer from the sound server"
              : pa_strerror(error);
    stream->stream = s;
    OnClose(*stream);
    return error == PA_ERR_NOENTITY ? TWaveResult::BadDeviceId : TWaveResult::Error;
  }
  stream->ready = true;
  ReadGrantedAttr(*stream);
  if (!request.input) {
    // Learn where the server will put our first byte before writing any.
    stream->rebase = kRebaseAwaitTiming;
    stream->recent.Clear();
    RequestTiming(*stream);
  }
  result = std::move(stream);
  return TWaveResult::NoError;
}

void TALPulseWaveService::ReadGrantedAttr(TPulseStream& stream) {
  const pa_buffer_attr* attr = pa_stream_get_buffer_attr(stream.stream);
  if (!attr) return;
  stream.granted = {attr->maxlength, attr->tlength, attr->prebuf, attr->minreq, attr->fragsize};
  stream.grantedKnown = true;
}

void TALPulseWaveService::Tune(TPulseStream& stream, uint32_t bufferBytes) {
  if (bufferBytes <= stream.tunedForBytes || !stream.ready || stream.failed) return;
  stream.tunedForBytes = bufferBytes;
  pa_buffer_attr attr;
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.minreq = static_cast<uint32_t>(-1);
  attr.fragsize = static_cast<uint32_t>(-1);
  attr.tlength = static_cast<uint32_t>(-1);
  attr.prebuf = static_cast<uint32_t>(-1);
  if (stream.input) {
    attr.fragsize = bufferBytes;
  } else {
    attr.tlength = PlaybackTargetBytes(stream);
    attr.prebuf = 0;
  }
  if (pa_operation* op =
          pa_stream_set_buffer_attr(stream.stream, &attr, &AttrSet, Cookie(stream.handle)))
    pa_operation_unref(op);
}

uint32_t TALPulseWaveService::PlaybackTargetBytes(const TPulseStream& stream) const {
  const double seconds =
      connection_.OnPipeWire() ? kPipeWirePlaybackQueueSeconds : kPlaybackQueueSeconds;
  const auto bytes = static_cast<uint32_t>(stream.bytesPerSecond * seconds);
  return std::max(stream.bytesPerFrame, bytes - bytes % stream.bytesPerFrame);
}

void TALPulseWaveService::Cork(TPulseStream& stream, bool cork) {
  if (!stream.ready || stream.failed || stream.corked == cork) return;
  if (pa_operation* op = pa_stream_cork(stream.stream, cork ? 1 : 0, nullptr, nullptr)) {
    pa_operation_unref(op);
    stream.corked = cork;
  }
}

void TALPulseWaveService::UncorkIfDue(TPulseStream& stream) {
  if (!stream.input && !stream.paused && stream.rebase == kRebaseNone && stream.writtenBytes > 0)
    Cork(stream, false);
}

bool TALPulseWaveService::Position(TStream& base, TWavePosition& position) {
  auto& stream = static_cast<TPulseStream&>(base);
  if (stream.input || !stream.ready || stream.failed || stream.rebase != kRebaseNone) return false;
  const pa_timing_info* timing = pa_stream_get_timing_info(stream.stream);
  if (!timing || timing->read_index_corrupt) return false;
  int64_t index = timing->read_index;
  // The server reads on between two answers: extrapolate while it plays, but not past what it
  // holds (only an answer tells that it ran dry; its read index then runs on, and what comes
  // late is skipped).
  if (timing->playing && !stream.corked) {
    timeval now;
    const pa_usec_t nowUsec = pa_timeval_load(pa_gettimeofday(&now));
    const pa_usec_t atUsec = pa_timeval_load(&timing->timestamp);
    const pa_usec_t age = std::min(nowUsec > atUsec ? nowUsec - atUsec : 0, kMaxExtrapolationUsec);
    int64_t ahead =
        index + static_cast<int64_t>(static_cast<double>(age) * stream.bytesPerSecond / 1e6);
    // On PipeWire the recent answers are kept: the one given nearest its graph cycle tells
    // where the server is (its answers carry the read index of their cycle, and which answers
    // come when in a cycle changes after the graph misses one: the level a single answer
    // shows then moves by a hundred frames and more at 256 frames a cycle).
    ahead = stream.recent.Furthest(nowUsec, stream.bytesPerSecond, stream.bytesPerFrame,
                                   kMaxExtrapolationUsec, ahead);
    const int64_t held = static_cast<int64_t>(stream.baseIndex + stream.writtenBytes);
    index = std::max(index, std::min(ahead, held));
  }
  const int64_t played = index - static_cast<int64_t>(stream.baseIndex);
  position.playedFrames = played > 0 ? static_cast<uint64_t>(played) / stream.bytesPerFrame : 0;
  position.underruns = stream.underruns;
  position.cycleFrames = stream.recent.CycleFrames(stream.bytesPerFrame);
  return true;
}

void TALPulseWaveService::OnQueued(TStream& base, TWaveHeader& header) {
  auto& stream = static_cast<TPulseStream&>(base);
  const uint32_t usable = UsableBytes(stream, header);
  Tune(stream, usable);
  if (stream.input) return;
  stream.queuedBytes += usable;
  header.reserved = stream.queuedBytes;
  Pump(stream);
  UncorkIfDue(stream);
  // A buffer of no whole frame is done as soon as the ones before it are.
  if (usable == 0) RequestTiming(stream);
  UpdatePoll(stream);
}

void TALPulseWaveService::Pump(TPulseStream& stream) {
  if (stream.input || !stream.ready || stream.failed || stream.rebase != kRebaseNone) return;
  size_t room = pa_stream_writable_size(stream.stream);
  if (room == static_cast<size_t>(-1)) return;
  room -= room % stream.bytesPerFrame;
  for (TWaveHeader* header : stream.queue) {
    if (room == 0) break;
    const uint64_t end = header->reserved;
    if (end <= stream.writtenBytes) continue;
    const uint32_t usable = UsableBytes(stream, *header);
    const uint64_t offset = stream.writtenBytes - (end - usable);
    const size_t bytes = std::min<uint64_t>(room, usable - offset);
    // Without a free function the library copies the data, so the caller's buffer is only
    // read here, under the lock.
    if (pa_stream_write(stream.stream, header->data + offset, bytes, nullptr, 0, PA_SEEK_RELATIVE) <
        0)
      break;
    stream.writtenBytes += bytes;
    room -= bytes;
  }
}

void TALPulseWaveService::RequestTiming(TPulseStream& stream) {
  if (stream.input || !stream.ready || stream.failed) return;
  if (stream.timingInFlight) {
    stream.timingAgain = true;
    return;
  }
  pa_operation* op =
      pa_stream_update_timing_info(stream.stream, &TimingUpdated, Cookie(stream.handle));
  if (!op) return;
  pa_operation_unref(op);
  stream.timingInFlight = true;
  stream.timingForRebase = stream.rebase == kRebaseAwaitTiming;
}

void TALPulseWaveService::TimingUpdated(pa_stream* s, int success, void* cookie) {
  if (!gService) return;
  TPulseStream* stream = gService->Lookup(cookie, s);
  if (!stream) return;
  stream->timingInFlight = false;
  const pa_timing_info* timing = success ? pa_stream_get_timing_info(s) : nullptr;
  bool again = stream->timingAgain;
  stream->timingAgain = false;
  if (stream->rebase == kRebaseAwaitTiming) {
    // Only an answer asked for after the flush tells where the next byte will land.
    if (stream->timingForRebase && timing &&
        (!timing->write_index_corrupt || ++stream->rebaseTries > 20)) {
      stream->baseIndex = static_cast<uint64_t>(timing->write_index_corrupt ? timing->read_index
                                                                            : timing->write_index);
      stream->rebase = kRebaseNone;
      stream->rebaseTries = 0;
      gService->Pump(*stream);
      gService->UncorkIfDue(*stream);
    } else {
      again = true;
    }
  } else if (stream->rebase == kRebaseNone && timing && !timing->read_index_corrupt) {
    if (gService->connection_.OnPipeWire())
      stream->recent.Add(pa_timeval_load(&timing->timestamp), timing->read_index);
    gService->CompletePlayed(*stream,
                             static_cast<uint64_t>(std::max<int64_t>(0, timing->read_index)));
  }
  if (again) gService->RequestTiming(*stream);
  gService->UpdatePoll(*stream);
}

void TALPulseWaveService::CompletePlayed(TPulseStream& stream, uint64_t readIndex) {
  // Held back while paused: the caller was promised no completion until restart or reset.
  if (stream.paused || readIndex < stream.baseIndex) return;
  const uint64_t played = readIndex - stream.baseIndex;
  while (!stream.queue.empty()) {
    const uint64_t end = stream.queue.front()->reserved;
    if (end > stream.writtenBytes || end > played) break;
    CompleteFront(stream);
  }
}

void TALPulseWaveService::UpdatePoll(TPulseStream& stream) {
  // Write requests and underflows drive completion; the timer covers an end of stream where
  // neither comes (the last buffer only partly read, no more data written).
  const bool wanted = !stream.input && stream.ready && !stream.failed && !stream.paused &&
                      stream.rebase == kRebaseNone && !stream.queue.empty();
  if (wanted == stream.pollArmed) return;
  // The main loop's own timer functions: a failed stream no longer has a context.
  pa_mainloop_api* api = pa_threaded_mainloop_get_api(mainloop_);
  if (!wanted) {
    if (stream.pollTimer) api->time_restart(stream.pollTimer, nullptr);
    stream.pollArmed = false;
    return;
  }
  const double bufferSeconds =
      (stream.tunedForBytes ? stream.tunedForBytes : stream.bytesPerSecond / 100) /
      stream.bytesPerSecond;
  const pa_usec_t interval =
      std::clamp<pa_usec_t>(static_cast<pa_usec_t>(bufferSeconds * 0.5e6), 2000, 20000);
  timeval when;
  pa_gettimeofday(&when);
  pa_timeval_add(&when, interval);
  if (stream.pollTimer)
    api->time_restart(stream.pollTimer, &when);
  else
    stream.pollTimer = api->time_new(api, &when, &PollFired, Cookie(stream.handle));
  stream.pollArmed = stream.pollTimer != nullptr;
}

void TALPulseWaveService::PollFired(pa_mainloop_api*, pa_time_event*, const struct timeval*,
                                    void* cookie) {
  if (!gService) return;
  auto* stream = static_cast<TPulseStream*>(
      gService->FindStream(static_cast<TWaveHandle>(reinterpret_cast<uintptr_t>(cookie))));
  if (!stream) return;
  stream->pollArmed = false;
  gService->RequestTiming(*stream);
  gService->UpdatePoll(*stream);
}

void TALPulseWaveService::StreamWriteRequested(pa_stream* s, size_t, void* cookie) {
  if (!gService) return;
  TPulseStream* stream = gService->Lookup(cookie, s);
  if (!stream) return;
  gService->Pump(*stream);
  // The first data after an open or a reset may only be written now (the server grants room
  // by its requests): it starts the stream.
  gService->UncorkIfDue(*stream);
  // The server asks because it read: buffers may have finished.
  gService->RequestTiming(*stream);
}

void TALPulseWaveService::StreamUnderflow(pa_stream* s, void* cookie) {
  if (!gService) return;
  // Everything written has been read.
  if (TPulseStream* stream = gService->Lookup(cookie, s)) {
    if (!stream->corked) ++stream->underruns;
    gService->RequestTiming(*stream);
  }
}

void TALPulseWaveService::StreamReadable(pa_stream* s, size_t, void* cookie) {
  if (!gService) return;
  if (TPulseStream* stream = gService->Lookup(cookie, s)) gService->ReadInput(*stream);
}

void TALPulseWaveService::ReadInput(TPulseStream& stream) {
  const uint8_t silence = stream.format.bitsPerSample == 8 ? 0x80 : 0x00;
  for (;;) {
    const void* data = nullptr;
    size_t bytes = 0;
    if (pa_stream_peek(stream.stream, &data, &bytes) < 0 || bytes == 0) break;
    if (stream.started && !stream.discarding) {
      const auto* source = static_cast<const uint8_t*>(data);
      size_t left = bytes;
      while (left > 0 && !stream.queue.empty()) {
        TWaveHeader& header = *stream.queue.front();
        const uint32_t usable = UsableBytes(stream, header);
        const size_t take = std::min<size_t>(left, usable - header.bytesRecorded);
        if (source) {
          std::memcpy(header.data + header.bytesRecorded, source, take);
          source += take;
        } else {
          std::memset(header.data + header.bytesRecorded, silence, take);  // a gap
        }
        header.bytesRecorded += static_cast<uint32_t>(take);
        left -= take;
        if (header.bytesRecorded == usable) CompleteFront(stream);
      }
      // With no buffer queued the data is lost, as on any recording device.
    }
    pa_stream_drop(stream.stream);
  }
}

void TALPulseWaveService::StreamAttrChanged(pa_stream* s, void* cookie) {
  if (!gService) return;
  if (TPulseStream* stream = gService->Lookup(cookie, s)) gService->ReadGrantedAttr(*stream);
}

void TALPulseWaveService::AttrSet(pa_stream* s, int, void* cookie) {
  if (!gService) return;
  if (TPulseStream* stream = gService->Lookup(cookie, s)) {
    gService->ReadGrantedAttr(*stream);
    gService->UpdatePoll(*stream);
  }
}

void TALPulseWaveService::StreamStateChanged(pa_stream* s, void* cookie) {
  if (!gService) return;
  // The main loop thread moves every byte of the streams: it gets the wave threads'
  // scheduling with its first stream. Connecting or disconnecting a stream runs this at once
  // on the caller's thread (the window's, say), which must keep its own scheduling: raised, its
  // painting would hold up every ordinary process, a PipeWire server's protocol thread among
  // them.
  static thread_local bool raised = false;
  if (pa_threaded_mainloop_in_thread(gService->mainloop_) && !std::exchange(raised, true))
    RaiseThreadPriority();
  // An open waits for this signal before the stream is known by its handle.
  pa_threaded_mainloop_signal(gService->mainloop_, 0);
  TPulseStream* stream = gService->Lookup(cookie, s);
  if (!stream || stream->failed || PA_STREAM_IS_GOOD(pa_stream_get_state(s))) return;
  stream->failed = true;
  gService->deviceFailures_.fetch_add(1, std::memory_order_release);
  gService->UpdatePoll(*stream);
  // A failed stream has left its context: the reason is the connection's.
  pa_context* context = gService->Context();
  std::fprintf(stderr, "tardivox: lost %s: %s\n", stream->label.c_str(),
               context ? pa_strerror(pa_context_errno(context)) : "connection lost");
}

void TALPulseWaveService::Flushed(pa_stream* s, int, void* cookie) {
  if (!gService) return;
  TPulseStream* stream = gService->Lookup(cookie, s);
  if (!stream || stream->pendingFlushes == 0 || --stream->pendingFlushes > 0) return;
  if (stream->input) {
    stream->discarding = false;
  } else if (stream->rebase == kRebaseAwaitFlush) {
    stream->rebase = kRebaseAwaitTiming;
    stream->recent.Clear();
    gService->RequestTiming(*stream);
  }
}

void TALPulseWaveService::OnStart(TStream& base) {
  Cork(static_cast<TPulseStream&>(base), false);
}

void TALPulseWaveService::OnPause(TStream& base) {
  auto& stream = static_cast<TPulseStream&>(base);
  UpdatePoll(stream);
  Cork(stream, true);
}

void TALPulseWaveService::OnRestart(TStream& base) {
  auto& stream = static_cast<TPulseStream&>(base);
  if (!stream.ready || stream.failed) return;
  Pump(stream);
  UncorkIfDue(stream);
  // Buffers that finished while paused were held back; report them now.
  RequestTiming(stream);
  UpdatePoll(stream);
}

void TALPulseWaveService::OnReset(TStream& base) {
  auto& stream = static_cast<TPulseStream&>(base);
  if (stream.input) {
    if (stream.ready && !stream.failed) {
      Cork(stream, true);
      if (pa_operation* op = pa_stream_flush(stream.stream, &Flushed, Cookie(stream.handle))) {
        pa_operation_unref(op);
        ++stream.pendingFlushes;
        stream.discarding = true;
      }
    }
    return;
  }
  // Positions restart at 0 for the next buffer; where that lands on the server is learnt from
  // the server once the flush is done, and nothing is written before.
  stream.queuedBytes = 0;
  stream.writtenBytes = 0;
  // The next data starts the clock afresh.
  Cork(stream, true);
  if (stream.ready && !stream.failed) {
    if (pa_operation* op = pa_stream_flush(stream.stream, &Flushed, Cookie(stream.handle))) {
      pa_operation_unref(op);
      ++stream.pendingFlushes;
      stream.rebase = kRebaseAwaitFlush;
    }
  }
  UpdatePoll(stream);
}

void TALPulseWaveService::OnClose(TStream& base) {
  auto& stream = static_cast<TPulseStream&>(base);
  if (!stream.stream) return;
  if (stream.pollTimer) {
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(mainloop_);
    api->time_free(stream.pollTimer);
    stream.pollTimer = nullptr;
  }
  pa_stream_set_state_callback(stream.stream, nullptr, nullptr);
  pa_stream_set_read_callback(stream.stream, nullptr, nullptr);
  pa_stream_set_write_callback(stream.stream, nullptr, nullptr);
  pa_stream_set_underflow_callback(stream.stream, nullptr, nullptr);
  pa_stream_set_buffer_attr_callback(stream.stream, nullptr, nullptr);
  if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream.stream))) pa_stream_disconnect(stream.stream);
  pa_stream_unref(stream.stream);
  stream.stream = nullptr;
}

}  // namespace tardivox
