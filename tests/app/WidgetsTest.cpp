#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <vector>

#include "ShowActive.h"
#include "app/CheckBox.h"
#include "app/DropDownList.h"
#include "app/GradientToolPanel.h"
#include "app/RotatedLabel.h"

namespace tardivox {
namespace {

using testing::ShowActive;

TEST(DropDownListTest, ChangesFromCodeRaiseNothing) {
  TDropDownList list;
  int changes = 0;
  list.SetOnChange([&] { ++changes; });
  list.AddItem(QStringLiteral("11025"));
  list.AddItem(QStringLiteral("22050"));
  list.AddItem(QStringLiteral("44100"));
  EXPECT_EQ(list.ItemIndex(), -1) << "appending must not select";
  EXPECT_EQ(list.Text(), QString());
  list.SetItemIndex(2);
  EXPECT_EQ(list.ItemIndex(), 2);
  EXPECT_EQ(list.Text(), QStringLiteral("44100"));
  list.AddItem(QStringLiteral("96000"));
  EXPECT_EQ(list.ItemIndex(), 2) << "appending keeps the selection";
  list.SetItemIndex(7);
  EXPECT_EQ(list.ItemIndex(), -1) << "an index out of range selects nothing";
  list.SetItemIndex(0);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.ItemIndex(), -1);
  EXPECT_EQ(changes, 0);
}

TEST(DropDownListTest, UserSelectionRaisesChangeAfterTheIndexMoved) {
  TDropDownList list;
  for (const char* item : {"A", "B", "C"}) list.AddItem(QString::fromLatin1(item));
  list.SetItemIndex(0);
  std::vector<int> seen;
  list.SetOnChange([&] { seen.push_back(list.ItemIndex()); });
  ASSERT_TRUE(ShowActive(list));
  QTest::keyClick(&list, Qt::Key_Down);
  QTest::keyClick(&list, Qt::Key_Down);
  QTest::keyClick(&list, Qt::Key_Down);  // already on the last entry: no change
  EXPECT_EQ(seen, (std::vector<int>{1, 2}));

  list.SetOnChange(nullptr);
  QTest::keyClick(&list, Qt::Key_Up);
  EXPECT_EQ(list.ItemIndex(), 1);
  EXPECT_EQ(seen.size(), 2u) << "a detached handler is not called";
}

TEST(DropDownListTest, WheelSelectsOnlyWithTheFocus) {
  QWidget window;
  auto* list = new TDropDownList(&window);
  list->setGeometry(0, 0, 150, 21);
  auto* other = new TDropDownList(&window);
  other->setGeometry(0, 40, 150, 21);
  for (const char* item : {"A", "B", "C"}) list->AddItem(QString::fromLatin1(item));
  list->SetItemIndex(0);
  int changes = 0;
  list->SetOnChange([&] { ++changes; });
  ASSERT_TRUE(ShowActive(window));

  const auto scrollDown = [&] {
    const QPointF at(20, 10);
    QWheelEvent wheel(at, list->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(list, &wheel);
  };
  other->setFocus();
  scrollDown();
  EXPECT_EQ(list->ItemIndex(), 0);
  list->setFocus();
  scrollDown();
  EXPECT_EQ(list->ItemIndex(), 1);
  EXPECT_EQ(changes, 1);
}

TEST(CheckBoxTest, ClickTogglesFirstThenRaisesTheEvent) {
  TCheckBox box(QStringLiteral("Bypass"));
  box.resize(65, 20);
  std::vector<bool> seen;
  box.SetOnClick([&] { seen.push_back(box.Checked()); });
  ASSERT_TRUE(ShowActive(box));
  box.setFocus();

  QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(8, 10));
  EXPECT_EQ(seen, (std::vector<bool>{true}));
  QTest::keyClick(&box, Qt::Key_Space);
  EXPECT_EQ(seen, (std::vector<bool>{true, false}));
  EXPECT_FALSE(box.Checked());

  // Releasing the button outside the box is no click.
  QTest::mousePress(&box, Qt::LeftButton, {}, QPoint(8, 10));
  QTest::mouseRelease(&box, Qt::LeftButton, {}, QPoint(200, 200));
  EXPECT_EQ(seen.size(), 2u);
  EXPECT_FALSE(box.Checked());

  box.SetChecked(true);
  box.SetChecked(false);
  box.SetChecked(true);
  EXPECT_EQ(seen.size(), 2u) << "setting the state from code raises nothing";
  EXPECT_TRUE(box.Checked());
}

QColor PixelAt(QWidget& widget, QPoint point) {
  return widget.grab().toImage().pixelColor(point);
}

bool Near(const QColor& a, const QColor& b, int tolerance = 12) {
  return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
         std::abs(a.blue() - b.blue()) <= tolerance;
}

TEST(GradientToolPanelTest, CaptionColoursFollowTheFocus) {
  QWidget window;
  window.resize(300, 200);
  auto* panel = new TGradientToolPanel(QStringLiteral("Paramètres"), &window);
  panel->setGeometry(0, 0, 300, 100);
  auto* inside = new QLineEdit(panel);
  inside->setGeometry(10, 40, 100, 22);
  auto* outside = new QLineEdit(&window);
  outside->setGeometry(10, 140, 100, 22);
  ASSERT_TRUE(ShowActive(window));

  outside->setFocus();
  EXPECT_FALSE(panel->HoldsFocus());
  // Right end of the bar, away from the text: top row in the unfocused top colour.
  EXPECT_TRUE(Near(PixelAt(*panel, QPoint(295, 0)), QColor(0x59, 0x87, 0xD6)));
  EXPECT_TRUE(
      Near(PixelAt(*panel, QPoint(295, panel->CaptionHeight() - 1)), QColor(0x03, 0x38, 0x93)));

  inside->setFocus();
  EXPECT_TRUE(panel->HoldsFocus());
  EXPECT_EQ(panel->CurrentCaptionColors().text, QColor(Qt::black));
  EXPECT_TRUE(Near(PixelAt(*panel, QPoint(295, 0)), QColor(0xFB, 0xE6, 0x94)));
  EXPECT_TRUE(
      Near(PixelAt(*panel, QPoint(295, panel->CaptionHeight() - 1)), QColor(0xEE, 0x95, 0x15)));

  outside->setFocus();
  EXPECT_FALSE(panel->HoldsFocus());
  EXPECT_EQ(panel->CurrentCaptionColors().text, QColor(Qt::white));

  // Body gradient: top colour just under the bar, bottom colour on the last row.
  EXPECT_TRUE(Near(PixelAt(*panel, QPoint(295, 99)), QColor(0x52, 0x7B, 0xC6)));
}

TEST(GradientToolPanelTest, CaptionCanBeReplacedAndIsDrawn) {
  TGradientToolPanel panel(QStringLiteral("Historique Entrée / Sortie"));
  panel.resize(441, 165);
  const QImage before = panel.grab().toImage();
  panel.SetCaption(QStringLiteral("Historique Entrée / Sortie (signal non retardé)"));
  EXPECT_EQ(panel.Caption(), QStringLiteral("Historique Entrée / Sortie (signal non retardé)"));
  const QImage after = panel.grab().toImage();
  // The longer caption draws text where the shorter one left the bar's gradient.
  const int shortEnd = QFontMetrics(panel.CaptionFont())
                           .horizontalAdvance(QStringLiteral("Historique Entrée / Sortie"));
  bool changedBeyondOldText = false;
  for (int x = shortEnd + 12; x < 300 && !changedBeyondOldText; ++x) {
    for (int y = 0; y < panel.CaptionHeight(); ++y) {
      if (before.pixel(x, y) != after.pixel(x, y)) {
        changedBeyondOldText = true;
        break;
      }
    }
  }
  EXPECT_TRUE(changedBeyondOldText);
}

TEST(RotatedLabelTest, TextIsTurnedAndStaysInsideTheLabel) {
  QWidget backdrop;
  backdrop.setAutoFillBackground(true);
  backdrop.setPalette(QPalette(Qt::white));
  backdrop.resize(40, 80);
  auto* label = new TRotatedLabel(QStringLiteral("Entrée"), &backdrop);
  label->setGeometry(4, 10, 17, 57);
  label->SetTextColor(QColor(0x00, 0x00, 0x80));
  EXPECT_EQ(label->AngleDegrees(), 270);
  const QSize extent = label->TextSize();
  EXPECT_GT(extent.height(), extent.width());
  EXPECT_LE(extent.width(), label->width());
  EXPECT_LE(extent.height(), label->height());

  // The drawn pixels form a tall, narrow run inside the label's rectangle.
  const QImage image = backdrop.grab().toImage();
  QRect inked;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixelColor(x, y) != QColor(Qt::white)) inked |= QRect(x, y, 1, 1);
    }
  }
  ASSERT_FALSE(inked.isEmpty());
  EXPECT_TRUE(label->geometry().contains(inked)) << "ink outside the label";
  EXPECT_GT(inked.height(), 2 * inked.width());
}

}  // namespace
}  // namespace tardivox
