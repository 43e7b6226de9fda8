#pragma once
// The delay controller: the application logic behind the main window. It configures and
// switches the chain capture (ALAudioIn1) → delay line (ALDelayLine1) → playback
// (ALAudioOut1): it starts the chain at start-up, switches it on and off, turns the delay into
// a bypass, converts the delay between seconds and samples, changes the sample rate and the
// capture buffer size, keeps the history panel's caption up to date and stops the chain when
// the window closes. It owns no audio data; the values live in the window's controls and in
// the components (the delay line's Delay is the authoritative delay in samples).
//
// Wiring: the constructor installs the controller's handlers on the controls (change handlers
// of the lists and boxes, click handlers of the two check boxes) and, when built on a TfmMain,
// the window's close query; the destructor removes them. FormCreate runs the start-up and is
// called once the window and its components exist.
//
// Guarded calls: every call into a component is made through Guarded, so an ordinary error
// (tardivox::Exception) is swallowed and the sequence goes on, waits included. Errors that
// escape a handler (including FormCreate and the close query) are shown by AppException in an
// error box and the program carries on.
//
// Delay entries: the seconds box accepts up to 20 s and the samples box up to 882000 samples;
// an entry above that changes nothing. An entry that begins with a minus sign (a lone "-"
// while the user types included) also changes nothing: the delay line never receives a
// negative delay. The boxes bring such entries into their ranges when they lose the focus,
// which raises their change handlers again with an acceptable value. The buffer-size box
// likewise only applies sizes within its own range.
//
// Waits: after each switch and setting the controller waits through its wait function
// (WaitProcessingMessages unless replaced), which processes window events, so other handlers
// may run in the middle of a sequence; the last writer wins.
//
// Threads: the window's thread only. The controls and components passed in must outlive the
// controller.

#include <QString>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "app/AppExceptions.h"
#include "app/DeviceWatch.h"
#include "app/Misc.h"
#include "app/Multimedia.h"
#include "audio/AudioRecord.h"

namespace tardivox {

class TALAudioIn;
class TALAudioOut;
class TALDelayLine;
class TCheckBox;
class TDropDownList;
class TGradientToolPanel;
class TSpinEdit;
class TfmMain;

// The window's controls the controller reads and drives.
struct TMainControls {
  TDropDownList& lstInDevices;
  TDropDownList& lstInDeviceLines;
  TDropDownList& lstOutDevices;
  TSpinEdit& edInputBufferSize;
  TDropDownList& lstSampleRate;
  TSpinEdit& edDelaySec;
  TSpinEdit& edDelaySamples;
  TCheckBox& btnActivate;
  TCheckBox& cbBypass;
  TGradientToolPanel& pnlInOut;

  static TMainControls FromWindow(TfmMain& window);
};

// The chain the controller switches.
struct TDelayChain {
  TALAudioIn& ALAudioIn1;
  TALDelayLine& ALDelayLine1;
  TALAudioOut& ALAudioOut1;

  static TDelayChain FromWindow(TfmMain& window);
};

class TDelayController {
 public:
  static constexpr uint32_t kSwitchWaitMs = 100;
  static constexpr uint32_t kSampleRateWaitMs = 100;
  static constexpr uint32_t kBufferSizeWaitMs = 50;
  static constexpr double kMaxDelaySeconds = 20.0;
  static constexpr int32_t kMaxDelaySamples = 882000;  // 20 s at 44100 Hz, at any rate
  static constexpr double kStartDelaySeconds = 2.0;
  static constexpr int kStartSampleRateIndex = 2;  // "44100"
  static constexpr uint32_t kResetBufferSize = 1024;

  static constexpr const char* kBypassCaption = "Historique Entrée / Sortie (signal non retardé)";
  static constexpr const char* kDelayedCaption =
      "Historique Entrée / Sortie (signal retardé de %1)";

  struct TOptions {
    // The wait between steps; WaitProcessingMessages when empty.
    TWaitFunction wait;
    // How AppException shows an error; ShowErrorBox when empty.
    TErrorBoxFunction errorBox;
    // The provider of the recording control created at start-up; the PulseAudio provider when
    // empty. It is called at the control's first use, not at its creation.
    TCAudioRecord::TProviderFactory audioRecordProvider;
  };

  TDelayController(const TMainControls& controls, const TDelayChain& chain, TOptions options);
  // Builds on the window's controls and components and installs the close query too.
  TDelayController(TfmMain& window, TOptions options);
  explicit TDelayController(TfmMain& window) : TDelayController(window, TOptions{}) {}
  ~TDelayController();
  TDelayController(const TDelayController&) = delete;
  TDelayController& operator=(const TDelayController&) = delete;

  // Component switches, each a guarded call followed by a 100 ms wait.
  void EnableDelayLine(bool value);
  void EnableAudioOut(bool value);
  void EnableAudioIn(bool value);
  // The chain is active while the capture is enabled (the Activate box is not consulted).
  bool IsChainActive();
  bool IsDelayLineEnabled();

  // Delay line (unless `bypass`), playback, capture; each followed by its wait.
  void ActivateChain(bool bypass);
  // Capture, playback, delay line; each followed by its wait.
  void DeactivateChain();
  // True while "Activer" is checked: the user wants the chain on.
  bool ChainWanted() const;
  // Switches the chain off and on again with the window's settings (Bypass included), as a
  // click off and on would; nothing while "Activer" is unchecked. The device watch calls it to
  // bring the chain back after its devices were lost.
  void RestartChain();
  // The chain's devices as a line of stderr names them: input "…", output "…".
  std::string DescribeDevices();

  // Rate × seconds, truncated toward zero, the product formed in extended precision (0.3 s at
  // 44100 Hz gives 13229). Saturates at the 32-bit limits; 0 for NaN or an unreadable rate.
  int32_t SecondsToSamples(double seconds);
  // Samples / rate in extended precision; 0 for a zero rate.
  double SamplesToSeconds(uint32_t samples);
  // Sets the delay line's Delay with the line disabled meanwhile, then restores its Enabled
  // (every change resets its history to silence). At least 200 ms.
  void SetDelaySamples(uint32_t samples);
  // SetDelaySamples(SecondsToSamples(seconds)); a negative or NaN value changes nothing.
  void SetDelaySeconds(double seconds);
  // Stops the chain when active, sets the capture's rate, restarts it with the current Bypass.
  void ChangeSampleRate(uint32_t rate);
  // Ignored while starting up or for a size below 1; otherwise stops the chain when active,
  // sets the capture's buffer size (taking effect at its next start) and restarts it.
  void ChangeInputBufferSize(int32_t size);
  // The buffer-size box's enabled state and the history panel's caption.
  void UpdateStatus();
  // The delay text of the caption for a delay of `milliseconds`: "1000 ms", "1,001 s"…, with
  // the decimal separator `decimalPoint`.
  static QString DelayText(uint32_t milliseconds, const QString& decimalPoint);

  // Start-up and close.
  void FormCreate();
  void InitAudio();
  bool FormCloseQuery();
  bool StartingUp() const { return startingUp_; }

  // Window handlers (installed by the constructor).
  void edDelaySecChange();
  void edDelaySamplesChange();
  void lstSampleRateChange();
  void edInputBufferSizeChange();
  void btnActivateClick();
  void cbBypassClick();

  // Shows an error that escaped a handler.
  void AppException(const std::exception& error);

  TDeviceSelection& Devices() { return devices_; }
  TDeviceWatch& Watch() { return watch_; }

 private:
  // Runs a window handler, handing whatever escapes it to AppException.
  template <typename TCall>
  void RunHandler(TCall&& call);
  std::function<void()> Handler(void (TDelayController::*member)());
  std::function<void()> Handler(void (TDeviceSelection::*member)());
  void AttachHandlers();
  void DetachHandlers();
  // Sets the seconds box from code with its change handler detached.
  void ShowSeconds(long double seconds);
  uint32_t SampleRate();

  TMainControls controls_;
  TDelayChain chain_;
  TfmMain* window_ = nullptr;
  TWaitFunction wait_;
  TErrorBoxFunction errorBox_;
  TCAudioRecord::TProviderFactory audioRecordProvider_;
  TDeviceSelection devices_;
  TDeviceWatch watch_;
  bool startingUp_ = false;
};

}  // namespace tardivox
