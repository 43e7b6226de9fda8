#pragma once
// The main window with its controller on the offscreen platform, its chain on the in-process
// wave service and its recording control on the test provider. Waits are recorded with the
// state of the chain at that moment; unless realWaits_ is set (then they are real waits on the
// event loop) they are not waited but still process events once.

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLocale>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "WindowTestSupport.h"
#include "app/Controller.h"
#include "app/DropDownList.h"
#include "app/Misc.h"
#include "app/frmMain.h"
#include "audio/AudioIn.h"
#include "audio/AudioOut.h"
#include "audio/FakeAudioRecord.h"
#include "audio/VirtualWaveService.h"
#include "audio/WaveService.h"
#include "display/Waterfall.h"
#include "pins/UnloadedPin.h"
#include "processing/DelayLine.h"

namespace tardivox::testing {

// One wait of the controller and what the chain and the history strips (Enabled of the input
// and the output strip) looked like when it began.
struct TWaitRecord {
  uint32_t milliseconds;
  bool audioIn;
  bool audioOut;
  bool delayLine;
  bool inputStrip;
  bool outputStrip;
  bool operator==(const TWaitRecord&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const TWaitRecord& wait) {
  return out << "{" << wait.milliseconds << " ms, in " << wait.audioIn << ", out " << wait.audioOut
             << ", delay " << wait.delayLine << ", strips " << wait.inputStrip << " "
             << wait.outputStrip << "}";
}

// The milliseconds the waits add up to.
inline uint32_t TotalMs(const std::vector<TWaitRecord>& waits) {
  uint32_t total = 0;
  for (const TWaitRecord& wait : waits) total += wait.milliseconds;
  return total;
}

struct TErrorBoxRecord {
  QString caption;
  QString message;
};

class ControllerFixture : public ::testing::Test {
 protected:
  // `outputs` names the virtual output devices; the window is built at once.
  explicit ControllerFixture(std::vector<std::string> outputs = {"Sortie 1", "Sortie 2"}) {
    service_.AddInputDevice("Périphérique 1");
    for (const std::string& name : outputs) service_.AddOutputDevice(name);
    previousService_ = SetCurrentWaveService(&service_);
    previousTitle_ = QGuiApplication::applicationDisplayName();
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Tardivox"));
  }

  ~ControllerFixture() override {
    controller_.reset();
    window_.reset();
    SetCurrentWaveService(previousService_);
    TOWUnloadedPin::DropUnused();
    QGuiApplication::setApplicationDisplayName(previousTitle_);
  }

  // Builds the window and its controller. `provider` defaults to the two-device test control.
  void Build(TCAudioRecord::TProviderFactory provider = {}) {
    controller_.reset();  // it refers to the window's controls
    window_ = std::make_unique<TfmMain>();
    TDelayController::TOptions options;
    options.wait = [this](uint32_t milliseconds) {
      waits_.push_back({milliseconds, In().Enabled(), Out().Enabled(), Delay().Enabled(),
                        InputStrip().isEnabled(), OutputStrip().isEnabled()});
      if (onWait_) onWait_();
      if (realWaits_) {
        WaitProcessingMessages(milliseconds);
      } else {
        QCoreApplication::processEvents();
      }
    };
    options.errorBox = [this](const QString& caption, const QString& message) {
      errors_.push_back({caption, message});
    };
    options.audioRecordProvider = provider ? std::move(provider) : TFakeAudioRecord::Factory(log_);
    controller_ = std::make_unique<TDelayController>(*window_, std::move(options));
  }

  void Start(TCAudioRecord::TProviderFactory provider = {}) {
    Build(std::move(provider));
    controller_->FormCreate();
  }

  TALAudioIn& In() { return window_->Components().ALAudioIn1(); }
  TALAudioOut& Out() { return window_->Components().ALAudioOut1(); }
  TALDelayLine& Delay() { return window_->Components().ALDelayLine1(); }
  TSLWaterfall& InputStrip() { return window_->Components().SLWaterfall1(); }
  TSLWaterfall& OutputStrip() { return window_->Components().SLWaterfall2(); }

  // The waits made from now on.
  std::vector<TWaitRecord> WaitsSince(size_t first) const {
    return {waits_.begin() + static_cast<std::ptrdiff_t>(std::min(first, waits_.size())),
            waits_.end()};
  }

  // Opens of the virtual input device so far (each start of the chain opens it once).
  size_t InputOpens() const {
    size_t count = 0;
    for (const auto& open : service_.Opens()) {
      if (open.input && open.handle != kNoWaveHandle) ++count;
    }
    return count;
  }

  TALVirtualWaveService service_;
  IALWaveService* previousService_ = nullptr;
  QString previousTitle_;
  std::shared_ptr<TFakeAudioRecord::TLog> log_ = std::make_shared<TFakeAudioRecord::TLog>();
  std::vector<TWaitRecord> waits_;
  std::function<void()> onWait_;
  bool realWaits_ = false;
  std::vector<TErrorBoxRecord> errors_;
  std::unique_ptr<TfmMain> window_;
  std::unique_ptr<TDelayController> controller_;
};

// Texts compared as UTF-8, so failures print them readably.
inline std::string U8(const QString& text) {
  return text.toStdString();
}

}  // namespace tardivox::testing
