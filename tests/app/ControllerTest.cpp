// The delay controller on the real window and chain: start-up, the delay boxes, rate and
// buffer-size changes, Bypass, close, and a recording control that cannot be reached.

#include <QLocale>

#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <set>
#include <stdexcept>
#include <thread>
#include <tuple>

#include "ControllerTestSupport.h"
#include "ShowActive.h"
#include "app/CheckBox.h"
#include "app/GradientToolPanel.h"
#include "app/SpinEdit.h"
#include "support/WaitFor.h"

namespace tardivox::testing {
namespace {

// Texts with a decimal point are written with '.' and shown with the current locale's.
QString Localised(const char* text) {
  return QString::fromUtf8(text).replace(u'.', QLocale().decimalPoint());
}

QString DelayedCaption(const char* delay) {
  return QStringLiteral("Historique Entrée / Sortie (signal retardé de %1)").arg(Localised(delay));
}

using testing::Click;

class ControllerTest : public ControllerFixture {};

// --- Start-up under two locales -------------------------------------------------------------

class ControllerStartUpTest : public ControllerFixture,
                              public ::testing::WithParamInterface<QLocale::Language> {
 protected:
  ControllerStartUpTest() { QLocale::setDefault(QLocale(GetParam())); }
  ~ControllerStartUpTest() override { QLocale::setDefault(QLocale::c()); }
};

TEST_P(ControllerStartUpTest, LeavesTheFirstDevicesATwoSecondDelayAndTheChainOn) {
  Start();
  TfmMain& w = *window_;
  EXPECT_EQ(Items(*w.lstInDevices), (std::vector<std::string>{"Périphérique 1", "Périphérique 2"}));
  EXPECT_EQ(w.lstInDevices->ItemIndex(), 0);
  EXPECT_EQ(Items(*w.lstInDeviceLines), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(w.lstInDeviceLines->ItemIndex(), 0);
  EXPECT_EQ(Items(*w.lstOutDevices), (std::vector<std::string>{"Sortie 1", "Sortie 2"}));
  EXPECT_EQ(w.lstOutDevices->ItemIndex(), 0);
  EXPECT_EQ(In().Device().DeviceName(), "Périphérique 1");
  EXPECT_EQ(Out().Device().DeviceName(), "Sortie 1");

  EXPECT_EQ(w.edDelaySec->text(), Localised("2.000"));
  EXPECT_EQ(w.edDelaySamples->text(), QStringLiteral("88200"));
  EXPECT_EQ(Delay().Delay(), 88200u);
  EXPECT_EQ(w.lstSampleRate->Text(), QStringLiteral("44100"));
  EXPECT_EQ(In().AudioFormat().SampleRate(), 44100u);

  EXPECT_TRUE(In().Enabled());
  EXPECT_TRUE(Out().Enabled());
  EXPECT_TRUE(Delay().Enabled());
  EXPECT_TRUE(w.btnActivate->Checked());
  EXPECT_FALSE(w.cbBypass->Checked());
  EXPECT_NE(service_.CurrentHandle(true), kNoWaveHandle) << "the capture did not open its device";
  EXPECT_EQ(U8(w.pnlInOut->Caption()),
            GetParam() == QLocale::French
                ? "Historique Entrée / Sortie (signal retardé de 2,000 s)"
                : "Historique Entrée / Sortie (signal retardé de 2.000 s)");
  EXPECT_FALSE(w.edInputBufferSize->isEnabled());
  EXPECT_FALSE(controller_->StartingUp());
  EXPECT_TRUE(errors_.empty());
  // The rate was selected from code, so the strips keep their own depth, that of 44100 Hz.
  for (TSLWaterfall* strip : {&InputStrip(), &OutputStrip()}) {
    EXPECT_EQ(strip->XAxis().Samples(), 512);
    EXPECT_TRUE(strip->isEnabled());
  }
}

INSTANTIATE_TEST_SUITE_P(Locales, ControllerStartUpTest,
                         ::testing::Values(QLocale::English, QLocale::French),
                         [](const auto& info) {
                           return QLocale::languageToString(info.param).toStdString();
                         });

TEST_F(ControllerTest, ActivationSwitchesDelayLinePlaybackCaptureThenTheStripsWithTheirWaits) {
  Build();
  controller_->DeactivateChain();
  const std::vector<TWaitRecord> off{{50, false, false, false, false, true},
                                     {50, false, false, false, false, false},
                                     {100, false, false, false, false, false},
                                     {100, false, false, false, false, false},
                                     {100, false, false, false, false, false}};
  EXPECT_EQ(waits_, off) << "the strips go off first";
  size_t before = waits_.size();
  controller_->ActivateChain(false);
  EXPECT_EQ(WaitsSince(before), (std::vector<TWaitRecord>{{100, false, false, true, false, false},
                                                          {100, false, true, true, false, false},
                                                          {100, true, true, true, false, false},
                                                          {50, true, true, true, true, false},
                                                          {50, true, true, true, true, true}}));
  EXPECT_GE(TotalMs(WaitsSince(before)), 400u);
  before = waits_.size();
  controller_->DeactivateChain();
  EXPECT_EQ(WaitsSince(before),
            (std::vector<TWaitRecord>{{50, true, true, true, false, true},
                                      {50, true, true, true, false, false},
                                      {100, false, true, true, false, false},
                                      {100, false, false, true, false, false},
                                      {100, false, false, false, false, false}}));
  EXPECT_GE(TotalMs(WaitsSince(before)), 400u);
  const size_t bypassed = waits_.size();
  controller_->ActivateChain(true);
  EXPECT_EQ(WaitsSince(bypassed).back(), (TWaitRecord{50, true, true, false, true, true}))
      << "Bypass leaves the delay line disabled";
}

// --- The delay boxes ------------------------------------------------------------------------

struct TDelayEntryCase {
  const char* name;
  bool secondsBox;   // else the samples box
  const char* text;  // '.' stands for the locale's separator
  uint32_t delayFrames;
  const char* secondsShown;
  const char* samplesShown;
  const char* captionDelay;
};

class ControllerDelayEntryTest : public ControllerFixture,
                                 public ::testing::WithParamInterface<TDelayEntryCase> {};

TEST_P(ControllerDelayEntryTest, TypedEntry) {
  const TDelayEntryCase& entry = GetParam();
  Start();
  TSpinEdit& box = entry.secondsBox ? *window_->edDelaySec : *window_->edDelaySamples;
  box.setText(Localised(entry.text));  // raises the change handler, as typing does

  EXPECT_EQ(Delay().Delay(), entry.delayFrames);
  EXPECT_TRUE(Delay().Enabled()) << "the delay line is left enabled as it was";
  if (entry.secondsBox) {
    EXPECT_EQ(window_->edDelaySamples->text().toStdString(), entry.samplesShown);
  } else {
    EXPECT_EQ(window_->edDelaySec->text(), Localised(entry.secondsShown));
  }
  EXPECT_EQ(U8(window_->pnlInOut->Caption()), U8(DelayedCaption(entry.captionDelay)));
}

INSTANTIATE_TEST_SUITE_P(
    Entries, ControllerDelayEntryTest,
    ::testing::Values(
        // Above the upper limits: nothing changes.
        TDelayEntryCase{"Seconds25", true, "25", 88200, "", "88200", "2.000 s"},
        TDelayEntryCase{"Samples900000", false, "900000", 88200, "2.000", "", "2.000 s"},
        // Truncated, not rounded.
        TDelayEntryCase{"Seconds0_3", true, "0.3", 13229, "", "13229", "300 ms"},
        // The box clamps what it shows; the delay line gets the exact count. The caption
        // truncates the extended 0.001 × 1000, which lies just below 1.
        TDelayEntryCase{"Seconds0_001", true, "0.001", 44, "", "100", "0 ms"},
        TDelayEntryCase{"SecondsExactlyOne", true, "1", 44100, "", "44100", "1000 ms"},
        TDelayEntryCase{"SecondsHalf", true, "0.5", 22050, "", "22050", "500 ms"},
        TDelayEntryCase{"Seconds1_001", true, "1.001", 44144, "", "44144", "1.001 s"},
        TDelayEntryCase{"Samples13229", false, "13229", 13229, "0.300", "", "300 ms"},
        // Empty boxes read as their integer minimum: 0 s, 100 samples.
        TDelayEntryCase{"SecondsEmpty", true, "", 0, "", "100", "0 ms"},
        TDelayEntryCase{"SamplesEmpty", false, "", 100, "0.010", "", "10 ms"},
        // Negative entries and a lone minus sign while typing never reach the delay line.
        TDelayEntryCase{"SecondsMinus", true, "-", 88200, "", "88200", "2.000 s"},
        TDelayEntryCase{"SecondsNegative", true, "-0.5", 88200, "", "88200", "2.000 s"},
        TDelayEntryCase{"SecondsLoneSeparator", true, ".", 88200, "", "88200", "2.000 s"},
        TDelayEntryCase{"SamplesMinus", false, "-", 88200, "2.000", "", "2.000 s"},
        TDelayEntryCase{"SamplesNegative", false, "-5", 88200, "2.000", "", "2.000 s"},
        TDelayEntryCase{"SamplesUnicodeMinus", false, "\u22125", 88200, "2.000", "", "2.000 s"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ControllerTest, NegativeEntryIsAppliedAsTheMinimumWhenTheBoxLosesTheFocus) {
  Start();
  window_->edDelaySamples->setText(QStringLiteral("-5"));
  ASSERT_EQ(Delay().Delay(), 88200u);
  // What the box does on leaving the focus: its value brought into range, shown, raised.
  window_->edDelaySamples->SetValue(window_->edDelaySamples->Value());
  EXPECT_EQ(window_->edDelaySamples->text(), QStringLiteral("100"));
  EXPECT_EQ(Delay().Delay(), 100u);
}

TEST_F(ControllerTest, DelayChangeDisablesTheLineMeanwhileAndKeepsItDisabledWhenBypassed) {
  Start();
  Click(*window_->cbBypass);
  ASSERT_FALSE(Delay().Enabled());
  const size_t before = waits_.size();
  window_->edDelaySamples->setText(QStringLiteral("1000"));
  EXPECT_EQ(Delay().Delay(), 1000u);
  EXPECT_FALSE(Delay().Enabled());
  EXPECT_EQ(WaitsSince(before), (std::vector<TWaitRecord>{{100, true, true, false, true, true},
                                                          {100, true, true, false, true, true}}));
}

TEST_F(ControllerTest, Accepts882000SamplesAt11025Hz) {
  Start();
  window_->lstSampleRate->setCurrentIndex(0);  // a user choice: "11025"
  ASSERT_EQ(In().AudioFormat().SampleRate(), 11025u);
  window_->edDelaySamples->setText(QStringLiteral("882000"));
  EXPECT_EQ(Delay().Delay(), 882000u);
  EXPECT_EQ(window_->edDelaySec->text(), Localised("20.000"));
  EXPECT_EQ(window_->pnlInOut->Caption(), DelayedCaption("20.000 s"));
}

// --- Sample rate and buffer size ------------------------------------------------------------

struct TStripDepthCase {
  const char* name;
  uint32_t rate;
  int depth;  // lines of both strips afterwards
};

class ControllerStripDepthTest
    : public ControllerFixture,
      public ::testing::WithParamInterface<std::tuple<TStripDepthCase, bool>> {};

// From the loaded 512 lines (44100 Hz), with the chain on or off.
TEST_P(ControllerStripDepthTest, RateSetsBothStripsDepthAndLeavesThemEnabled) {
  const auto& [c, chainOn] = GetParam();
  Start();
  if (!chainOn) Click(*window_->btnActivate);
  ASSERT_EQ(controller_->IsChainActive(), chainOn);
  const size_t before = waits_.size();
  controller_->ChangeSampleRate(c.rate);
  EXPECT_EQ(InputStrip().XAxis().Samples(), c.depth);
  EXPECT_EQ(OutputStrip().XAxis().Samples(), c.depth);
  EXPECT_TRUE(InputStrip().isEnabled());
  EXPECT_TRUE(OutputStrip().isEnabled());
  EXPECT_EQ(controller_->IsChainActive(), chainOn);
  // Whatever the rate, after the wait that follows it: both strips switched off (they already
  // are: the chain going off switched them off), the depth and its two waits, both strips
  // switched on again; six 50 ms steps, before the chain, if on, restarts.
  const std::vector<TWaitRecord> waits = WaitsSince(before);
  const size_t rateWait = chainOn ? 5 : 0;
  ASSERT_GE(waits.size(), rateWait + 7);
  EXPECT_EQ(waits[rateWait], (TWaitRecord{100, false, false, false, false, false}));
  const std::vector<TWaitRecord> strips(waits.begin() + rateWait + 1, waits.begin() + rateWait + 7);
  EXPECT_EQ(strips, (std::vector<TWaitRecord>{{50, false, false, false, false, false},
                                              {50, false, false, false, false, false},
                                              {50, false, false, false, false, false},
                                              {50, false, false, false, false, false},
                                              {50, false, false, false, true, false},
                                              {50, false, false, false, true, true}}));
}

INSTANTIATE_TEST_SUITE_P(
    Rates, ControllerStripDepthTest,
    ::testing::Combine(::testing::Values(TStripDepthCase{"Rate11025", 11025, 128},
                                         TStripDepthCase{"Rate22050", 22050, 256},
                                         TStripDepthCase{"Rate44100", 44100, 512},
                                         TStripDepthCase{"Rate48000Unlisted", 48000, 512},
                                         TStripDepthCase{"Rate0", 0, 512}),
                       ::testing::Bool()),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) +
             (std::get<1>(info.param) ? "ChainOn" : "ChainOff");
    });

TEST_F(ControllerTest, UnlistedRateKeepsADepthSetBefore) {
  Start();
  window_->lstSampleRate->setCurrentIndex(1);  // "22050": 256 lines
  ASSERT_EQ(OutputStrip().XAxis().Samples(), 256);
  controller_->ChangeSampleRate(8000);
  EXPECT_EQ(InputStrip().XAxis().Samples(), 256);
  EXPECT_EQ(OutputStrip().XAxis().Samples(), 256);
  // A depth the output strip alone was given is replaced by the input strip's.
  OutputStrip().XAxis().SetSamples(64);
  controller_->History().SetWaterfallRate(96000);
  EXPECT_EQ(OutputStrip().XAxis().Samples(), 256);
}

TEST_F(ControllerTest, RateChangeKeepsTheSamplesAndRestartsTheChain) {
  Start();
  const size_t opens = InputOpens();
  const size_t before = waits_.size();
  window_->lstSampleRate->setCurrentIndex(1);  // "22050"
  EXPECT_EQ(In().AudioFormat().SampleRate(), 22050u);
  EXPECT_EQ(Delay().Delay(), 88200u);
  EXPECT_EQ(window_->edDelaySamples->text(), QStringLiteral("88200"));
  EXPECT_EQ(window_->edDelaySec->text(), Localised("4.000"));
  EXPECT_EQ(window_->pnlInOut->Caption(), DelayedCaption("4.000 s"));
  EXPECT_TRUE(In().Enabled());
  EXPECT_EQ(InputOpens(), opens + 1) << "the capture restarts with the new rate";
  EXPECT_EQ(service_.Opens().back().format.samplesPerSec, 22050u);
  EXPECT_EQ(WaitsSince(before),
            (std::vector<TWaitRecord>{{50, true, true, true, false, true},
                                      {50, true, true, true, false, false},
                                      {100, false, true, true, false, false},
                                      {100, false, false, true, false, false},
                                      {100, false, false, false, false, false},
                                      {100, false, false, false, false, false},  // after the rate
                                      {50, false, false, false, false, false},   // strips off
                                      {50, false, false, false, false, false},
                                      {50, false, false, false, false, false},  // depth
                                      {50, false, false, false, false, false},
                                      {50, false, false, false, true, false},  // strips on
                                      {50, false, false, false, true, true},
                                      {100, false, false, true, true, true},
                                      {100, false, true, true, true, true},
                                      {100, true, true, true, true, true},
                                      {50, true, true, true, true, true},
                                      {50, true, true, true, true, true}}));
}

TEST_F(ControllerTest, RateChangeWhileOffLeavesTheChainOff) {
  Start();
  Click(*window_->btnActivate);
  ASSERT_FALSE(In().Enabled());
  window_->lstSampleRate->setCurrentIndex(0);
  EXPECT_EQ(In().AudioFormat().SampleRate(), 11025u);
  EXPECT_FALSE(In().Enabled());
  EXPECT_EQ(window_->edDelaySec->text(), Localised("8.000"));
  EXPECT_TRUE(window_->edInputBufferSize->isEnabled());
}

TEST_F(ControllerTest, BufferSizeChangeWhileActiveStopsAppliesAndRestartsWithBypass) {
  Start();
  Click(*window_->cbBypass);
  const size_t opens = InputOpens();
  const size_t before = waits_.size();
  controller_->ChangeInputBufferSize(256);
  EXPECT_EQ(In().AudioFormat().BufferSize(), 256u);
  EXPECT_TRUE(In().Enabled());
  EXPECT_FALSE(Delay().Enabled()) << "restarted with Bypass still on";
  EXPECT_EQ(InputOpens(), opens + 1);
  EXPECT_EQ(WaitsSince(before),
            (std::vector<TWaitRecord>{{50, true, true, false, false, true},
                                      {50, true, true, false, false, false},
                                      {100, false, true, false, false, false},
                                      {100, false, false, false, false, false},
                                      {100, false, false, false, false, false},
                                      {50, false, false, false, false, false},  // after the size
                                      {100, false, false, false, false, false},
                                      {100, false, true, false, false, false},
                                      {100, true, true, false, false, false},
                                      {50, true, true, false, true, false},
                                      {50, true, true, false, true, true}}));
}

TEST_F(ControllerTest, BufferSizeBoxAppliesOnlySizesWithinItsRange) {
  Start();
  Click(*window_->btnActivate);
  TSpinEdit& box = *window_->edInputBufferSize;
  for (const char* inProgress : {"-", "-5", "5", "0", "9000"}) {
    box.setText(QString::fromLatin1(inProgress));
    EXPECT_EQ(In().AudioFormat().BufferSize(), 512u) << "after \"" << inProgress << "\"";
  }
  box.setText(QStringLiteral("64"));
  EXPECT_EQ(In().AudioFormat().BufferSize(), 64u);
  EXPECT_FALSE(In().Enabled()) << "a change while off does not start the chain";
}

TEST_F(ControllerTest, BufferSizeChangesDuringStartUpAreIgnored) {
  bool tried = false;
  onWait_ = [&] {
    if (controller_->StartingUp() && !tried) {
      tried = true;
      controller_->ChangeInputBufferSize(64);
    }
  };
  Start();
  ASSERT_TRUE(tried);
  EXPECT_EQ(In().AudioFormat().BufferSize(), 512u);
  controller_->ChangeInputBufferSize(64);
  EXPECT_EQ(In().AudioFormat().BufferSize(), 64u) << "after start-up changes apply again";
}

// --- Bypass, activation and close -----------------------------------------------------------

TEST_F(ControllerTest, BypassSwitchesTheDelayLineEvenWhileTheChainIsOff) {
  Start();
  Click(*window_->btnActivate);
  ASSERT_FALSE(In().Enabled());
  ASSERT_FALSE(Delay().Enabled());
  Click(*window_->cbBypass);  // on
  EXPECT_FALSE(Delay().Enabled());
  EXPECT_EQ(window_->pnlInOut->Caption(),
            QStringLiteral("Historique Entrée / Sortie (signal non retardé)"));
  Click(*window_->cbBypass);  // off
  EXPECT_TRUE(Delay().Enabled());
  EXPECT_FALSE(In().Enabled());
  EXPECT_EQ(window_->pnlInOut->Caption(), DelayedCaption("2.000 s"));
}

TEST_F(ControllerTest, ActivateBoxSwitchesTheChainAndTheBufferSizeBox) {
  Start();
  Click(*window_->btnActivate);
  EXPECT_FALSE(In().Enabled());
  EXPECT_FALSE(Out().Enabled());
  EXPECT_FALSE(Delay().Enabled());
  EXPECT_EQ(service_.CurrentHandle(true), kNoWaveHandle);
  EXPECT_TRUE(window_->edInputBufferSize->isEnabled());
  Click(*window_->btnActivate);
  EXPECT_TRUE(In().Enabled());
  EXPECT_TRUE(Delay().Enabled());
  EXPECT_FALSE(window_->edInputBufferSize->isEnabled());
}

TEST_F(ControllerTest, ClosingLeavesCaptureOutputDelayLineAndStripsDisabled) {
  Start();
  window_->show();
  const size_t before = waits_.size();
  EXPECT_TRUE(window_->close());
  EXPECT_FALSE(In().Enabled());
  EXPECT_FALSE(Out().Enabled());
  EXPECT_FALSE(Delay().Enabled());
  EXPECT_FALSE(InputStrip().isEnabled());
  EXPECT_FALSE(OutputStrip().isEnabled());
  EXPECT_EQ(service_.CurrentHandle(true), kNoWaveHandle);
  EXPECT_EQ(WaitsSince(before),
            (std::vector<TWaitRecord>{{100, true, true, false, true, true},
                                      {50, true, true, false, false, true},
                                      {50, true, true, false, false, false},
                                      {100, false, true, false, false, false},
                                      {100, false, false, false, false, false},
                                      {100, false, false, false, false, false}}));
}

// --- Sound through the chain --------------------------------------------------------------

class ControllerSoundTest : public ControllerFixture {
 protected:
  static constexpr uint32_t kFrames = 512;  // the loaded buffer size
  static constexpr uint32_t kBytesPerFrame = 4;

  // Never silent, and every frame tells its index: left 1 + n mod 30000, right 1 + n / 30000.
  static std::vector<uint8_t> InputBuffer(uint32_t k) {
    return BurstBuffer(k, 0, std::numeric_limits<uint32_t>::max());
  }

  // Buffer k of a signal that is silent but for frames [burstFrom, burstTo), which carry
  // InputBuffer's frame code.
  static std::vector<uint8_t> BurstBuffer(uint32_t k, uint32_t burstFrom, uint32_t burstTo) {
    std::vector<uint8_t> bytes(kFrames * kBytesPerFrame, 0);
    for (uint32_t i = 0; i < kFrames; ++i) {
      const uint32_t n = k * kFrames + i;
      if (n < burstFrom || n >= burstTo) continue;
      const int16_t frame[2] = {static_cast<int16_t>(1 + n % 30000),
                                static_cast<int16_t>(1 + n / 30000)};
      std::memcpy(bytes.data() + kBytesPerFrame * i, frame, sizeof frame);
    }
    return bytes;
  }

  // The input frame index a played frame carries; -1 for silence.
  static int64_t FrameIndex(const uint8_t* frame) {
    int16_t samples[2];
    std::memcpy(samples, frame, sizeof samples);
    if (samples[0] == 0 && samples[1] == 0) return -1;
    return int64_t{samples[1] - 1} * 30000 + (samples[0] - 1);
  }

  // Captures buffer k and plays all that is at the output device once the chain has handled
  // it; returns the bytes played. The playback starts with the third buffer, which covers its
  // cushion (one buffer plus 20 ms): the first two play nothing.
  std::vector<uint8_t> Pass(uint32_t k) { return Pass(k, InputBuffer(k)); }
  // The same with the captured buffer's bytes given.
  std::vector<uint8_t> Pass(uint32_t k, const std::vector<uint8_t>& data) {
    const TWaveHandle in = service_.CurrentHandle(true);
    const TWaveHandle out = service_.CurrentHandle(false);
    const size_t played = service_.PlayedData(out).size();
    const size_t queuedIn = service_.QueuedCount(in);
    EXPECT_TRUE(service_.CompleteInput(in, data.data(), data.size()));
    // The capture queues a new buffer once the chain has handled the filled one.
    EXPECT_TRUE(WaitUntil([&] { return service_.QueuedCount(in) == queuedIn; }))
        << "buffer " << k << " was not handled";
    if (k >= kCoveringBuffers - 1) {
      EXPECT_TRUE(WaitUntil([&] { return !service_.IsPaused(out); })) << "the output did not start";
    }
    while (service_.CompleteOutput(out)) {
    }
    const auto all = service_.PlayedData(out);
    return {all.begin() + static_cast<std::ptrdiff_t>(played), all.end()};
  }
  static constexpr uint32_t kCoveringBuffers = 3;
  // The surplus of those three buffers over the cushion (512 + 882 frames), cut before the
  // start.
  static constexpr uint32_t kStartTrimFrames = 3 * kFrames - (kFrames + 882);
};

TEST_F(ControllerSoundTest, PlaysTheTypedDelayAndTheUndelayedSignalWithBypass) {
  Start();
  window_->edDelaySec->setText(Localised("0.01"));
  ASSERT_EQ(Delay().Delay(), 441u);
  ASSERT_NE(service_.CurrentHandle(false), kNoWaveHandle);

  std::vector<uint8_t> captured;
  std::vector<uint8_t> played;
  for (uint32_t k = 0; k < 3; ++k) {
    const auto bytes = InputBuffer(k);
    captured.insert(captured.end(), bytes.begin(), bytes.end());
    const auto out = Pass(k);
    played.insert(played.end(), out.begin(), out.end());
  }
  std::vector<uint8_t> expected((441 - kStartTrimFrames) * kBytesPerFrame, 0);
  expected.insert(expected.end(), captured.begin(), captured.end());
  ASSERT_EQ(played.size(), (3 * kFrames - kStartTrimFrames) * kBytesPerFrame);
  expected.resize(played.size());
  EXPECT_TRUE(played == expected) << "the played sound is not the captured one 441 frames later";

  Click(*window_->cbBypass);
  EXPECT_TRUE(Pass(3) == InputBuffer(3)) << "Bypass must play the input undelayed";
}

TEST_F(ControllerSoundTest, DelayChangeNeverPlaysTheLiveInput) {
  Start();
  realWaits_ = true;
  ASSERT_EQ(Delay().Delay(), 88200u);
  ASSERT_NE(service_.CurrentHandle(false), kNoWaveHandle);
  constexpr int64_t kNewDelayFrames = 22050;  // 0.5 s
  // Audio flows from a thread of its own while the window's thread changes the delay.
  std::atomic<uint32_t> fed{0};
  std::atomic<uint32_t> feedUntil{std::numeric_limits<uint32_t>::max()};
  std::vector<uint8_t> played;
  std::thread feeder([&] {
    for (uint32_t k = 0; k < feedUntil.load(); ++k) {
      const auto out = Pass(k);
      played.insert(played.end(), out.begin(), out.end());
      fed.store(k + 1);
    }
  });
  ASSERT_TRUE(WaitUntil([&] { return fed.load() >= 10; }));
  window_->edDelaySec->setText(Localised("0.5"));
  const uint32_t changedAt = fed.load();
  // Enough after the change for the delayed signal to come back.
  feedUntil.store(fed.load() + static_cast<uint32_t>(kNewDelayFrames / kFrames) + 20);
  feeder.join();
  ASSERT_EQ(Delay().Delay(), 22050u);
  ASSERT_GT(changedAt, 10u) << "no audio flowed during the change";

  ASSERT_EQ(played.size() % kBytesPerFrame, 0u);
  const auto frames = static_cast<int64_t>(played.size() / kBytesPerFrame);
  int64_t lastLag = -1;
  for (int64_t n = 0; n < frames; ++n) {
    const int64_t index = FrameIndex(played.data() + n * kBytesPerFrame);
    if (index < 0) continue;
    lastLag = n + kStartTrimFrames - index;  // the frames cut before the start count too
    ASSERT_GE(lastLag, kNewDelayFrames) << "output frame " << n << " is input frame " << index;
  }
  EXPECT_EQ(lastLag, kNewDelayFrames) << "the signal did not come back 0.5 s late";
}

// --- The history strips on the whole graph ---------------------------------------------------

// The strip's lines end to end: one value per captured frame (left + right).
std::vector<double> StripSums(TSLWaterfall& strip) {
  std::vector<double> sums;
  for (int line = 0; line < strip.GetLineCount(); ++line) {
    for (int sample = 0; sample < 1024; ++sample) {
      double value = 0;
      EXPECT_TRUE(strip.ValueOfLine(line, sample, value)) << "line " << line;
      sums.push_back(value);
    }
  }
  return sums;
}

// The first line holding a value other than silence, or -1.
int FirstSoundLine(const std::vector<double>& sums) {
  const auto it = std::find_if(sums.begin(), sums.end(), [](double v) { return v != 0.0; });
  return it == sums.end() ? -1 : static_cast<int>((it - sums.begin()) / 1024);
}

TEST_F(ControllerSoundTest, BypassedStripsReceiveTheSameSumsAtTheSameMoments) {
  Start();
  Click(*window_->cbBypass);
  ASSERT_FALSE(Delay().Enabled());
  for (uint32_t k = 0; k < 40; ++k) {
    Pass(k);
    // Both sums of buffer k arrive in the capture's delivery of it.
    ASSERT_EQ(InputStrip().GetLineCount(), static_cast<int>((k + 1) / 2)) << "after buffer " << k;
    ASSERT_EQ(OutputStrip().GetLineCount(), InputStrip().GetLineCount()) << "after buffer " << k;
  }
  const std::vector<double> in = StripSums(InputStrip());
  ASSERT_EQ(in.size(), 20u * 1024);
  EXPECT_TRUE(in == StripSums(OutputStrip())) << "the strips differ";
  // Each value is left + right of its frame.
  for (uint32_t n : {0u, 1u, 1023u, 1024u, 20479u}) {
    EXPECT_EQ(in[n], double(1 + n % 30000) + double(1 + n / 30000)) << "frame " << n;
  }
}

TEST_F(ControllerSoundTest, ABurstReachesTheOutputStripOneDelayAfterTheInputStrip) {
  Start();
  const uint32_t delayFrames = Delay().Delay();
  ASSERT_EQ(delayFrames, 88200u) << "the start-up delay";
  constexpr uint32_t kBurstFrom = 20780;  // not on a line boundary
  constexpr uint32_t kBurstTo = kBurstFrom + 4096;
  const uint32_t buffers = (kBurstTo + delayFrames) / kFrames + 4;
  for (uint32_t k = 0; k < buffers; ++k) Pass(k, BurstBuffer(k, kBurstFrom, kBurstTo));
  const std::vector<double> in = StripSums(InputStrip());
  const std::vector<double> out = StripSums(OutputStrip());
  ASSERT_EQ(in.size(), out.size());
  const int inLine = FirstSoundLine(in);
  const int outLine = FirstSoundLine(out);
  ASSERT_EQ(inLine, int(kBurstFrom / 1024));
  ASSERT_GE(outLine, 0) << "the burst did not reach the output strip";
  EXPECT_NEAR(outLine - inLine, delayFrames / 1024.0, 1.0);
  // Frame by frame the output strip is the input strip Delay frames later.
  for (size_t n = 0; n < out.size(); ++n) {
    const double expected = n >= delayFrames ? in[n - delayFrames] : 0.0;
    ASSERT_EQ(out[n], expected) << "output strip frame " << n;
  }
}

// Counts the paint events a widget receives.
class TPaintCounter : public QObject {
 public:
  explicit TPaintCounter(QWidget& widget) { widget.installEventFilter(this); }
  int count = 0;

 protected:
  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++count;
    return false;
  }
};

TEST_F(ControllerSoundTest, AStripWithLinesRepaintsOnlyWhenAskedTo) {
  Start();
  window_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  for (uint32_t k = 0; k < 4; ++k) Pass(k);
  ASSERT_EQ(InputStrip().GetLineCount(), 2);
  for (int round = 0; round < 5; ++round) QCoreApplication::processEvents();  // shown, ticked
  TPaintCounter paints(InputStrip());
  InputStrip().repaint();
  ASSERT_EQ(paints.count, 1);
  // Drawing the lines must not ask for another paint (the hidden level bar has nothing to
  // redraw): the window's thread would paint without end.
  for (int round = 0; round < 20; ++round) QCoreApplication::processEvents();
  EXPECT_EQ(paints.count, 1);
}

// --- Under a user's hands: real waits, edits arriving while they run -----------------------

// Runs `actions` from timers, `intervalsMs` apart (cycling), each on its own timer so that an
// action fires while an earlier one still waits, as a user's keys and clicks arrive while the
// controller's waits process events.
class TPacedActions {
 public:
  TPacedActions(std::vector<std::function<void()>> actions, const std::vector<int>& intervalsMs)
      : actions_(std::move(actions)) {
    int atMs = 0;
    for (size_t i = 0; i < actions_.size(); ++i) {
      atMs += intervalsMs[i % intervalsMs.size()];
      auto& timer = timers_.emplace_back(std::make_unique<QTimer>());
      timer->setSingleShot(true);
      timer->setTimerType(Qt::PreciseTimer);
      QObject::connect(timer.get(), &QTimer::timeout, [this, i] {
        actions_[i]();
        ++finished_;
      });
      timer->start(atMs);
    }
  }
  bool Done() const { return finished_ == actions_.size(); }

 private:
  std::vector<std::function<void()>> actions_;
  std::vector<std::unique_ptr<QTimer>> timers_;
  size_t finished_ = 0;
};

// Keys typed one at a time over the box's whole text, then Tab to leave it.
std::vector<std::function<void()>> Typing(TSpinEdit& box, const QString& keys) {
  std::vector<std::function<void()>> actions{[&box] {
    box.setFocus(Qt::TabFocusReason);
    box.selectAll();
  }};
  for (QChar key : keys) {
    actions.push_back([&box, key] { QTest::keyClick(&box, key.toLatin1()); });
  }
  actions.push_back([&box] { QTest::keyClick(&box, Qt::Key_Tab); });
  return actions;
}

class ControllerUserTest : public ControllerFixture {
 protected:
  void SetUp() override {
    Start();
    ASSERT_TRUE(ShowActive(*window_));
    realWaits_ = true;
  }

  // Until the actions are done and every sequence they started has ended.
  ::testing::AssertionResult SettlesAfter(const TPacedActions& actions) {
    if (QTest::qWaitFor([&] { return actions.Done() && !controller_->Busy(); }, 20000)) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "the edits did not settle within 20 s";
  }

  // The delay line, both boxes and the caption show `delayFrames`, the seconds as `seconds`.
  void ExpectDelayShown(uint32_t delayFrames, const char* seconds, const char* caption) {
    EXPECT_EQ(Delay().Delay(), delayFrames);
    EXPECT_TRUE(Delay().Enabled());
    EXPECT_EQ(U8(window_->edDelaySec->text()), U8(Localised(seconds)));
    EXPECT_EQ(U8(window_->edDelaySamples->text()), std::to_string(delayFrames));
    EXPECT_EQ(U8(window_->pnlInOut->Caption()), U8(DelayedCaption(caption)));
  }
};

TEST_F(ControllerUserTest, KeysTypedDuringTheWaitsEndAtTheLastEntry) {
  const struct {
    bool secondsBox;
    const char* keys;
  } cases[] = {{true, "1.5"}, {false, "66150"}, {true, "0,5"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.keys);
    TSpinEdit& box = c.secondsBox ? *window_->edDelaySec : *window_->edDelaySamples;
    TPacedActions typing(Typing(box, QString::fromLatin1(c.keys)), {60, 120, 90});
    ASSERT_TRUE(SettlesAfter(typing));
    if (c.keys[0] == '0') {
      ExpectDelayShown(22050, "0.500", "500 ms");
    } else {
      ExpectDelayShown(66150, "1.500", "1.500 s");
    }
  }
}

TEST_F(ControllerUserTest, HeldSpinButtonEndsAtTheValueShownAndNeverDisablesTheLine) {
  TSpinEdit& box = *window_->edDelaySec;
  QToolButton* up = nullptr;
  for (QToolButton* button : box.findChildren<QToolButton*>()) {
    if (button->arrowType() == Qt::RightArrow) up = button;
  }
  ASSERT_NE(up, nullptr);
  const size_t before = waits_.size();
  QTest::mousePress(up, Qt::LeftButton);
  TPacedActions release({[up] { QTest::mouseRelease(up, Qt::LeftButton); }}, {1000});
  ASSERT_TRUE(SettlesAfter(release));

  ASSERT_GT(box.FloatValue(), 2.2L) << "the held button did not repeat";
  const auto frames =
      static_cast<uint32_t>(controller_->SecondsToSamples(static_cast<double>(box.FloatValue())));
  EXPECT_EQ(Delay().Delay(), frames);
  EXPECT_EQ(U8(window_->edDelaySamples->text()), std::to_string(frames));
  EXPECT_EQ(
      U8(window_->pnlInOut->Caption()),
      U8(QStringLiteral("Historique Entrée / Sortie (signal retardé de %1 s)").arg(box.text())));
  for (const TWaitRecord& wait : WaitsSince(before)) EXPECT_TRUE(wait.delayLine) << wait;
}

TEST_F(ControllerUserTest, QuickClicksOnActivateEndInTheStateOfTheLastClick) {
  for (int clicks : {10, 11}) {
    SCOPED_TRACE(clicks);
    std::vector<std::function<void()>> actions(static_cast<size_t>(clicks), [this] {
      QTest::mouseClick(window_->btnActivate, Qt::LeftButton);
    });
    TPacedActions clicking(std::move(actions), {80});
    ASSERT_TRUE(SettlesAfter(clicking));

    const bool on = clicks % 2 == 0;  // it started on
    EXPECT_EQ(window_->btnActivate->Checked(), on);
    EXPECT_EQ(In().Enabled(), on);
    EXPECT_EQ(Out().Enabled(), on);
    EXPECT_EQ(Delay().Enabled(), on);
    EXPECT_EQ(window_->edInputBufferSize->isEnabled(), !on);
    if (on) {
      EXPECT_EQ(Delay().Delay(), 88200u);
      EXPECT_NE(service_.CurrentHandle(true), kNoWaveHandle);
    } else {
      EXPECT_EQ(service_.CurrentHandle(true), kNoWaveHandle);
      EXPECT_TRUE(WaitUntil([&] { return service_.CurrentHandle(false) == kNoWaveHandle; }))
          << "the playback kept its device open";
    }
  }
}

// Typed into the seconds box one key at a time, in both locales: "0,5" and "0.5" both mean half
// a second (shown with the locale's separator), and every delay the line receives on the way
// is the start delay, the one the text finally shows, or that of a prefix typed ("0").
TEST_P(ControllerStartUpTest, TypedCharactersNeverProduceAnotherDelay) {
  const struct {
    const char* keys;
    const char* shown;
    uint32_t delayFrames;
    uint32_t prefixFrames;
  } cases[] = {{"abc", "2.000", 88200, 88200}, {"1e9", "1", 44100, 44100},
               {"-5", "-5", 88200, 88200},     {"2x0", "2", 88200, 88200},
               {"0,5", "0.5", 22050, 0},       {"0.5", "0.5", 22050, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.keys);
    Start();
    std::set<uint32_t> delays;
    onWait_ = [&] { delays.insert(Delay().Delay()); };
    TSpinEdit& box = *window_->edDelaySec;
    box.selectAll();
    QTest::keyClicks(&box, QString::fromLatin1(c.keys));
    EXPECT_EQ(U8(box.text()), U8(Localised(c.shown)));
    EXPECT_EQ(Delay().Delay(), c.delayFrames);
    for (uint32_t delay : delays) {
      EXPECT_TRUE(delay == 88200 || delay == c.delayFrames || delay == c.prefixFrames) << delay;
    }
    onWait_ = nullptr;
  }
}

TEST_F(ControllerTest, LeavingADelayBoxShowsTheDelayApplied) {
  Start();
  ASSERT_TRUE(ShowActive(*window_));
  TSpinEdit& samples = *window_->edDelaySamples;
  samples.setFocus(Qt::TabFocusReason);
  samples.selectAll();
  QTest::keyClicks(&samples, QStringLiteral("99999999999"));
  ASSERT_EQ(Delay().Delay(), 99999u) << "entries above 882000 change nothing";
  QTest::keyClick(&samples, Qt::Key_Tab);
  EXPECT_EQ(samples.text(), QStringLiteral("99999"));
  EXPECT_EQ(window_->edDelaySec->text(), Localised("2.268"));
  EXPECT_EQ(window_->pnlInOut->Caption(), DelayedCaption("2.268 s"));
}

// --- Closing at any moment --------------------------------------------------------------------

class ControllerCloseTest : public ControllerFixture, public ::testing::WithParamInterface<int> {};

TEST_P(ControllerCloseTest, ClosingDuringTheStartUpEndsTheLoopWithEverythingDisabled) {
  Build();
  realWaits_ = true;
  window_->show();
  controller_->PostFormCreate();  // as the program starts
  std::chrono::steady_clock::time_point closedAt;
  QTimer::singleShot(GetParam(), window_.get(), [&] {
    closedAt = std::chrono::steady_clock::now();
    window_->close();
  });
  bool timedOut = false;
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [&] {
    timedOut = true;
    QCoreApplication::exit(1);
  });
  watchdog.start(10000);
  const int result = QApplication::exec();
  const auto ended = std::chrono::steady_clock::now();
  ASSERT_FALSE(timedOut) << "the event loop did not end after the window closed";
  EXPECT_EQ(result, 0);
  std::printf("closed %d ms into the start-up: loop ended %.0f ms after the close\n", GetParam(),
              std::chrono::duration<double, std::milli>(ended - closedAt).count());
  EXPECT_TRUE(controller_->Closed());
  EXPECT_FALSE(window_->btnActivate->Checked()) << "the start-up was not interrupted";
  EXPECT_FALSE(In().Enabled());
  EXPECT_FALSE(Out().Enabled());
  EXPECT_FALSE(Delay().Enabled());
  EXPECT_EQ(service_.CurrentHandle(true), kNoWaveHandle);
  EXPECT_TRUE(WaitUntil([&] { return service_.CurrentHandle(false) == kNoWaveHandle; }));
  // Nothing the start-up would still have done happens afterwards.
  QCoreApplication::processEvents();
  EXPECT_FALSE(In().Enabled());
}

INSTANTIATE_TEST_SUITE_P(MillisecondsIntoStartUp, ControllerCloseTest,
                         ::testing::Values(0, 100, 300));

// --- Failures -------------------------------------------------------------------------------

TEST_F(ControllerTest, MissingRecordingControlShowsTheErrorAndLeavesTheChainOff) {
  Start([] { return std::unique_ptr<IAudioRecord>(); });
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_EQ(errors_[0].caption, QStringLiteral("Tardivox"));
  EXPECT_EQ(errors_[0].message,
            QStringLiteral("Le contrôle d'enregistrement n'a pas pu être créé."));
  EXPECT_EQ(window_->lstInDevices->Count(), 0);
  EXPECT_EQ(window_->lstInDeviceLines->Count(), 0);
  EXPECT_FALSE(In().Enabled());
  EXPECT_FALSE(Out().Enabled());
  EXPECT_FALSE(Delay().Enabled());
  EXPECT_FALSE(window_->btnActivate->Checked());
  EXPECT_EQ(Delay().Delay(), 50000u);
  EXPECT_EQ(window_->pnlInOut->Caption(), QStringLiteral("Historique Entrée / Sortie"));
  EXPECT_FALSE(controller_->StartingUp());
  EXPECT_EQ(In().Device().DeviceName(), "Default");

  // The output list still works; the empty input lists do nothing.
  EXPECT_EQ(Items(*window_->lstOutDevices), (std::vector<std::string>{"Sortie 1", "Sortie 2"}));
  window_->lstOutDevices->setCurrentIndex(1);
  EXPECT_EQ(Out().Device().DeviceName(), "Sortie 2");
  window_->lstInDevices->setCurrentIndex(0);
  EXPECT_EQ(In().Device().DeviceName(), "Default");
  EXPECT_EQ(errors_.size(), 1u) << "choosing in the empty lists reports nothing";

  // The user can still switch the chain on, and buffer sizes apply again.
  Click(*window_->btnActivate);
  EXPECT_TRUE(In().Enabled());
  Click(*window_->btnActivate);
  controller_->ChangeInputBufferSize(128);
  EXPECT_EQ(In().AudioFormat().BufferSize(), 128u);
}

TEST_F(ControllerTest, ErrorEscapingAHandlerIsShownAndTheProgramCarriesOn) {
  Start();
  onWait_ = [] { throw std::runtime_error("Panne du périphérique"); };
  Click(*window_->cbBypass);
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_EQ(errors_[0].caption, QStringLiteral("Tardivox"));
  EXPECT_EQ(errors_[0].message, QStringLiteral("Panne du périphérique."));
  onWait_ = nullptr;
  Click(*window_->cbBypass);
  EXPECT_TRUE(Delay().Enabled());
  EXPECT_EQ(errors_.size(), 1u);
}

// --- Conversions and texts ------------------------------------------------------------------

TEST_F(ControllerTest, SecondsToSamplesTruncatesTheExtendedProduct) {
  Build();
  struct {
    double seconds;
    int32_t samples;
  } const cases[] = {{2.0, 88200},
                     {20.0, 882000},
                     {0.3, 13229},
                     {0.01, 441},
                     {0.001, 44},
                     {-0.5, -22050},
                     {1e12, std::numeric_limits<int32_t>::max()},
                     {-1e12, std::numeric_limits<int32_t>::min()},
                     {std::nan(""), 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(controller_->SecondsToSamples(c.seconds), c.samples) << c.seconds << " s";
  }
  EXPECT_NEAR(controller_->SamplesToSeconds(13229), 0.29997732426, 1e-10);
  In().AudioFormat().SetSampleRate(0);
  EXPECT_EQ(controller_->SecondsToSamples(2.0), 0);
  EXPECT_EQ(controller_->SamplesToSeconds(88200), 0.0);
}

TEST(DelayTextTest, MillisecondsUpToOneSecondThenSecondsWithThreeDecimals) {
  EXPECT_EQ(TDelayController::DelayText(0, "."), QStringLiteral("0 ms"));
  EXPECT_EQ(TDelayController::DelayText(500, "."), QStringLiteral("500 ms"));
  EXPECT_EQ(TDelayController::DelayText(1000, "."), QStringLiteral("1000 ms"));
  EXPECT_EQ(TDelayController::DelayText(1001, "."), QStringLiteral("1.001 s"));
  EXPECT_EQ(TDelayController::DelayText(1001, ","), QStringLiteral("1,001 s"));
  EXPECT_EQ(TDelayController::DelayText(20000, ","), QStringLiteral("20,000 s"));
}

}  // namespace
}  // namespace tardivox::testing
