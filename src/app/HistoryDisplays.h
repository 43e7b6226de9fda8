#pragma once
// The controller's steps for the two history strips: the input strip `SLWaterfall1` (fed by
// the capture's monitoring branch) and the output strip `SLWaterfall2` (fed by the delay
// line's). They switch both strips off and on and set how many lines a strip holds.
//
// EnableWaterfalls(value): in one guarded block, the input strip's Enabled, a 50 ms wait, the
// output strip's Enabled, a 50 ms wait. Enabled only governs the strips' mouse and keyboard
// input: lines keep arriving and the image keeps scrolling while a strip is disabled.
//
// SetWaterfallRate(rate): the strips' depth for a capture rate, one line per 1024 captured
// frames, so that a strip always spans about 11.9 s: 128 lines at 11025 Hz, 256 at 22050 Hz,
// 512 at 44100 Hz. It switches both strips off, then in one guarded block sets the input
// strip's XAxis.Samples (left as it is for any other rate), waits 50 ms, copies the value into
// the output strip's, waits 50 ms, and switches both strips on again — also when the chain is
// off. So the two strips always hold the same depth.
//
// Guarded blocks: an ordinary error (tardivox::Exception) raised inside a block ends that block
// and is swallowed; the routine goes on with its next step. The waits run through the wait
// function, which processes window events (another handler may run meanwhile); whatever the
// wait function throws to abandon a sequence passes through unchanged.
//
// Threads: the window's thread only. The strips must outlive this object.

#include <cstdint>
#include <optional>

#include "app/Misc.h"

namespace tardivox {

class TSLWaterfall;

class THistoryDisplays {
 public:
  static constexpr uint32_t kSwitchWaitMs = 50;
  static constexpr uint32_t kDepthWaitMs = 50;

  // `wait` must not be empty.
  THistoryDisplays(TSLWaterfall& input, TSLWaterfall& output, TWaitFunction wait);
  THistoryDisplays(const THistoryDisplays&) = delete;
  THistoryDisplays& operator=(const THistoryDisplays&) = delete;

  void EnableWaterfalls(bool value);
  void SetWaterfallRate(uint32_t rate);

  // The lines a strip holds at `rate`, or nothing for a rate the window does not offer.
  static std::optional<int> DepthForRate(uint32_t rate);

 private:
  TSLWaterfall& input_;
  TSLWaterfall& output_;
  TWaitFunction wait_;
};

}  // namespace tardivox
