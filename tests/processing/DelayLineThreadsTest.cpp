#include "processing/DelayLine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "processing/FilterTestSupport.h"

namespace tardivox {
namespace {

// Buffers flow on one thread while another changes Delay and Enabled and reads the history.
// The stream counts frames (left = index + 1, right = -(index + 1)), so every frame that comes
// out can be checked on its own: silence, or a whole earlier frame delayed by one of the
// delays that were set (0 while disabled). A torn frame, a frame from the future or a frame
// delayed by any other amount fails.
TEST(DelayLineThreads, PropertyChangesWhileBuffersFlow) {
  const std::vector<uint32_t> delays = {0, 1, 7, 441, 4096, 20000};
  const WaveFormat format = WaveFormat::Pcm(2, 32, 44100, 3);

  testing::TTestSource source;
  TALDelayLine line(nullptr);
  testing::TTestSink sink;
  sink.keepBuffers = false;
  ASSERT_TRUE(source.OutputPin.ConnectTo(&line.InputPin()));
  ASSERT_TRUE(line.OutputPin().ConnectTo(&sink.InputPin));
  line.SetDelay(delays[3]);
  source.Start(format);

  std::atomic<bool> controlDone{false};
  std::string failure;  // written by the flow thread only, read after join
  std::thread flow([&] {
    std::mt19937 random(5);
    uint64_t position = 0;
    while (!controlDone.load() || position < 400'000) {
      const uint32_t n = 1 + random() % 2048;
      TRef<IALAudioBuffer> input(new TALAudioBuffer(44100, 32, 2, n, 3));
      auto* in = reinterpret_cast<int32_t*>(input->WriteData());
      for (uint32_t f = 0; f < n; ++f) {
        in[2 * f] = static_cast<int32_t>(position + f + 1);
        in[2 * f + 1] = -static_cast<int32_t>(position + f + 1);
      }
      sink.last = nullptr;
      source.Send(input);
      if (!sink.last || sink.last->Count() != n) {
        failure = "output missing or of the wrong length at frame " + std::to_string(position);
        return;
      }
      const auto* out = reinterpret_cast<const int32_t*>(sink.last->ReadData());
      for (uint32_t f = 0; f < n; ++f) {
        const int32_t left = out[2 * f], right = out[2 * f + 1];
        if (left == 0 && right == 0) continue;
        const int64_t delay = static_cast<int64_t>(position + f + 1) - left;
        if (right != -left || left < 1 ||
            std::find(delays.begin(), delays.end(), delay) == delays.end()) {
          failure = "frame " + std::to_string(position + f) + " holds (" + std::to_string(left) +
                    ", " + std::to_string(right) + ")";
          return;
        }
      }
      position += n;
    }
  });

  std::mt19937 random(11);
  for (int change = 0; change < 3000; ++change) {
    switch (random() % 4) {
      case 0:
      case 1:
        line.SetDelay(delays[random() % delays.size()]);
        break;
      case 2:
        line.SetEnabled(random() % 3 != 0);
        break;
      default: {
        TRef<IALAudioBuffer> history = line.History();
        if (history && history->Count() != 0 && history->Channels() != 2) {
          ADD_FAILURE() << "history in the wrong format";
        }
      }
    }
    std::this_thread::yield();
  }
  controlDone = true;
  flow.join();
  EXPECT_EQ(failure, "");

  // Quiet again: the line delays exactly as set.
  line.SetDelay(2);
  line.SetEnabled(true);
  source.Send(testing::AudioBuffer({1, -1, 2, -2, 3, -3}, 2, 32));
  EXPECT_EQ(testing::Samples(*sink.last), (std::vector<int32_t>{0, 0, 0, 0, 1, -1}));
}

}  // namespace
}  // namespace tardivox
