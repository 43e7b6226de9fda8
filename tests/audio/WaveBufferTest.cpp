#include "audio/WaveBuffer.h"

#include <gtest/gtest.h>

#include "audio/AudioParams.h"

namespace tardivox {
namespace {

// A component's own record, as the capture and playback declare theirs.
struct TTestRecord : TALWaveBufferBase {
  TTestRecord(TWaveHandle device, int tag) : TALWaveBufferBase(device), tag(tag) {
    SetData(bytes, sizeof bytes);
  }
  int tag;
  uint8_t bytes[16] = {};
};

TEST(WaveBufferTest, HeaderLeadsBackToItsRecord) {
  TTestRecord record(4, 42);
  EXPECT_EQ(record.header.data, record.bytes);
  EXPECT_EQ(record.header.bufferLength, 16u);
  EXPECT_EQ(TALWaveBufferBase::FromHeader<TTestRecord>(&record.header), &record);
  EXPECT_EQ(TALWaveBufferBase::FromHeader<TTestRecord>(&record.header)->tag, 42);
  EXPECT_EQ(TALWaveBufferBase::FromHeader(nullptr), nullptr);
}

TEST(WaveBufferTest, DeviceStateStartsInactiveAndOwnsItsBufferList) {
  TRef<IALAudioParams> params = MakeRef<TALAudioParams>();
  EXPECT_FALSE(params->GetActive());
  EXPECT_FALSE(params->GetPumped());
  EXPECT_TRUE(params->Buffers().Empty());
  EXPECT_EQ(IALAudioParams::kIid.ToString(), "{EDF390D0-01DA-47DE-BE7D-8ECEB497AE7D}");

  TALAudioParamsLock lock(*params);
  params->SetActive(true);
  params->SetPumped(true);
  auto first = std::make_unique<TTestRecord>(1, 1);
  auto second = std::make_unique<TTestRecord>(1, 2);
  TTestRecord* firstRecord = first.get();
  TTestRecord* secondRecord = second.get();
  params->Buffers().Add(std::move(first));
  params->Buffers().Add(std::move(second));
  EXPECT_TRUE(params->GetActive());
  EXPECT_TRUE(params->GetPumped());
  EXPECT_EQ(params->Buffers().Count(), 2u);
  EXPECT_TRUE(params->Buffers().Contains(secondRecord));

  std::unique_ptr<TALWaveBufferBase> taken = params->Buffers().Remove(firstRecord);
  EXPECT_EQ(taken.get(), firstRecord);
  EXPECT_EQ(params->Buffers().Remove(firstRecord), nullptr) << "already taken out";
  auto all = params->Buffers().TakeAll();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].get(), secondRecord);
  EXPECT_TRUE(params->Buffers().Empty());
}

}  // namespace
}  // namespace tardivox
