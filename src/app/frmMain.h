#pragma once
// The program's one window: the settings panel and the history panel with all their
// controls, read from the window's stored layout (frmMain.layout) with the chain components.
//
// The window only holds its controls. Behaviour is attached from outside: the controller
// installs the controls' handlers (`SetOnChange`, `SetOnClick`) and the window's close
// query, and switches the history strips `SLWaterfall1` and `SLWaterfall2`, which the layout
// places at `kInputStripGeometry` and `kOutputStripGeometry` inside `pnlInOut`.
//
// Ownership: the window owns every control through Qt's parent chain and its components;
// the pointers below stay valid for the window's lifetime. Window thread only.
// Failure: a stored layout that cannot be read raises from the constructor (the program then
// has no window to show).

#include <QRect>
#include <QWidget>

#include <functional>
#include <memory>

#include "app/MainComponents.h"

class QLabel;

namespace tardivox {

class TCheckBox;
class TDropDownList;
class TGradientToolPanel;
class TRotatedLabel;
class TSLWaterfall;
class TSpinEdit;

class TfmMain : public QWidget {
  Q_OBJECT

 private:
  // First member: the controls below are looked up in it once the layout has been read.
  std::unique_ptr<TMainWindowComponents> components_;

 public:
  // Where the input and output history strips go, in `pnlInOut` coordinates.
  static constexpr QRect kInputStripGeometry{24, 32, 401, 57};
  static constexpr QRect kOutputStripGeometry{24, 96, 401, 57};

  using TCloseQueryHandler = std::function<bool()>;

  explicit TfmMain(QWidget* parent = nullptr);
  ~TfmMain() override;
  TfmMain(const TfmMain&) = delete;
  TfmMain& operator=(const TfmMain&) = delete;

  // Asked when the window is about to close; returning false keeps it open. No handler
  // means the window may always close.
  void SetOnCloseQuery(TCloseQueryHandler handler) { onCloseQuery_ = std::move(handler); }

  // The components of the window's stored layout: its controls and the capture, delay line
  // and playback chain, created, set and connected from the layout when the window is
  // constructed.
  TMainWindowComponents& Components() const { return *components_; }

  // The settings panel and its controls, in layout order.
  TGradientToolPanel* const pnlAudioRec1;
  QLabel* const Label3;
  TDropDownList* const lstInDevices;
  QLabel* const lblDeviceLine;
  TDropDownList* const lstInDeviceLines;
  QLabel* const Label4;
  TDropDownList* const lstOutDevices;
  QLabel* const Label6;
  TSpinEdit* const edInputBufferSize;
  QLabel* const Label2;
  TDropDownList* const lstSampleRate;
  QLabel* const Label5;
  TSpinEdit* const edDelaySec;
  QLabel* const Label1;
  TSpinEdit* const edDelaySamples;
  TCheckBox* const btnActivate;
  TCheckBox* const cbBypass;
  // The history panel, its labels and its strips (input, then output).
  TGradientToolPanel* const pnlInOut;
  TRotatedLabel* const VrLabel1;
  TRotatedLabel* const VrLabel2;
  TSLWaterfall* const SLWaterfall1;
  TSLWaterfall* const SLWaterfall2;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  TCloseQueryHandler onCloseQuery_;
};

}  // namespace tardivox
