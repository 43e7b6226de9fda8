#pragma once
// Helpers of the suites that run against the private PulseAudio server of their fixture
// (scripts/pulse-test-server.sh): its devices, test signals, and a guard against ever reaching
// another server.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "audio/PulseWaveService.h"

namespace tardivox::testing {

inline const std::string kLongSinkName =
    "Tardivox test sink whose name is longer than 32 characters";
inline const std::string kAlphaSink = kLongSinkName + ": alpha";
inline const std::string kBetaSink = kLongSinkName + ": beta";

// Fails the test unless the fixture's private server was named (so the user's is never used).
inline void RequirePrivateServer() {
  const char* server = std::getenv("PULSE_SERVER");
  ASSERT_TRUE(server && std::string(server).rfind("unix:", 0) == 0)
      << "run through ctest: the fixture starts a private server and sets PULSE_SERVER";
}

inline std::vector<std::string> DeviceNames(IALWaveService& service, bool input) {
  std::vector<std::string> names;
  const uint32_t count = input ? service.waveInGetNumDevs() : service.waveOutGetNumDevs();
  for (uint32_t i = 0; i < count; ++i) {
    TWaveDevCaps caps;
    const TWaveResult r =
        input ? service.waveInGetDevCapsA(i, caps) : service.waveOutGetDevCapsA(i, caps);
    names.push_back(r == TWaveResult::NoError ? caps.name : "?");
  }
  return names;
}

// The index of the device with that name, or kWaveMapper (with a test failure) when absent.
inline uint32_t DeviceIndex(IALWaveService& service, bool input, const std::string& name) {
  const auto names = DeviceNames(service, input);
  auto it = std::find(names.begin(), names.end(), name);
  EXPECT_NE(it, names.end()) << "no device named " << name;
  return it == names.end() ? kWaveMapper : static_cast<uint32_t>(it - names.begin());
}

// Random bytes: any byte sequence is valid PCM in every format, and no stretch of it repeats,
// so finding its start in a recording is unambiguous.
inline std::vector<uint8_t> TestSignal(size_t bytes, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> signal(bytes);
  for (uint8_t& b : signal) b = static_cast<uint8_t>(random());
  return signal;
}

// Whether recording holds the whole signal, sample-exact and in order, allowing only whole
// frames of silence to be inserted between its frames (the sink ran dry for a moment, which a
// loaded machine may cause and which is no fault of the recording). Says what went wrong.
inline bool ContainsSignal(const std::vector<uint8_t>& recording,
                           const std::vector<uint8_t>& signal, size_t frameBytes, uint8_t silence,
                           std::string& why) {
  auto start = std::search(recording.begin(), recording.end(), signal.begin(),
                           signal.begin() + std::min<size_t>(64, signal.size()));
  if (start == recording.end()) {
    why = "the start of the signal is not in the recording";
    return false;
  }
  size_t r = static_cast<size_t>(start - recording.begin());
  size_t gapFrames = 0;
  for (size_t s = 0; s < signal.size(); s += frameBytes) {
    for (;;) {
      if (r + frameBytes > recording.size()) {
        why = "the recording ends after " + std::to_string(s) + " bytes of the signal";
        return false;
      }
      if (std::equal(signal.begin() + s, signal.begin() + s + frameBytes, recording.begin() + r))
        break;
      if (std::any_of(recording.begin() + r, recording.begin() + r + frameBytes,
                      [&](uint8_t b) { return b != silence; })) {
        why = "the signal differs at its byte " + std::to_string(s) + " (recording byte " +
              std::to_string(r) + ")";
        return false;
      }
      r += frameBytes;
      ++gapFrames;
    }
    r += frameBytes;
  }
  why = std::to_string(gapFrames) + " frames of silence were inserted";
  return true;
}

}  // namespace tardivox::testing
