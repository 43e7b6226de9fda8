#include "app/SpinEdit.h"

#include <QFocusEvent>
#include <QLocale>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <vector>

namespace tardivox {
namespace {

const QLocale kFrench(QLocale::French, QLocale::France);
const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);

// The two kinds of box the window uses: a sample count and a delay in seconds.
void MakeSamplesBox(TSpinEdit& box) {
  box.SetMinValue(100);
  box.SetMaxValue(1000000);
  box.SetValue(44100);
}

void MakeSecondsBox(TSpinEdit& box) {
  box.SetValueType(TSpinEdit::TValueType::Float);
  box.SetDecimals(3);
  box.SetFloatMinValue(0.01L);
  box.SetFloatMaxValue(20);
  box.SetIncrement(0.1L);
  box.SetPageIncrement(1);
  box.SetFloatValue(1);
}

// Counts change events and records the text each one saw.
struct TChangeLog {
  explicit TChangeLog(TSpinEdit& box) {
    box.SetOnChange([this, &box] { texts.push_back(box.text()); });
  }
  std::vector<QString> texts;
};

void LoseFocus(TSpinEdit& box, Qt::FocusReason reason = Qt::TabFocusReason) {
  QFocusEvent event(QEvent::FocusOut, reason);
  QApplication::sendEvent(&box, &event);
}

QToolButton* SpinButton(TSpinEdit& box, Qt::ArrowType arrow) {
  for (QToolButton* button : box.findChildren<QToolButton*>()) {
    if (button->arrowType() == arrow) return button;
  }
  return nullptr;
}

struct TReadCase {
  const char* text;
  int32_t samplesValue;  // integer box, minimum 100
  long double frenchSeconds;
  long double englishSeconds;
};

// Unreadable text reads as the integer minimum: 100 for the samples box, 0 for the seconds
// box (its integer limits are both 0). Reading does not clamp. "." and "," both read as the
// decimal separator in every locale.
const TReadCase kReadCases[] = {
    {"", 100, 0, 0},          {"abc", 100, 0, 0},       {"-5", -5, -5, -5},   {"25", 25, 25, 25},
    {"0,3", 100, 0.3L, 0.3L}, {"0.3", 100, 0.3L, 0.3L}, {" 42 ", 42, 42, 42}, {"+7", 7, 7, 7},
    {"1,5,", 100, 0, 0},      {"-", 100, 0, 0},
};

TEST(SpinEditTest, ReadsTextUnderFrenchAndEnglishLocales) {
  for (const QLocale& locale : {kFrench, kEnglish}) {
    const bool french = locale.language() == QLocale::French;
    TSpinEdit samples;
    MakeSamplesBox(samples);
    samples.setLocale(locale);
    TSpinEdit seconds;
    MakeSecondsBox(seconds);
    seconds.setLocale(locale);
    for (const TReadCase& c : kReadCases) {
      SCOPED_TRACE(std::string(c.text) + (french ? " (fr)" : " (en)"));
      samples.setText(QString::fromUtf8(c.text));
      seconds.setText(QString::fromUtf8(c.text));
      EXPECT_EQ(samples.Value(), c.samplesValue);
      // Exact comparison with a long double literal: the text is read in extended precision.
      EXPECT_EQ(seconds.FloatValue(), french ? c.frenchSeconds : c.englishSeconds);
    }
  }
}

TEST(SpinEditTest, LongNumbersSaturateAndOtherNotationsDoNotRead) {
  const QString dot = QStringLiteral(".");
  EXPECT_EQ(TSpinEdit::ParseInteger(QStringLiteral("99999999999")),
            std::numeric_limits<int32_t>::max());
  EXPECT_EQ(TSpinEdit::ParseInteger(QStringLiteral("-2147483648")),
            std::numeric_limits<int32_t>::min());
  EXPECT_EQ(TSpinEdit::ParseInteger(QString(5000, u'9')), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(TSpinEdit::ParseFloat(QString(6000, u'9'), dot),
            std::numeric_limits<long double>::max());
  EXPECT_EQ(TSpinEdit::ParseFloat(QStringLiteral("0.") + QString(6000, u'0') + u'1', dot), 0.0L);
  EXPECT_EQ(TSpinEdit::ParseFloat(QStringLiteral(".5"), dot), 0.5L);
  // U+2212, the minus sign some locales write, reads like '-'.
  EXPECT_EQ(TSpinEdit::ParseInteger(QStringLiteral("\u22123")), -3);
  for (const char* text : {"1e3", "0x10", "1 000", "½", "٣", "1.2.3", "--1", "+-1"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(TSpinEdit::ParseInteger(QString::fromUtf8(text)).has_value());
    EXPECT_FALSE(TSpinEdit::ParseFloat(QString::fromUtf8(text), dot).has_value());
  }
}

struct TSetCase {
  long double value;
  const char* samplesText;
  const char* frenchSecondsText;
  const char* englishSecondsText;
};

const TSetCase kSetCases[] = {
    {2, "100", "2,000", "2.000"},
    {25, "100", "20,000", "20.000"},
    {0.001L, "100", "0,010", "0.010"},
    {0.3L, "100", "0,300", "0.300"},
    {-5, "100", "0,010", "0.010"},
    {88200, "88200", "20,000", "20.000"},
    {5000000, "1000000", "20,000", "20.000"},
    {0.299977L, "100", "0,300", "0.300"},
};

TEST(SpinEditTest, ValuesSetFromCodeAreClampedAndFormatted) {
  for (const QLocale& locale : {kFrench, kEnglish}) {
    const bool french = locale.language() == QLocale::French;
    for (const TSetCase& c : kSetCases) {
      SCOPED_TRACE(static_cast<double>(c.value));
      TSpinEdit samples;
      MakeSamplesBox(samples);
      TSpinEdit seconds;
      MakeSecondsBox(seconds);
      seconds.setLocale(locale);
      samples.SetFloatValue(c.value);
      seconds.SetFloatValue(c.value);
      EXPECT_EQ(samples.text(), QString::fromLatin1(c.samplesText));
      EXPECT_EQ(seconds.text(),
                QString::fromLatin1(french ? c.frenchSecondsText : c.englishSecondsText));
    }
  }
}

TEST(SpinEditTest, SettingFromCodeRaisesChangeOnlyWhenTheTextChanges) {
  TSpinEdit samples;
  MakeSamplesBox(samples);
  TChangeLog log(samples);
  samples.SetValue(88200);
  samples.SetValue(88200);
  samples.SetValue(2000000);
  samples.SetValue(1000000);  // same text as the clamped 2000000
  ASSERT_EQ(log.texts.size(), 2u);
  EXPECT_EQ(log.texts[0], QStringLiteral("88200"));
  EXPECT_EQ(log.texts[1], QStringLiteral("1000000"));
}

TEST(SpinEditTest, EveryKeystrokeRaisesChange) {
  TSpinEdit seconds;
  MakeSecondsBox(seconds);
  seconds.setLocale(kFrench);
  seconds.clear();
  TChangeLog log(seconds);
  QTest::keyClicks(&seconds, QStringLiteral("0,3"));
  QTest::keyClick(&seconds, Qt::Key_Backspace);
  const std::vector<QString> expected = {QStringLiteral("0"), QStringLiteral("0,"),
                                         QStringLiteral("0,3"), QStringLiteral("0,")};
  EXPECT_EQ(log.texts, expected);
}

struct TTypingCase {
  bool secondsBox;
  const QLocale* locale;
  const char* typed;
  const char* shown;
};

// A refused character leaves the text as it was, and so does everything typed after it; a
// separator typed as "." or "," shows as the locale's.
const TTypingCase kTypingCases[] = {
    {true, &kFrench, "0.5", "0,5"},  {true, &kEnglish, "0,5", "0.5"},
    {true, &kFrench, "1e9", "1"},    {true, &kEnglish, "1.5,2", "1.5"},
    {true, &kEnglish, "abc", ""},    {true, &kFrench, "-,5", "-,5"},
    {true, &kEnglish, "5-3", "5"},   {false, &kEnglish, "-1a,2", "-1"},
    {false, &kFrench, "12.5", "12"}, {false, &kEnglish, "1e9", "1"},
};

TEST(SpinEditTest, TypedCharactersNeverFormAnotherNumber) {
  for (const TTypingCase& c : kTypingCases) {
    SCOPED_TRACE(std::string(c.typed) + (c.secondsBox ? " seconds " : " samples ") +
                 c.locale->name().toStdString());
    TSpinEdit box;
    box.setLocale(*c.locale);
    c.secondsBox ? MakeSecondsBox(box) : MakeSamplesBox(box);
    box.clear();
    QTest::keyClicks(&box, QString::fromUtf8(c.typed));
    EXPECT_EQ(box.text(), QString::fromUtf8(c.shown));
  }
}

TEST(SpinEditTest, AnotherEditEndsARefusal) {
  TSpinEdit samples;
  MakeSamplesBox(samples);
  samples.clear();
  QTest::keyClicks(&samples, QStringLiteral("1x2"));
  ASSERT_EQ(samples.text(), QStringLiteral("1"));
  QTest::keyClick(&samples, Qt::Key_Backspace);
  QTest::keyClicks(&samples, QStringLiteral("23"));
  EXPECT_EQ(samples.text(), QStringLiteral("23"));
  // Shortcuts still reach the edit: select all, then type over it.
  QTest::keyClick(&samples, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(&samples, QStringLiteral("7"));
  EXPECT_EQ(samples.text(), QStringLiteral("7"));
}

struct TFocusCase {
  bool secondsBox;
  const char* typed;
  const char* shownAfter;
  size_t changesOnLeaving;
};

// A readable value in range stays as typed; anything else becomes the value in range.
const TFocusCase kFocusCases[] = {
    {false, "-5", "100", 1},  {false, "abc", "100", 1},         {false, "", "100", 1},
    {false, "500", "500", 0}, {false, "2000000", "1000000", 1}, {true, "25", "20,000", 1},
    {true, "0,3", "0,3", 0},  {true, "0.3", "0.3", 0},          {true, "", "0,010", 1},
    {true, "-5", "0,010", 1}, {true, "abc", "0,010", 1},
};

TEST(SpinEditTest, LosingFocusBringsTheValueIntoRange) {
  for (const TFocusCase& c : kFocusCases) {
    SCOPED_TRACE(std::string(c.typed) + (c.secondsBox ? " seconds" : " samples"));
    TSpinEdit box;
    box.setLocale(kFrench);
    if (c.secondsBox) {
      MakeSecondsBox(box);
    } else {
      MakeSamplesBox(box);
    }
    box.setText(QString::fromUtf8(c.typed));
    TChangeLog log(box);
    std::vector<QString> exits;
    box.SetOnExit([&] { exits.push_back(box.text()); });
    LoseFocus(box);
    EXPECT_EQ(box.text(), QString::fromUtf8(c.shownAfter));
    EXPECT_EQ(log.texts.size(), c.changesOnLeaving);
    EXPECT_EQ(exits, std::vector<QString>{box.text()}) << "once, after the value was settled";
  }
}

TEST(SpinEditTest, ContextMenuOrAnotherApplicationDoesNotClamp) {
  for (Qt::FocusReason reason : {Qt::PopupFocusReason, Qt::ActiveWindowFocusReason}) {
    TSpinEdit samples;
    MakeSamplesBox(samples);
    samples.setText(QStringLiteral("-5"));
    LoseFocus(samples, reason);
    EXPECT_EQ(samples.text(), QStringLiteral("-5"));
  }
}

TEST(SpinEditTest, SpinButtonsAndKeysStepWithinTheRange) {
  TSpinEdit seconds;
  MakeSecondsBox(seconds);
  seconds.setLocale(kEnglish);
  seconds.show();
  QToolButton* down = SpinButton(seconds, Qt::LeftArrow);
  QToolButton* up = SpinButton(seconds, Qt::RightArrow);
  ASSERT_NE(down, nullptr);
  ASSERT_NE(up, nullptr);
  // Horizontal buttons: down on the left of up, both inside the box.
  EXPECT_LT(down->geometry().left(), up->geometry().left());
  EXPECT_EQ(down->geometry().top(), up->geometry().top());
  EXPECT_TRUE(seconds.rect().contains(up->geometry()));
  EXPECT_EQ(down->focusPolicy(), Qt::NoFocus);

  QTest::mouseClick(up, Qt::LeftButton);
  EXPECT_EQ(seconds.text(), QStringLiteral("1.100"));
  QTest::mouseClick(down, Qt::LeftButton);
  QTest::mouseClick(down, Qt::LeftButton);
  EXPECT_EQ(seconds.text(), QStringLiteral("0.900"));
  QTest::keyClick(&seconds, Qt::Key_PageUp);
  EXPECT_EQ(seconds.text(), QStringLiteral("1.900"));
  seconds.SetFloatValue(19.95L);
  QTest::mouseClick(up, Qt::LeftButton);
  EXPECT_EQ(seconds.text(), QStringLiteral("20.000"));
  seconds.SetFloatValue(0.05L);
  QTest::keyClick(&seconds, Qt::Key_Down);
  EXPECT_EQ(seconds.text(), QStringLiteral("0.010"));

  TSpinEdit samples;
  MakeSamplesBox(samples);
  samples.SetValue(101);
  QTest::keyClick(&samples, Qt::Key_Down);
  QTest::keyClick(&samples, Qt::Key_Down);
  EXPECT_EQ(samples.Value(), 100);
  QTest::keyClick(&samples, Qt::Key_Up);
  EXPECT_EQ(samples.Value(), 101);
}

TEST(SpinEditTest, HandlerCanBeDetachedAndReplacedFromInsideItself) {
  TSpinEdit samples;
  MakeSamplesBox(samples);
  int outerCalls = 0;
  int innerCalls = 0;
  samples.SetOnChange([&] {
    ++outerCalls;
    // Detach ourselves, change the box (raising nothing), then install another handler.
    const TSpinEdit::TChangeHandler saved = samples.OnChange();
    samples.SetOnChange(nullptr);
    samples.SetValue(samples.Value() + 1);
    samples.SetOnChange([&] { ++innerCalls; });
    EXPECT_TRUE(static_cast<bool>(saved));
  });
  samples.SetValue(200);
  EXPECT_EQ(outerCalls, 1);
  EXPECT_EQ(innerCalls, 0);
  EXPECT_EQ(samples.Value(), 201);
  samples.SetValue(300);
  EXPECT_EQ(innerCalls, 1);
  samples.SetOnChange(nullptr);
  samples.SetValue(400);
  EXPECT_EQ(innerCalls, 1);
}

}  // namespace
}  // namespace tardivox
