#include <gtest/gtest.h>

#include "PinTestSupport.h"

namespace tardivox {
namespace {

using testing::TAudioFilter;
using testing::TAudioSink;
using testing::TAudioSource;
using testing::TRecorder;

// One input, two outputs that both depend on it (like the audio-to-real splitter).
class TSplitter : public TRecorder {
 public:
  TSplitter() : TRecorder("splitter") {
    Out0.FunctionSinkPins().AddPassThrough(&In, true);
    Out1.FunctionSinkPins().AddPassThrough(&In, true);
    lock.AddDependency(&In);
  }
  TALOWAudioSinkPin In{this, Handler()};
  TALOWAudioSourcePin Out0{this, Handler()};
  TALOWAudioSourcePin Out1{this, Handler()};
};

// Two inputs feeding one output (like the adder); upstream operations are recorded.
class TMerger : public TRecorder {
 public:
  TMerger() : TRecorder("merger") {
    Out.FunctionSinkPins().AddPassThrough(&In0, true);
    Out.FunctionSinkPins().AddPassThrough(&In1, true);
    lock.AddDependency(&Out);
  }
  TALOWAudioSinkPin In0{this, Handler()};
  TALOWAudioSinkPin In1{this, Handler()};
  TALOWAudioSourcePin Out{this, Handler()};
};

TEST(Upstream, LockListPutsTheMostUpstreamPinsFirst) {
  TAudioSource capture;
  TSplitter splitter;
  TMerger merger;
  TAudioSink display;
  ASSERT_TRUE(splitter.In.ConnectTo(&capture.OutputPin));
  ASSERT_TRUE(merger.In0.ConnectTo(&splitter.Out0));
  ASSERT_TRUE(merger.In1.ConnectTo(&splitter.Out1));
  ASSERT_TRUE(display.InputPin.ConnectTo(&merger.Out));

  TOWBasicPin* const c = &capture.OutputPin;
  TOWBasicPin* const si = &splitter.In;
  EXPECT_EQ(display.InputPin.UpstreamLockList(),
            (std::vector<TOWBasicPin*>{c, c, si, si, &splitter.Out1, &splitter.Out0, &merger.In1,
                                       &merger.In0, &merger.Out, &display.InputPin}));
  EXPECT_EQ(merger.In0.UpstreamLockList(),
            (std::vector<TOWBasicPin*>{c, si, &splitter.Out0, &merger.In0}));

  // Every pin of the path is read-locked while the operation travels up.
  std::vector<int32_t> readCounts;
  merger.answer = [&](TOWPin& pin, IOWNotifyOperation& op, TOWStateFlags flags) {
    EXPECT_EQ(&pin, &merger.Out);
    EXPECT_TRUE(OperationIs<TOWMasterPumpOperation>(op));
    EXPECT_EQ(flags, kStateLastReceiver);
    for (TOWBasicPin* p : display.InputPin.UpstreamLockList()) readCounts.push_back(p->ReadCount());
    return true;
  };
  EXPECT_TRUE(display.InputPin.RequestMasterPump(&display));
  merger.answer = nullptr;
  EXPECT_EQ(readCounts, (std::vector<int32_t>{2, 2, 2, 2, 1, 1, 1, 1, 1, 1}));
  for (TOWBasicPin* p : display.InputPin.UpstreamLockList()) EXPECT_EQ(p->ReadCount(), 0);

  // A change two components upstream is reflected downstream.
  merger.In1.Disconnect();
  EXPECT_EQ(display.InputPin.UpstreamLockList(),
            (std::vector<TOWBasicPin*>{&merger.In1, c, si, &splitter.Out0, &merger.In0, &merger.Out,
                                       &display.InputPin}));
  splitter.In.Disconnect();
  EXPECT_EQ(display.InputPin.UpstreamLockList(),
            (std::vector<TOWBasicPin*>{&merger.In1, si, &splitter.Out0, &merger.In0, &merger.Out,
                                       &display.InputPin}));
  display.InputPin.Disconnect();
  EXPECT_TRUE(display.InputPin.UpstreamLockList().empty());
}

TEST(Upstream, MasterPumpTravelsThroughAFilterToTheSource) {
  TAudioSource capture;
  TAudioFilter filter;
  TAudioSink playback;
  ASSERT_TRUE(filter.InputPin.ConnectTo(&capture.OutputPin));
  ASSERT_TRUE(playback.InputPin.ConnectTo(&filter.OutputPin));
  EXPECT_FALSE(playback.InputPin.RequestMasterPump(&playback));
  ASSERT_EQ(capture.log.size(), 1u);
  auto* pump = OperationAs<TOWMasterPumpOperation>(*capture.log[0].op);
  ASSERT_NE(pump, nullptr);
  EXPECT_EQ(pump->Pump(), &playback);
  EXPECT_EQ(capture.log[0].pin, &capture.OutputPin);

  // An unconnected sink answers false and delivers nothing.
  TAudioSink lone;
  EXPECT_FALSE(lone.InputPin.RequestMasterPump(&lone));
}

}  // namespace
}  // namespace tardivox
