#include "audio/WaveService.h"

#include <atomic>

#include "audio/PulseWaveService.h"

namespace tardivox {

namespace {
std::atomic<IALWaveService*> gInstalled{nullptr};
}  // namespace

IALWaveService& CurrentWaveService() {
  if (IALWaveService* service = gInstalled.load(std::memory_order_acquire)) return *service;
  return TALPulseWaveService::Instance();
}

IALWaveService* SetCurrentWaveService(IALWaveService* service) {
  return gInstalled.exchange(service, std::memory_order_acq_rel);
}

}  // namespace tardivox
