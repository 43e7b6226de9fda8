#pragma once
// Keeps the window in step with the sound server while the program runs: the device lists
// follow the devices that come and go, and a chain that lost its devices (the server restarted,
// a device left) is started again by itself once the server answers, with the window's
// settings, so a delay left running never needs a click.
//
// Every tick of its timer (kTickMs) it:
// - lists the devices again when the wave service says the set of devices changed, keeping each
//   list's selection by name (TDeviceSelection::FollowDevices);
// - after a device failure while the chain is on, asks the server (without blocking) whether it
//   answers, at most once per backoff step (kFirstRetryMs, doubling up to kMaxRetryMs); once it
//   does, the controller restarts the chain (TDelayController::RestartChain). The loss and the
//   recovery each print one line to stderr, the recovery with the time it took.
// A tick that arrives while the controller runs a sequence (a user's edit, or the restart
// itself, whose waits process events) is skipped, so the watch never acts in the middle of one.
//
// Ownership: owned by the controller, which outlives it; it owns its timer.
// Thread: the window's only; nothing here blocks on the server (the restart's device opens are
// bounded waits, made only once the server answers).
// Failure: errors of the components are swallowed by the controller's guarded calls; a restart
// that fails again is retried at the next backoff step.

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>

namespace tardivox {

class IALWaveService;
class TDelayController;

class TDeviceWatch {
 public:
  static constexpr int kTickMs = 250;
  static constexpr std::chrono::milliseconds kFirstRetryMs{250};
  static constexpr std::chrono::milliseconds kMaxRetryMs{500};

  TDeviceWatch(TDelayController& controller, IALWaveService& service);
  TDeviceWatch(const TDeviceWatch&) = delete;
  TDeviceWatch& operator=(const TDeviceWatch&) = delete;

  // Starts the ticks; what happened since construction (a start-up that found no server, say)
  // is seen at the first tick. Stop ends them (also at destruction).
  void Start();
  void Stop();
  // One tick, as the timer makes it.
  void Tick();
  IALWaveService& Service() const { return service_; }
  // True between a device failure of the running chain and its restart.
  bool Recovering() const { return recovering_; }

 private:
  using TClock = std::chrono::steady_clock;

  void TryRestart();

  TDelayController& controller_;
  IALWaveService& service_;
  QTimer timer_;
  bool busy_ = false;
  uint64_t seenChanges_ = 0;
  uint64_t seenFailures_ = 0;
  bool recovering_ = false;
  TClock::time_point lostAt_;
  TClock::time_point nextTry_;
  std::chrono::milliseconds backoff_ = kFirstRetryMs;
};

}  // namespace tardivox
