#include "app/DropDownList.h"

#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QWheelEvent>

namespace tardivox {

// Marks the index changes Qt reports while it lasts as made from code.
class TDropDownList::TCodeChange {
 public:
  explicit TCodeChange(TDropDownList& list) : list_(list) { ++list_.codeChanges_; }
  ~TCodeChange() { --list_.codeChanges_; }
  TCodeChange(const TCodeChange&) = delete;
  TCodeChange& operator=(const TCodeChange&) = delete;

 private:
  TDropDownList& list_;
};

TDropDownList::TDropDownList(QWidget* parent) : QComboBox(parent) {
  setEditable(false);
  connect(this, &QComboBox::currentIndexChanged, this, [this] { IndexChanged(); });
}

TDropDownList::~TDropDownList() = default;

void TDropDownList::Clear() {
  TCodeChange codeChange(*this);
  clear();
}

void TDropDownList::AddItem(const QString& text) {
  TCodeChange codeChange(*this);
  const bool hadSelection = currentIndex() >= 0;
  addItem(text);
  if (!hadSelection) setCurrentIndex(-1);
}

void TDropDownList::SetItemIndex(int index) {
  TCodeChange codeChange(*this);
  setCurrentIndex(index >= 0 && index < count() ? index : -1);
}

void TDropDownList::paintEvent(QPaintEvent* /*event*/) {
  QStylePainter painter(this);
  QStyleOptionComboBox option;
  initStyleOption(&option);
  painter.drawComplexControl(QStyle::CC_ComboBox, option);
  // Styles shade a choose-only list like a button; paint the field flat in the list's own
  // background colour before the text goes on it.
  const QRect field =
      style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
  painter.fillRect(
      field, palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Base));
  painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

void TDropDownList::wheelEvent(QWheelEvent* event) {
  if (!hasFocus()) {
    event->ignore();
    return;
  }
  QComboBox::wheelEvent(event);
}

void TDropDownList::IndexChanged() {
  if (codeChanges_ > 0) return;
  // Copy first: the handler may detach or replace itself while it runs.
  const TChangeHandler handler = onChange_;
  if (handler) handler();
}

}  // namespace tardivox
