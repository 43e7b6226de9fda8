#pragma once
// The media buffer: a buffer with a time stamp object. The audio buffer builds on it.
// Contract as TSLGenericBuffer (GenericBuffer.h).

#include "buffers/GenericBuffer.h"

namespace tardivox {

class TMLMediaBuffer;

// The time stamp object of a media buffer: a back reference to its buffer, nothing else.
class TMLTimeStamp {
 public:
  explicit TMLTimeStamp(TMLMediaBuffer* buffer) : buffer_(buffer) {}
  TMLTimeStamp(const TMLTimeStamp&) = delete;
  TMLTimeStamp& operator=(const TMLTimeStamp&) = delete;
  TMLMediaBuffer* Buffer() const { return buffer_; }

 private:
  TMLMediaBuffer* buffer_;
};

class IMLMediaBuffer : public virtual ISLDataBuffer {
 public:
  inline static const Guid IID = Guid::FromString("{D4894B42-BC18-4BDD-9AA0-320612A44E5F}");
  virtual TMLTimeStamp* TimeStamp() = 0;
};

class TMLMediaBuffer : public TSLGenericBuffer, public virtual IMLMediaBuffer {
 public:
  const char* ClassName() const override { return "TMLMediaBuffer"; }
  TMLTimeStamp* TimeStamp() override { return &timeStamp_; }

 protected:
  TMLMediaBuffer(TSLSmartBuffer* block, uint32_t storedSize)
      : TSLGenericBuffer(block, storedSize) {}
  explicit TMLMediaBuffer(const TMLMediaBuffer& source) : TSLGenericBuffer(source) {}
  ~TMLMediaBuffer() override = default;

 private:
  TMLTimeStamp timeStamp_{this};
};

}  // namespace tardivox
