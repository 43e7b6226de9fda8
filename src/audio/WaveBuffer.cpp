#include "audio/WaveBuffer.h"

#include <algorithm>

namespace tardivox {

std::unique_ptr<TALWaveBufferBase> TALWaveBufferList::Remove(const TALWaveBufferBase* record) {
  auto it = std::find_if(records_.begin(), records_.end(),
                         [&](const auto& r) { return r.get() == record; });
  if (it == records_.end()) return nullptr;
  std::unique_ptr<TALWaveBufferBase> taken = std::move(*it);
  records_.erase(it);
  return taken;
}

bool TALWaveBufferList::Contains(const TALWaveBufferBase* record) const {
  return std::any_of(records_.begin(), records_.end(),
                     [&](const auto& r) { return r.get() == record; });
}

}  // namespace tardivox
