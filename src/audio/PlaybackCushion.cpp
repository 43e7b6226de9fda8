#include "audio/PlaybackCushion.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tardivox {

namespace {

// The fast check looks at the lowest level over this much playing: a real excess persists, a
// late arrival only lowers the level for a moment. Two windows bound the recovery time.
constexpr double kShortWindowSeconds = 0.2;
// The drift check averages the level over this much playing.
constexpr double kLongWindowSeconds = 1.0;
// Inside this band around the reference nothing is corrected: the mean level's jitter under
// load stays well below it, and the margin (20 ms at least) well above it.
constexpr double kDeadBandSeconds = 0.004;
// Clocks that differ move the level by well under this much in three long windows (half a
// dead band in three seconds is 670 ppm at any rate); a step moves it by more at once.
constexpr int64_t kJumpDeadBandFraction = 2;

// On a server that plays in whole cycles of cycleFrames (> 1), what a missed cycle, an underrun
// or a skip changes is a whole number of cycles, and the level shows it off by part of a cycle
// (which answers fall where in a cycle changes then): the nearest whole number of cycles, when
// the level is within a quarter of a cycle of it, so that the delay comes back to the frame.
// Farther off, the level is taken as it is: the step is then not what the cycle says (a cycle
// taken for two, when the answers came every other cycle), and rounding it would overshoot by a
// cycle again and again.
int64_t InWholeCycles(int64_t frames, uint32_t cycleFrames) {
  if (cycleFrames < 2) return frames;
  const int64_t cycle = cycleFrames;
  const int64_t cycles = (std::llabs(frames) + cycle / 2) / cycle;
  const int64_t whole = frames < 0 ? -cycles * cycle : cycles * cycle;
  return std::llabs(whole - frames) <= cycle / 4 ? whole : frames;
}

}  // namespace

void TALPlaybackCushion::Reset(uint32_t sampleRate, uint32_t bufferFrames, double marginSeconds) {
  rate_ = std::max<uint32_t>(1, sampleRate);
  bufferFrames_ = std::max<uint32_t>(1, bufferFrames);
  // A NaN is no margin.
  const double margin = std::clamp(std::isnan(marginSeconds) ? 0.0 : marginSeconds, 0.0, 1.0);
  targetFrames_ = bufferFrames_ + static_cast<uint64_t>(std::ceil(margin * rate_));
  // In time, like the margin it must stay well inside.
  deadBandFrames_ = std::max<int64_t>(1, static_cast<int64_t>(kDeadBandSeconds * rate_));
  seenUnderruns_ = 0;
  checkRefill_ = false;
  behind_ = false;
  pendingDrop_ = 0;
  pendingCorrection_ = 0;
  correctingStep_ = false;
  disturbed_ = false;
  // Until measured, the level the start set.
  reference_ = static_cast<int64_t>(targetFrames_);
  referenceKnown_ = false;
  windows_ = 0;
  lastDeviation_ = 0;
  StartWindows(0);
}

uint64_t TALPlaybackCushion::Span(double seconds, uint32_t buffers) const {
  return std::max<uint64_t>(static_cast<uint64_t>(seconds * rate_),
                            uint64_t{buffers} * bufferFrames_);
}

void TALPlaybackCushion::StartWindows(uint64_t playedFrames) {
  shortEnd_ = playedFrames + Span(kShortWindowSeconds, 2);
  shortAny_ = false;
  lowBefore_ = false;
  longEnd_ = playedFrames + Span(kLongWindowSeconds, 8);
  longSum_ = 0;
  longCount_ = 0;
  longTouched_ = false;
  longCut_ = false;
  pastDeviations_.fill(0);
}

TALPlaybackCushion::TDecision TALPlaybackCushion::OnArrival(int64_t waitingFrames, uint32_t frames,
                                                            const TWavePosition* position) {
  TDecision decision;
  if (!position) return decision;
  const uint64_t playedFrames = position->playedFrames;
  if (position->underruns > seenUnderruns_) {
    counters_.underruns.fetch_add(position->underruns - seenUnderruns_, std::memory_order_relaxed);
    seenUnderruns_ = position->underruns;
    longTouched_ = true;  // the level around an underrun says nothing about the clocks
    disturbed_ = true;
  }
  if (waitingFrames < 0) {
    // The device skips the head of what comes: a burst after a stall catches up by itself.
    if (!behind_) {
      behind_ = true;
      behindSince_ = playedFrames;
    }
    pendingCorrection_ = 0;
    pendingDrop_ = 0;
    disturbed_ = true;
    StartWindows(playedFrames);
    if (playedFrames >= behindSince_ + Span(kShortWindowSeconds, 2)) {
      // Still behind: nothing will catch up. Silence takes the skip and refills the cushion.
      // Back to the level the stream had, so that no drift correction follows.
      decision.silenceFrames = static_cast<uint32_t>(std::max<int64_t>(
          0, InWholeCycles(reference_ - frames - waitingFrames, position->cycleFrames)));
      behind_ = false;
      checkRefill_ = true;
      counters_.extraLatencyFrames.store(std::max<int64_t>(reference_, waitingFrames + frames),
                                         std::memory_order_relaxed);
      return decision;
    }
    counters_.droppedFrames.fetch_add(std::min<uint64_t>(frames, -waitingFrames),
                                      std::memory_order_relaxed);
    counters_.extraLatencyFrames.store(waitingFrames + frames, std::memory_order_relaxed);
    return decision;
  }
  behind_ = false;
  const int64_t level = waitingFrames + frames;
  counters_.extraLatencyFrames.store(level, std::memory_order_relaxed);

  shortMin_ = shortAny_ ? std::min(shortMin_, level) : level;
  shortMax_ = shortAny_ ? std::max(shortMax_, level) : level;
  shortSum_ = (shortAny_ ? shortSum_ : 0) + level;
  shortCount_ = (shortAny_ ? shortCount_ : 0) + 1;
  shortAny_ = true;
  longSum_ += level;
  ++longCount_;

  if (playedFrames >= shortEnd_) {
    // Only what is clearly more than one buffer too much: the level normally swings by up to
    // one buffer (two arrivals close together).
    const int64_t excess = shortMin_ - reference_;
    // Clearly too little in the window after a refill (measured on a stale position): silence
    // makes it up at once; single frames would take seconds. Only then: a device that reads
    // far ahead shows a low level all the time, and silence would add latency again and again.
    const int64_t deficit = std::exchange(checkRefill_, false) ? reference_ - shortMax_ : 0;
    // A step down: two windows in a row whose mean is below the reference by more than drift
    // can take it before its correction starts (one and a half dead bands; one dead band when
    // a disturbance moved the level since it was last in band, as a refill measured on a
    // stale position leaves hundreds of frames short on PipeWire). Frames were lost
    // before they reached the playback, with no underrun and no skip: a sound server stopped
    // for a moment that lost capture time while its playback clock kept the wall clock's
    // (PipeWire's graph does) shortens the delay by what it lost. Silence puts that back at
    // once, to the window's mean; single frames would take seconds, and leave the level too
    // low to ride out the next late arrival. A stall's late arrivals lower one window only.
    const int64_t mean = shortSum_ / static_cast<int64_t>(std::max<uint64_t>(1, shortCount_));
    const bool low = referenceKnown_ &&
                     reference_ - mean > (disturbed_ ? deadBandFrames_ : deadBandFrames_ * 3 / 2);
    const int64_t missing = InWholeCycles(reference_ - mean, position->cycleFrames);
    const bool step = low && lowBefore_ && missing > 0;
    lowBefore_ = low;
    if (excess > bufferFrames_ + deadBandFrames_ && pendingDrop_ == 0) {
      pendingDrop_ = static_cast<uint64_t>(excess);
      pendingCorrection_ = 0;
      disturbed_ = true;
      StartWindows(playedFrames);
    } else if ((deficit > bufferFrames_ / 2 + deadBandFrames_ || step) && pendingDrop_ == 0) {
      decision.silenceFrames = static_cast<uint32_t>(
          step ? missing : std::max<int64_t>(0, InWholeCycles(deficit, position->cycleFrames)));
      pendingCorrection_ = 0;
      disturbed_ = true;
      StartWindows(playedFrames);
      return decision;
    } else {
      shortEnd_ = playedFrames + Span(kShortWindowSeconds, 2);
      shortAny_ = false;
    }
  }
  if (playedFrames >= longEnd_) {
    const int64_t mean = longSum_ / static_cast<int64_t>(std::max<uint64_t>(1, longCount_));
    // Just after an arrival the device holds the cushion, plus what it has not read yet of the
    // buffers that came since it started: less than one buffer, half a buffer on average when it
    // began to read at a random point of a period. A mean higher than that holds frames the
    // start left (buffers that came before the device began to read, a burst after a stall that
    // the fast check let through): latency nobody asked for, which the reference would keep for
    // good. It is cut, and the reference measured in a window after it. The window after the
    // reference is checked too, as a burst within the reference's window raises that window's
    // mean by part of it only. Underruns and skips only lower a window's mean, so a window with
    // them is checked too (a start under load may have no other); one with a cut is not.
    const int64_t surplus =
        mean - static_cast<int64_t>(targetFrames_) - static_cast<int64_t>(bufferFrames_ / 2);
    const bool settling = !referenceKnown_ || windows_ < 3;
    if (settling && !longCut_ && pendingDrop_ == 0 && longCount_ > 0 && surplus > deadBandFrames_) {
      pendingDrop_ = static_cast<uint64_t>(surplus);
      pendingCorrection_ = 0;
      if (referenceKnown_) reference_ -= surplus;  // until measured again
      referenceKnown_ = false;
      windows_ = 1;
      disturbed_ = true;
      lastDeviation_ = 0;
      pastDeviations_.fill(0);
    } else if (!longTouched_ && pendingDrop_ == 0 && longCount_ > 0) {
      // The first window holds the start (the device's clock settling): the second is the
      // reference, the level "before" anything happened.
      if (!referenceKnown_) {
        if (++windows_ >= 2) reference_ = mean;
        referenceKnown_ = windows_ >= 2;
      } else {
        windows_ = std::max(windows_, 3);
        // A clock difference persists: two windows in a row beyond the band on the same side
        // (one window may be off by a burst of late arrivals under load).
        const int64_t raw = mean - reference_;
        const int64_t deviation = std::llabs(raw) > deadBandFrames_ ? raw : 0;
        if (deviation != 0 && (deviation > 0) == (lastDeviation_ > 0) && lastDeviation_ != 0) {
          // A step is taken back to where this window (the later one, wholly after it) says;
          // drift by the smaller of the two, as the level keeps moving meanwhile.
          const bool jumped =
              std::llabs(raw - pastDeviations_.back()) > deadBandFrames_ / kJumpDeadBandFraction;
          pendingCorrection_ = jumped || std::llabs(deviation) < std::llabs(lastDeviation_)
                                   ? deviation
                                   : lastDeviation_;
          correctingStep_ = disturbed_ || jumped;
          if (correctingStep_)
            pendingCorrection_ = InWholeCycles(pendingCorrection_, position->cycleFrames);
        }
        lastDeviation_ = pendingCorrection_ != 0 ? 0 : deviation;
        if (deviation == 0) disturbed_ = false;
        std::copy_backward(pastDeviations_.begin(), pastDeviations_.end() - 1,
                           pastDeviations_.end());
        pastDeviations_.front() = raw;
      }
    } else {
      lastDeviation_ = 0;
      pastDeviations_.fill(0);
    }
    longEnd_ = playedFrames + Span(kLongWindowSeconds, 8);
    longSum_ = 0;
    longCount_ = 0;
    longTouched_ = pendingCorrection_ != 0;
    longCut_ = false;
  }

  if (pendingDrop_ > 0) {
    decision.dropHeadFrames = static_cast<uint32_t>(std::min<uint64_t>(pendingDrop_, frames));
    pendingDrop_ -= decision.dropHeadFrames;
    longTouched_ = true;  // the window's mean holds the level before the cut
    longCut_ = true;
    counters_.droppedFrames.fetch_add(decision.dropHeadFrames, std::memory_order_relaxed);
  } else if (pendingCorrection_ != 0 && frames > 2) {
    decision.correction = pendingCorrection_ > 0 ? -1 : 1;
    pendingCorrection_ += decision.correction;
    longTouched_ = true;
    (correctingStep_ ? counters_.stepCorrections : counters_.driftCorrections)
        .fetch_add(1, std::memory_order_relaxed);
  }
  return decision;
}

}  // namespace tardivox
