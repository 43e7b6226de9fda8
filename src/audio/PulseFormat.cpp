#include "audio/PulseFormat.h"

namespace tardivox {

namespace {

constexpr pa_channel_position_t kSpeakerPositions[kSpeakerCount] = {
    PA_CHANNEL_POSITION_FRONT_LEFT,
    PA_CHANNEL_POSITION_FRONT_RIGHT,
    PA_CHANNEL_POSITION_FRONT_CENTER,
    PA_CHANNEL_POSITION_LFE,
    PA_CHANNEL_POSITION_REAR_LEFT,
    PA_CHANNEL_POSITION_REAR_RIGHT,
    PA_CHANNEL_POSITION_FRONT_LEFT_OF_CENTER,
    PA_CHANNEL_POSITION_FRONT_RIGHT_OF_CENTER,
    PA_CHANNEL_POSITION_REAR_CENTER,
    PA_CHANNEL_POSITION_SIDE_LEFT,
    PA_CHANNEL_POSITION_SIDE_RIGHT,
    PA_CHANNEL_POSITION_TOP_CENTER,
    PA_CHANNEL_POSITION_TOP_FRONT_LEFT,
    PA_CHANNEL_POSITION_TOP_FRONT_CENTER,
    PA_CHANNEL_POSITION_TOP_FRONT_RIGHT,
    PA_CHANNEL_POSITION_TOP_REAR_LEFT,
    PA_CHANNEL_POSITION_TOP_REAR_CENTER,
    PA_CHANNEL_POSITION_TOP_REAR_RIGHT,
};

}  // namespace

pa_sample_spec ToPulseSampleSpec(const WaveFormat& format) {
  pa_sample_spec spec{};
  switch (format.bitsPerSample) {
    case 8:
      spec.format = PA_SAMPLE_U8;
      break;
    case 16:
      spec.format = PA_SAMPLE_S16LE;
      break;
    case 24:
      spec.format = PA_SAMPLE_S24LE;
      break;
    default:
      spec.format = format.formatTag == kWaveFormatExtensible && format.validBitsPerSample == 24
                        ? PA_SAMPLE_S24_32LE
                        : PA_SAMPLE_S32LE;
      break;
  }
  spec.rate = format.samplesPerSec;
  spec.channels = static_cast<uint8_t>(format.channels);
  return spec;
}

pa_channel_map ToPulseChannelMap(const WaveFormat& format) {
  pa_channel_map map;
  pa_channel_map_init(&map);
  map.channels = static_cast<uint8_t>(format.channels);
  const uint32_t mask = format.formatTag == kWaveFormatExtensible
                            ? format.channelMask & ((1u << kSpeakerCount) - 1)
                            : 0;
  if (mask == 0 && format.channels == 1) {
    map.map[0] = PA_CHANNEL_POSITION_MONO;
    return map;
  }
  unsigned channel = 0;
  for (uint32_t bit = 0; bit < kSpeakerCount && channel < format.channels; ++bit)
    if (mask == 0 || (mask & (1u << bit))) map.map[channel++] = kSpeakerPositions[bit];
  for (unsigned aux = 0; channel < format.channels; ++aux)
    map.map[channel++] = static_cast<pa_channel_position_t>(PA_CHANNEL_POSITION_AUX0 + aux);
  return map;
}

}  // namespace tardivox
