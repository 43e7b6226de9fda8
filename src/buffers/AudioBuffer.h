#pragma once
// The audio buffer: interleaved PCM frames of 8, 16, 24 or 32 bits behind the buffer's own
// 40-byte WaveFormat header, on a shared audio block with copy-on-write.
//
// The header never changes after the block is made (SetCount and MakeUnique carry it over),
// so channels, bits, rate and mask are fixed for the buffer's life; the buffer caches them.
// A new buffer's frames are not cleared.
//
// Sample encodings (container bits): 8 bits unsigned, silence 127; 16 and 32 bits signed;
// 24 bits three little-endian bytes, bit 23 the sign. Operations choose their width by the
// valid bits: up to 8 the 8-bit form, 9 to 16 the 16-bit form, above 16 the container's.
//
// Range safety: CopyTo and the two-buffer operations clamp their frame ranges to what both
// buffers hold and pair only channels that exist (a mask naming more positions than there are
// channels never addresses a missing channel). Two-buffer operations on buffers of different
// widths convert the other buffer's samples to this buffer's width first (as CopyTo does).
// Division by a zero sample never traps: 8 bits give 127 (silence); 16, 24 and 32 bits give
// the width's extreme of the dividend's sign (0 for 0 / 0); quotients truncate towards zero.
//
// Threads and ownership: as every buffer (DataBuffer.h, GenericBuffer.h).
// Failure: GetSample and SetSample raise ERangeError (messages on each); blocks raise
// EOutOfMemory when memory cannot be had; a block request above 2^30 bytes is refused with it.

#include <cstdint>

#include "buffers/MediaBuffer.h"
#include "buffers/WaveFormat.h"

namespace tardivox {

namespace vec {
enum class SampleOp;
}

class IALAudioDataBufferAccess;

class IALAudioBuffer : public virtual IMLMediaBuffer {
 public:
  inline static const Guid IID = Guid::FromString("{49372BB8-FFDD-437C-A9D3-BA5DFB8A3B97}");

  inline TRef<IALAudioDataBufferAccess> GetAccess();
  virtual uint32_t Channels() = 0;
  virtual uint32_t Bits() = 0;
  virtual uint32_t SampleRate() = 0;
  virtual uint32_t BlockAlign() = 0;
  virtual TALSpeakers ChannelMask() = 0;
  virtual uint32_t ContainerBits() = 0;
  // Copies the 40-byte header out.
  virtual void GetFormat(WaveFormat* destination) = 0;
  virtual uint32_t HeaderSize() = 0;
  // A raw sample. Raises ERangeError "Channel out of range = %u" (checked first), then
  // "Index out of range = %u". The 24-bit form reads 0 … 16777215 (not sign-extended).
  virtual int32_t GetSample(uint32_t index, uint32_t channel) = 0;
  // Makes the block unique (content kept) before any check, then raises ERangeError
  // "Channel out of rabge = %u" or "Index out of rabge = %u", or writes the low bits of value.
  virtual void SetSample(uint32_t index, uint32_t channel, int32_t value) = 0;
  // Sample arithmetic with another buffer over the smaller frame count, channels paired by
  // speaker position (a mono other is combined with every channel of this buffer).
  virtual void Add(IALAudioBuffer* other) = 0;
  virtual void Subtract(IALAudioBuffer* other) = 0;
  virtual void Multiply(IALAudioBuffer* other) = 0;
  virtual void Divide(IALAudioBuffer* other) = 0;
  // Every sample: 8 bits the low byte of value + 127; 16 and 24 bits the low bits; 32 bits
  // value. Content is not kept (WriteData).
  virtual void Fill(int32_t value) = 0;
  // Silence: every sample becomes Fill(0).
  virtual void Clear() = 0;
  // Each sample times factor, rounded to nearest (ties to even), kept to the width's low bits.
  virtual void Scale(double factor) = 0;
};

class IALAudioDataBufferAccess : public virtual ISLDataBufferAccess {
 public:
  virtual TMLTimeStamp* TimeStamp() = 0;
  virtual uint32_t Channels() = 0;
  virtual uint32_t Bits() = 0;
  virtual uint32_t SampleRate() = 0;
  virtual uint32_t BlockAlign() = 0;
  virtual TALSpeakers ChannelMask() = 0;
  virtual uint32_t ContainerBits() = 0;
  virtual uint32_t HeaderSize() = 0;
  virtual int32_t GetSample(uint32_t index, uint32_t channel) = 0;
  virtual void SetSample(uint32_t index, uint32_t channel, int32_t value) = 0;
  // The buffer behind other is used.
  virtual void Add(IALAudioDataBufferAccess* other) = 0;
  virtual void Subtract(IALAudioDataBufferAccess* other) = 0;
  virtual void Multiply(IALAudioDataBufferAccess* other) = 0;
  virtual void Divide(IALAudioDataBufferAccess* other) = 0;
  virtual void Fill(int32_t value) = 0;
  virtual void Clear() = 0;
  virtual void Scale(double factor) = 0;
};

inline TRef<IALAudioDataBufferAccess> IALAudioBuffer::GetAccess() {
  return RefCast<IALAudioDataBufferAccess>(NewAccess());
}

class TALAudioBuffer : public TMLMediaBuffer, public virtual IALAudioBuffer {
 public:
  // A new block for frameCount frames of the given shape, with its header written. Valid
  // bits are brought into 8 … 32 and channels into 1 … 32, as the audio format does; the
  // mask is stored as given. Raises EOutOfMemory when the frames need more than 2^30 bytes.
  TALAudioBuffer(uint32_t sampleRate, uint32_t bits, uint32_t channels, uint32_t frameCount,
                 TALSpeakers channelMask);
  // Shares source's block and stored size, as an owner.
  explicit TALAudioBuffer(const TALAudioBuffer& source);
  // Shares the block and stored size of the audio buffer behind source; raises EConvertError
  // "Impossible d'affecter %s à %s" when it is not an audio buffer (or is null).
  explicit TALAudioBuffer(ISLDataBuffer* source);

  const char* ClassName() const override { return "TALAudioBuffer"; }

  // ISLDataBuffer
  uint32_t ByteSize() override;
  uint32_t Count() override;
  void CopyTo(uint32_t selfOffset, ISLDataBuffer* destination, uint32_t destinationOffset,
              uint32_t count) override;
  void SetCount(uint32_t frames, bool keepContent) override;
  TRef<ISLDataBuffer> Clone() override;
  TRef<ISLDataBufferAccess> NewAccess() override;
  void BlockChanged() override;
  bool AcceptsBlockOf(const TSLGenericBuffer& source) const override;

  // IALAudioBuffer
  TRef<IALAudioDataBufferAccess> GetAccess() { return IALAudioBuffer::GetAccess(); }
  uint32_t Channels() override { return channels_; }
  uint32_t Bits() override { return bits_; }
  uint32_t SampleRate() override { return header_->samplesPerSec; }
  uint32_t BlockAlign() override { return blockAlign_; }
  TALSpeakers ChannelMask() override { return channelMask_; }
  uint32_t ContainerBits() override { return containerBits_; }
  void GetFormat(WaveFormat* destination) override;
  uint32_t HeaderSize() override { return headerSize_; }
  int32_t GetSample(uint32_t index, uint32_t channel) override;
  void SetSample(uint32_t index, uint32_t channel, int32_t value) override;
  void Add(IALAudioBuffer* other) override;
  void Subtract(IALAudioBuffer* other) override;
  void Multiply(IALAudioBuffer* other) override;
  void Divide(IALAudioBuffer* other) override;
  void Fill(int32_t value) override;
  void Clear() override;
  void Scale(double factor) override;

  // A new audio block of at least requestedBytes (header included).
  virtual TSLSmartBuffer* NewBlock(uint64_t requestedBytes);
  // Frame bytes plus header: the stored size.
  uint32_t DataSize() const { return StoredSize(); }
  // The width the sample operations use (8, 16, 24 or 32; see the header comment).
  uint32_t SampleWidth() const;

 protected:
  ~TALAudioBuffer() override = default;

 private:
  void Combine(vec::SampleOp operation, IALAudioBuffer* other);
  TALSmartAudioBuffer* AudioBlock() const;

  uint32_t channels_ = 0;
  uint32_t bits_ = 0;
  TALSpeakers channelMask_ = 0;
  uint32_t containerBits_ = 0;
  uint32_t blockAlign_ = 0;
  uint32_t headerSize_ = 0;
  WaveFormat* header_ = nullptr;
};

// The audio access object: forwards to its audio buffer (see ISLDataBufferAccess).
class TALAudioDataBufferAccess : public TSLDataBufferAccess,
                                 public virtual IALAudioDataBufferAccess {
 public:
  explicit TALAudioDataBufferAccess(TALAudioBuffer* buffer) : TSLDataBufferAccess(buffer) {}

  TMLTimeStamp* TimeStamp() override { return Audio().TimeStamp(); }
  uint32_t Channels() override { return Audio().Channels(); }
  uint32_t Bits() override { return Audio().Bits(); }
  uint32_t SampleRate() override { return Audio().SampleRate(); }
  uint32_t BlockAlign() override { return Audio().BlockAlign(); }
  TALSpeakers ChannelMask() override { return Audio().ChannelMask(); }
  uint32_t ContainerBits() override { return Audio().ContainerBits(); }
  uint32_t HeaderSize() override { return Audio().HeaderSize(); }
  int32_t GetSample(uint32_t index, uint32_t channel) override {
    return Audio().GetSample(index, channel);
  }
  void SetSample(uint32_t index, uint32_t channel, int32_t value) override {
    Audio().SetSample(index, channel, value);
  }
  void Add(IALAudioDataBufferAccess* other) override { Audio().Add(&AudioOf(other)); }
  void Subtract(IALAudioDataBufferAccess* other) override { Audio().Subtract(&AudioOf(other)); }
  void Multiply(IALAudioDataBufferAccess* other) override { Audio().Multiply(&AudioOf(other)); }
  void Divide(IALAudioDataBufferAccess* other) override { Audio().Divide(&AudioOf(other)); }
  void Fill(int32_t value) override { Audio().Fill(value); }
  void Clear() override { Audio().Clear(); }
  void Scale(double factor) override { Audio().Scale(factor); }

 private:
  TALAudioBuffer& Audio() const { return static_cast<TALAudioBuffer&>(Live()); }
  static TALAudioBuffer& AudioOf(IALAudioDataBufferAccess* access) {
    return static_cast<TALAudioBuffer&>(LiveOf(access));
  }
};

}  // namespace tardivox
