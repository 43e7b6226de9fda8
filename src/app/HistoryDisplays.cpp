#include "app/HistoryDisplays.h"

#include <utility>

#include "app/AppExceptions.h"
#include "display/Waterfall.h"

namespace tardivox {

THistoryDisplays::THistoryDisplays(TSLWaterfall& input, TSLWaterfall& output, TWaitFunction wait)
    : input_(input), output_(output), wait_(std::move(wait)) {}

std::optional<int> THistoryDisplays::DepthForRate(uint32_t rate) {
  switch (rate) {
    case 11025:
      return 128;
    case 22050:
      return 256;
    case 44100:
      return 512;
    default:
      return std::nullopt;
  }
}

void THistoryDisplays::EnableWaterfalls(bool value) {
  // One block: the waits belong to it, so a failing first strip skips the rest of it.
  Guarded([&] {
    input_.setEnabled(value);
    wait_(kSwitchWaitMs);
    output_.setEnabled(value);
    wait_(kSwitchWaitMs);
  });
}

void THistoryDisplays::SetWaterfallRate(uint32_t rate) {
  EnableWaterfalls(false);
  Guarded([&] {
    if (const std::optional<int> depth = DepthForRate(rate)) input_.XAxis().SetSamples(*depth);
    wait_(kDepthWaitMs);
    // Copied from the input strip, so the two agree even when the rate left it unchanged.
    output_.XAxis().SetSamples(input_.XAxis().Samples());
    wait_(kDepthWaitMs);
  });
  EnableWaterfalls(true);
}

}  // namespace tardivox
