#pragma once
// Controls of a stored window: components that stand for the window's Qt widgets, so that a
// stored layout can create them by class name, place them in their panels and set their
// published properties (position, size, texts, colours, fonts, tab order) by name.
//
// A control component creates its widget when it is constructed, as a child of its owner's
// container widget (the window), and moves it into the container of the component it is placed
// in (`SetParentComponent`, a panel). The widget is owned by Qt's parent chain; the component
// deletes it when it is destroyed first, so that a component and its widget never outlive one
// another by more than the window's own tear-down.
//
// Colours are stored as '#RRGGBB' text; an empty text leaves the widget's own colour.
//
// Threads: the window's thread only (construction, properties, destruction).
// Failure: a property value out of its domain (an unknown colour text, font style or value
// type) raises Exception; numbers are brought into the widget's range; placing a control in a
// component that holds no widgets, or in itself, raises Exception.

#include <QColor>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

#include "model/Component.h"

namespace tardivox {

// A component whose widget can hold controls: the window and the panels.
class TWidgetContainer {
 public:
  virtual ~TWidgetContainer() = default;
  // The widget that controls placed here become children of.
  virtual QWidget* ContainerWidget() const = 0;
};

// '#RRGGBB' ↔ colour. An empty text is no colour (QColor()); anything else raises Exception.
QColor ColorFromText(const std::string& text);
std::string ColorToText(const QColor& color);

// The font of a control or a window: the attributes set here override the font the widget
// inherits from its parent; the others keep following it.
//   Name    family ('' follows the parent)
//   Height  character height in pixels, written negative as stored windows do (0 follows)
//   Style   set of fsBold, fsItalic, fsUnderline, fsStrikeOut
//   Color   text colour ('' follows)
class TFontProperties : public TPersistent {
 public:
  // `changed` runs after every change, to apply the font to the widget.
  explicit TFontProperties(std::function<void()> changed);

  QColor Color() const { return ColorFromText(color_); }
  // The widget's font with the attributes set here (and its text colour, when set).
  void ApplyTo(QWidget& widget) const;

 private:
  std::string name_;
  int64_t height_ = 0;
  std::string style_;
  std::string color_;
  std::function<void()> changed_;
};

class TControlComponent : public TComponent {
 public:
  ~TControlComponent() override;

  QWidget* Widget() const { return widget_; }
  // Names the widget too (QObject::objectName), so that it can be found by name.
  void SetName(std::string name) override;

  TComponent* ParentComponent() const override { return parent_; }
  void SetParentComponent(TComponent* parent) override;

  // Position in the tab chain among the controls placed in the same component; −1 leaves the
  // control out of the chain the window builds (see TabChain).
  int TabOrder() const { return tabOrder_; }

 protected:
  // `widget` must have been created with HostWidget(owner) as its parent.
  TControlComponent(TComponent* owner, QWidget* widget);
  // For a widget that needs the control itself (a display whose pins the control owns): `make`
  // runs once the control is a component, and returns the widget (parent HostWidget(owner)).
  TControlComponent(TComponent* owner, const std::function<QWidget*(TComponent& self)>& make);
  static QWidget* HostWidget(TComponent* owner);

  // The optional published properties, in the order a control declares them.
  void PublishFont();
  void PublishHint();
  void PublishTabOrder();
  // `Color`: fills the widget's text field or face (palette Base and Button).
  void PublishControlColor();
  // A text property (default: empty) read and written through the given accessors.
  void PublishText(std::string name, std::function<QString()> get,
                   std::function<void(const QString&)> set);
  // A colour property read and written through the given accessors.
  void PublishColor(std::string name, std::function<QColor()> get,
                    std::function<void(const QColor&)> set, const QColor& defaultColor);

  const TFontProperties& Font() const { return font_; }
  // Applies Font() to the widget; controls that draw their text themselves extend it.
  virtual void FontChanged();

 private:
  void ApplyHint();

  QPointer<QWidget> widget_;
  TComponent* parent_ = nullptr;
  int tabOrder_ = -1;
  std::string hint_;
  bool showHint_ = false;
  std::string color_;
  TFontProperties font_;
};

// The focusable widgets of `root`'s controls in tab order: controls placed in the root (or in
// nothing) sorted by TabOrder, each followed by the chain of the controls placed in it.
std::vector<QWidget*> TabChain(const TComponent& root);

}  // namespace tardivox
