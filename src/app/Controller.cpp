#include "app/Controller.h"

#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>
#include <utility>

#include "app/CheckBox.h"
#include "app/DropDownList.h"
#include "app/GradientToolPanel.h"
#include "app/SpinEdit.h"
#include "app/frmMain.h"
#include "audio/AudioIn.h"
#include "audio/AudioOut.h"
#include "audio/WaveService.h"
#include "processing/DelayLine.h"

namespace tardivox {

namespace {

// A box whose text begins with a minus sign holds a negative entry, or the start of one: it is
// never a delay or a size, whatever the rest of the text reads as. Nor is a text that holds no
// digit yet (a lone sign or separator on the way to ".5"): read, it would be a delay of 0 and
// let the live input through. An empty box is not in progress: it reads as the minimum.
bool IsEntryInProgress(const TSpinEdit& box) {
  const QString text = box.text().trimmed();
  if (text.isEmpty()) return false;
  if (text.front() == u'-' || text.front() == QChar(0x2212)) return true;
  return std::none_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// Detaches a box's change handler for its lifetime and re-attaches `handler` afterwards, also
// when setting the box's value raised.
class TDetachedChange {
 public:
  TDetachedChange(TSpinEdit& box, std::function<void()> handler)
      : box_(box), handler_(std::move(handler)) {
    box_.SetOnChange({});
  }
  ~TDetachedChange() { box_.SetOnChange(std::move(handler_)); }
  TDetachedChange(const TDetachedChange&) = delete;
  TDetachedChange& operator=(const TDetachedChange&) = delete;

 private:
  TSpinEdit& box_;
  std::function<void()> handler_;
};

double SamplesToSecondsAt(uint32_t samples, uint32_t rate) {
  if (rate == 0) return 0.0;
  return static_cast<double>(static_cast<long double>(samples) / rate);
}

}  // namespace

TMainControls TMainControls::FromWindow(TfmMain& window) {
  return TMainControls{*window.lstInDevices,      *window.lstInDeviceLines, *window.lstOutDevices,
                       *window.edInputBufferSize, *window.lstSampleRate,    *window.edDelaySec,
                       *window.edDelaySamples,    *window.btnActivate,      *window.cbBypass,
                       *window.pnlInOut};
}

TDelayChain TDelayChain::FromWindow(TfmMain& window) {
  TMainWindowComponents& components = window.Components();
  return TDelayChain{components.ALAudioIn1(), components.ALDelayLine1(), components.ALAudioOut1(),
                     components.SLWaterfall1(), components.SLWaterfall2()};
}

TDelayController::TDelayController(const TMainControls& controls, const TDelayChain& chain,
                                   TOptions options)
    : controls_(controls),
      chain_(chain),
      wait_(options.wait ? std::move(options.wait) : TWaitFunction([](uint32_t milliseconds) {
        WaitProcessingMessages(milliseconds);
      })),
      errorBox_(options.errorBox ? std::move(options.errorBox) : TErrorBoxFunction(ShowErrorBox)),
      audioRecordProvider_(std::move(options.audioRecordProvider)),
      devices_(TDeviceSelection::TLists{controls.lstInDevices, controls.lstInDeviceLines,
                                        controls.lstOutDevices},
               chain.ALAudioIn1.Device(), chain.ALAudioOut1.Device(),
               [this](uint32_t milliseconds) { Wait(milliseconds); }),
      history_(chain.SLWaterfall1, chain.SLWaterfall2,
               [this](uint32_t milliseconds) { Wait(milliseconds); }),
      // The service the chain's components were created on.
      watch_(*this, CurrentWaveService()) {
  AttachHandlers();
}

TDelayController::TDelayController(TfmMain& window, TOptions options)
    : TDelayController(TMainControls::FromWindow(window), TDelayChain::FromWindow(window),
                       std::move(options)) {
  window_ = &window;
  window_->SetOnCloseQuery([this] { return FormCloseQuery(); });
}

TDelayController::~TDelayController() {
  DetachHandlers();
}

template <typename TCall>
void TDelayController::RunHandler(TCall&& call) {
  // Nothing may propagate into the event loop: whatever escapes a handler is reported and
  // the program carries on.
  try {
    std::forward<TCall>(call)();
  } catch (const TSequenceAbandoned&) {
    // The window closed during this sequence; the close query has disabled the chain.
  } catch (const std::exception& error) {
    AppException(error);
  } catch (...) {
    AppException(std::runtime_error("Exception inconnue"));
  }
}

template <typename TCall>
void TDelayController::RunSequence(TCall&& call) {
  running_ = true;
  struct TRunning {
    bool& flag;
    ~TRunning() { flag = false; }
  } running{running_};
  RunHandler(std::forward<TCall>(call));
  while (!closed_ && pendingCount_ != 0) {
    const TEdit next = pending_[0];
    std::copy(pending_.begin() + 1, pending_.begin() + static_cast<std::ptrdiff_t>(pendingCount_),
              pending_.begin());
    --pendingCount_;
    RunHandler([&] { Run(next); });
  }
}

std::function<void()> TDelayController::Handler(TEdit edit) {
  return [this, edit] { Dispatch(edit); };
}

void TDelayController::Queue(TEdit edit) {
  // The two delay boxes are one kind: the entry made last replaces the other.
  const auto sameKind = [edit](TEdit queued) {
    return queued == edit || (IsDelayEntry(queued) && IsDelayEntry(edit));
  };
  const auto begin = pending_.begin();
  const auto end =
      std::remove_if(begin, begin + static_cast<std::ptrdiff_t>(pendingCount_), sameKind);
  pendingCount_ = static_cast<size_t>(end - begin);
  pending_[pendingCount_++] = edit;
}

bool TDelayController::DelayEntryPending() const {
  const auto begin = pending_.begin();
  return std::any_of(begin, begin + static_cast<std::ptrdiff_t>(pendingCount_), IsDelayEntry);
}

void TDelayController::Dispatch(TEdit edit) {
  if (closed_) return;
  Queue(edit);
  // A sequence is running: it runs the queue when it ends.
  if (running_) return;
  RunSequence([] {});
}

void TDelayController::Run(TEdit edit) {
  switch (edit) {
    case TEdit::FollowDevices:
      return devices_.FollowDevices(watch_.Service().DefaultDeviceName(true),
                                    watch_.Service().DefaultDeviceName(false));
    case TEdit::Restart:
      return RestartChainNow();
    case TEdit::InDevices:
      return devices_.lstInDevicesChange();
    case TEdit::InDeviceLines:
      return devices_.lstInDeviceLinesChange();
    case TEdit::OutDevices:
      return devices_.lstOutDevicesChange();
    case TEdit::SampleRate:
      return lstSampleRateChange();
    case TEdit::InputBufferSize:
      return edInputBufferSizeChange();
    case TEdit::DelaySec:
      return edDelaySecChange();
    case TEdit::DelaySamples:
      return edDelaySamplesChange();
    case TEdit::DelayShown:
      return ShowAppliedDelay();
    case TEdit::Activate:
      return btnActivateClick();
    case TEdit::Bypass:
      return cbBypassClick();
    case TEdit::Count:
      break;
  }
}

void TDelayController::Wait(uint32_t milliseconds) {
  wait_(milliseconds);
  if (closed_ && !closing_) throw TSequenceAbandoned{};
}

void TDelayController::AttachHandlers() {
  controls_.lstInDevices.SetOnChange(Handler(TEdit::InDevices));
  controls_.lstInDeviceLines.SetOnChange(Handler(TEdit::InDeviceLines));
  controls_.lstOutDevices.SetOnChange(Handler(TEdit::OutDevices));
  controls_.lstSampleRate.SetOnChange(Handler(TEdit::SampleRate));
  controls_.edInputBufferSize.SetOnChange(Handler(TEdit::InputBufferSize));
  controls_.edDelaySec.SetOnChange(Handler(TEdit::DelaySec));
  controls_.edDelaySamples.SetOnChange(Handler(TEdit::DelaySamples));
  controls_.edDelaySec.SetOnExit(Handler(TEdit::DelayShown));
  controls_.edDelaySamples.SetOnExit(Handler(TEdit::DelayShown));
  controls_.btnActivate.SetOnClick(Handler(TEdit::Activate));
  controls_.cbBypass.SetOnClick(Handler(TEdit::Bypass));
}

void TDelayController::DetachHandlers() {
  controls_.lstInDevices.SetOnChange({});
  controls_.lstInDeviceLines.SetOnChange({});
  controls_.lstOutDevices.SetOnChange({});
  controls_.lstSampleRate.SetOnChange({});
  controls_.edInputBufferSize.SetOnChange({});
  controls_.edDelaySec.SetOnChange({});
  controls_.edDelaySamples.SetOnChange({});
  controls_.edDelaySec.SetOnExit({});
  controls_.edDelaySamples.SetOnExit({});
  controls_.btnActivate.SetOnClick({});
  controls_.cbBypass.SetOnClick({});
  if (window_) window_->SetOnCloseQuery({});
}

void TDelayController::EnableDelayLine(bool value) {
  Guarded([&] { chain_.ALDelayLine1.SetEnabled(value); });
  Wait(kSwitchWaitMs);
}

void TDelayController::EnableAudioOut(bool value) {
  Guarded([&] { chain_.ALAudioOut1.SetEnabled(value); });
  Wait(kSwitchWaitMs);
}

void TDelayController::EnableAudioIn(bool value) {
  Guarded([&] { chain_.ALAudioIn1.SetEnabled(value); });
  Wait(kSwitchWaitMs);
}

bool TDelayController::IsChainActive() {
  bool active = false;
  Guarded([&] { active = chain_.ALAudioIn1.Enabled(); });
  return active;
}

bool TDelayController::IsDelayLineEnabled() {
  bool enabled = false;
  Guarded([&] { enabled = chain_.ALDelayLine1.Enabled(); });
  return enabled;
}

void TDelayController::ActivateChain(bool bypass) {
  EnableDelayLine(!bypass);
  EnableAudioOut(true);
  // Enabling the capture starts the stream: start and format reach the delay line and the
  // playback before the first buffer, which is why they are switched first.
  EnableAudioIn(true);
  history_.EnableWaterfalls(true);
}

void TDelayController::DeactivateChain() {
  history_.EnableWaterfalls(false);
  EnableAudioIn(false);
  EnableAudioOut(false);
  EnableDelayLine(false);
}

bool TDelayController::ChainWanted() const {
  return controls_.btnActivate.Checked();
}

void TDelayController::RestartChain() {
  Dispatch(TEdit::Restart);
}

void TDelayController::FollowDevices() {
  Dispatch(TEdit::FollowDevices);
}

void TDelayController::RestartChainNow() {
  if (!ChainWanted()) return;
  DeactivateChain();
  ActivateChain(controls_.cbBypass.Checked());
  UpdateStatus();
}

std::string TDelayController::DescribeDevices() {
  std::string input;
  std::string output;
  Guarded([&] {
    input = chain_.ALAudioIn1.Device().DeviceName();
    output = chain_.ALAudioOut1.Device().DeviceName();
  });
  return "input \"" + input + "\", output \"" + output + "\"";
}

uint32_t TDelayController::SampleRate() {
  uint32_t rate = 0;
  Guarded([&] { rate = chain_.ALAudioIn1.AudioFormat().SampleRate(); });
  return rate;
}

int32_t TDelayController::SecondsToSamples(double seconds) {
  // Extended precision keeps the product of the double just below 0.3 and 44100 below 13230,
  // so the truncation gives 13229 as the delay line has always been given.
  const long double product = static_cast<long double>(SampleRate()) * seconds;
  if (std::isnan(product)) return 0;
  constexpr long double kUpper = 2147483648.0L;
  constexpr long double kLower = -2147483649.0L;
  if (product >= kUpper) return std::numeric_limits<int32_t>::max();
  if (product <= kLower) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(product);
}

double TDelayController::SamplesToSeconds(uint32_t samples) {
  return SamplesToSecondsAt(samples, SampleRate());
}

void TDelayController::SetDelaySamples(uint32_t samples) {
  const bool enabled = IsDelayLineEnabled();
  // The line is assigned the state it has, not switched off: a disabled line passes the live
  // input through, an enabled one that is assigned again restarts its history as silence.
  // Either way the steps and their waits stay, and the output is silent, then delayed.
  EnableDelayLine(enabled);
  Guarded([&] { chain_.ALDelayLine1.SetDelay(samples); });
  EnableDelayLine(enabled);
}

void TDelayController::SetDelaySeconds(double seconds) {
  // A negative count would wrap to billions of samples in the unsigned Delay.
  if (!(seconds >= 0.0)) return;
  SetDelaySamples(static_cast<uint32_t>(SecondsToSamples(seconds)));
}

void TDelayController::ShowAppliedDelay() {
  // A newer entry waits: it will write both boxes itself.
  if (DelayEntryPending()) return;
  uint32_t samples = 0;
  Guarded([&] { samples = chain_.ALDelayLine1.Delay(); });
  {
    TDetachedChange detached(controls_.edDelaySamples, Handler(TEdit::DelaySamples));
    controls_.edDelaySamples.SetValue(
        static_cast<int32_t>(std::min<uint32_t>(samples, std::numeric_limits<int32_t>::max())));
  }
  ShowSeconds(SamplesToSeconds(samples));
  UpdateStatus();
}

void TDelayController::ShowSeconds(long double seconds) {
  TDetachedChange detached(controls_.edDelaySec, Handler(TEdit::DelaySec));
  controls_.edDelaySec.SetFloatValue(seconds);
}

void TDelayController::edDelaySecChange() {
  if (IsEntryInProgress(controls_.edDelaySec)) return;
  const long double value = controls_.edDelaySec.FloatValue();
  if (!(value <= kMaxDelaySeconds)) return;
  const double seconds = static_cast<double>(value);
  SetDelaySeconds(seconds);
  // A newer entry, made during the waits, writes both boxes and the caption when it runs.
  if (DelayEntryPending()) return;
  {
    TDetachedChange detached(controls_.edDelaySamples, Handler(TEdit::DelaySamples));
    controls_.edDelaySamples.SetValue(SecondsToSamples(seconds));
  }
  UpdateStatus();
}

void TDelayController::edDelaySamplesChange() {
  if (IsEntryInProgress(controls_.edDelaySamples)) return;
  const int32_t value = controls_.edDelaySamples.Value();
  if (value < 0 || value > kMaxDelaySamples) return;
  const auto samples = static_cast<uint32_t>(value);
  SetDelaySamples(samples);
  if (DelayEntryPending()) return;
  ShowSeconds(SamplesToSeconds(samples));
  UpdateStatus();
}

void TDelayController::ChangeSampleRate(uint32_t rate) {
  const bool active = IsChainActive();
  if (active) DeactivateChain();
  Guarded([&] { chain_.ALAudioIn1.AudioFormat().SetSampleRate(rate); });
  Wait(kSampleRateWaitMs);
  history_.SetWaterfallRate(rate);
  if (active) ActivateChain(controls_.cbBypass.Checked());
}

void TDelayController::lstSampleRateChange() {
  const std::optional<int32_t> rate = TSpinEdit::ParseInteger(controls_.lstSampleRate.Text());
  if (!rate || *rate <= 0) return;
  ChangeSampleRate(static_cast<uint32_t>(*rate));
  // The delay in samples is kept; only the seconds shown follow the new rate.
  if (!IsEntryInProgress(controls_.edDelaySamples) && !DelayEntryPending()) {
    const double seconds = SamplesToSecondsAt(
        static_cast<uint32_t>(controls_.edDelaySamples.Value()), static_cast<uint32_t>(*rate));
    if (static_cast<long double>(seconds) != controls_.edDelaySec.FloatValue()) {
      ShowSeconds(seconds);
    }
  }
  UpdateStatus();
}

void TDelayController::ChangeInputBufferSize(int32_t size) {
  if (startingUp_ || size < 1) return;
  const bool active = IsChainActive();
  if (active) DeactivateChain();
  chain_.ALAudioIn1.AudioFormat().SetBufferSize(kResetBufferSize);
  Guarded([&] { chain_.ALAudioIn1.AudioFormat().SetBufferSize(static_cast<uint32_t>(size)); });
  Wait(kBufferSizeWaitMs);
  if (active) ActivateChain(controls_.cbBypass.Checked());
}

void TDelayController::edInputBufferSizeChange() {
  // Keystrokes on the way to a size ("5" of "512", a "-") are not applied; the box brings
  // its value into range when it loses the focus, which raises this handler again.
  const TSpinEdit& box = controls_.edInputBufferSize;
  if (IsEntryInProgress(box)) return;
  const int32_t size = box.Value();
  if (size < box.MinValue() || size > box.MaxValue()) return;
  ChangeInputBufferSize(size);
}

void TDelayController::btnActivateClick() {
  if (controls_.btnActivate.Checked()) {
    ActivateChain(controls_.cbBypass.Checked());
  } else {
    DeactivateChain();
  }
  UpdateStatus();
}

void TDelayController::cbBypassClick() {
  EnableDelayLine(!controls_.cbBypass.Checked());
  UpdateStatus();
}

QString TDelayController::DelayText(uint32_t milliseconds, const QString& decimalPoint) {
  if (milliseconds > 1000) {
    QString text = QString::number(static_cast<double>(milliseconds / 1000.0L), 'f', 3);
    text.replace(u'.', decimalPoint);
    return text + QStringLiteral(" s");
  }
  return QString::number(milliseconds) + QStringLiteral(" ms");
}

void TDelayController::UpdateStatus() {
  controls_.edInputBufferSize.setEnabled(!IsChainActive());
  // The text is read in extended precision, so "1.001" gives 1001 ms. A negative entry in
  // progress counts as no delay.
  const long double milliseconds = controls_.edDelaySec.FloatValue() * 1000.0L;
  uint32_t wholeMilliseconds = 0;
  if (milliseconds >= static_cast<long double>(std::numeric_limits<uint32_t>::max())) {
    wholeMilliseconds = std::numeric_limits<uint32_t>::max();
  } else if (milliseconds > 0) {
    wholeMilliseconds = static_cast<uint32_t>(milliseconds);
  }
  if (controls_.cbBypass.Checked()) {
    controls_.pnlInOut.SetCaption(QString::fromUtf8(kBypassCaption));
  } else {
    const QString delay =
        DelayText(wholeMilliseconds, controls_.edDelaySec.locale().decimalPoint());
    controls_.pnlInOut.SetCaption(QString::fromUtf8(kDelayedCaption).arg(delay));
  }
}

void TDelayController::InitAudio() {
  Guarded([&] {
    devices_.SetAudioRecord(audioRecordProvider_
                                ? std::make_unique<TCAudioRecord>(audioRecordProvider_)
                                : std::make_unique<TCAudioRecord>());
  });
  try {
    devices_.FillInputDevices(true);
  } catch (...) {
    // The recording control failing says nothing about the output devices: list them so the
    // user can still choose one, then report the failure and leave the start-up there.
    devices_.FillOutputDevices();
    throw;
  }
  devices_.FillOutputDevices();
  // The box is set and its change handler run here, inside the start-up: raised, it would
  // wait in the queue until the start-up had ended. An entry the user made meanwhile is newer
  // and wins.
  if (!DelayEntryPending()) {
    ShowSeconds(kStartDelaySeconds);
    edDelaySecChange();
  }
  // Selecting from code raises no change: the capture keeps the rate it was loaded with.
  controls_.lstSampleRate.SetItemIndex(kStartSampleRateIndex);
}

void TDelayController::PostFormCreate() {
  QTimer::singleShot(0, &postContext_, [this] { FormCreate(); });
}

void TDelayController::FormCreate() {
  // Closed before the start-up could run: there is nothing to start.
  if (closed_) return;
  RunSequence([&] {
    {
      // Reset also when the start-up fails: buffer-size changes must work afterwards.
      struct TStartingUp {
        bool& flag;
        explicit TStartingUp(bool& startingUp) : flag(startingUp) { flag = true; }
        ~TStartingUp() { flag = false; }
      } startingUp(startingUp_);
      InitAudio();
    }
    // Checked from code (no click event), then the click handler runs the activation itself.
    controls_.btnActivate.SetChecked(true);
    btnActivateClick();
    UpdateStatus();
  });
  if (!closed_) watch_.Start();
}

bool TDelayController::FormCloseQuery() {
  watch_.Stop();
  // A second close during the first one's waits: that one is disabling the chain.
  if (closed_) return true;
  closed_ = true;
  pendingCount_ = 0;
  closing_ = true;
  RunHandler([&] {
    EnableDelayLine(false);
    DeactivateChain();
  });
  closing_ = false;
  return true;
}

void TDelayController::AppException(const std::exception& error) {
  errorBox_(ApplicationTitle(), ErrorBoxText(error));
}

}  // namespace tardivox
