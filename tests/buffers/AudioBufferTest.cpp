#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "buffers/AudioBuffer.h"
#include "buffers/AudioFormat.h"
#include "buffers/RealBuffer.h"
#include "core/Exceptions.h"
#include "locks/OWObject.h"

namespace tardivox {
namespace {

TRef<IALAudioBuffer> Audio(uint32_t bits, uint32_t channels, uint32_t frames, TALSpeakers mask = 3,
                           uint32_t rate = 44100) {
  return TRef<IALAudioBuffer>(new TALAudioBuffer(rate, bits, channels, frames, mask));
}

template <class F>
std::string RangeMessage(F&& call) {
  try {
    call();
  } catch (const ERangeError& e) {
    return e.what();
  }
  return "no error";
}

TEST(AudioBuffer, ConstructionFromAFormatWritesTheExactHeader) {
  TRef<IALAudioBuffer> buffer = Audio(16, 2, 512);
  EXPECT_EQ(buffer->Count(), 512u);
  EXPECT_EQ(buffer->ByteSize(), 2048u);
  EXPECT_EQ(buffer->HeaderSize(), 40u);
  EXPECT_EQ(buffer->BlockAlign(), 4u);
  EXPECT_EQ(buffer->ContainerBits(), 16u);
  EXPECT_EQ(buffer->SampleRate(), 44100u);
  const uint8_t expected[40] = {0xFE, 0xFF, 0x02, 0x00, 0x44, 0xAC, 0x00, 0x00, 0x10, 0xB1,
                                0x02, 0x00, 0x04, 0x00, 0x10, 0x00, 0x16, 0x00, 0x10, 0x00,
                                0x03, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                                0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  const uint8_t* block = buffer->Implementation()->Block()->Data();
  EXPECT_EQ(std::memcmp(block, expected, 40), 0);
  EXPECT_EQ(buffer->ReadData(), block + 40);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 32, 0u);

  TOWObject owner;
  TALAudioFormat format(&owner, nullptr);
  format.SetSampleRate(44100);
  WaveFormat header;
  buffer->GetFormat(&header);
  EXPECT_EQ(header, format.Format());
}

TEST(AudioBuffer, OddBitsUseTheRoundedUpContainer) {
  TRef<IALAudioBuffer> buffer = Audio(20, 2, 5, 3);
  EXPECT_EQ(buffer->Bits(), 20u);
  EXPECT_EQ(buffer->ContainerBits(), 24u);
  EXPECT_EQ(buffer->BlockAlign(), 6u);
  EXPECT_EQ(buffer->ByteSize(), 30u);
  TRef<IALAudioBuffer> twelve = Audio(12, 1, 3, 4);
  EXPECT_EQ(twelve->ContainerBits(), 16u);
  EXPECT_EQ(twelve->ChannelMask(), 4u);
}

TEST(AudioBuffer, SampleAccessAtEveryWidth) {
  const struct {
    uint32_t bits;
    int32_t written, read;
  } cases[] = {
      {8, 0, 0},
      {8, 255, 255},
      {8, 0x1FF, 255},
      {8, -1, 255},
      {16, -2, -2},
      {16, 32767, 32767},
      {16, 0x12345, 0x2345},
      {16, -32768, -32768},
      {12, -1, -1},
      {24, 8388607, 8388607},
      {24, -1, 16777215},
      {24, 0x1000001, 1},
      {20, -8388608, 8388608},
      {32, INT32_MIN, INT32_MIN},
      {32, -7, -7},
      {32, INT32_MAX, INT32_MAX},
  };
  for (const auto& c : cases) {
    TRef<IALAudioBuffer> buffer = Audio(c.bits, 3, 4, 7);
    buffer->Clear();
    buffer->SetSample(2, 1, c.written);
    EXPECT_EQ(buffer->GetSample(2, 1), c.read) << c.bits << " bits, " << c.written;
    EXPECT_EQ(buffer->GetSample(2, 0), c.bits <= 8 ? 127 : 0) << "neighbour untouched";
    EXPECT_EQ(buffer->GetSample(2, 2), c.bits <= 8 ? 127 : 0);
    EXPECT_EQ(buffer->GetSample(3, 1), c.bits <= 8 ? 127 : 0);
  }
}

TEST(AudioBuffer, TwentyFourBitReadIsNotSignExtended) {
  TRef<IALAudioBuffer> buffer = Audio(24, 1, 1, 4);
  std::memset(buffer->WriteData(), 0xFF, 3);
  EXPECT_EQ(buffer->GetSample(0, 0), 16777215);
}

TEST(AudioBuffer, RangeErrorsAndTheirPrecedence) {
  TRef<IALAudioBuffer> buffer = Audio(16, 2, 512);
  EXPECT_EQ(RangeMessage([&] { buffer->GetSample(0, 2); }), "Channel out of range = 2");
  EXPECT_EQ(RangeMessage([&] { buffer->GetSample(512, 0); }), "Index out of range = 512");
  EXPECT_EQ(RangeMessage([&] { buffer->GetSample(600, 9); }), "Channel out of range = 9");
  EXPECT_EQ(RangeMessage([&] { buffer->SetSample(0, 2, 1); }), "Channel out of rabge = 2");
  EXPECT_EQ(RangeMessage([&] { buffer->SetSample(512, 0, 1); }), "Index out of rabge = 512");
  EXPECT_EQ(RangeMessage([&] { buffer->SetSample(512, 3, 1); }), "Channel out of rabge = 3");
}

TEST(AudioBuffer, SetSampleMakesTheBlockUniqueBeforeItChecks) {
  TRef<IALAudioBuffer> buffer = Audio(16, 2, 4);
  TRef<IALAudioBuffer> clone = RefCast<IALAudioBuffer>(buffer->Clone());
  TSLSmartBuffer* shared = buffer->Implementation()->Block();
  EXPECT_THROW(clone->SetSample(4, 0, 1), ERangeError);
  EXPECT_NE(clone->Implementation()->Block(), shared);
  EXPECT_EQ(shared->OwnerCount(), 1);
}

TEST(AudioBuffer, ClearWritesSilenceOverExactlyTheFrames) {
  for (uint32_t bits : {8u, 16u, 24u, 32u}) {
    TRef<IALAudioBuffer> buffer = Audio(bits, 2, 5);
    TSLSmartBuffer* block = buffer->Implementation()->Block();
    std::memset(block->Data() + 40, 0xAA, block->AllocatedSize() - 40);
    buffer->Clear();
    const uint32_t frameBytes = 5 * 2 * bits / 8;
    EXPECT_EQ(buffer->ByteSize(), frameBytes);
    const uint8_t* data = buffer->ReadData();
    for (uint32_t i = 0; i < frameBytes; ++i) {
      ASSERT_EQ(data[i], bits == 8 ? 127 : 0) << bits << " bits, byte " << i;
    }
    for (uint32_t i = frameBytes; i < block->AllocatedSize() - 40; ++i) {
      ASSERT_EQ(data[i], 0xAA) << bits << " bits: byte " << i << " after the frames";
    }
  }
}

TEST(AudioBuffer, ConstructionsThatShareTheBlock) {
  TRef<IALAudioBuffer> source = Audio(16, 2, 8);
  source->Clear();
  auto* object = static_cast<TALAudioBuffer*>(source->Implementation());
  TRef<IALAudioBuffer> fromObject(new TALAudioBuffer(*object));
  TRef<IALAudioBuffer> fromInterface(new TALAudioBuffer(source.get()));
  for (const auto& copy : {fromObject, fromInterface}) {
    EXPECT_EQ(copy->Implementation()->Block(), object->Block());
    EXPECT_EQ(copy->Count(), 8u);
    EXPECT_EQ(copy->ReadData(), source->ReadData());
    EXPECT_EQ(copy->Channels(), 2u);
  }
  EXPECT_EQ(object->Block()->OwnerCount(), 3);
  fromInterface->SetSample(0, 0, 99);
  EXPECT_EQ(source->GetSample(0, 0), 0);

  TRef<ISLRealBuffer> real(new TSLRealBuffer(2));
  try {
    TRef<IALAudioBuffer> wrong(new TALAudioBuffer(real.get()));
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Impossible d'affecter TSLRealBuffer à TALAudioBuffer");
  }
}

TEST(AudioBuffer, CloneThenModifyLeavesTheFirstUnchanged) {
  TRef<IALAudioBuffer> first = Audio(16, 2, 4);
  first->Fill(5);
  TRef<IALAudioBuffer> clone = RefCast<IALAudioBuffer>(first->Clone());
  ASSERT_NE(clone, nullptr);
  uint8_t* data = clone->ModifyData();
  EXPECT_NE(clone->Implementation()->Block(), first->Implementation()->Block());
  EXPECT_EQ(clone->GetSample(3, 1), 5);
  EXPECT_EQ(clone->SampleRate(), 44100u);
  std::memset(data, 0, clone->ByteSize());
  EXPECT_EQ(first->GetSample(3, 1), 5);
  EXPECT_FALSE(clone->MakeUnique(true));
}

TEST(AudioBuffer, SetCountShrinksInPlaceAndGrowsWithHeaderAndFrames) {
  TRef<IALAudioBuffer> buffer = Audio(16, 2, 10);
  for (uint32_t i = 0; i < 10; ++i) buffer->SetSample(i, 1, static_cast<int32_t>(i) + 1);
  TSLSmartBuffer* block = buffer->Implementation()->Block();
  buffer->SetCount(0, true);
  EXPECT_EQ(buffer->Count(), 10u);

  TRef<IALAudioBuffer> shared = RefCast<IALAudioBuffer>(buffer->Clone());
  shared->SetCount(4, true);
  EXPECT_EQ(shared->Count(), 4u);
  EXPECT_EQ(shared->Implementation()->Block(), block);

  // 10 frames of 4 bytes + 40 live in a 128-byte block: growing a unique one to 20 stays.
  buffer.reset();
  shared->SetCount(20, true);
  EXPECT_EQ(shared->Implementation()->Block(), block);
  EXPECT_EQ(shared->Count(), 20u);

  TRef<IALAudioBuffer> other = RefCast<IALAudioBuffer>(shared->Clone());
  other->SetCount(100, true);
  EXPECT_NE(other->Implementation()->Block(), block);
  EXPECT_EQ(other->Count(), 100u);
  EXPECT_EQ(other->SampleRate(), 44100u);
  EXPECT_EQ(other->Channels(), 2u);
  for (uint32_t i = 0; i < 10; ++i) EXPECT_EQ(other->GetSample(i, 1), static_cast<int32_t>(i) + 1);
  EXPECT_EQ(shared->Count(), 20u);
  EXPECT_THROW(other->SetCount(1u << 30, true), EOutOfMemory);
  EXPECT_EQ(other->Count(), 100u);
}

TEST(AudioBuffer, BadShapesAreBroughtIntoRange) {
  TRef<IALAudioBuffer> buffer = Audio(0, 0, 3, 1);
  EXPECT_EQ(buffer->Bits(), 8u);
  EXPECT_EQ(buffer->Channels(), 1u);
  EXPECT_EQ(buffer->Count(), 3u);
  TRef<IALAudioBuffer> wide = Audio(64, 99, 1, 1);
  EXPECT_EQ(wide->Bits(), 32u);
  EXPECT_EQ(wide->Channels(), 32u);
  TRef<IALAudioBuffer> empty = Audio(16, 2, 0);
  EXPECT_EQ(empty->Count(), 0u);
  EXPECT_EQ(empty->ByteSize(), 0u);
  empty->Clear();
  empty->Scale(2);
}

}  // namespace
}  // namespace tardivox
