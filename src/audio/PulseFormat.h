#pragma once
// How a wave format record becomes a PulseAudio sample format and channel map.
//   container bits 8 → u8, 16 → s16le, 24 → s24le (3 bytes), 32 → s32le (s24-32le when only 24
//   bits are valid); rate as given.
//   The channels take the speaker positions of the mask's set bits in ascending order (front
//   left, front right, front centre, LFE, rear left, rear right, front left/right of centre,
//   rear centre, side left/right, top centre, top front left/centre/right, top rear
//   left/centre/right); channels beyond the mask's bits become auxiliary channels. A mask of 0
//   (or a plain PCM record) means mono for one channel and the mask order otherwise.
// Pure functions, any thread.

#include <pulse/channelmap.h>
#include <pulse/sample.h>

#include "buffers/WaveFormat.h"

namespace tardivox {

// For a format that TALWaveServiceBase::CheckFormat accepted.
pa_sample_spec ToPulseSampleSpec(const WaveFormat& format);
pa_channel_map ToPulseChannelMap(const WaveFormat& format);

}  // namespace tardivox
