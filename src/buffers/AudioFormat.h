#pragma once
// The audio format objects: the configuration side of the 40-byte WaveFormat record.
//
// A capture component publishes a TALAudioFormat as its AudioFormat property; the format
// publishes Channels, Bits, SampleRate, ChannelMask and BufferSize itself (negative stored
// values become 0 before the setters clamp them), and the values set there decide the header
// of every buffer the capture creates. The record is kept complete at
// all times: every setter brings its value into range, stores it, recomputes the record and
// then calls OnChange (see each setter for when a change counts).
//
// Ownership and threads: the owning component creates and destroys the format and gives it
// its lock holder (a TOWObject, not owned; it must outlive the format). Every setter and
// getter runs under a section of that object (a write section for setters, OnChange
// included; a read section for getters), so a property change never overlaps a buffer passing
// through the owner's pins. Being group-lock sections (rank: group, see docs/ARCHITECTURE.md),
// they are never called while holding a component-internal lock. Without an owner (nullptr)
// no lock is taken and the caller keeps to one thread.
//
// Failure: setters never fail; out-of-range values are clamped. A whole-object assignment
// (Assign) always fails with EConvertError "Impossible d'affecter %s à %s" and copies
// nothing: formats change property by property.

#include <cstdint>
#include <functional>

#include "buffers/WaveFormat.h"
#include "model/Persistent.h"

namespace tardivox {

class TOWObject;

class TALAudioFormatBasic : public TPersistent {
 public:
  // Called with the format as sender after each accepted change, inside the write section.
  using ChangeEvent = std::function<void(TALAudioFormatBasic* sender)>;

  static constexpr uint32_t kDefaultChannels = 2;
  static constexpr uint32_t kDefaultBits = 16;
  static constexpr uint32_t kDefaultSampleRate = 11025;
  static constexpr TALSpeakers kDefaultChannelMask = 3;  // front left and front right

  // Applies the defaults through the setters (OnChange fires for each of them).
  TALAudioFormatBasic(TOWObject* owner, ChangeEvent onChange);
  ~TALAudioFormatBasic() override = default;

  virtual const char* ClassName() const { return "TALAudioFormatBasic"; }

  uint32_t Channels() const;
  // 0 becomes 1, above 32 becomes 32. Stored (and OnChange fired) only when it differs.
  void SetChannels(uint32_t channels);
  // The valid bits.
  uint32_t Bits() const;
  // Below 8 becomes 8, above 32 becomes 32. Stored only when it differs.
  void SetBits(uint32_t bits);
  uint32_t SampleRate() const;
  // Any value, 0 included. Always stored, OnChange always fired.
  void SetSampleRate(uint32_t samplesPerSecond);
  TALSpeakers ChannelMask() const;
  // Any mask (not compared with Channels). Always stored, OnChange always fired.
  void SetChannelMask(TALSpeakers mask);

  // The record for a device to open with. Read it only while no setter can run (the owner's
  // thread, or under a section of the owner); Format() returns a copy taken under the lock.
  const tardivox::WaveFormat* WaveFormat() const { return &record_; }
  tardivox::WaveFormat Format() const;

  // Whole-object assignment is refused: raises EConvertError with
  // "Impossible d'affecter <source class> à <this class>" ("nil" for no source).
  void Assign(const TALAudioFormatBasic* source);

 protected:
  TOWObject* Owner() const { return owner_; }
  void Changed();

 private:
  void Recompute();

  TOWObject* owner_;
  ChangeEvent onChange_;
  tardivox::WaveFormat record_;  // guarded by the owner's group lock
  uint32_t channels_ = 0;
  uint32_t bits_ = 0;
  uint32_t sampleRate_ = 0;
  TALSpeakers channelMask_ = 0;
};

class TALAudioFormat : public TALAudioFormatBasic {
 public:
  static constexpr uint32_t kDefaultBufferSize = 1024;

  TALAudioFormat(TOWObject* owner, ChangeEvent onChange);

  const char* ClassName() const override { return "TALAudioFormat"; }

  // Frames per buffer that a capture creates; not part of the record.
  uint32_t BufferSize() const;
  // 0 becomes 1. Stored, and OnChange fired, only when it differs.
  void SetBufferSize(uint32_t frames);

 private:
  uint32_t bufferSize_ = 0;
};

}  // namespace tardivox
