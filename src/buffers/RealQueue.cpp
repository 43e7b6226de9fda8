#include "buffers/RealQueue.h"

#include <string>

#include "core/Exceptions.h"

namespace tardivox {

double TSLRealQueue::Items(uint32_t index) const {
  if (index >= values_.size()) {
    throw ERangeError(FormatMessage("Index out of range = %u", {std::to_string(index)}));
  }
  return values_.at(index);
}

void TSLRealQueue::DropFirst() {
  if (values_.empty()) {
    throw ERangeError(FormatMessage("Index out of range = %u", {"0"}));
  }
  values_.pop_front();
}

void TSLRealQueue::Reserve(uint32_t count) {
  values_.reserve(count);
}

}  // namespace tardivox
