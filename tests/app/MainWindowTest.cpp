#include "app/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QFontInfo>
#include <QLabel>
#include <QStyleOptionComboBox>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

#include "ShowActive.h"
#include "app/CheckBox.h"
#include "app/DropDownList.h"
#include "app/GradientToolPanel.h"
#include "app/RotatedLabel.h"
#include "app/SpinEdit.h"
#include "display/Waterfall.h"

namespace tardivox {
namespace {

using testing::ShowActive;

// The window's seconds box follows the application locale; texts with a decimal point are
// written with '.' here and converted.
QString Localised(const char* text) {
  return QString::fromLatin1(text).replace(u'.', QLocale().decimalPoint());
}

TEST(MainWindowTest, FixedClientAreaAtItsInitialPosition) {
  TfmMain window;
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Tardivox"));
  EXPECT_EQ(window.size(), QSize(441, 364));
  EXPECT_EQ(window.minimumSize(), QSize(441, 364));
  EXPECT_EQ(window.maximumSize(), QSize(441, 364));
  EXPECT_EQ(window.pos(), QPoint(405, 210));
  const Qt::WindowFlags flags = window.windowFlags();
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(window.palette().color(QPalette::Window), window.palette().color(QPalette::Button));

  window.show();
  window.showMaximized();
  QApplication::processEvents();
  EXPECT_EQ(window.size(), QSize(441, 364)) << "maximising must not change the size";
  window.resize(600, 500);
  EXPECT_EQ(window.size(), QSize(441, 364)) << "the window is not resizable";
  window.showMinimized();
  QApplication::processEvents();
  EXPECT_TRUE(window.isMinimized());
}

struct TControlCase {
  const char* name;
  const char* parent;
  QRect geometry;
};

const TControlCase kControls[] = {
    {"pnlAudioRec1", "fmMain", {0, 0, 441, 201}},
    {"Label3", "pnlAudioRec1", {8, 32, 112, 13}},
    {"lstInDevices", "pnlAudioRec1", {8, 48, 265, 21}},
    {"lblDeviceLine", "pnlAudioRec1", {280, 32, 60, 13}},
    {"lstInDeviceLines", "pnlAudioRec1", {280, 48, 153, 21}},
    {"Label4", "pnlAudioRec1", {8, 72, 114, 13}},
    {"lstOutDevices", "pnlAudioRec1", {8, 88, 289, 21}},
    {"Label6", "pnlAudioRec1", {304, 72, 96, 13}},
    {"edInputBufferSize", "pnlAudioRec1", {304, 88, 129, 22}},
    {"Label2", "pnlAudioRec1", {8, 120, 129, 13}},
    {"lstSampleRate", "pnlAudioRec1", {8, 136, 153, 21}},
    {"Label5", "pnlAudioRec1", {168, 120, 99, 13}},
    {"edDelaySec", "pnlAudioRec1", {168, 136, 129, 22}},
    {"Label1", "pnlAudioRec1", {304, 120, 109, 13}},
    {"edDelaySamples", "pnlAudioRec1", {304, 136, 129, 22}},
    {"btnActivate", "pnlAudioRec1", {8, 168, 73, 20}},
    {"cbBypass", "pnlAudioRec1", {88, 168, 65, 20}},
    {"pnlInOut", "fmMain", {0, 200, 441, 165}},
    {"VrLabel1", "pnlInOut", {4, 32, 17, 57}},
    {"VrLabel2", "pnlInOut", {4, 96, 17, 57}},
    {"SLWaterfall1", "pnlInOut", {24, 32, 401, 57}},
    {"SLWaterfall2", "pnlInOut", {24, 96, 401, 57}},
};

TEST(MainWindowTest, EveryControlSitsAtItsPlace) {
  TfmMain window;
  for (const TControlCase& c : kControls) {
    SCOPED_TRACE(c.name);
    auto* control = window.findChild<QWidget*>(QString::fromLatin1(c.name));
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->parentWidget()->objectName(), QString::fromLatin1(c.parent));
    EXPECT_EQ(control->geometry(), c.geometry);
  }
}

TEST(MainWindowTest, TextsAndTooltips) {
  TfmMain window;
  const std::pair<QLabel*, const char*> labels[] = {
      {window.Label3, "Interface audio d'entrée"},  {window.lblDeviceLine, "Entrée audio"},
      {window.Label4, "Interface audio de sortie"}, {window.Label6, "Taille buffer d'entrée"},
      {window.Label2, "Fréquence échantillonnage"}, {window.Label5, "Retard, en secondes"},
      {window.Label1, "Retard, en échantillons"},
  };
  for (const auto& [label, text] : labels) {
    EXPECT_EQ(label->text(), QString::fromUtf8(text));
    EXPECT_FALSE(label->autoFillBackground()) << "labels are transparent";
  }
  EXPECT_EQ(window.pnlAudioRec1->Caption(), QStringLiteral("Paramètres"));
  EXPECT_EQ(window.pnlInOut->Caption(), QStringLiteral("Historique Entrée / Sortie"));
  EXPECT_EQ(window.btnActivate->text(), QStringLiteral("Activer"));
  EXPECT_EQ(window.cbBypass->text(), QStringLiteral("Bypass"));
  EXPECT_FALSE(window.btnActivate->Checked());
  EXPECT_FALSE(window.cbBypass->Checked());
  EXPECT_EQ(window.VrLabel1->Text(), QStringLiteral("Entrée"));
  EXPECT_EQ(window.VrLabel2->Text(), QStringLiteral("Sortie"));
  for (TRotatedLabel* label : {window.VrLabel1, window.VrLabel2}) {
    EXPECT_EQ(label->TextColor(), QColor(0x00, 0x00, 0x80));
    EXPECT_TRUE(label->font().bold());
  }

  for (TDropDownList* list :
       {window.lstInDevices, window.lstInDeviceLines, window.lstOutDevices, window.lstSampleRate}) {
    SCOPED_TRACE(list->objectName().toStdString());
    EXPECT_EQ(list->toolTip(), QStringLiteral("Interface d'entrée audio"));
    EXPECT_FALSE(list->isEditable());
    EXPECT_EQ(list->palette().color(QPalette::Base), QColor(0xD6, 0xE7, 0xFF));
    EXPECT_EQ(list->ItemIndex(), -1);
  }
  EXPECT_EQ(window.lstInDevices->Count(), 0);
  EXPECT_EQ(window.lstInDeviceLines->Count(), 0);
  EXPECT_EQ(window.lstOutDevices->Count(), 0);
  ASSERT_EQ(window.lstSampleRate->Count(), 3);
  EXPECT_EQ(window.lstSampleRate->Item(0), QStringLiteral("11025"));
  EXPECT_EQ(window.lstSampleRate->Item(1), QStringLiteral("22050"));
  EXPECT_EQ(window.lstSampleRate->Item(2), QStringLiteral("44100"));
}

TEST(MainWindowTest, SpinBoxesStartWithTheirValuesAndRanges) {
  TfmMain window;
  EXPECT_EQ(window.edInputBufferSize->text(), QStringLiteral("512"));
  EXPECT_EQ(window.edInputBufferSize->MinValue(), 32);
  EXPECT_EQ(window.edInputBufferSize->MaxValue(), 8192);
  EXPECT_EQ(window.edDelaySamples->text(), QStringLiteral("44100"));
  EXPECT_EQ(window.edDelaySamples->MinValue(), 100);
  EXPECT_EQ(window.edDelaySamples->MaxValue(), 1000000);
  EXPECT_EQ(window.edDelaySec->text(), Localised("1.000"));
  EXPECT_EQ(window.edDelaySec->MinValue(), 0);
  EXPECT_EQ(window.edDelaySec->MaxValue(), 0);
  EXPECT_EQ(window.edDelaySec->FloatMinValue(), 0.01L);
  EXPECT_EQ(window.edDelaySec->FloatMaxValue(), 20.0L);
  EXPECT_EQ(window.edDelaySec->Increment(), 0.1L);
  EXPECT_EQ(window.edDelaySec->PageIncrement(), 1.0L);
  for (TSpinEdit* box : {window.edInputBufferSize, window.edDelaySec, window.edDelaySamples}) {
    EXPECT_EQ(box->palette().color(QPalette::Base), QColor(0xD6, 0xE7, 0xFF));
  }

  window.edInputBufferSize->SetValue(5);
  EXPECT_EQ(window.edInputBufferSize->Value(), 32);
}

TEST(MainWindowTest, TabVisitsTheControlsInOrder) {
  TfmMain window;
  ASSERT_TRUE(ShowActive(window));
  ASSERT_EQ(QApplication::focusWidget(), window.lstInDevices) << "first control has the focus";
  const std::vector<QWidget*> order = {
      window.lstInDeviceLines, window.lstOutDevices, window.edDelaySec,  window.edDelaySamples,
      window.lstSampleRate,    window.cbBypass,      window.btnActivate, window.edInputBufferSize,
      window.SLWaterfall1,     window.SLWaterfall2,  window.lstInDevices};
  for (QWidget* expected : order) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), expected)
        << "expected " << expected->objectName().toStdString() << ", got "
        << QApplication::focusWidget()->objectName().toStdString();
  }
}

TEST(MainWindowTest, SettingsCaptionHighlightsWhileItsControlsHaveTheFocus) {
  TfmMain window;
  ASSERT_TRUE(ShowActive(window));
  EXPECT_TRUE(window.pnlAudioRec1->HoldsFocus());
  EXPECT_FALSE(window.pnlInOut->HoldsFocus());
  EXPECT_EQ(window.pnlAudioRec1->CurrentCaptionColors().top, QColor(0xFB, 0xE6, 0x94));
  EXPECT_EQ(window.pnlInOut->CurrentCaptionColors().top, QColor(0x59, 0x87, 0xD6));
  EXPECT_EQ(window.pnlInOut->CurrentCaptionColors().text, QColor(Qt::white));
  EXPECT_EQ(window.pnlInOut->GradientTop(), QColor(0xD6, 0xE7, 0xFF));
  EXPECT_EQ(window.pnlInOut->GradientBottom(), QColor(0x52, 0x7B, 0xC6));
}

TEST(MainWindowTest, FontsAreInstalledAtElevenPixels) {
  TfmMain window;
  const QFontInfo windowFont(window.font());
  EXPECT_EQ(windowFont.family(), QStringLiteral("Liberation Sans Narrow"))
      << "install the fonts-liberation package";
  EXPECT_EQ(windowFont.pixelSize(), 11);
  const QFontInfo rotatedFont(window.VrLabel1->font());
  EXPECT_EQ(rotatedFont.family(), QStringLiteral("DejaVu Sans"));
  EXPECT_EQ(rotatedFont.pixelSize(), 11);
  EXPECT_TRUE(rotatedFont.bold());
}

TEST(MainWindowTest, NoTextIsClipped) {
  TfmMain window;
  window.show();
  for (QLabel* label : window.findChildren<QLabel*>()) {
    SCOPED_TRACE(label->objectName().toStdString());
    const QFontMetrics metrics(label->font());
    EXPECT_LE(metrics.horizontalAdvance(label->text()), label->width());
    EXPECT_LE(metrics.height(), label->height());
  }
  for (TCheckBox* box : {window.btnActivate, window.cbBypass}) {
    SCOPED_TRACE(box->text().toStdString());
    EXPECT_LE(box->sizeHint().width(), box->width());
    EXPECT_LE(box->sizeHint().height(), box->height());
  }
  for (TRotatedLabel* label : {window.VrLabel1, window.VrLabel2}) {
    EXPECT_LE(label->TextSize().width(), label->width());
    EXPECT_LE(label->TextSize().height(), label->height());
  }
  // The longest captions the history panel will carry.
  for (const char* caption : {"Historique Entrée / Sortie (signal retardé de 20,000 s)",
                              "Historique Entrée / Sortie (signal non retardé)"}) {
    const QFontMetrics metrics(window.pnlInOut->CaptionFont());
    EXPECT_LE(metrics.horizontalAdvance(QString::fromUtf8(caption)), window.pnlInOut->width() - 12);
    EXPECT_LE(metrics.height(), window.pnlInOut->CaptionHeight());
  }
  // The caption bar ends above the first row of controls.
  EXPECT_LE(window.pnlAudioRec1->CaptionHeight(), window.Label3->y());

  // Sample rates in their list, the widest values in the spin boxes.
  QStyleOptionComboBox option;
  option.initFrom(window.lstSampleRate);
  option.editable = false;
  const QRect field = window.lstSampleRate->style()->subControlRect(
      QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, window.lstSampleRate);
  EXPECT_LE(QFontMetrics(window.lstSampleRate->font()).horizontalAdvance(QStringLiteral("44100")),
            field.width());
  EXPECT_LE(QFontMetrics(window.lstSampleRate->font()).height(), field.height());
  const std::pair<TSpinEdit*, QString> widest[] = {{window.edInputBufferSize, "8192"},
                                                   {window.edDelaySamples, "1000000"},
                                                   {window.edDelaySec, Localised("20.000")}};
  for (const auto& [box, text] : widest) {
    const int room = box->width() - box->textMargins().right() - 6;  // frame and cursor
    EXPECT_LE(QFontMetrics(box->font()).horizontalAdvance(text), room);
    EXPECT_LE(QFontMetrics(box->font()).height(), box->height() - 4);
  }
}

TEST(MainWindowTest, CloseQueryDecides) {
  TfmMain window;
  window.show();
  int asked = 0;
  bool allow = false;
  window.SetOnCloseQuery([&] {
    ++asked;
    return allow;
  });
  EXPECT_FALSE(window.close());
  EXPECT_TRUE(window.isVisible());
  allow = true;
  EXPECT_TRUE(window.close());
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(asked, 2);
}

TEST(MainWindowTest, ScreenshotShowsThePanelsAndTheEmptyStrips) {
  TfmMain window;
  window.show();
  QApplication::processEvents();
  const QImage shot = window.grab().toImage();
  ASSERT_EQ(shot.size(), QSize(441, 364));
  const QString path = QStringLiteral(TARDIVOX_TEST_OUTPUT_DIR "/tardivox-main-window.png");
  ASSERT_TRUE(shot.save(path)) << path.toStdString();

  // Before any line arrives each strip shows only its black background, edge to edge, and
  // the panel's gradient shows beside it.
  for (const QRect& strip : {TfmMain::kInputStripGeometry, TfmMain::kOutputStripGeometry}) {
    const QRect onWindow = strip.translated(window.pnlInOut->pos());
    for (int y = onWindow.top(); y <= onWindow.bottom(); ++y) {
      for (int x = onWindow.left(); x <= onWindow.right(); ++x) {
        ASSERT_EQ(shot.pixel(x, y), qRgb(0, 0, 0)) << "at " << x << "," << y;
      }
      ASSERT_NE(shot.pixel(onWindow.right() + 3, y), qRgb(0, 0, 0)) << "beside, row " << y;
    }
  }
  // Lists and spin boxes are filled with their light blue.
  for (QWidget* control : std::initializer_list<QWidget*>{
           window.lstInDevices, window.lstInDeviceLines, window.lstOutDevices, window.lstSampleRate,
           window.edInputBufferSize, window.edDelaySec, window.edDelaySamples}) {
    SCOPED_TRACE(control->objectName().toStdString());
    const QPoint inside = control->mapTo(&window, QPoint(control->width() / 2, 4));
    EXPECT_EQ(shot.pixelColor(inside), QColor(0xD6, 0xE7, 0xFF));
  }

  // The settings panel's body is a vertical gradient from #D6E7FF at the top to #527BC6 at
  // the bottom, behind the caption bar and the controls.
  const int y = window.pnlAudioRec1->CaptionHeight() + 1;
  const double t = y / 200.0;
  const QColor body = shot.pixelColor(438, y);
  EXPECT_NEAR(body.red(), 0xD6 + (0x52 - 0xD6) * t, 3);
  EXPECT_NEAR(body.green(), 0xE7 + (0x7B - 0xE7) * t, 3);
  EXPECT_NEAR(body.blue(), 0xFF + (0xC6 - 0xFF) * t, 3);
}

}  // namespace
}  // namespace tardivox
