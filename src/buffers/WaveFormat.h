#pragma once
// Speaker positions and the 40-byte extensible wave format record that devices are opened
// with, start-wave operations carry and every audio block begins with. Plain data: copy it
// freely between threads.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tardivox {

// The 18 speaker positions; bit n of a TALSpeakers mask stands for position n. The channels of
// a buffer are assigned to the set bits of its mask in ascending order.
enum class TALSpeaker : uint32_t {
  spFrontLeft,
  spFrontRight,
  spFrontCenter,
  spSubwoofer,
  spBackLeft,
  spBackRight,
  spFrontLeftOfCenter,
  spFrontRightOfCenter,
  spBackCenter,
  spSideLeft,
  spSideRight,
  spTopCenter,
  spTopFrontLeft,
  spTopFrontCenter,
  spTopFrontRight,
  spTopBackLeft,
  spTopBackCenter,
  spTopBackRight,
};
constexpr uint32_t kSpeakerCount = 18;

// A set of speaker positions as the platform's 32-bit mask.
using TALSpeakers = uint32_t;

constexpr TALSpeakers SpeakerBit(TALSpeaker s) {
  return 1u << static_cast<uint32_t>(s);
}

constexpr bool HasSpeaker(TALSpeakers mask, TALSpeaker s) {
  return (mask & SpeakerBit(s)) != 0;
}

// Number of the 18 speaker positions set in a mask (bits above 17 name no position).
constexpr uint32_t SpeakerCount(TALSpeakers mask) {
  uint32_t count = 0;
  for (uint32_t position = 0; position < kSpeakerCount; ++position)
    count += (mask >> position) & 1u;
  return count;
}

// One channel of each of two buffers that carry the same speaker position.
struct TALChannelPair {
  uint32_t self;
  uint32_t other;
};

// Pairs the channels of two buffers by speaker position: positions 0 to 17 are walked in
// ascending order with one channel counter per buffer; a position set in both masks pairs the
// two counters, and after each position every buffer whose mask has it advances its counter.
// A pair is dropped when either counter is not below that buffer's channel count, so a mask
// that names more positions than there are channels never addresses a missing channel.
// Returns the number of pairs written to pairs.
constexpr uint32_t PairChannelsBySpeaker(TALSpeakers selfMask, uint32_t selfChannels,
                                         TALSpeakers otherMask, uint32_t otherChannels,
                                         TALChannelPair (&pairs)[kSpeakerCount]) {
  uint32_t count = 0;
  uint32_t selfChannel = 0;
  uint32_t otherChannel = 0;
  for (uint32_t position = 0; position < kSpeakerCount; ++position) {
    const bool inSelf = ((selfMask >> position) & 1u) != 0;
    const bool inOther = ((otherMask >> position) & 1u) != 0;
    if (inSelf && inOther && selfChannel < selfChannels && otherChannel < otherChannels) {
      pairs[count++] = TALChannelPair{selfChannel, otherChannel};
    }
    selfChannel += inSelf ? 1 : 0;
    otherChannel += inOther ? 1 : 0;
  }
  return count;
}

// Bits stored per sample for a number of valid bits: the valid bits rounded up to a multiple
// of 8 (12 gives 16, 20 gives 24).
constexpr uint32_t ContainerBitsFor(uint32_t validBits) {
  return validBits % 8 == 0 ? validBits : (validBits / 8 + 1) * 8;
}

constexpr uint16_t kWaveFormatExtensible = 0xFFFE;
constexpr uint16_t kWaveFormatExtraSize = 22;
constexpr uint32_t kWaveFormatSize = 40;

// KSDATAFORMAT_SUBTYPE_PCM {00000001-0000-0010-8000-00AA00389B71} in its little-endian bytes.
inline constexpr uint8_t kPcmSubFormat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                              0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

#pragma pack(push, 1)
// The published extensible wave format layout, little-endian (this machine's order).
struct WaveFormat {
  uint16_t formatTag = kWaveFormatExtensible;
  uint16_t channels = 0;
  uint32_t samplesPerSec = 0;
  uint32_t avgBytesPerSec = 0;
  uint16_t blockAlign = 0;
  uint16_t bitsPerSample = 0;  // container bits: valid bits rounded up to a multiple of 8
  uint16_t extraSize = kWaveFormatExtraSize;
  uint16_t validBitsPerSample = 0;
  uint32_t channelMask = 0;
  uint8_t subFormat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                           0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

  // A complete record for PCM with the given shape: container bits, block align and average
  // bytes per second are derived.
  static WaveFormat Pcm(uint16_t channels, uint16_t validBits, uint32_t sampleRate,
                        uint32_t channelMask) {
    WaveFormat f;
    f.channels = channels;
    f.validBitsPerSample = validBits;
    f.bitsPerSample = static_cast<uint16_t>(ContainerBitsFor(validBits));
    f.samplesPerSec = sampleRate;
    f.blockAlign = static_cast<uint16_t>(f.bitsPerSample / 8 * channels);
    f.avgBytesPerSec = f.blockAlign * sampleRate;
    f.channelMask = channelMask;
    return f;
  }

  // Header size as the record declares it: 18 plus the extra size.
  uint32_t HeaderSize() const { return 18u + extraSize; }

  friend bool operator==(const WaveFormat& a, const WaveFormat& b) {
    return std::memcmp(&a, &b, sizeof(WaveFormat)) == 0;
  }
};
#pragma pack(pop)

static_assert(sizeof(WaveFormat) == kWaveFormatSize, "the wave format record is 40 bytes");
static_assert(offsetof(WaveFormat, channelMask) == 20);
static_assert(offsetof(WaveFormat, subFormat) == 24);

}  // namespace tardivox
