#include <gtest/gtest.h>

#include <vector>

#include "buffers/AudioFormat.h"
#include "core/Exceptions.h"
#include "locks/OWObject.h"

namespace tardivox {
namespace {

class AudioFormatTest : public ::testing::Test {
 protected:
  TOWObject owner;
  int changes = 0;
  std::vector<int32_t> writeCountsSeen;
  TALAudioFormat format{&owner, [this](TALAudioFormatBasic* sender) {
                          EXPECT_EQ(sender, &format);
                          ++changes;
                          writeCountsSeen.push_back(owner.WriteCount());
                        }};
};

TEST_F(AudioFormatTest, DefaultsGiveACompleteRecord) {
  EXPECT_EQ(format.Channels(), 2u);
  EXPECT_EQ(format.Bits(), 16u);
  EXPECT_EQ(format.SampleRate(), 11025u);
  EXPECT_EQ(format.ChannelMask(), 3u);
  EXPECT_EQ(format.BufferSize(), 1024u);
  const WaveFormat& record = *format.WaveFormat();
  EXPECT_EQ(record.formatTag, 0xFFFE);
  EXPECT_EQ(record.channels, 2);
  EXPECT_EQ(record.samplesPerSec, 11025u);
  EXPECT_EQ(record.avgBytesPerSec, 44100u);
  EXPECT_EQ(record.blockAlign, 4);
  EXPECT_EQ(record.bitsPerSample, 16);
  EXPECT_EQ(record.extraSize, 22);
  EXPECT_EQ(record.validBitsPerSample, 16);
  EXPECT_EQ(record.channelMask, 3u);
  EXPECT_EQ(record.HeaderSize(), 40u);
  EXPECT_EQ(format.Format(), record);
  // The defaults were applied through the setters, each announcing its change.
  EXPECT_EQ(changes, 4);
}

TEST_F(AudioFormatTest, SettersClampAndRecompute) {
  const struct {
    uint32_t channels, bits;
    uint32_t readChannels, readBits, containerBits, blockAlign;
  } cases[] = {
      {0, 16, 1, 16, 16, 2},  {40, 16, 32, 16, 16, 64}, {2, 4, 2, 8, 8, 2},
      {2, 12, 2, 12, 16, 4},  {2, 20, 2, 20, 24, 6},    {2, 40, 2, 32, 32, 8},
      {6, 24, 6, 24, 24, 18},
  };
  for (const auto& c : cases) {
    format.SetChannels(c.channels);
    format.SetBits(c.bits);
    EXPECT_EQ(format.Channels(), c.readChannels);
    EXPECT_EQ(format.Bits(), c.readBits);
    const WaveFormat& record = *format.WaveFormat();
    EXPECT_EQ(record.bitsPerSample, c.containerBits) << c.bits;
    EXPECT_EQ(record.validBitsPerSample, c.readBits);
    EXPECT_EQ(record.blockAlign, c.blockAlign) << c.channels << "x" << c.bits;
    EXPECT_EQ(record.avgBytesPerSec, c.blockAlign * 11025u);
  }
  format.SetSampleRate(0);
  EXPECT_EQ(format.WaveFormat()->avgBytesPerSec, 0u);
  format.SetChannelMask(0x3F);  // not compared with Channels
  EXPECT_EQ(format.WaveFormat()->channelMask, 0x3Fu);
  format.SetBufferSize(0);
  EXPECT_EQ(format.BufferSize(), 1u);
}

TEST_F(AudioFormatTest, ChangesAreAnnouncedByTheRulesOfEachProperty) {
  changes = 0;
  format.SetChannels(2);  // unchanged
  format.SetBits(16);
  format.SetBufferSize(1024);
  EXPECT_EQ(changes, 0);
  format.SetChannels(0);
  format.SetChannels(1);  // 0 was stored as 1: no change
  EXPECT_EQ(changes, 1);
  format.SetSampleRate(11025);  // rate and mask announce even when unchanged
  format.SetChannelMask(3);
  EXPECT_EQ(changes, 3);
  format.SetBufferSize(0);
  format.SetBufferSize(1);
  EXPECT_EQ(changes, 4);
}

TEST_F(AudioFormatTest, OnChangeRunsInsideTheOwnersWriteSection) {
  writeCountsSeen.clear();
  format.SetSampleRate(44100);
  format.SetBufferSize(256);
  ASSERT_EQ(writeCountsSeen.size(), 2u);
  EXPECT_GT(writeCountsSeen[0], 0);
  EXPECT_GT(writeCountsSeen[1], 0);
  EXPECT_EQ(owner.WriteCount(), 0);
}

TEST_F(AudioFormatTest, WholeObjectAssignmentIsRefused) {
  TALAudioFormatBasic other(nullptr, nullptr);
  other.SetChannels(6);
  try {
    format.Assign(&other);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Impossible d'affecter TALAudioFormatBasic à TALAudioFormat");
  }
  EXPECT_EQ(format.Channels(), 2u);
  try {
    other.Assign(nullptr);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Impossible d'affecter nil à TALAudioFormatBasic");
  }
}

}  // namespace
}  // namespace tardivox
