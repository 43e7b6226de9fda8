#include "app/DeviceWatch.h"

#include <algorithm>
#include <cstdio>

#include "app/Controller.h"
#include "audio/WaveService.h"

namespace tardivox {

TDeviceWatch::TDeviceWatch(TDelayController& controller, IALWaveService& service)
    : controller_(controller),
      service_(service),
      seenChanges_(service.DeviceChanges()),
      seenFailures_(service.DeviceFailures()) {
  timer_.setInterval(kTickMs);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
}

void TDeviceWatch::Start() {
  timer_.start();
}

void TDeviceWatch::Stop() {
  timer_.stop();
  recovering_ = false;
}

void TDeviceWatch::Tick() {
  // A sequence processes events in its waits, and this timer fires among them.
  if (busy_ || controller_.Busy()) return;
  busy_ = true;
  struct TDone {
    bool& flag;
    ~TDone() { flag = false; }
  } done{busy_};

  const uint64_t changes = service_.DeviceChanges();
  if (changes != seenChanges_) {
    seenChanges_ = changes;
    controller_.FollowDevices();
  }

  const uint64_t failures = service_.DeviceFailures();
  if (!recovering_ && failures != seenFailures_) {
    seenFailures_ = failures;
    if (controller_.IsChainActive()) {
      recovering_ = true;
      lostAt_ = TClock::now();
      nextTry_ = lostAt_;
      backoff_ = kFirstRetryMs;
      std::fprintf(stderr, "tardivox: the chain lost its devices (%s); waiting for them\n",
                   controller_.DescribeDevices().c_str());
    }
  }
  if (recovering_) TryRestart();
}

void TDeviceWatch::TryRestart() {
  const TClock::time_point now = TClock::now();
  if (now < nextTry_) return;
  // The user may have switched the chain off meanwhile: nothing to bring back then.
  if (!controller_.ChainWanted()) {
    recovering_ = false;
    seenFailures_ = service_.DeviceFailures();
    return;
  }
  if (service_.ServerAvailable()) {
    const uint64_t failuresBefore = service_.DeviceFailures();
    controller_.RestartChain();
    seenFailures_ = service_.DeviceFailures();
    if (seenFailures_ == failuresBefore && controller_.IsChainActive()) {
      recovering_ = false;
      const double seconds = std::chrono::duration<double>(TClock::now() - lostAt_).count();
      std::fprintf(stderr, "tardivox: the chain runs again (%s), %.2f s after it was lost\n",
                   controller_.DescribeDevices().c_str(), seconds);
      return;
    }
  }
  nextTry_ = TClock::now() + backoff_;
  backoff_ = std::min(backoff_ * 2, kMaxRetryMs);
}

}  // namespace tardivox
