#include "app/SpinEdit.h"

#include <QKeyEvent>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QToolButton>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace tardivox {

namespace {

constexpr int kButtonWidth = 15;

bool IsAsciiDigit(QChar c) {
  return c >= u'0' && c <= u'9';
}

// Accepts the minus sign some locales write (U+2212) as well as the ASCII one, so text shown
// in any locale reads back.
bool IsMinus(QChar c) {
  return c == u'-' || c == QChar(0x2212);
}

// The separators every float box reads, whatever its locale writes: a French user with an
// English desktop types "0,5" and means half a second, as does "0.5" in a French window.
bool IsAnySeparator(QChar c) {
  return c == u'.' || c == u',';
}

}  // namespace

TSpinEdit::TSpinEdit(QWidget* parent)
    : QLineEdit(parent), downButton_(new QToolButton(this)), upButton_(new QToolButton(this)) {
  for (QToolButton* button : {downButton_, upButton_}) {
    // The edit keeps the focus while the user clicks the buttons, as with any spin box.
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRepeat(true);
    button->setCursor(Qt::ArrowCursor);
  }
  downButton_->setArrowType(Qt::LeftArrow);
  upButton_->setArrowType(Qt::RightArrow);
  connect(downButton_, &QToolButton::clicked, this, [this] { Step(-1); });
  connect(upButton_, &QToolButton::clicked, this, [this] { Step(1); });
  connect(this, &QLineEdit::textChanged, this, [this] { RaiseChange(); });
  setText(QStringLiteral("0"));
  LayoutButtons();
}

TSpinEdit::~TSpinEdit() = default;

void TSpinEdit::SetDecimals(int decimals) {
  decimals_ = std::clamp(decimals, 0, 15);
}

int32_t TSpinEdit::Value() const {
  return ParseInteger(text()).value_or(minValue_);
}

long double TSpinEdit::FloatValue() const {
  if (auto value = ParseFloat(text(), locale().decimalPoint())) return *value;
  return minValue_;
}

void TSpinEdit::Step(int steps) {
  const long double current = valueType_ == TValueType::Integer ? Value() : FloatValue();
  ApplyValue(current + steps * increment_);
}

std::optional<int32_t> TSpinEdit::ParseInteger(const QString& text) {
  const QString trimmed = text.trimmed();
  qsizetype i = 0;
  bool negative = false;
  if (i < trimmed.size() && (trimmed[i] == u'+' || IsMinus(trimmed[i]))) {
    negative = IsMinus(trimmed[i]);
    ++i;
  }
  if (i == trimmed.size()) return std::nullopt;
  // Accumulate one past the 32-bit magnitude at most, so long digit runs cannot overflow.
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t magnitude = 0;
  for (; i < trimmed.size(); ++i) {
    if (!IsAsciiDigit(trimmed[i])) return std::nullopt;
    magnitude = std::min(kLimit, magnitude * 10 + (trimmed[i].unicode() - u'0'));
  }
  const int64_t value = negative ? -magnitude : magnitude;
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

std::optional<long double> TSpinEdit::ParseFloat(const QString& text,
                                                 const QString& decimalSeparator) {
  const QString trimmed = text.trimmed();
  std::string ascii;
  ascii.reserve(static_cast<size_t>(trimmed.size()) + 1);
  qsizetype i = 0;
  if (i < trimmed.size() && (trimmed[i] == u'+' || IsMinus(trimmed[i]))) {
    if (IsMinus(trimmed[i])) ascii.push_back('-');
    ++i;
  }
  bool seenSeparator = false;
  bool seenDigit = false;
  bool seenNonZeroIntegerDigit = false;
  while (i < trimmed.size()) {
    if (IsAsciiDigit(trimmed[i])) {
      seenDigit = true;
      if (!seenSeparator && trimmed[i] != u'0') seenNonZeroIntegerDigit = true;
      ascii.push_back(static_cast<char>(trimmed[i].unicode()));
      ++i;
    } else if (!seenSeparator && !decimalSeparator.isEmpty() &&
               QStringView(trimmed).mid(i).startsWith(decimalSeparator)) {
      seenSeparator = true;
      ascii.push_back('.');
      i += decimalSeparator.size();
    } else if (!seenSeparator && IsAnySeparator(trimmed[i])) {
      seenSeparator = true;
      ascii.push_back('.');
      ++i;
    } else {
      return std::nullopt;
    }
  }
  if (!seenDigit) return std::nullopt;
  long double value = 0;
  const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (error == std::errc::result_out_of_range) {
    // Only absurdly long digit runs get here: too large saturates, too small is zero.
    const long double magnitude =
        seenNonZeroIntegerDigit ? std::numeric_limits<long double>::max() : 0.0L;
    return ascii.front() == '-' ? -magnitude : magnitude;
  }
  if (error != std::errc() || end != ascii.data() + ascii.size()) return std::nullopt;
  return value;
}

void TSpinEdit::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Up:
      Step(1);
      return;
    case Qt::Key_Down:
      Step(-1);
      return;
    case Qt::Key_PageUp:
      ApplyValue((valueType_ == TValueType::Integer ? Value() : FloatValue()) + pageIncrement_);
      return;
    case Qt::Key_PageDown:
      ApplyValue((valueType_ == TValueType::Integer ? Value() : FloatValue()) - pageIncrement_);
      return;
    default:
      break;
  }
  const bool shortcut = event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier);
  QString typed = event->text();
  if (shortcut || typed.isEmpty() || !typed.at(0).isPrint()) {
    // Any other edit (deletion, cursor move, selection, paste) ends a refusal.
    refusing_ = false;
    QLineEdit::keyPressEvent(event);
    return;
  }
  if (valueType_ == TValueType::Float && typed.size() == 1 && IsAnySeparator(typed.at(0))) {
    typed = locale().decimalPoint();
  }
  // Dropping one character and keeping the next would form another number ("1e9" → "19",
  // "0,5" → "05"): once a character is refused, so is what follows it.
  if (refusing_ || !CanBeginNumber(TextAfterTyping(typed))) {
    refusing_ = true;
    event->accept();
    return;
  }
  insert(typed);
  event->accept();
}

void TSpinEdit::mousePressEvent(QMouseEvent* event) {
  refusing_ = false;
  QLineEdit::mousePressEvent(event);
}

void TSpinEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  // A context menu opening, or another application taking over, is not the user leaving
  // the box: the box still has the window's focus and the user may go on typing.
  if (event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason) {
    return;
  }
  refusing_ = false;
  long double current = 0;
  bool readable = false;
  if (valueType_ == TValueType::Integer) {
    const auto value = ParseInteger(text());
    readable = value.has_value();
    current = value.value_or(minValue_);
  } else {
    const auto value = ParseFloat(text(), locale().decimalPoint());
    readable = value.has_value();
    current = value.value_or(minValue_);
  }
  // Text that reads fine and lies in range stays as typed; anything else is replaced by the
  // value the box stands for, so the box never shows something it does not use.
  if (!readable || Clamp(current) != current) ApplyValue(current);
  const TChangeHandler handler = onExit_;
  if (handler) handler();
}

void TSpinEdit::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  LayoutButtons();
}

void TSpinEdit::changeEvent(QEvent* event) {
  QLineEdit::changeEvent(event);
  if (event->type() == QEvent::StyleChange) LayoutButtons();
}

void TSpinEdit::ApplyValue(long double value) {
  refusing_ = false;
  if (std::isnan(value)) value = minValue_;
  const QString shown = Format(Clamp(value));
  // setText raises the change handler through textChanged only when the text differs.
  if (shown != text()) setText(shown);
}

long double TSpinEdit::Clamp(long double value) const {
  // std::clamp would be undefined for a reversed range; max(min) settles on the lower limit.
  if (minValue_ != 0 || maxValue_ != 0) {
    value = std::max<long double>(minValue_, std::min<long double>(value, maxValue_));
  }
  if (floatMinValue_ != floatMaxValue_) {
    value = std::max(floatMinValue_, std::min(value, floatMaxValue_));
  }
  return value;
}

QString TSpinEdit::Format(long double value) const {
  if (valueType_ == TValueType::Integer) {
    const long double bounded = std::clamp<long double>(value, std::numeric_limits<int32_t>::min(),
                                                        std::numeric_limits<int32_t>::max());
    return QString::number(static_cast<int64_t>(std::llround(bounded)));
  }
  // Format with ASCII digits and swap in the separator, so the text always reads back with
  // ParseFloat whatever digits or grouping the locale would use.
  QString shown = QString::number(static_cast<double>(value), 'f', decimals_);
  shown.replace(u'.', locale().decimalPoint());
  return shown;
}

bool TSpinEdit::CanBeginNumber(const QString& text) const {
  // A number, or what typing makes on the way to one: nothing yet, a lone sign, a separator
  // not yet followed by digits ("-", "1,", ",").
  QString completed = text.trimmed();
  if (completed.isEmpty()) return true;
  if (IsMinus(completed.back()) || completed.back() == u'+') completed += u'0';
  if (valueType_ == TValueType::Integer) return ParseInteger(completed).has_value();
  const QString separator = locale().decimalPoint();
  if (completed.endsWith(separator) || IsAnySeparator(completed.back())) completed += u'0';
  return ParseFloat(completed, separator).has_value();
}

QString TSpinEdit::TextAfterTyping(const QString& typed) const {
  QString result = text();
  if (hasSelectedText()) {
    result.replace(selectionStart(), selectedText().size(), typed);
  } else {
    result.insert(cursorPosition(), typed);
  }
  return result;
}

void TSpinEdit::LayoutButtons() {
  QStyleOptionFrame option;
  initStyleOption(&option);
  const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
  const int right = contents.right() + 1;
  downButton_->setGeometry(right - 2 * kButtonWidth, contents.top(), kButtonWidth,
                           contents.height());
  upButton_->setGeometry(right - kButtonWidth, contents.top(), kButtonWidth, contents.height());
  setTextMargins(0, 0, 2 * kButtonWidth + 1, 0);
}

void TSpinEdit::RaiseChange() {
  // Copy first: the handler may detach or replace itself while it runs.
  const TChangeHandler handler = onChange_;
  if (handler) handler();
}

}  // namespace tardivox
