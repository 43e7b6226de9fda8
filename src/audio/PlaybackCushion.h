#pragma once
// Keeps the audio waiting at an output device at a constant level measured in time, so that
// the delay a live chain delivers stays what it was when the output started:
// - the device starts once what was written covers one buffer plus a margin (the cushion;
//   the playback component holds the buffers until then and cuts the surplus of whole
//   buffers before the start); the margin is the wave service's (PlaybackMarginSeconds), as
//   each sound server takes what is written with its own jitter;
// - the device's underruns are counted; it keeps its clock through one and skips what missed
//   its time (see waveOutGetPosition), counted as dropped. When what arrives stays behind the
//   device's clock for a short window (frames were lost before they reached the playback, so
//   no burst will catch up), silence refills the cushion: otherwise all that follows would be
//   skipped;
// - a level whose mean stays well below the reference for two short windows (frames lost
//   before they reached the playback, with no underrun: the delay is short by that much), or
//   still well below it in the short window after such a refill, is made up with silence at
//   once, so the delay comes back to what it was;
// - a level that stays well above the target (a burst after a stall or an underrun: the device
//   plays late data late) is brought back by dropping the excess from the head of the arriving
//   buffers, at once, within two windows of 0.2 s;
// - the level the stream keeps from then on (the reference) is measured once the device's
//   clock has settled, in a second window of a second; if such a window's mean is above the
//   cushion by more than half a buffer (what the device has not read yet of the buffers that
//   came since it started, on average) and the dead band, the start left a surplus (buffers
//   that came before the device began to read, a burst the fast check let through): it is cut
//   first, so that the delay does not keep that latency for good;
// - a level that drifts slowly (the input and the output run on different clocks) is pulled
//   back one frame per buffer, dropping or repeating a frame where the signal changes least.
//   While the clocks agree the level stays inside a dead band and nothing is corrected, so the
//   stream stays bit-exact. A step an underrun, a skip or a refill left (too small for the fast
//   realignment) is taken back the same way, but counted apart, and so is a step that came with
//   no disturbance the device reported (a sound server's graph that missed a cycle loses that
//   cycle's frames): the level three windows earlier was far from where it is now, which no
//   clock difference does in three seconds. Only the rest says the clocks differ.
// - on a server that plays in whole cycles (the position says how many frames one is), each of
//   these steps is made up in whole cycles when the level shows it within a quarter of a cycle
//   of a whole number of them, so that the delay comes back to the frame although the level is
//   off by part of a cycle after one was missed. Drift is not: it moves by single frames.
// Levels are in frames: written − played just after a buffer arrives.
//
// Not thread-safe: one thread (the one that delivers the buffers) calls everything; the
// counters are atomics that any thread may read.

#include <array>
#include <atomic>
#include <cstdint>

#include "audio/WaveService.h"

namespace tardivox {

class TALPlaybackCushion {
 public:
  struct TCounters {
    std::atomic<uint64_t> underruns{0};
    std::atomic<uint64_t> droppedFrames{0};
    std::atomic<uint64_t> driftCorrections{0};   // single frames dropped or repeated
    std::atomic<uint64_t> stepCorrections{0};    // the same, taking back a disturbance's step
    std::atomic<int64_t> extraLatencyFrames{0};  // the level at the last arrival
  };

  // What to do with the arriving buffer.
  struct TDecision {
    uint32_t dropHeadFrames = 0;  // frames to cut from its head (all of it: drop the buffer)
    uint32_t silenceFrames = 0;   // silence to write before it
    int correction = 0;           // −1: drop one frame where quiet; +1: repeat one
  };

  // A new stream of this rate whose buffers hold bufferFrames, keeping marginSeconds queued
  // beyond one buffer (brought into 0–1 s).
  void Reset(uint32_t sampleRate, uint32_t bufferFrames,
             double marginSeconds = kDefaultPlaybackMarginSeconds);
  // Frames written before the device is started.
  uint64_t TargetFrames() const { return targetFrames_; }
  // A buffer of `frames` arrives while the device holds `waitingFrames` (written − played,
  // negative when the device will skip that much) at `position`; null before the start or
  // while it is not known.
  TDecision OnArrival(int64_t waitingFrames, uint32_t frames, const TWavePosition* position);

  const TCounters& Counters() const { return counters_; }

 private:
  uint64_t Span(double seconds, uint32_t buffers) const;
  void StartWindows(uint64_t playedFrames);

  TCounters counters_;
  uint32_t rate_ = 1;
  uint32_t bufferFrames_ = 1;
  uint64_t targetFrames_ = 1;
  int64_t deadBandFrames_ = 1;
  uint64_t seenUnderruns_ = 0;  // the device's count already added to the counters
  bool behind_ = false;         // arrivals behind the device's clock since behindSince_
  uint64_t behindSince_ = 0;
  bool checkRefill_ = false;  // the next short window checks what a refill left
  uint64_t pendingDrop_ = 0;
  int64_t pendingCorrection_ = 0;  // frames still to drop (> 0) or repeat (< 0)
  bool correctingStep_ = false;    // pendingCorrection_ takes back a disturbance's step
  bool disturbed_ = false;  // an underrun, a skip, a refill or a cut since the level was in band
  int64_t reference_ = 0;   // the target, then the mean level of a settled window
  bool referenceKnown_ = false;
  int windows_ = 0;
  int64_t lastDeviation_ = 0;  // the previous window's deviation beyond the band (0: none)
  // Short window (fast realignment) and long window (drift), in played frames.
  uint64_t shortEnd_ = 0;
  int64_t shortMin_ = 0;
  int64_t shortMax_ = 0;
  int64_t shortSum_ = 0;
  uint64_t shortCount_ = 0;
  bool lowBefore_ = false;  // the previous short window's mean was well below the reference
  bool shortAny_ = false;
  uint64_t longEnd_ = 0;
  int64_t longSum_ = 0;
  uint64_t longCount_ = 0;
  bool longTouched_ = false;  // a correction happened in this window: its mean is biased
  bool longCut_ = false;      // frames were cut in this window: its mean is too high
  // The deviations (mean − reference) of the last three long windows measured one after the
  // other with nothing corrected meanwhile, newest first; 0 (at the reference) for those not
  // measured since the reference was set or the level last corrected, where it was brought
  // back to the reference: a step soon after that is a step, not drift.
  std::array<int64_t, 3> pastDeviations_{};
};

}  // namespace tardivox
