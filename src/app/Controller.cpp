#include "app/Controller.h"

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
// never a delay or a size, whatever the rest of the text reads as.
bool IsNegativeEntry(const TSpinEdit& box) {
  const QString text = box.text().trimmed();
  return !text.isEmpty() && (text.front() == u'-' || text.front() == QChar(0x2212));
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
  return TDelayChain{components.ALAudioIn1(), components.ALDelayLine1(), components.ALAudioOut1()};
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
               [this](uint32_t milliseconds) { wait_(milliseconds); }),
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
  } catch (const std::exception& error) {
    AppException(error);
  } catch (...) {
    AppException(std::runtime_error("Exception inconnue"));
  }
}

std::function<void()> TDelayController::Handler(void (TDelayController::*member)()) {
  return [this, member] { RunHandler([&] { (this->*member)(); }); };
}

std::function<void()> TDelayController::Handler(void (TDeviceSelection::*member)()) {
  return [this, member] { RunHandler([&] { (devices_.*member)(); }); };
}

void TDelayController::AttachHandlers() {
  controls_.lstInDevices.SetOnChange(Handler(&TDeviceSelection::lstInDevicesChange));
  controls_.lstInDeviceLines.SetOnChange(Handler(&TDeviceSelection::lstInDeviceLinesChange));
  controls_.lstOutDevices.SetOnChange(Handler(&TDeviceSelection::lstOutDevicesChange));
  controls_.lstSampleRate.SetOnChange(Handler(&TDelayController::lstSampleRateChange));
  controls_.edInputBufferSize.SetOnChange(Handler(&TDelayController::edInputBufferSizeChange));
  controls_.edDelaySec.SetOnChange(Handler(&TDelayController::edDelaySecChange));
  controls_.edDelaySamples.SetOnChange(Handler(&TDelayController::edDelaySamplesChange));
  controls_.btnActivate.SetOnClick(Handler(&TDelayController::btnActivateClick));
  controls_.cbBypass.SetOnClick(Handler(&TDelayController::cbBypassClick));
}

void TDelayController::DetachHandlers() {
  controls_.lstInDevices.SetOnChange({});
  controls_.lstInDeviceLines.SetOnChange({});
  controls_.lstOutDevices.SetOnChange({});
  controls_.lstSampleRate.SetOnChange({});
  controls_.edInputBufferSize.SetOnChange({});
  controls_.edDelaySec.SetOnChange({});
  controls_.edDelaySamples.SetOnChange({});
  controls_.btnActivate.SetOnClick({});
  controls_.cbBypass.SetOnClick({});
  if (window_) window_->SetOnCloseQuery({});
}

void TDelayController::EnableDelayLine(bool value) {
  Guarded([&] { chain_.ALDelayLine1.SetEnabled(value); });
  wait_(kSwitchWaitMs);
}

void TDelayController::EnableAudioOut(bool value) {
  Guarded([&] { chain_.ALAudioOut1.SetEnabled(value); });
  wait_(kSwitchWaitMs);
}

void TDelayController::EnableAudioIn(bool value) {
  Guarded([&] { chain_.ALAudioIn1.SetEnabled(value); });
  wait_(kSwitchWaitMs);
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
}

void TDelayController::DeactivateChain() {
  EnableAudioIn(false);
  EnableAudioOut(false);
  EnableDelayLine(false);
}

bool TDelayController::ChainWanted() const {
  return controls_.btnActivate.Checked();
}

void TDelayController::RestartChain() {
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
  EnableDelayLine(false);
  Guarded([&] { chain_.ALDelayLine1.SetDelay(samples); });
  EnableDelayLine(enabled);
}

void TDelayController::SetDelaySeconds(double seconds) {
  // A negative count would wrap to billions of samples in the unsigned Delay.
  if (!(seconds >= 0.0)) return;
  SetDelaySamples(static_cast<uint32_t>(SecondsToSamples(seconds)));
}

void TDelayController::ShowSeconds(long double seconds) {
  TDetachedChange detached(controls_.edDelaySec, Handler(&TDelayController::edDelaySecChange));
  controls_.edDelaySec.SetFloatValue(seconds);
}

void TDelayController::edDelaySecChange() {
  if (IsNegativeEntry(controls_.edDelaySec)) return;
  const long double value = controls_.edDelaySec.FloatValue();
  if (!(value <= kMaxDelaySeconds)) return;
  const double seconds = static_cast<double>(value);
  SetDelaySeconds(seconds);
  {
    TDetachedChange detached(controls_.edDelaySamples,
                             Handler(&TDelayController::edDelaySamplesChange));
    controls_.edDelaySamples.SetValue(SecondsToSamples(seconds));
  }
  UpdateStatus();
}

void TDelayController::edDelaySamplesChange() {
  if (IsNegativeEntry(controls_.edDelaySamples)) return;
  const int32_t value = controls_.edDelaySamples.Value();
  if (value < 0 || value > kMaxDelaySamples) return;
  const auto samples = static_cast<uint32_t>(value);
  SetDelaySamples(samples);
  ShowSeconds(SamplesToSeconds(samples));
  UpdateStatus();
}

void TDelayController::ChangeSampleRate(uint32_t rate) {
  const bool active = IsChainActive();
  if (active) DeactivateChain();
  Guarded([&] { chain_.ALAudioIn1.AudioFormat().SetSampleRate(rate); });
  wait_(kSampleRateWaitMs);
  if (active) ActivateChain(controls_.cbBypass.Checked());
}

void TDelayController::lstSampleRateChange() {
  const std::optional<int32_t> rate = TSpinEdit::ParseInteger(controls_.lstSampleRate.Text());
  if (!rate || *rate <= 0) return;
  ChangeSampleRate(static_cast<uint32_t>(*rate));
  // The delay in samples is kept; only the seconds shown follow the new rate.
  if (!IsNegativeEntry(controls_.edDelaySamples)) {
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
  wait_(kBufferSizeWaitMs);
  if (active) ActivateChain(controls_.cbBypass.Checked());
}

void TDelayController::edInputBufferSizeChange() {
  // Keystrokes on the way to a size ("5" of "512", a "-") are not applied; the box brings
  // its value into range when it loses the focus, which raises this handler again.
  const TSpinEdit& box = controls_.edInputBufferSize;
  if (IsNegativeEntry(box)) return;
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
  // Setting the box raises its change handler, which sets the delay line; a box already
  // showing the start value would raise nothing, so the handler is run here instead.
  const QString before = controls_.edDelaySec.text();
  controls_.edDelaySec.SetFloatValue(kStartDelaySeconds);
  if (controls_.edDelaySec.text() == before) edDelaySecChange();
  // Selecting from code raises no change: the capture keeps the rate it was loaded with.
  controls_.lstSampleRate.SetItemIndex(kStartSampleRateIndex);
}

void TDelayController::FormCreate() {
  RunHandler([&] {
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
  watch_.Start();
}

bool TDelayController::FormCloseQuery() {
  watch_.Stop();
  RunHandler([&] {
    EnableDelayLine(false);
    DeactivateChain();
  });
  return true;
}

void TDelayController::AppException(const std::exception& error) {
  errorBox_(ApplicationTitle(), ErrorBoxText(error));
}

}  // namespace tardivox
