#pragma once
// A numeric edit box with two horizontal spin buttons (left steps down, right steps up).
//
// Unlike Qt's own spin boxes it accepts free typing: the text may be anything while the user
// edits it, and every change of the text — typed, pasted or set from code — raises the change
// handler at once. Reading the value never fails: text that does not parse reads as the
// integer minimum (`MinValue`).
//
// Two ranges exist. The integer range [`MinValue`, `MaxValue`] applies when either limit is
// not zero; the float range [`FloatMinValue`, `FloatMaxValue`] applies when its limits differ.
// Values set from code, stepped by the buttons or the arrow keys, and the value left in the
// box when the user moves the focus to another control are brought into every range that
// applies.
//
// An integer box shows plain decimal digits; a float box shows exactly `Decimals` decimals
// with the decimal separator of the widget's locale (`QWidget::locale()`, which follows the
// application's default locale unless set on the widget). A float box reads "." and "," as
// the decimal separator too, whatever the locale, and a separator typed as either is shown as
// the locale's.
//
// Typing never forms a number the user did not type: a typed character is refused when the
// text it would make could not begin a number (a letter, a second separator, a sign after a
// digit), the text and the value stay as they were, and every character typed after it is
// refused too until the user edits otherwise (a deletion, a cursor move, a click in the box,
// a spin step) or the box loses the focus. So "1e9" leaves "1", never "19".
//
// Window thread only. The change handler may be replaced or cleared at any time, also from
// inside the handler itself: the running call keeps its own copy.
// Ownership: a Qt widget, owned by its parent widget. Failure: nothing here raises; an error
// raised by the change handler propagates to the event loop.

#include <QLineEdit>

#include <cstdint>
#include <functional>
#include <optional>

class QToolButton;

namespace tardivox {

class TSpinEdit : public QLineEdit {
  Q_OBJECT

 public:
  enum class TValueType { Integer, Float };
  using TChangeHandler = std::function<void()>;

  explicit TSpinEdit(QWidget* parent = nullptr);
  ~TSpinEdit() override;
  TSpinEdit(const TSpinEdit&) = delete;
  TSpinEdit& operator=(const TSpinEdit&) = delete;

  TValueType ValueType() const { return valueType_; }
  void SetValueType(TValueType valueType) { valueType_ = valueType; }
  // Number of decimals a float box shows (0 to 15).
  int Decimals() const { return decimals_; }
  void SetDecimals(int decimals);

  int32_t MinValue() const { return minValue_; }
  void SetMinValue(int32_t value) { minValue_ = value; }
  int32_t MaxValue() const { return maxValue_; }
  void SetMaxValue(int32_t value) { maxValue_ = value; }
  long double FloatMinValue() const { return floatMinValue_; }
  void SetFloatMinValue(long double value) { floatMinValue_ = value; }
  long double FloatMaxValue() const { return floatMaxValue_; }
  void SetFloatMaxValue(long double value) { floatMaxValue_ = value; }
  // Amount one click of a spin button (or the Up and Down keys) adds or removes.
  long double Increment() const { return increment_; }
  void SetIncrement(long double increment) { increment_ = increment; }
  // Amount the Page Up and Page Down keys add or remove.
  long double PageIncrement() const { return pageIncrement_; }
  void SetPageIncrement(long double increment) { pageIncrement_ = increment; }

  // The text read as a decimal integer; unreadable text gives `MinValue()`. A number beyond
  // the 32-bit range reads as the nearest 32-bit limit (so more digits never read smaller).
  int32_t Value() const;
  // Brings `value` into range, shows it, and raises the change handler if the text changed.
  void SetValue(int32_t value) { ApplyValue(value); }
  // The text read in extended precision with the locale's decimal separator; unreadable
  // text gives `MinValue()`.
  long double FloatValue() const;
  // As `SetValue`; an integer box shows the value rounded to the nearest integer.
  void SetFloatValue(long double value) { ApplyValue(value); }

  // Adds `steps` × `Increment()` to the current value and sets the result (clamped).
  void Step(int steps);

  const TChangeHandler& OnChange() const { return onChange_; }
  // Installs the change handler; an empty function detaches it.
  void SetOnChange(TChangeHandler handler) { onChange_ = std::move(handler); }
  // Runs when the user leaves the box (it loses the focus to another control), after its
  // value has been brought into range and the change that raised has run.
  const TChangeHandler& OnExit() const { return onExit_; }
  void SetOnExit(TChangeHandler handler) { onExit_ = std::move(handler); }

  // Reads `text` as an optionally signed decimal integer, surrounding blanks allowed;
  // saturates beyond the 32-bit range. Empty when `text` is not such a number.
  static std::optional<int32_t> ParseInteger(const QString& text);
  // Reads `text` as an optionally signed decimal number with at most one decimal separator:
  // `decimalSeparator`, "." or ",". Surrounding blanks allowed. Empty when `text` is not such
  // a number.
  static std::optional<long double> ParseFloat(const QString& text,
                                               const QString& decimalSeparator);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void ApplyValue(long double value);
  long double Clamp(long double value) const;
  QString Format(long double value) const;
  // Whether `text` is a number of this box's kind or the beginning of one.
  bool CanBeginNumber(const QString& text) const;
  // The text with `typed` in place of the selection or at the cursor, as QLineEdit inserts it.
  QString TextAfterTyping(const QString& typed) const;
  void LayoutButtons();
  void RaiseChange();

  TValueType valueType_ = TValueType::Integer;
  int decimals_ = 0;
  int32_t minValue_ = 0;
  int32_t maxValue_ = 0;
  long double floatMinValue_ = 0;
  long double floatMaxValue_ = 0;
  long double increment_ = 1;
  long double pageIncrement_ = 10;
  TChangeHandler onChange_;
  TChangeHandler onExit_;
  // Set when a typed character was refused: typing goes on being refused until another edit.
  bool refusing_ = false;
  QToolButton* downButton_;
  QToolButton* upButton_;
};

}  // namespace tardivox
