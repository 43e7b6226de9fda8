#include <gtest/gtest.h>

#include <cstring>

#include "buffers/AudioBuffer.h"
#include "buffers/BlockBuffer.h"
#include "buffers/IntegerBuffer.h"
#include "buffers/RealBuffer.h"
#include "core/Exceptions.h"

namespace tardivox {
namespace {

TRef<ISLRealBuffer> Reals(std::initializer_list<double> values) {
  TRef<ISLRealBuffer> buffer(new TSLRealBuffer(static_cast<uint32_t>(values.size())));
  std::copy(values.begin(), values.end(), buffer->WriteData());
  return buffer;
}

TSLSmartBuffer* BlockOf(ISLDataBuffer* buffer) {
  return buffer->Implementation()->Block();
}

TEST(CopyOnWrite, CloneSharesTheBlockAsAnOwner) {
  TRef<ISLRealBuffer> first = Reals({1, 2, 3});
  TRef<ISLDataBuffer> clone = first->Clone();
  EXPECT_EQ(BlockOf(clone.get()), BlockOf(first.get()));
  EXPECT_EQ(BlockOf(first.get())->OwnerCount(), 2);
  EXPECT_EQ(BlockOf(first.get())->HolderCount(), 2);
  EXPECT_EQ(clone->Count(), 3u);
  EXPECT_NE(RefCast<ISLRealBuffer>(clone), nullptr);
}

TEST(CopyOnWrite, WritingThroughASharedBufferCopiesExactlyOnce) {
  TRef<ISLRealBuffer> first = Reals({1, 2, 3});
  TRef<ISLRealBuffer> clone = RefCast<ISLRealBuffer>(first->Clone());
  TSLSmartBuffer* shared = BlockOf(first.get());

  double* items = clone->ModifyData();
  EXPECT_NE(BlockOf(clone.get()), shared);
  EXPECT_EQ(items[0], 1.0);
  EXPECT_EQ(items[2], 3.0);
  items[1] = 20;
  EXPECT_EQ(first->GetValue(1), 2.0);
  EXPECT_EQ(shared->OwnerCount(), 1);
  EXPECT_EQ(shared->HolderCount(), 1);

  TSLSmartBuffer* own = BlockOf(clone.get());
  EXPECT_EQ(clone->ModifyData(), items);  // already unique: no second copy
  EXPECT_EQ(BlockOf(clone.get()), own);
  EXPECT_FALSE(clone->MakeUnique(true));
  EXPECT_FALSE(first->MakeUnique(true));
}

TEST(CopyOnWrite, ReadDataNeverCopiesAndWriteDataDropsTheContent) {
  TRef<ISLRealBuffer> first = Reals({1, 2});
  TRef<ISLRealBuffer> clone = RefCast<ISLRealBuffer>(first->Clone());
  EXPECT_EQ(clone->ReadData(), first->ReadData());
  double* fresh = clone->WriteData();
  EXPECT_NE(fresh, first->ReadData());
  fresh[0] = 7;
  fresh[1] = 8;
  EXPECT_EQ(first->GetValue(0), 1.0);
  EXPECT_TRUE(RefCast<ISLRealBuffer>(first->Clone())->MakeUnique(false));
}

TEST(CopyOnWrite, UniquenessCountsOwnersOnly) {
  TRef<ISLRealBuffer> first = Reals({5});
  TRef<ISLDataBuffer> holder = first->Clone();
  holder->Implementation()->DropOwnership();
  holder->Implementation()->DropOwnership();  // a second drop changes nothing
  EXPECT_FALSE(holder->Implementation()->IsOwner());
  EXPECT_EQ(BlockOf(first.get())->OwnerCount(), 1);
  EXPECT_EQ(BlockOf(first.get())->HolderCount(), 2);
  EXPECT_FALSE(first->MakeUnique(true));
  first->SetValue(0, 6);
  EXPECT_EQ(reinterpret_cast<double*>(holder->ReadData())[0], 6.0);  // the holder sees it
  holder.reset();
  EXPECT_EQ(BlockOf(first.get())->HolderCount(), 1);
}

TEST(CopyOnWrite, ShareFromTakesOverTheSourceBlock) {
  TRef<ISLRealBuffer> source = Reals({1, 2, 3, 4});
  TRef<ISLRealBuffer> target = Reals({9});
  target->ShareFrom(source.get());
  EXPECT_EQ(BlockOf(target.get()), BlockOf(source.get()));
  EXPECT_EQ(target->Count(), 4u);
  EXPECT_EQ(target->GetValue(3), 4.0);
  EXPECT_EQ(BlockOf(source.get())->OwnerCount(), 2);
  target->ShareFrom(target.get());
  target->ShareFrom(source.get());  // same block: nothing more is attached
  EXPECT_EQ(BlockOf(source.get())->HolderCount(), 2);
  target->SetValue(0, 10);
  EXPECT_EQ(source->GetValue(0), 1.0);
}

TEST(CopyOnWrite, SharingAcrossKindsIsRefusedWithTheAssignmentError) {
  TRef<IALAudioBuffer> audio(new TALAudioBuffer(44100, 16, 2, 4, 3));
  TRef<ISLRealBuffer> real = Reals({1});
  try {
    real->ShareFrom(audio.get());
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Impossible d'affecter TALAudioBuffer à TSLRealBuffer");
  }
  EXPECT_THROW(TRef<ISLRealBuffer>(new TSLRealBuffer(audio.get())), EConvertError);
  EXPECT_THROW(audio->ShareFrom(real.get()), EConvertError);
  EXPECT_EQ(real->GetValue(0), 1.0);
  // Any memory buffer will do for a real buffer: an integer buffer's bytes become doubles.
  TRef<ISLIntegerBuffer> integers(new TSLIntegerBuffer(4));
  TRef<ISLRealBuffer> view(new TSLRealBuffer(integers.get()));
  EXPECT_EQ(view->Count(), 2u);
  EXPECT_EQ(BlockOf(view.get()), BlockOf(integers.get()));
}

TEST(CopyOnWrite, SetCountOnMemoryBuffers) {
  TRef<ISLRealBuffer> buffer = Reals({1, 2, 3, 4});
  EXPECT_EQ(buffer->ByteSize(), 32u);
  EXPECT_EQ(buffer->Count(), 4u);
  TSLSmartBuffer* block = BlockOf(buffer.get());

  buffer->SetCount(0, false);
  EXPECT_EQ(buffer->Count(), 4u);
  buffer->SetCount(2, true);
  EXPECT_EQ(buffer->Count(), 2u);
  EXPECT_EQ(BlockOf(buffer.get()), block);
  EXPECT_EQ(buffer->GetValue(1), 2.0);

  // Growing a unique block within its allocation (32 bytes) keeps it.
  buffer->SetCount(4, false);
  EXPECT_EQ(BlockOf(buffer.get()), block);
  EXPECT_EQ(buffer->GetValue(3), 4.0);

  // Shrinking a shared block keeps it shared.
  TRef<ISLRealBuffer> clone = RefCast<ISLRealBuffer>(buffer->Clone());
  clone->SetCount(1, true);
  EXPECT_EQ(BlockOf(clone.get()), block);
  EXPECT_EQ(buffer->Count(), 4u);

  // Growing a shared block moves to a new block, keeping the content when asked.
  clone->SetCount(3, true);
  EXPECT_NE(BlockOf(clone.get()), block);
  EXPECT_EQ(clone->GetValue(0), 1.0);
  EXPECT_EQ(clone->GetValue(2), 3.0);
  EXPECT_EQ(BlockOf(buffer.get())->OwnerCount(), 1);

  // Growing beyond the allocation moves to a larger block.
  buffer->SetCount(5, true);
  EXPECT_NE(BlockOf(buffer.get()), block);
  EXPECT_EQ(BlockOf(buffer.get())->AllocatedSize(), 64u);
  EXPECT_EQ(buffer->GetValue(3), 4.0);
}

TEST(CopyOnWrite, TypedCopyToCopiesItemsAndClampsToBothBuffers) {
  TRef<ISLRealBuffer> source = Reals({1, 2, 3, 4});
  TRef<ISLRealBuffer> target = Reals({0, 0, 0});
  TRef<ISLRealBuffer> shared = RefCast<ISLRealBuffer>(target->Clone());
  source->CopyTo(1, target.get(), 1, 100);  // 2 items fit
  EXPECT_EQ(target->GetValue(0), 0.0);
  EXPECT_EQ(target->GetValue(1), 2.0);
  EXPECT_EQ(target->GetValue(2), 3.0);
  EXPECT_EQ(shared->GetValue(1), 0.0);    // the destination was made unique first
  source->CopyTo(4, target.get(), 0, 1);  // offsets beyond either buffer copy nothing
  source->CopyTo(0, target.get(), 3, 1);
  EXPECT_EQ(target->GetValue(0), 0.0);

  // Into another kind the copy counts bytes.
  TRef<ISLBlockBuffer> bytes(new TSLBlockBuffer(16));
  bytes->Zero();
  source->CopyTo(0, bytes.get(), 8, 100);
  double copied;
  std::memcpy(&copied, bytes->ReadData() + 8, sizeof copied);
  EXPECT_EQ(copied, 1.0);
  EXPECT_EQ(bytes->ReadData()[0], 0);
}

TEST(AccessObjects, ForwardToTheirBufferAndOutliveIt) {
  TRef<ISLRealBuffer> buffer = Reals({1, 2, 3});
  TRef<ISLRealDataBufferAccess> access = buffer->GetAccess();
  TRef<ISLRealDataBufferAccess> early = buffer->GetAccess();
  early.reset();  // an access released first leaves its buffer's list
  EXPECT_EQ(access->Count(), 3u);
  EXPECT_EQ(access->GetBuffer().get(), static_cast<ISLDataBuffer*>(buffer.get()));
  access->SetValue(0, 5);
  EXPECT_EQ(buffer->GetValue(0), 5.0);
  EXPECT_EQ(access->Maximum(), 5.0);
  TRef<ISLRealBuffer> other = Reals({1, 1, 1});
  TRef<ISLRealDataBufferAccess> otherAccess = other->GetAccess();
  access->Add(otherAccess.get());
  EXPECT_EQ(buffer->GetValue(2), 4.0);
  access->SetCount(3, false);  // same count: nothing
  access->CopyTo(0, otherAccess.get(), 0, 1);
  EXPECT_EQ(other->GetValue(0), 6.0);

  buffer.reset();
  EXPECT_EQ(access->GetBuffer(), nullptr);
  EXPECT_THROW(access->Count(), Exception);
  EXPECT_THROW(otherAccess->Add(access.get()), Exception);
}

TEST(AccessObjects, AudioAccessForwardsTheSampleOperations) {
  TRef<IALAudioBuffer> buffer(new TALAudioBuffer(22050, 16, 2, 4, 3));
  TRef<IALAudioDataBufferAccess> access = buffer->GetAccess();
  access->Clear();
  access->SetSample(1, 1, -5);
  EXPECT_EQ(buffer->GetSample(1, 1), -5);
  EXPECT_EQ(access->SampleRate(), 22050u);
  EXPECT_EQ(access->Count(), 4u);
  EXPECT_EQ(access->TimeStamp()->Buffer(), buffer->Implementation());
  TRef<IALAudioDataBufferAccess> self = buffer->GetAccess();
  access->Add(self.get());
  EXPECT_EQ(buffer->GetSample(1, 1), -10);
  buffer.reset();
  EXPECT_THROW(self->GetSample(0, 0), Exception);
}

}  // namespace
}  // namespace tardivox
