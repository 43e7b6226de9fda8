#include "app/frmMain.h"

#include <QCloseEvent>
#include <QLabel>

#include "app/CheckBox.h"
#include "app/DropDownList.h"
#include "app/GradientToolPanel.h"
#include "app/RotatedLabel.h"
#include "app/SpinEdit.h"

namespace tardivox {

TfmMain::TfmMain(QWidget* parent)
    : QWidget(parent),
      components_(
          std::make_unique<TMainWindowComponents>(TMainWindowComponents::MainWindowLayout(), this)),
      pnlAudioRec1(components_->ControlWidget<TGradientToolPanel>("pnlAudioRec1")),
      Label3(components_->ControlWidget<QLabel>("Label3")),
      lstInDevices(components_->ControlWidget<TDropDownList>("lstInDevices")),
      lblDeviceLine(components_->ControlWidget<QLabel>("lblDeviceLine")),
      lstInDeviceLines(components_->ControlWidget<TDropDownList>("lstInDeviceLines")),
      Label4(components_->ControlWidget<QLabel>("Label4")),
      lstOutDevices(components_->ControlWidget<TDropDownList>("lstOutDevices")),
      Label6(components_->ControlWidget<QLabel>("Label6")),
      edInputBufferSize(components_->ControlWidget<TSpinEdit>("edInputBufferSize")),
      Label2(components_->ControlWidget<QLabel>("Label2")),
      lstSampleRate(components_->ControlWidget<TDropDownList>("lstSampleRate")),
      Label5(components_->ControlWidget<QLabel>("Label5")),
      edDelaySec(components_->ControlWidget<TSpinEdit>("edDelaySec")),
      Label1(components_->ControlWidget<QLabel>("Label1")),
      edDelaySamples(components_->ControlWidget<TSpinEdit>("edDelaySamples")),
      btnActivate(components_->ControlWidget<TCheckBox>("btnActivate")),
      cbBypass(components_->ControlWidget<TCheckBox>("cbBypass")),
      pnlInOut(components_->ControlWidget<TGradientToolPanel>("pnlInOut")),
      VrLabel1(components_->ControlWidget<TRotatedLabel>("VrLabel1")),
      VrLabel2(components_->ControlWidget<TRotatedLabel>("VrLabel2")),
      SLWaterfall1(&components_->SLWaterfall1()),
      SLWaterfall2(&components_->SLWaterfall2()) {}

TfmMain::~TfmMain() = default;

void TfmMain::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  constexpr Qt::WindowStates kLarger = Qt::WindowMaximized | Qt::WindowFullScreen;
  if (!(windowState() & kLarger)) return;
  // Window managers honour the fixed size, but not every platform does: undo a maximise
  // (a double click on the title bar, a keyboard shortcut) once the state change is over.
  QMetaObject::invokeMethod(
      this,
      [this, kLarger] {
        setWindowState(windowState() & ~kLarger);
        resize(minimumSize());
      },
      Qt::QueuedConnection);
}

void TfmMain::closeEvent(QCloseEvent* event) {
  const TCloseQueryHandler handler = onCloseQuery_;
  if (handler && !handler()) {
    event->ignore();
    return;
  }
  event->accept();
}

}  // namespace tardivox
