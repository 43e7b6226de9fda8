#pragma once
// The control kinds a stored window is made of, each standing for one of the window's widgets
// and registered under the class name its layout uses:
//
//   TLabel              QLabel              Caption, Transparent, Font
//   TDropDownList       TDropDownList       Items, ItemIndex, Color, Font, Hint, ShowHint, TabOrder
//   TSpinEdit           TSpinEdit           ValueType (vtInteger, vtFloat), Decimals, MinValue,
//                                           MaxValue, FloatMinValue, FloatMaxValue, Increment,
//                                           PageIncrement, Value, Color, Hint, ShowHint, TabOrder
//   TCheckBox           TCheckBox           Caption, Checked, TabOrder
//   TGradientToolPanel  TGradientToolPanel  Caption, the gradient and caption-bar colours,
//                                           TabOrder; holds controls
//   TRotatedLabel       TRotatedLabel       Caption, Angle, Font (Font.Color is the text colour)
//   TSLWaterfall        TSLWaterfall        every published setting of the display (its pin
//                                           InputPin belongs to the control, so stored
//                                           connections name it "<control>.InputPin")
//
// Every kind also has Left, Top, Width and Height (TControlComponent). Properties are stored in
// the order listed, so ranges are in place before a value is brought into them.
//
// Threads and failure: as TControlComponent.

#include <QLabel>

#include "app/CheckBox.h"
#include "app/ControlComponent.h"
#include "app/DropDownList.h"
#include "app/GradientToolPanel.h"
#include "app/RotatedLabel.h"
#include "app/SpinEdit.h"
#include "display/Waterfall.h"

namespace tardivox {

class TClassRegistry;

// A control whose widget is of type `W`.
template <class W>
class TWidgetControl : public TControlComponent {
 public:
  W& Control() const { return *static_cast<W*>(Widget()); }

 protected:
  TWidgetControl(TComponent* owner, W* widget) : TControlComponent(owner, widget) {}
  TWidgetControl(TComponent* owner, const std::function<QWidget*(TComponent& self)>& make)
      : TControlComponent(owner, make) {}
};

class TLabelControl : public TWidgetControl<QLabel> {
 public:
  explicit TLabelControl(TComponent* owner);
};

class TDropDownListControl : public TWidgetControl<TDropDownList> {
 public:
  explicit TDropDownListControl(TComponent* owner);
};

class TSpinEditControl : public TWidgetControl<TSpinEdit> {
 public:
  explicit TSpinEditControl(TComponent* owner);
};

class TCheckBoxControl : public TWidgetControl<TCheckBox> {
 public:
  explicit TCheckBoxControl(TComponent* owner);
};

class TGradientToolPanelControl : public TWidgetControl<TGradientToolPanel>,
                                  public TWidgetContainer {
 public:
  explicit TGradientToolPanelControl(TComponent* owner);
  QWidget* ContainerWidget() const override { return Widget(); }
};

class TRotatedLabelControl : public TWidgetControl<TRotatedLabel> {
 public:
  explicit TRotatedLabelControl(TComponent* owner);

 protected:
  void FontChanged() override;
};

class TSLWaterfallControl : public TWidgetControl<TSLWaterfall> {
 public:
  explicit TSLWaterfallControl(TComponent* owner);
};

// Registers the control kinds above under their layout class names.
void RegisterControlClasses(TClassRegistry& registry);

}  // namespace tardivox
