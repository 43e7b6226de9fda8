#pragma once
// A choose-only drop-down list (the user cannot type into it). The text field is filled
// with the palette's `Base` colour, so a list can take the background colour it is given.
//
// The change handler runs when the user changes the selection (mouse, keyboard or wheel) and
// never when the list is changed from code: `Clear`, `AddItem` and `SetItemIndex` raise
// nothing. Appending to a list without a selection leaves it without one (Qt's own combo box
// would select the first entry). Change the list only through these members; calling the
// inherited `setCurrentIndex`, `addItem` or `clear` directly counts as a user change.
//
// The mouse wheel changes the selection only while the list has the focus, so scrolling
// over the window never switches a device or a rate by accident.
//
// Window thread only. The handler may be replaced or cleared at any time, also from inside
// the handler itself: the running call keeps its own copy.
// Ownership: a Qt widget, owned by its parent widget. Failure: nothing here raises; an error
// raised by the change handler propagates to the event loop.

#include <QComboBox>

#include <functional>

namespace tardivox {

class TDropDownList : public QComboBox {
  Q_OBJECT

 public:
  using TChangeHandler = std::function<void()>;

  explicit TDropDownList(QWidget* parent = nullptr);
  ~TDropDownList() override;
  TDropDownList(const TDropDownList&) = delete;
  TDropDownList& operator=(const TDropDownList&) = delete;

  void Clear();
  void AddItem(const QString& text);
  int Count() const { return count(); }
  // The text of entry `index`; empty for an index out of range.
  QString Item(int index) const { return itemText(index); }
  // The selected entry, or −1 for none.
  int ItemIndex() const { return currentIndex(); }
  // Selects entry `index`; an index out of range selects nothing. Raises no change event.
  void SetItemIndex(int index);
  // The text of the selected entry; empty when nothing is selected.
  QString Text() const { return currentText(); }

  const TChangeHandler& OnChange() const { return onChange_; }
  // Installs the change handler; an empty function detaches it.
  void SetOnChange(TChangeHandler handler) { onChange_ = std::move(handler); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  class TCodeChange;
  void IndexChanged();

  TChangeHandler onChange_;
  int codeChanges_ = 0;
};

}  // namespace tardivox
