// Timing of the PulseAudio wave service: how regularly filled capture buffers (960) and played
// output buffers (957) come back, against the buffer duration, and what buffering the server
// granted. The capture records the monitor of the sink the playback feeds, so both run on one
// clock. The playback is fed as the playback component feeds it: one new buffer for each one
// done, two at the device.
//
// A measurement of a live server rather than a micro-benchmark, hence a plain program. Run it
// against a private server only:
//   scripts/pulse-test-server.sh start /tmp/tardivox-bench
//   PULSE_SERVER=unix:/tmp/tardivox-bench/native build/release/bench/audio_timing_bench [seconds]
//   scripts/pulse-test-server.sh stop /tmp/tardivox-bench
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/PulseWaveService.h"

namespace {

using namespace tardivox;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kRate = 44100;
const WaveFormat kFormat = WaveFormat::Pcm(2, 16, kRate, 3);

// One direction: its buffers, the arrival times of its buffer messages, and the re-queueing
// that keeps it going.
struct TDirection {
  TALPulseWaveService* service = nullptr;
  bool input = false;
  TWaveHandle handle = kNoWaveHandle;
  std::vector<std::vector<uint8_t>> memory;
  std::vector<std::unique_ptr<TWaveHeader>> headers;
  std::mutex mutex;
  std::vector<Clock::time_point> times;
  bool running = true;

  void Queue(TWaveHeader* header) {
    if (input)
      service->waveInAddBuffer(handle, header);
    else
      service->waveOutWrite(handle, header);
  }

  static void Callback(TWaveHandle, uint32_t message, uintptr_t instance, uintptr_t param1,
                       uintptr_t) {
    auto* self = reinterpret_cast<TDirection*>(instance);
    if (message != kWimData && message != kWomDone) return;
    bool again;
    {
      // Buffers returned by the final reset are not part of the stream's timing.
      std::lock_guard lock(self->mutex);
      again = self->running;
      if (again) self->times.push_back(Clock::now());
    }
    if (again) self->Queue(reinterpret_cast<TWaveHeader*>(param1));
  }
};

struct TStats {
  double medianMs = 0;
  double p99Ms = 0;
  double maxMs = 0;
  size_t count = 0;
};

TStats Spacing(std::vector<Clock::time_point> times, Clock::time_point from) {
  std::vector<double> gaps;
  for (size_t i = 1; i < times.size(); ++i)
    if (times[i - 1] >= from)
      gaps.push_back(std::chrono::duration<double, std::milli>(times[i] - times[i - 1]).count());
  TStats stats;
  if (gaps.empty()) return stats;
  std::sort(gaps.begin(), gaps.end());
  stats.count = gaps.size();
  stats.medianMs = gaps[gaps.size() / 2];
  stats.p99Ms = gaps[std::min(gaps.size() - 1, gaps.size() * 99 / 100)];
  stats.maxMs = gaps.back();
  return stats;
}

uint32_t FindDevice(TALPulseWaveService& service, bool input, const std::string& name) {
  const uint32_t count = input ? service.waveInGetNumDevs() : service.waveOutGetNumDevs();
  for (uint32_t i = 0; i < count; ++i) {
    TWaveDevCaps caps;
    const TWaveResult r =
        input ? service.waveInGetDevCapsA(i, caps) : service.waveOutGetDevCapsA(i, caps);
    if (r == TWaveResult::NoError && caps.name == name) return i;
  }
  return kWaveMapper;
}

void PrintAttr(const char* what, TALPulseWaveService& service, TWaveHandle handle,
               uint32_t bufferBytes) {
  TALPulseWaveService::TBufferAttr attr;
  if (!service.GrantedBufferAttr(handle, attr)) {
    std::printf("  %s: no buffer attributes known\n", what);
    return;
  }
  const auto ms = [](uint32_t bytes) { return bytes / 4.0 * 1000.0 / kRate; };
  if (std::strcmp(what, "playback") == 0)
    std::printf(
        "  playback granted: tlength %u B (%.2f ms, %.2f buffers), minreq %u B, prebuf %u B\n",
        attr.targetLength, ms(attr.targetLength),
        static_cast<double>(attr.targetLength) / bufferBytes, attr.minRequest, attr.preBuffer);
  else
    std::printf("  capture granted: fragsize %u B (%.2f ms, %.2f buffers)\n", attr.fragmentSize,
                ms(attr.fragmentSize), static_cast<double>(attr.fragmentSize) / bufferBytes);
}

bool Measure(TALPulseWaveService& service, uint32_t frames, double seconds) {
  const uint32_t bufferBytes = frames * kFormat.blockAlign;
  const double bufferMs = frames * 1000.0 / kRate;
  const std::string sinkName = "Tardivox test sink whose name is longer than 32 characters: alpha";
  const uint32_t sink = FindDevice(service, false, sinkName);
  const uint32_t monitor = FindDevice(service, true, "Monitor of " + sinkName);
  if (sink == kWaveMapper || monitor == kWaveMapper)
    std::printf("  (test sink not found: using the default devices)\n");

  TDirection capture, playback;
  capture.service = playback.service = &service;
  capture.input = true;
  const auto setUp = [&](TDirection& d, size_t count) {
    for (size_t i = 0; i < count; ++i) {
      d.memory.emplace_back(bufferBytes);
      auto header = std::make_unique<TWaveHeader>();
      header->data = d.memory.back().data();
      header->bufferLength = bufferBytes;
      d.headers.push_back(std::move(header));
    }
  };
  setUp(capture, 40);
  setUp(playback, 2);
  // A quiet tone, so the monitor carries something.
  for (auto& m : playback.memory)
    for (uint32_t f = 0; f < frames; ++f) {
      const int16_t v = static_cast<int16_t>(((f % 100) - 50) * 20);
      std::memcpy(&m[f * 4], &v, 2);
      std::memcpy(&m[f * 4 + 2], &v, 2);
    }

  if (service.waveOutOpen(&playback.handle, sink, kFormat, &TDirection::Callback,
                          reinterpret_cast<uintptr_t>(&playback), 0) != TWaveResult::NoError ||
      service.waveInOpen(&capture.handle, monitor, kFormat, &TDirection::Callback,
                         reinterpret_cast<uintptr_t>(&capture), 0) != TWaveResult::NoError)
    return false;
  for (auto& h : capture.headers) {
    service.waveInPrepareHeader(capture.handle, h.get());
    capture.Queue(h.get());
  }
  service.waveInStart(capture.handle);
  for (auto& h : playback.headers) {
    service.waveOutPrepareHeader(playback.handle, h.get());
    playback.Queue(h.get());
  }

  // The first second settles the server's latency; then measure.
  const auto from = Clock::now() + std::chrono::seconds(1);
  std::this_thread::sleep_until(from + std::chrono::duration<double>(seconds));
  for (TDirection* d : {&capture, &playback}) {
    std::lock_guard lock(d->mutex);
    d->running = false;
  }
  PrintAttr("playback", service, playback.handle, bufferBytes);
  PrintAttr("capture", service, capture.handle, bufferBytes);
  service.waveInReset(capture.handle);
  service.waveOutReset(playback.handle);
  service.waveInClose(capture.handle);
  service.waveOutClose(playback.handle);

  for (TDirection* d : {&capture, &playback}) {
    const TStats s = Spacing(d->times, from);
    std::printf(
        "  %s %u: %zu intervals, buffer %.3f ms, median %.3f ms (%.2fx), p99 %.3f ms "
        "(%.2fx), max %.3f ms\n",
        d->input ? "capture  960" : "playback 957", frames, s.count, bufferMs, s.medianMs,
        s.medianMs / bufferMs, s.p99Ms, s.p99Ms / bufferMs, s.maxMs);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const char* server = std::getenv("PULSE_SERVER");
  if (!server || std::string(server).rfind("unix:", 0) != 0) {
    std::fprintf(stderr,
                 "Measures against a private server only: start one with\n"
                 "  scripts/pulse-test-server.sh start DIR\n"
                 "and run with PULSE_SERVER=unix:DIR/native.\n");
    return 2;
  }
  const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  TALPulseWaveService& service = TALPulseWaveService::Instance();
  for (uint32_t frames : {512u, 64u}) {
    std::printf("%u frames per buffer (%.0f s):\n", frames, seconds);
    if (!Measure(service, frames, seconds)) {
      std::fprintf(stderr, "cannot open the devices\n");
      return 1;
    }
  }
  return 0;
}
