#pragma once
// The main window's components: the root of the window's stored layout (class `TfmMain`,
// named `fmMain`), owner of the window's controls (panels, labels, lists, spin boxes, check
// boxes, rotated labels) and of the processing graph it holds — the capture `ALAudioIn1`, the
// delay line `ALDelayLine1` and the playback `ALAudioOut1`, connected in that order, and the
// monitoring branch: the splitter `ALAudioToReal1` fed by the capture and `ALAudioToReal2` fed
// by the delay line, each feeding its two channels into the adder `SLAdd1` or `SLAdd2`, whose
// sums (left + right) feed the history strips `SLWaterfall1` (input) and `SLWaterfall2`
// (output), controls of the history panel.
//
// Construction reads the layout compiled into the program (frmMain.layout): the window takes
// its stored position, size, frame, caption and font; the controls are created in their panels
// with their stored settings; the chain components are created with their defaults, the stored
// settings applied (the three chain components stored disabled) and the connections restored.
// Nothing runs until the controller enables the chain.
//
// Ownership: owns every component of the layout, destroyed with it (chain components first,
// playback before capture); the controls' widgets belong to the window widget.
// Threads: the window's thread; a QApplication must exist.
// Failure: a layout that cannot be read raises EStoredFormError naming the line (the compiled
// layout is checked by the tests, so this means a broken build).

#include <QWidget>

#include <string_view>

#include "app/WindowComponent.h"

namespace tardivox {

class TALAudioIn;
class TALAudioOut;
class TALAudioToReal;
class TALDelayLine;
class TSLAdd;
class TSLWaterfall;

class TMainWindowComponents : public TWindowComponent {
 public:
  // Reads `layout` (the compiled window layout by default) onto `window`, or onto a widget of
  // its own when `window` is null.
  explicit TMainWindowComponents(std::string_view layout = MainWindowLayout(),
                                 QWidget* window = nullptr);

  TALAudioIn& ALAudioIn1() const { return *audioIn_; }
  TALDelayLine& ALDelayLine1() const { return *delayLine_; }
  TALAudioOut& ALAudioOut1() const { return *audioOut_; }
  TALAudioToReal& ALAudioToReal1() const { return *splitters_[0]; }
  TALAudioToReal& ALAudioToReal2() const { return *splitters_[1]; }
  TSLAdd& SLAdd1() const { return *adders_[0]; }
  TSLAdd& SLAdd2() const { return *adders_[1]; }
  TSLWaterfall& SLWaterfall1() const { return *waterfalls_[0]; }
  TSLWaterfall& SLWaterfall2() const { return *waterfalls_[1]; }

  // The stored layout compiled into the program.
  static std::string_view MainWindowLayout();
  // Registers the window's control and component classes with the global class registry
  // (once).
  static void RegisterClasses();

 private:
  template <class T>
  T* Find(const char* name) const;

  TALAudioIn* audioIn_ = nullptr;
  TALDelayLine* delayLine_ = nullptr;
  TALAudioOut* audioOut_ = nullptr;
  TALAudioToReal* splitters_[2] = {};
  TSLAdd* adders_[2] = {};
  TSLWaterfall* waterfalls_[2] = {};
};

}  // namespace tardivox
