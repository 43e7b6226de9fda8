#pragma once
// The main window's components: the root of the window's stored layout (class `TfmMain`,
// named `fmMain`) and owner of the processing chain it holds — the capture `ALAudioIn1`, the
// delay line `ALDelayLine1` and the playback `ALAudioOut1`, connected in that order.
//
// Construction reads the layout compiled into the program (frmMain.layout): the components are
// created with their defaults, the stored settings applied (all three stored disabled) and the
// connections restored; nothing runs until the controller enables the chain.
//
// Ownership: owns the chain components, destroyed with it (playback first, capture last).
// Threads: the window's thread.
// Failure: a layout that cannot be read raises EStoredFormError naming the line (the compiled
// layout is checked by the tests, so this means a broken build).

#include <string_view>

#include "pins/Component.h"

namespace tardivox {

class TALAudioIn;
class TALAudioOut;
class TALDelayLine;

class TMainWindowComponents : public TComponent {
 public:
  // Reads `layout` (the compiled window layout by default).
  explicit TMainWindowComponents(std::string_view layout = MainWindowLayout());

  bool IsRoot() const override { return true; }

  TALAudioIn& ALAudioIn1() const { return *audioIn_; }
  TALDelayLine& ALDelayLine1() const { return *delayLine_; }
  TALAudioOut& ALAudioOut1() const { return *audioOut_; }

  // The stored layout compiled into the program.
  static std::string_view MainWindowLayout();
  // Registers the window's component classes with the global class registry (once).
  static void RegisterClasses();

 private:
  template <class T>
  T* Find(const char* name) const;

  TALAudioIn* audioIn_ = nullptr;
  TALDelayLine* delayLine_ = nullptr;
  TALAudioOut* audioOut_ = nullptr;
};

}  // namespace tardivox
