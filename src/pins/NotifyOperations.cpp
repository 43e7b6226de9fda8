#include "pins/NotifyOperations.h"

#include <atomic>

namespace tardivox {

namespace {
std::atomic<uint32_t> g_nextOperationId{1};
}

TOWNotifyOperation::TOWNotifyOperation()
    : id_(g_nextOperationId.fetch_add(1, std::memory_order_relaxed)) {}

TOWStartSampleRateOperation::TOWStartSampleRateOperation(int32_t bufferSize, double sampleRate)
    : TOWStartRateOperation(bufferSize > 0 ? static_cast<float>(sampleRate / bufferSize)
                                           : static_cast<float>(sampleRate)),
      bufferSize_(bufferSize),
      sampleRate_(sampleRate) {}

}  // namespace tardivox
