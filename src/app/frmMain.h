#pragma once

#include <QColor>
#include <QFont>
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
class TSpinEdit;

/// The program's one window: the settings panel and the history panel with all their
/// controls at their load-time values, on a fixed 441 × 364 client area.
///
/// The window only builds and lays out its controls. Behaviour is attached from outside: the
/// controller installs the controls' handlers (`SetOnChange`, `SetOnClick`) and the window's
/// close query, and the history strips are placed at `kInputStripGeometry` and
/// `kOutputStripGeometry` inside `pnlInOut`, which until then show the panel's background.
///
/// Ownership: the window owns every control through Qt's parent chain; the pointers below stay
/// valid for the window's lifetime. Window thread only.
class TfmMain : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 441;
  static constexpr int kClientHeight = 364;
  static constexpr QPoint kInitialPosition{405, 210};
  /// Where the input and output history strips go, in `pnlInOut` coordinates.
  static constexpr QRect kInputStripGeometry{24, 32, 401, 57};
  static constexpr QRect kOutputStripGeometry{24, 96, 401, 57};
  static constexpr int kFontPixelHeight = 11;
  /// First family of the window font; shipped by Debian's fonts-liberation package.
  static constexpr const char* kWindowFontFamily = "Liberation Sans Narrow";
  static constexpr const char* kRotatedLabelFontFamily = "DejaVu Sans";

  /// Narrow sans-serif, 11 pixels: every caption fits its control at this window's geometry.
  static QFont WindowFont();
  /// Bold sans-serif, 11 pixels, for the rotated "Entrée" and "Sortie" labels.
  static QFont RotatedLabelFont();
  /// Background of the drop-down lists and spin boxes.
  static QColor ControlColor() { return QColor(0xD6, 0xE7, 0xFF); }

  using TCloseQueryHandler = std::function<bool()>;

  explicit TfmMain(QWidget* parent = nullptr);
  ~TfmMain() override;
  TfmMain(const TfmMain&) = delete;
  TfmMain& operator=(const TfmMain&) = delete;

  /// Asked when the window is about to close; returning false keeps it open. No handler
  /// means the window may always close.
  void SetOnCloseQuery(TCloseQueryHandler handler) { onCloseQuery_ = std::move(handler); }

  /// The components of the window's stored layout: the capture, delay line and playback chain,
  /// created, set and connected from the layout when the window is constructed.
  TMainWindowComponents& Components() const { return *components_; }

  // The settings panel and its controls, in creation order.
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
  // The history panel and its labels.
  TGradientToolPanel* const pnlInOut;
  TRotatedLabel* const VrLabel1;
  TRotatedLabel* const VrLabel2;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void SetUpWindow();
  void SetUpControls();

  TCloseQueryHandler onCloseQuery_;
  std::unique_ptr<TMainWindowComponents> components_;
};

}  // namespace tardivox
