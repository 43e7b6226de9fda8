#pragma once
// The root of a stored window: the component that stands for the window itself, owns every
// control and component of its layout and holds the window's own published properties:
//
//   Left, Top                  position on the screen
//   ClientWidth, ClientHeight  size of the client area
//   Caption                    title
//   BorderStyle                bsSizeable, or bsSingle for a fixed size that cannot be
//                              resized nor maximised
//   BorderIcons                set of biSystemMenu (with the close button), biMinimize,
//                              biMaximize (never shown with bsSingle)
//   Font                       the window's font, inherited by its controls
//   ActiveControl              name of the control that has the focus when the window opens
//
// The window's background is the platform's button face. When the layout is loaded the window
// builds its tab chain (TabChain) and focuses its active control.
//
// Ownership: the widget is the one given (not owned), or one the component creates and owns
// when none is given. Threads: the window's thread. Failure: values out of their domain raise
// Exception (the layout reader names the line); an active control that names no control of
// the window raises Exception when the layout has been read.

#include <QWidget>

#include <memory>
#include <string>

#include "app/ControlComponent.h"
#include "model/Component.h"

namespace tardivox {

class TWindowComponent : public TComponent, public TWidgetContainer {
 public:
  explicit TWindowComponent(QWidget* window);
  ~TWindowComponent() override;

  QWidget& Window() const { return *window_; }
  QWidget* ContainerWidget() const override { return window_; }
  bool IsRoot() const override { return true; }
  void SetName(std::string name) override;
  void Loaded() override;

  // The widget of the control of that name and widget type; raises Exception when there is none.
  template <class W>
  W* ControlWidget(const char* name) const {
    auto* control = dynamic_cast<TControlComponent*>(FindComponent(name));
    W* widget = control ? dynamic_cast<W*>(control->Widget()) : nullptr;
    if (!widget) ThrowNoControl(name);
    return widget;
  }

 private:
  [[noreturn]] static void ThrowNoControl(const char* name);
  void ApplyFrame();

  std::unique_ptr<QWidget> ownWindow_;
  QWidget* window_;
  int clientWidth_;
  int clientHeight_;
  std::string borderStyle_ = "bsSizeable";
  std::string borderIcons_ = "biSystemMenu,biMinimize,biMaximize";
  std::string activeControl_;
  TFontProperties font_;
};

}  // namespace tardivox
