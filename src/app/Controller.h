#pragma once
// The delay controller: the application logic behind the main window. It configures and
// switches the chain capture (ALAudioIn1) → delay line (ALDelayLine1) → playback
// (ALAudioOut1) and the two history strips (SLWaterfall1, SLWaterfall2, see
// HistoryDisplays.h): it starts the chain at start-up, switches it on and off, turns the delay
// into a bypass, converts the delay between seconds and samples, changes the sample rate and
// the capture buffer size (a rate change also sets the strips' depth), keeps the history
// panel's caption up to date and stops the chain when the window closes. It owns no audio data; the
// values live in the window's controls and in the components (the delay line's Delay is the
// authoritative delay in samples).
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
// negative delay. So does a text without a digit yet (a lone sign or separator). The boxes
// bring such entries into their ranges when they lose the focus, which raises their change
// handlers again with an acceptable value; then both boxes show the delay the line holds. The
// buffer-size box likewise only applies sizes within its own range.
//
// Waits: after each switch and setting the controller waits through its wait function
// (WaitProcessingMessages unless replaced), which processes window events, so the user may
// act in the middle of a sequence.
//
// The last edit wins. A handler (a user's edit, a click, a choice in a list) that arrives while
// a sequence runs does not start another sequence inside it: it is queued and runs when the
// running one has ended, reading the controls as they are then. Queued edits of one kind are
// coalesced into the latest (the two delay boxes count as one kind: the box edited last wins),
// and kinds run in the order of their latest edit. A sequence does not write a delay box while
// a newer entry in one of them waits to run, since that would overwrite what the user typed.
// So once the events stop, the delay line, both delay boxes and the caption agree with the last
// edit, and the chain's switches are in the state the last action asked for.
//
// A delay change never lets the live input through undelayed: the delay line keeps the
// Enabled state it had during the change (assigning it resets its history to silence), so the
// output is silent for the new delay, then delayed; with Bypass on it stays undelayed.
//
// Closing preempts: the close query runs at once, also in the middle of a sequence (the
// start-up included), disables the delay line and the chain (the history strips with it), and
// drops every queued edit.
// Every sequence it interrupted stops at the end of its current wait without writing anything
// more, and handlers arriving afterwards do nothing. Start the program with PostFormCreate so
// that the start-up runs inside the event loop: a close during it then ends the loop.
//
// Threads: the window's thread only. The controls and components passed in must outlive the
// controller.

#include <QObject>
#include <QString>

#include <array>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "app/AppExceptions.h"
#include "app/DeviceWatch.h"
#include "app/HistoryDisplays.h"
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
class TSLWaterfall;
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

// The chain the controller switches, and the history strips at the end of its monitoring
// branch.
struct TDelayChain {
  TALAudioIn& ALAudioIn1;
  TALDelayLine& ALDelayLine1;
  TALAudioOut& ALAudioOut1;
  TSLWaterfall& SLWaterfall1;
  TSLWaterfall& SLWaterfall2;

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

  // Delay line (unless `bypass`), playback, capture, each followed by its 100 ms wait; then
  // both history strips on (50 ms each): at least 400 ms.
  void ActivateChain(bool bypass);
  // Both history strips off (50 ms each), then capture, playback, delay line, each followed
  // by its 100 ms wait: at least 400 ms.
  void DeactivateChain();
  // True while "Activer" is checked: the user wants the chain on.
  bool ChainWanted() const;
  // Switches the chain off and on again with the window's settings (Bypass included), as a
  // click off and on would; nothing while "Activer" is unchecked. The device watch calls it to
  // bring the chain back after its devices were lost. Like a user's edit it is queued while a
  // sequence runs.
  void RestartChain();
  // Lists the devices again, keeping the selections (TDeviceSelection::FollowDevices, with the
  // server's default devices as fallbacks); queued like a user's edit.
  void FollowDevices();
  // The chain's devices as a line of stderr names them: input "…", output "…".
  std::string DescribeDevices();

  // Rate × seconds, truncated toward zero, the product formed in extended precision (0.3 s at
  // 44100 Hz gives 13229). Saturates at the 32-bit limits; 0 for NaN or an unreadable rate.
  int32_t SecondsToSamples(double seconds);
  // Samples / rate in extended precision; 0 for a zero rate.
  double SamplesToSeconds(uint32_t samples);
  // Assigns the delay line the Enabled state it has (which resets its history to silence),
  // sets its Delay, and assigns the same state again, with a wait after each assignment: at
  // least 200 ms. An enabled line stays enabled throughout, so the output goes silent for the
  // new delay and then plays the delayed input; it never plays the live input.
  void SetDelaySamples(uint32_t samples);
  // SetDelaySamples(SecondsToSamples(seconds)); a negative or NaN value changes nothing.
  void SetDelaySeconds(double seconds);
  // Stops the chain when active, sets the capture's rate, sets the history strips' depth for
  // it (switching them off and on, also while the chain is off), and restarts the chain with
  // the current Bypass.
  void ChangeSampleRate(uint32_t rate);
  // Ignored while starting up or for a size below 1; otherwise stops the chain when active,
  // sets the capture's buffer size (taking effect at its next start) and restarts it.
  void ChangeInputBufferSize(int32_t size);
  // The buffer-size box's enabled state and the history panel's caption.
  void UpdateStatus();
  // The delay text of the caption for a delay of `milliseconds`: "1000 ms", "1,001 s"…, with
  // the decimal separator `decimalPoint`.
  static QString DelayText(uint32_t milliseconds, const QString& decimalPoint);

  // Start-up and close. FormCreate runs the start-up now; PostFormCreate has the event loop
  // run it once it is running (dropped if the controller is destroyed first).
  void FormCreate();
  void PostFormCreate();
  void InitAudio();
  bool FormCloseQuery();
  bool StartingUp() const { return startingUp_; }
  // Whether a sequence runs or an edit waits to run.
  bool Busy() const { return running_ || pendingCount_ != 0; }
  // Whether the window was asked to close (nothing is started any more).
  bool Closed() const { return closed_; }

  // Window handlers (installed by the constructor).
  void edDelaySecChange();
  void edDelaySamplesChange();
  void lstSampleRateChange();
  void edInputBufferSizeChange();
  void btnActivateClick();
  void cbBypassClick();
  // The user left a delay box: both boxes show the delay applied, and the caption follows.
  void ShowAppliedDelay();

  // Shows an error that escaped a handler.
  void AppException(const std::exception& error);

  TDeviceSelection& Devices() { return devices_; }
  THistoryDisplays& History() { return history_; }
  TDeviceWatch& Watch() { return watch_; }

 private:
  // The window handlers, as queued and coalesced while a sequence runs.
  enum class TEdit : uint8_t {
    InDevices,
    InDeviceLines,
    OutDevices,
    SampleRate,
    InputBufferSize,
    DelaySec,
    DelaySamples,
    DelayShown,
    Activate,
    Bypass,
    FollowDevices,
    Restart,
    Count
  };
  // Thrown by Wait once the window has closed, to stop the sequence that waited; caught by
  // RunHandler. Not an error of any hierarchy, so no guarded call swallows it.
  struct TSequenceAbandoned {};

  // Runs a window handler, handing whatever escapes it to AppException.
  template <typename TCall>
  void RunHandler(TCall&& call);
  // Runs `call` as the one running sequence, then every edit queued meanwhile.
  template <typename TCall>
  void RunSequence(TCall&& call);
  std::function<void()> Handler(TEdit edit);
  // Queues `edit` and runs it (with whatever else is queued) unless a sequence is running.
  void Dispatch(TEdit edit);
  void Run(TEdit edit);
  void Queue(TEdit edit);
  static bool IsDelayEntry(TEdit edit) {
    return edit == TEdit::DelaySec || edit == TEdit::DelaySamples;
  }
  // Whether a newer entry in either delay box waits to run.
  bool DelayEntryPending() const;
  // The wait between two steps; throws TSequenceAbandoned once the window has closed.
  void Wait(uint32_t milliseconds);
  void AttachHandlers();
  void DetachHandlers();
  void RestartChainNow();
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
  THistoryDisplays history_;
  TDeviceWatch watch_;
  bool startingUp_ = false;
  bool running_ = false;
  // Set when the close query begins; closing_ while its own steps run.
  bool closed_ = false;
  bool closing_ = false;
  std::array<TEdit, static_cast<size_t>(TEdit::Count)> pending_{};
  size_t pendingCount_ = 0;
  // The context of PostFormCreate's queued call: destroyed with the controller, it drops it.
  QObject postContext_;
};

}  // namespace tardivox
