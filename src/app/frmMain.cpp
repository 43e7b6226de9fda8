#include "app/frmMain.h"

#include <QCloseEvent>
#include <QLabel>

#include "app/CheckBox.h"
#include "app/DropDownList.h"
#include "app/GradientToolPanel.h"
#include "app/RotatedLabel.h"
#include "app/SpinEdit.h"

namespace tardivox {

namespace {

const QString kListToolTip = QStringLiteral("Interface d'entrée audio");

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(geometry);
  // Transparent: the panel's gradient shows behind the text.
  label->setAutoFillBackground(false);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

template <typename TWidget, typename... TArgs>
TWidget* Make(QWidget* parent, const char* name, const QRect& geometry, TArgs&&... args) {
  auto* widget = new TWidget(std::forward<TArgs>(args)..., parent);
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(geometry);
  return widget;
}

void SetControlColor(QWidget* control) {
  QPalette palette = control->palette();
  palette.setColor(QPalette::Base, TfmMain::ControlColor());
  palette.setColor(QPalette::Button, TfmMain::ControlColor());
  control->setPalette(palette);
}

}  // namespace

QFont TfmMain::WindowFont() {
  QFont font;
  font.setFamilies({QString::fromLatin1(kWindowFontFamily), QStringLiteral("DejaVu Sans Condensed"),
                    QStringLiteral("DejaVu Sans")});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(kFontPixelHeight);
  return font;
}

QFont TfmMain::RotatedLabelFont() {
  QFont font;
  font.setFamilies({QString::fromLatin1(kRotatedLabelFontFamily)});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(kFontPixelHeight);
  font.setBold(true);
  return font;
}

TfmMain::TfmMain(QWidget* parent)
    : QWidget(parent),
      pnlAudioRec1(Make<TGradientToolPanel>(this, "pnlAudioRec1", QRect(0, 0, 441, 201),
                                            QStringLiteral("Paramètres"))),
      Label3(MakeLabel(pnlAudioRec1, "Label3", QStringLiteral("Interface audio d'entrée"),
                       QRect(8, 32, 112, 13))),
      lstInDevices(Make<TDropDownList>(pnlAudioRec1, "lstInDevices", QRect(8, 48, 265, 21))),
      lblDeviceLine(MakeLabel(pnlAudioRec1, "lblDeviceLine", QStringLiteral("Entrée audio"),
                              QRect(280, 32, 60, 13))),
      lstInDeviceLines(
          Make<TDropDownList>(pnlAudioRec1, "lstInDeviceLines", QRect(280, 48, 153, 21))),
      Label4(MakeLabel(pnlAudioRec1, "Label4", QStringLiteral("Interface audio de sortie"),
                       QRect(8, 72, 114, 13))),
      lstOutDevices(Make<TDropDownList>(pnlAudioRec1, "lstOutDevices", QRect(8, 88, 289, 21))),
      Label6(MakeLabel(pnlAudioRec1, "Label6", QStringLiteral("Taille buffer d'entrée"),
                       QRect(304, 72, 96, 13))),
      edInputBufferSize(
          Make<TSpinEdit>(pnlAudioRec1, "edInputBufferSize", QRect(304, 88, 129, 22))),
      Label2(MakeLabel(pnlAudioRec1, "Label2", QStringLiteral("Fréquence échantillonnage"),
                       QRect(8, 120, 129, 13))),
      lstSampleRate(Make<TDropDownList>(pnlAudioRec1, "lstSampleRate", QRect(8, 136, 153, 21))),
      Label5(MakeLabel(pnlAudioRec1, "Label5", QStringLiteral("Retard, en secondes"),
                       QRect(168, 120, 99, 13))),
      edDelaySec(Make<TSpinEdit>(pnlAudioRec1, "edDelaySec", QRect(168, 136, 129, 22))),
      Label1(MakeLabel(pnlAudioRec1, "Label1", QStringLiteral("Retard, en échantillons"),
                       QRect(304, 120, 109, 13))),
      edDelaySamples(Make<TSpinEdit>(pnlAudioRec1, "edDelaySamples", QRect(304, 136, 129, 22))),
      btnActivate(Make<TCheckBox>(pnlAudioRec1, "btnActivate", QRect(8, 168, 73, 20),
                                  QStringLiteral("Activer"))),
      cbBypass(Make<TCheckBox>(pnlAudioRec1, "cbBypass", QRect(88, 168, 65, 20),
                               QStringLiteral("Bypass"))),
      pnlInOut(Make<TGradientToolPanel>(this, "pnlInOut", QRect(0, 200, 441, 165),
                                        QStringLiteral("Historique Entrée / Sortie"))),
      VrLabel1(Make<TRotatedLabel>(pnlInOut, "VrLabel1", QRect(4, 32, 17, 57),
                                   QStringLiteral("Entrée"))),
      VrLabel2(Make<TRotatedLabel>(pnlInOut, "VrLabel2", QRect(4, 96, 17, 57),
                                   QStringLiteral("Sortie"))) {
  SetUpWindow();
  SetUpControls();
  components_ = std::make_unique<TMainWindowComponents>();
}

TfmMain::~TfmMain() = default;

void TfmMain::SetUpWindow() {
  setObjectName(QStringLiteral("fmMain"));
  setWindowTitle(QStringLiteral("Tardivox"));
  // A title bar with the system menu, minimise and close, and no maximise; the fixed size
  // keeps the window from being resized by its frame or maximised by other means.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(kClientWidth, kClientHeight);
  move(kInitialPosition);
  QPalette windowPalette = palette();
  windowPalette.setColor(QPalette::Window, windowPalette.color(QPalette::Button));
  setPalette(windowPalette);
  setAutoFillBackground(true);
  setFont(WindowFont());
}

void TfmMain::SetUpControls() {
  for (TDropDownList* list : {lstInDevices, lstInDeviceLines, lstOutDevices, lstSampleRate}) {
    SetControlColor(list);
    list->setToolTip(kListToolTip);
  }
  for (const char* rate : {"11025", "22050", "44100"}) {
    lstSampleRate->AddItem(QString::fromLatin1(rate));
  }

  for (TSpinEdit* box : {edInputBufferSize, edDelaySec, edDelaySamples}) SetControlColor(box);
  edInputBufferSize->SetMinValue(32);
  edInputBufferSize->SetMaxValue(8192);
  edInputBufferSize->SetValue(512);

  edDelaySec->SetValueType(TSpinEdit::TValueType::Float);
  edDelaySec->SetDecimals(3);
  edDelaySec->SetFloatMinValue(0.01L);
  edDelaySec->SetFloatMaxValue(20);
  edDelaySec->SetIncrement(0.1L);
  edDelaySec->SetPageIncrement(1);
  edDelaySec->SetFloatValue(1);

  edDelaySamples->SetMinValue(100);
  edDelaySamples->SetMaxValue(1000000);
  edDelaySamples->SetValue(44100);

  btnActivate->SetChecked(false);
  cbBypass->SetChecked(false);

  for (TRotatedLabel* label : {VrLabel1, VrLabel2}) {
    label->setFont(RotatedLabelFont());
    label->SetTextColor(QColor(0x00, 0x00, 0x80));  // navy
  }

  QWidget* const tabOrder[] = {lstInDevices, lstInDeviceLines, lstOutDevices,
                               edDelaySec,   edDelaySamples,   lstSampleRate,
                               cbBypass,     btnActivate,      edInputBufferSize};
  for (size_t i = 0; i + 1 < std::size(tabOrder); ++i) {
    QWidget::setTabOrder(tabOrder[i], tabOrder[i + 1]);
  }
  lstInDevices->setFocus(Qt::OtherFocusReason);
}

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
        resize(kClientWidth, kClientHeight);
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
