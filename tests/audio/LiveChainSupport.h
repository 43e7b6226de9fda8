#pragma once
// Measuring a live chain's delay on the private PulseAudio server of a fixture. The chain's
// input and output both end in one four-channel null sink (input on the front pair, output on
// the rear pair), whose monitor records them sample-aligned:
//   kInSink  (remap sink → recorder front pair)   a test signal is played here
//   kCapSource (remap source ← recorder monitor front pair)   the chain captures this
//   kOutSink (remap sink → recorder rear pair)    the chain plays here
// The total delay is found by cross-correlating the front-left and rear-left channels.
// On PipeWire (pipewire-pulse) the remap modules are loopbacks that buffer and re-time what
// passes, so there the two paths are plain stereo null sinks whose monitor ports are linked
// into the recorder (pw-link), and the chain captures the input sink's monitor; links move
// samples within one graph cycle, so the recording stays sample-aligned.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "audio/PulseTestSupport.h"
#include "audio/WaveEventRecorder.h"

namespace tardivox::testing {

inline constexpr uint32_t kRecorderRate = 44100;
inline constexpr const char* kRecSink = "Tardivox chain recorder";
inline constexpr const char* kInSink = "Tardivox chain input";
inline constexpr const char* kCapSource = "Tardivox chain capture";
inline constexpr const char* kOutSink = "Tardivox chain output";

// The recorder and its paths at one rate: at 44100 Hz the names above; at another rate a second
// set whose sinks all run at that rate, so that nothing on the way is resampled.
struct TChainDevices {
  uint32_t rate = kRecorderRate;
  bool pipewire = false;
  std::string suffix;  // "" at 44100 Hz, else " 11025 Hz" (descriptions), "_11025" (names)
  std::string nameSuffix;
  std::string Rec() const { return kRecSink + suffix; }
  std::string In() const { return kInSink + suffix; }
  std::string Cap() const { return pipewire ? "Monitor of " + In() : kCapSource + suffix; }
  std::string Out() const { return kOutSink + suffix; }
};

// Runs a shell command and returns its output without the trailing newline.
inline std::string Shell(const std::string& command);

// Whether the server of PULSE_SERVER is PipeWire's pipewire-pulse.
inline bool OnPipeWire() {
  static const bool pipewire =
      Shell("pactl info 2>/dev/null").find("PipeWire") != std::string::npos;
  return pipewire;
}

// The cushion the program keeps at an output beyond one buffer on that server: PipeWire's
// PulseAudio service takes what is written with more jitter, and gets 20 ms more.
inline double PlaybackMarginSeconds() {
  return OnPipeWire() ? 0.040 : 0.020;
}

inline TChainDevices ChainDevices(uint32_t rate = kRecorderRate) {
  TChainDevices d;
  d.rate = rate;
  d.pipewire = OnPipeWire();
  if (rate != kRecorderRate) {
    d.suffix = " " + std::to_string(rate) + " Hz";
    d.nameSuffix = "_" + std::to_string(rate);
  }
  return d;
}

inline std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char line[256];
    while (fgets(line, sizeof line, pipe)) out += line;
    pclose(pipe);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

// key='device.description="…"' as one shell word.
inline std::string Properties(const std::string& key, const std::string& description) {
  return "\"" + key + "='device.description=\\\"" + description + "\\\"'\"";
}

// Loads the recorder and its three paths with pactl; the module indices, in load order (an
// empty entry is a module that did not load).
inline std::vector<std::string> LoadChainRecorder(const TChainDevices& d = ChainDevices()) {
  std::vector<std::string> modules;
  const std::string load = "pactl load-module ";
  const std::string rec = "tdx_rec" + d.nameSuffix;
  const std::string rate = " rate=" + std::to_string(d.rate) + " ";
  modules.push_back(Shell(load + "module-null-sink sink_name=" + rec + " format=s16le" + rate +
                          "channels=4 "
                          "channel_map=front-left,front-right,rear-left,rear-right norewinds=1 " +
                          Properties("sink_properties", d.Rec())));
  if (d.pipewire) {
    // The runtime directory holds the server's pulse socket and its pipewire-0.
    const char* server = std::getenv("PULSE_SERVER");
    std::string runtime = server ? server : "";
    if (runtime.rfind("unix:", 0) == 0) runtime = runtime.substr(5);
    runtime = runtime.substr(0, runtime.rfind('/'));
    const std::string stereo =
        " format=s16le" + rate + "channels=2 channel_map=front-left,front-right norewinds=1 ";
    const std::pair<const char*, std::string> paths[] = {{"tdx_in", d.In()}, {"tdx_out", d.Out()}};
    for (const auto& [name, description] : paths)
      modules.push_back(Shell(load + "module-null-sink sink_name=" + name + d.nameSuffix + stereo +
                              Properties("sink_properties", description)));
    const std::pair<const char*, const char*> links[] = {
        {"tdx_in", "FL"}, {"tdx_in", "FR"}, {"tdx_out", "RL"}, {"tdx_out", "RR"}};
    for (size_t i = 0; i < 4; ++i) {
      const std::string from =
          std::string(links[i].first) + d.nameSuffix + ":monitor_" + (i % 2 == 0 ? "FL" : "FR");
      const std::string to = rec + ":playback_" + links[i].second;
      // An empty entry tells the caller that a path is missing.
      if (Shell("XDG_RUNTIME_DIR='" + runtime + "' pw-link '" + from + "' '" + to +
                "' >/dev/null 2>&1 && echo linked") != "linked")
        modules.push_back("");
    }
    return modules;
  }
  const std::string pair = "channels=2 channel_map=front-left,front-right remix=no" + rate;
  modules.push_back(Shell(
      load + "module-remap-sink sink_name=tdx_in" + d.nameSuffix + " master=" + rec + " " + pair +
      "master_channel_map=front-left,front-right " + Properties("sink_properties", d.In())));
  modules.push_back(Shell(
      load + "module-remap-sink sink_name=tdx_out" + d.nameSuffix + " master=" + rec + " " + pair +
      "master_channel_map=rear-left,rear-right " + Properties("sink_properties", d.Out())));
  modules.push_back(Shell(load + "module-remap-source source_name=tdx_cap" + d.nameSuffix +
                          " master=" + rec + ".monitor " + pair +
                          "master_channel_map=front-left,front-right " +
                          Properties("source_properties", d.Cap())));
  return modules;
}

inline void UnloadChainRecorder(const std::vector<std::string>& modules) {
  for (auto it = modules.rbegin(); it != modules.rend(); ++it)
    if (!it->empty()) Shell("pactl unload-module " + *it + " 2>/dev/null");
}

// Records the recorder's four-channel monitor (s16 at the devices' rate) while `during` runs
// and for `tailSeconds` after it; the interleaved samples. Nothing is taken from the device
// while `during` runs: it must not take more than `slackSeconds`.
template <class During>
std::vector<int16_t> RecordChain(double tailSeconds, During during,
                                 const TChainDevices& d = ChainDevices(), double slackSeconds = 4) {
  IALWaveService& service = TALPulseWaveService::Instance();
  const auto names = DeviceNames(service, true);
  auto it = std::find(names.begin(), names.end(), "Monitor of " + d.Rec());
  EXPECT_NE(it, names.end()) << "no monitor of the recorder sink";
  if (it == names.end()) return {};
  const WaveFormat format = WaveFormat::Pcm(4, 16, d.rate, 0x33);
  const uint32_t kBufferFrames = d.rate / 10;
  const auto kBuffers = static_cast<size_t>(std::ceil(slackSeconds * 10)) + 20;
  TWaveBuffers buffers(kBuffers, kBufferFrames * format.blockAlign);
  TWaveEventRecorder events;
  TWaveHandle in = kNoWaveHandle;
  EXPECT_EQ(service.waveInOpen(&in, static_cast<uint32_t>(it - names.begin()), format,
                               &TWaveEventRecorder::Callback, events.Instance(), 0),
            TWaveResult::NoError);
  for (TWaveHeader* header : buffers.Headers()) {
    service.waveInPrepareHeader(in, header);
    service.waveInAddBuffer(in, header);
  }
  service.waveInStart(in);
  std::vector<int16_t> samples;
  size_t used = 0;
  // Takes the buffers that came back, in order, and queues them again.
  auto collect = [&] {
    const auto headers = events.Headers(kWimData);
    for (; used < headers.size(); ++used) {
      auto* data = reinterpret_cast<const int16_t*>(headers[used]->data);
      samples.insert(samples.end(), data, data + headers[used]->bytesRecorded / 2);
      service.waveInAddBuffer(in, headers[used]);
    }
  };
  const auto started = std::chrono::steady_clock::now();
  during();
  // Everything heard until now plus the tail.
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() +
      tailSeconds;
  const size_t neededFrames = static_cast<size_t>(seconds * d.rate);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (samples.size() / 4 < neededFrames && std::chrono::steady_clock::now() < deadline) {
    events.WaitForCount(kWimData, used + 1, std::chrono::seconds(1));
    collect();
  }
  EXPECT_GE(samples.size() / 4, neededFrames) << "the recording stalled";
  service.waveInReset(in);
  service.waveInClose(in);
  return samples;
}

// Plays `signal` (stereo, at the devices' rate) into the input sink and waits until it has
// been played.
inline void PlayIntoInput(const std::vector<int16_t>& signal,
                          const TChainDevices& d = ChainDevices()) {
  IALWaveService& service = TALPulseWaveService::Instance();
  const WaveFormat format = WaveFormat::Pcm(2, 16, d.rate, 3);
  TWaveBuffers buffers(1, static_cast<uint32_t>(signal.size() * 2));
  std::memcpy(buffers.Data(0).data(), signal.data(), signal.size() * 2);
  TWaveEventRecorder events;
  TWaveHandle out = kNoWaveHandle;
  ASSERT_EQ(service.waveOutOpen(&out, DeviceIndex(service, false, d.In()), format,
                                &TWaveEventRecorder::Callback, events.Instance(), 0),
            TWaveResult::NoError);
  service.waveOutPrepareHeader(out, buffers.Header(0));
  service.waveOutWrite(out, buffers.Header(0));
  const auto seconds = std::chrono::seconds(20 + signal.size() / 2 / d.rate);
  EXPECT_TRUE(events.WaitForCount(kWomDone, 1, seconds));
  service.waveOutClose(out);
}

// A burst of noise, identical on both channels, between stretches of silence. A non-zero
// `cutoffHz` low-passes the noise (windowed sinc), so that it survives resampling to a lower
// rate unchanged; the burst is then scaled back to the same loudness.
inline std::vector<int16_t> NoiseBurst(uint32_t leadFrames, uint32_t burstFrames,
                                       double cutoffHz = 0) {
  std::mt19937 random(1234);
  std::uniform_int_distribution<int> sample(-12000, 12000);
  std::vector<double> noise(burstFrames);
  for (double& x : noise) x = sample(random);
  if (cutoffHz > 0) {
    constexpr int kHalf = 64;
    const double pi = std::acos(-1.0);
    const double fc = cutoffHz / kRecorderRate;
    std::vector<double> taps;
    for (int k = -kHalf; k <= kHalf; ++k) {
      const double sinc = k == 0 ? 2 * fc : std::sin(2 * pi * fc * k) / (pi * k);
      taps.push_back(sinc * (0.42 + 0.5 * std::cos(pi * k / kHalf) +
                             0.08 * std::cos(2 * pi * k / kHalf)));  // Blackman
    }
    std::vector<double> filtered(burstFrames, 0.0);
    double peak = 1;
    for (size_t i = 0; i < burstFrames; ++i) {
      for (int k = -kHalf; k <= kHalf; ++k) {
        const int64_t j = static_cast<int64_t>(i) - k;
        if (j >= 0 && j < static_cast<int64_t>(burstFrames))
          filtered[i] += taps[static_cast<size_t>(k + kHalf)] * noise[static_cast<size_t>(j)];
      }
      peak = std::max(peak, std::abs(filtered[i]));
    }
    for (size_t i = 0; i < burstFrames; ++i) noise[i] = filtered[i] * 16000 / peak;
  }
  std::vector<int16_t> signal((leadFrames + burstFrames + 2205) * 2, 0);
  for (uint32_t i = 0; i < burstFrames; ++i)
    signal[(leadFrames + i) * 2] = signal[(leadFrames + i) * 2 + 1] =
        static_cast<int16_t>(std::lround(noise[i]));
  return signal;
}

// The first frame of the burst in the input (front left).
inline size_t BurstStart(const std::vector<int16_t>& rec) {
  const size_t frames = rec.size() / 4;
  size_t start = 0;
  while (start < frames && std::abs(rec[start * 4]) < 1000) ++start;
  return start;
}

struct TAlignment {
  int64_t lagFrames = -1;
  double correlation = 0;   // over the whole burst
  double worstSegment = 0;  // the lowest of 8 equal parts of the burst (a gap shows here)
};

// The normalised correlation of the front-left channel from frame `from` with the rear-left
// channel `lag` frames later, over `frames` frames.
inline double ChainCorrelation(const std::vector<int16_t>& rec, size_t from, size_t lag,
                               size_t frames) {
  double xy = 0, xx = 0, yy = 0;
  for (size_t i = from; i < from + frames; ++i) {
    const double x = rec[i * 4];
    const double y = rec[(i + lag) * 4 + 2];
    xy += x * y;
    xx += x * x;
    yy += y * y;
  }
  return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0;
}

// The lag from minLag to maxLag at which `windowFrames` of the input from `from` correlate best
// with the output, above `floor` (−1: none); `spanFrames` of output must follow the lag.
inline int64_t BestLag(const std::vector<int16_t>& rec, size_t from, size_t windowFrames,
                       size_t spanFrames, int64_t minLag, int64_t maxLag, double floor) {
  const size_t frames = rec.size() / 4;
  double best = floor;
  int64_t found = -1;
  for (int64_t lag = std::max<int64_t>(minLag, 0); lag <= maxLag; ++lag) {
    if (from + static_cast<size_t>(lag) + spanFrames >= frames) break;
    const double c = ChainCorrelation(rec, from, static_cast<size_t>(lag), windowFrames);
    if (c > best) {
      best = c;
      found = lag;
    }
  }
  return found;
}

// Finds the output's lag behind the input (front left against rear left) by
// cross-correlation over the lags from minLag to maxLag. lagFrames stays −1 when the burst is
// not in the recording.
inline TAlignment AlignChain(const std::vector<int16_t>& rec, uint32_t burstFrames, int64_t minLag,
                             int64_t maxLag) {
  TAlignment result;
  const size_t frames = rec.size() / 4;
  const size_t start = BurstStart(rec);
  if (start + burstFrames >= frames) return result;
  result.lagFrames = BestLag(rec, start, 2048, burstFrames, minLag, maxLag, -2);
  if (result.lagFrames < 0) return result;
  const size_t lag = static_cast<size_t>(result.lagFrames);
  result.correlation = ChainCorrelation(rec, start, lag, burstFrames);
  result.worstSegment = 1;
  for (size_t part = 0; part < 8; ++part)
    result.worstSegment =
        std::min(result.worstSegment,
                 ChainCorrelation(rec, start + part * burstFrames / 8, lag, burstFrames / 8));
  return result;
}

// The burst of the input (front pair) compared sample by sample with the output (rear pair)
// `lag` frames later.
struct TExactMatch {
  size_t mismatchedFrames = 0;
  size_t gaps = 0;  // stretches of mismatching frames
};

inline TExactMatch CompareExact(const std::vector<int16_t>& rec, uint32_t burstFrames,
                                int64_t lag) {
  TExactMatch m;
  const size_t start = BurstStart(rec);
  bool inGap = false;
  for (size_t i = start; i < start + burstFrames; ++i) {
    const size_t j = i + static_cast<size_t>(lag);
    const bool same = (j + 1) * 4 <= rec.size() && rec[i * 4] == rec[j * 4 + 2] &&
                      rec[i * 4 + 1] == rec[j * 4 + 3];
    if (!same) ++m.mismatchedFrames;
    if (!same && !inGap) ++m.gaps;
    inGap = !same;
  }
  return m;
}

// The burst as the recorder got it from the input sink (front pair) compared sample by sample
// with the stereo `signal` played there: what the sound server itself lost or changed on a path
// that holds nothing of the program's. Both burst starts are found the same way.
inline TExactMatch CompareInputWithSignal(const std::vector<int16_t>& rec,
                                          const std::vector<int16_t>& signal,
                                          uint32_t burstFrames) {
  TExactMatch m;
  const size_t start = BurstStart(rec);
  size_t played = 0;
  while (played < signal.size() / 2 && std::abs(signal[played * 2]) < 1000) ++played;
  bool inGap = false;
  for (size_t k = 0; k < burstFrames; ++k) {
    const size_t i = start + k, j = played + k;
    const bool same = (i + 1) * 4 <= rec.size() && (j + 1) * 2 <= signal.size() &&
                      rec[i * 4] == signal[j * 2] && rec[i * 4 + 1] == signal[j * 2 + 1];
    if (!same) ++m.mismatchedFrames;
    if (!same && !inGap) ++m.gaps;
    inGap = !same;
  }
  return m;
}

// The output's lag behind the input over consecutive windows of the burst (−1 where not found).
inline std::vector<int64_t> LagsOverTime(const std::vector<int16_t>& rec, uint32_t burstFrames,
                                         size_t windowFrames, int64_t minLag, int64_t maxLag) {
  std::vector<int64_t> lags;
  const size_t start = BurstStart(rec);
  for (size_t from = start; from + windowFrames <= start + burstFrames; from += windowFrames) {
    lags.push_back(BestLag(rec, from, windowFrames, windowFrames, minLag, maxLag, 0.9));
  }
  return lags;
}

// Where the output is the input exactly, and at which lag: the stretches of the burst over which
// the output matches the input sample for sample at one lag, found by following the lag and
// searching it again (within `span` of `lag`) where the match breaks. Printed by the soaks, so
// that a delay that moves shows when, by how much and for how long.
struct TLagStretch {
  double fromSeconds = 0;  // into the burst
  double seconds = 0;
  int64_t lag = -1;
};

inline std::vector<TLagStretch> ExactLagHistory(const std::vector<int16_t>& rec,
                                                uint32_t burstFrames, int64_t lag, int64_t span,
                                                uint32_t rate) {
  const size_t frames = rec.size() / 4;
  const size_t start = BurstStart(rec);
  const size_t end = std::min<size_t>(start + burstFrames, frames);
  const auto same = [&](size_t i, int64_t l) {
    const int64_t j = static_cast<int64_t>(i) + l;
    return j >= 0 && static_cast<size_t>(j) < frames && rec[i * 4] == rec[j * 4 + 2] &&
           rec[i * 4 + 1] == rec[j * 4 + 3];
  };
  // 16 frames of noise match at one lag only; silence (a cycle a server missed) matches
  // anywhere, so a probe must be loud throughout.
  constexpr size_t kProbe = 16;
  const auto search = [&](size_t i) -> int64_t {
    if (i + kProbe > end) return -1;
    for (size_t k = 0; k < kProbe; ++k)
      if (std::abs(rec[(i + k) * 4]) < 64) return -1;
    for (int64_t d = 0; d <= span; ++d) {
      for (const int64_t l : {lag + d, lag - d}) {
        size_t k = 0;
        while (k < kProbe && same(i + k, l)) ++k;
        if (k == kProbe) return l;
        if (d == 0) break;
      }
    }
    return -1;
  };
  std::vector<TLagStretch> stretches;
  int64_t current = search(start);
  size_t from = start;
  for (size_t i = start; i < end;) {
    if (current >= 0 && same(i, current)) {
      ++i;
      continue;
    }
    if (current >= 0 && i > from)
      stretches.push_back({double(from - start) / rate, double(i - from) / rate, current});
    // Off the lag: look for it again a little further on.
    size_t next = i + 1;
    int64_t found = -1;
    while (next < end && (found = search(next)) < 0) next += 32;
    if (found < 0) break;
    // Back to the first frame that matches at the new lag.
    while (next > i && same(next - 1, found)) --next;
    current = found;
    lag = found;
    from = next;
    i = next;
  }
  if (current >= 0 && end > from)
    stretches.push_back({double(from - start) / rate, double(end - from) / rate, current});
  return stretches;
}

// The output's lag behind the input at the end of the burst: the best lag within `span` of
// `lag` over the last of three windows of `windowFrames` that correlates above 0.9 (−1: none
// does). A delay that moved during the burst shows here, gaps or not.
inline int64_t LagAtTheEnd(const std::vector<int16_t>& rec, uint32_t burstFrames, int64_t lag,
                           int64_t span, size_t windowFrames = 4096) {
  const size_t start = BurstStart(rec);
  for (size_t back = 1; back <= 3 && back * windowFrames <= burstFrames; ++back) {
    const size_t from = start + burstFrames - back * windowFrames;
    const int64_t found =
        BestLag(rec, from, windowFrames, windowFrames, lag - span, lag + span, 0.9);
    if (found >= 0) return found;
  }
  return -1;
}

}  // namespace tardivox::testing
