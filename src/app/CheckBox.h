#pragma once
// A check box with its box on the left of the caption, drawn over its parent's background.
//
// A click by the user (mouse button released over the box, or the space key released while
// it has the focus) toggles the check mark first and then runs the click handler, which
// therefore sees the new state. `SetChecked` from code runs nothing.
//
// Window thread only. The handler may be replaced or cleared at any time, also from inside
// the handler itself: the running call keeps its own copy.
// Ownership: a Qt widget, owned by its parent widget. Failure: nothing here raises; an error
// raised by the click handler propagates to the event loop.

#include <QCheckBox>

#include <functional>

namespace tardivox {

class TCheckBox : public QCheckBox {
  Q_OBJECT

 public:
  using TClickHandler = std::function<void()>;

  explicit TCheckBox(const QString& caption, QWidget* parent = nullptr);
  ~TCheckBox() override;
  TCheckBox(const TCheckBox&) = delete;
  TCheckBox& operator=(const TCheckBox&) = delete;

  bool Checked() const { return isChecked(); }
  // Sets the check mark without running the click handler.
  void SetChecked(bool checked) { setChecked(checked); }

  const TClickHandler& OnClick() const { return onClick_; }
  // Installs the click handler; an empty function detaches it.
  void SetOnClick(TClickHandler handler) { onClick_ = std::move(handler); }

 private:
  TClickHandler onClick_;
};

}  // namespace tardivox
