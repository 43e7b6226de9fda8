#include "audio/PulseFormat.h"

#include <gtest/gtest.h>

#include <string>

namespace tardivox {
namespace {

std::string MapText(const pa_channel_map& map) {
  char text[PA_CHANNEL_MAP_SNPRINT_MAX];
  return pa_channel_map_snprint(text, sizeof text, &map);
}

TEST(PulseFormatTest, SampleFormatFollowsTheContainerAndValidBits) {
  struct TCase {
    uint16_t validBits;
    pa_sample_format_t expected;
  };
  const TCase cases[] = {
      {8, PA_SAMPLE_U8},     {16, PA_SAMPLE_S16LE}, {24, PA_SAMPLE_S24LE},
      {32, PA_SAMPLE_S32LE}, {20, PA_SAMPLE_S24LE},  // 20 valid bits travel in a 3-byte container
  };
  for (const TCase& c : cases) {
    const pa_sample_spec spec = ToPulseSampleSpec(WaveFormat::Pcm(2, c.validBits, 22050, 3));
    EXPECT_EQ(spec.format, c.expected) << c.validBits << " bits";
    EXPECT_EQ(spec.rate, 22050u);
    EXPECT_EQ(spec.channels, 2u);
    EXPECT_EQ(pa_frame_size(&spec), WaveFormat::Pcm(2, c.validBits, 22050, 3).blockAlign);
  }
  WaveFormat padded = WaveFormat::Pcm(2, 32, 44100, 3);
  padded.validBitsPerSample = 24;
  EXPECT_EQ(ToPulseSampleSpec(padded).format, PA_SAMPLE_S24_32LE);
}

TEST(PulseFormatTest, ChannelPositionsFollowTheMaskInBitOrder) {
  struct TCase {
    uint16_t channels;
    uint32_t mask;
    const char* expected;
  };
  const TCase cases[] = {
      {2, 0x3, "front-left,front-right"},
      {1, 0x4, "front-center"},
      {1, 0x1, "front-left"},
      {1, 0x0, "mono"},
      {2, 0x0, "front-left,front-right"},
      {6, 0x3F, "front-left,front-right,front-center,lfe,rear-left,rear-right"},
      {6, 0x60F, "front-left,front-right,front-center,lfe,side-left,side-right"},
      {3, 0x3, "front-left,front-right,aux0"},         // more channels than bits
      {2, 0x700, "rear-center,side-left"},             // more bits than channels
      {2, 0x30000, "top-rear-center,top-rear-right"},  // the highest positions
      {2, 0x80000003, "front-left,front-right"},       // bits beyond the 18 positions
  };
  for (const TCase& c : cases) {
    const WaveFormat format = WaveFormat::Pcm(c.channels, 16, 44100, c.mask);
    const pa_channel_map map = ToPulseChannelMap(format);
    EXPECT_EQ(MapText(map), c.expected) << "mask " << c.mask;
    const pa_sample_spec spec = ToPulseSampleSpec(format);
    EXPECT_TRUE(pa_channel_map_valid(&map) && pa_channel_map_compatible(&map, &spec));
  }
  WaveFormat plain = WaveFormat::Pcm(2, 16, 44100, 0x30000);
  plain.formatTag = 1;  // a plain PCM record has no mask
  EXPECT_EQ(MapText(ToPulseChannelMap(plain)), "front-left,front-right");
}

}  // namespace
}  // namespace tardivox
