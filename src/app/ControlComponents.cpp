#include "app/ControlComponents.h"

#include <charconv>
#include <cmath>

#include "core/Exceptions.h"
#include "model/ClassRegistry.h"

namespace tardivox {

namespace {

// A stored number is a double; the spin box keeps extended precision. Going through the
// shortest decimal text that reads back as the double gives the long double the text means
// (0.01 becomes 0.01L, not the double nearest 0.01 widened), so a value written as 0.01 in a
// layout equals the literal 0.01L in code.
long double ExtendedFromStored(const TPropertyValue& value) {
  const double d = TPersistent::AsFloat(value);
  if (!std::isfinite(d)) return d;
  char text[64];
  const auto written = std::to_chars(text, text + sizeof text, d);
  long double extended = d;
  const auto read = std::from_chars(text, written.ptr, extended);
  return read.ec == std::errc() ? extended : static_cast<long double>(d);
}

TPropertyValue StoredFromExtended(long double value) {
  return TPropertyValue(static_cast<double>(value));
}

}  // namespace

TLabelControl::TLabelControl(TComponent* owner)
    : TWidgetControl(owner, new QLabel(HostWidget(owner))) {
  QLabel& label = Control();
  label.setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label.setAutoFillBackground(true);  // opaque until stored transparent
  PublishText(
      "Caption", [&label] { return label.text(); },
      [&label](const QString& text) { label.setText(text); });
  PublishValue(
      "Transparent", [&label] { return TPropertyValue(!label.autoFillBackground()); },
      [&label](const TPropertyValue& v) { label.setAutoFillBackground(!AsBool(v)); }, false);
  PublishFont();
}

TDropDownListControl::TDropDownListControl(TComponent* owner)
    : TWidgetControl(owner, new TDropDownList(HostWidget(owner))) {
  TDropDownList& list = Control();
  PublishStrings(
      "Items",
      [&list] {
        std::vector<std::string> items;
        for (int i = 0; i < list.Count(); ++i) items.push_back(list.Item(i).toStdString());
        return items;
      },
      [&list](const std::vector<std::string>& items) {
        list.Clear();
        for (const std::string& item : items) list.AddItem(QString::fromStdString(item));
      });
  PublishValue(
      "ItemIndex", [&list] { return TPropertyValue(int64_t{list.ItemIndex()}); },
      [&list](const TPropertyValue& v) {
        const int64_t index = AsInteger(v);
        list.SetItemIndex(index >= 0 && index < list.Count() ? static_cast<int>(index) : -1);
      },
      int64_t{-1});
  PublishControlColor();
  PublishFont();
  PublishHint();
  PublishTabOrder();
}

TSpinEditControl::TSpinEditControl(TComponent* owner)
    : TWidgetControl(owner, new TSpinEdit(HostWidget(owner))) {
  TSpinEdit& box = Control();
  PublishIdentifier(
      "ValueType",
      [&box] {
        return std::string(box.ValueType() == TSpinEdit::TValueType::Float ? "vtFloat"
                                                                           : "vtInteger");
      },
      [&box](const std::string& v) {
        if (v != "vtInteger" && v != "vtFloat") throw Exception("Unknown value type " + v);
        box.SetValueType(v == "vtFloat" ? TSpinEdit::TValueType::Float
                                        : TSpinEdit::TValueType::Integer);
      },
      "vtInteger");
  PublishValue(
      "Decimals", [&box] { return TPropertyValue(int64_t{box.Decimals()}); },
      [&box](const TPropertyValue& v) {
        box.SetDecimals(static_cast<int>(std::clamp<int64_t>(AsInteger(v), 0, 15)));
      },
      int64_t{0});
  auto int32Property = [this](const char* name, int32_t (TSpinEdit::*get)() const,
                              void (TSpinEdit::*set)(int32_t)) {
    TSpinEdit* spin = &Control();
    PublishValue(
        name, [spin, get] { return TPropertyValue(int64_t{(spin->*get)()}); },
        [spin, set](const TPropertyValue& v) {
          (spin->*set)(
              static_cast<int32_t>(std::clamp<int64_t>(AsInteger(v), INT32_MIN, INT32_MAX)));
        },
        int64_t{0});
  };
  auto extendedProperty = [this](const char* name, long double (TSpinEdit::*get)() const,
                                 void (TSpinEdit::*set)(long double), double defaultValue) {
    TSpinEdit* spin = &Control();
    PublishValue(
        name, [spin, get] { return StoredFromExtended((spin->*get)()); },
        [spin, set](const TPropertyValue& v) { (spin->*set)(ExtendedFromStored(v)); },
        defaultValue);
  };
  int32Property("MinValue", &TSpinEdit::MinValue, &TSpinEdit::SetMinValue);
  int32Property("MaxValue", &TSpinEdit::MaxValue, &TSpinEdit::SetMaxValue);
  extendedProperty("FloatMinValue", &TSpinEdit::FloatMinValue, &TSpinEdit::SetFloatMinValue, 0);
  extendedProperty("FloatMaxValue", &TSpinEdit::FloatMaxValue, &TSpinEdit::SetFloatMaxValue, 0);
  extendedProperty("Increment", &TSpinEdit::Increment, &TSpinEdit::SetIncrement, 1);
  extendedProperty("PageIncrement", &TSpinEdit::PageIncrement, &TSpinEdit::SetPageIncrement, 10);
  // The value last: it is brought into the ranges set above.
  PublishValue(
      "Value",
      [&box] {
        return box.ValueType() == TSpinEdit::TValueType::Float
                   ? StoredFromExtended(box.FloatValue())
                   : TPropertyValue(static_cast<double>(box.Value()));
      },
      [&box](const TPropertyValue& v) { box.SetFloatValue(ExtendedFromStored(v)); }, 0.0);
  PublishControlColor();
  PublishHint();
  PublishTabOrder();
}

TCheckBoxControl::TCheckBoxControl(TComponent* owner)
    : TWidgetControl(owner, new TCheckBox(QString(), HostWidget(owner))) {
  TCheckBox& box = Control();
  PublishText(
      "Caption", [&box] { return box.text(); }, [&box](const QString& text) { box.setText(text); });
  PublishValue(
      "Checked", [&box] { return TPropertyValue(box.Checked()); },
      [&box](const TPropertyValue& v) { box.SetChecked(AsBool(v)); }, false);
  PublishTabOrder();
}

TGradientToolPanelControl::TGradientToolPanelControl(TComponent* owner)
    : TWidgetControl(owner, new TGradientToolPanel(QString(), HostWidget(owner))) {
  TGradientToolPanel& panel = Control();
  PublishText(
      "Caption", [&panel] { return panel.Caption(); },
      [&panel](const QString& text) { panel.SetCaption(text); });
  PublishColor(
      "GradientTop", [&panel] { return panel.GradientTop(); },
      [&panel](const QColor& c) { panel.SetGradient(c, panel.GradientBottom()); },
      panel.GradientTop());
  PublishColor(
      "GradientBottom", [&panel] { return panel.GradientBottom(); },
      [&panel](const QColor& c) { panel.SetGradient(panel.GradientTop(), c); },
      panel.GradientBottom());
  // The caption bar's colours, without and with the focus.
  using TColors = TGradientToolPanel::TCaptionColors;
  struct TCaptionColor {
    const char* name;
    QColor TColors::*member;
  };
  const TCaptionColor parts[] = {
      {"Top", &TColors::top}, {"Bottom", &TColors::bottom}, {"TextColor", &TColors::text}};
  for (const bool focused : {false, true}) {
    for (const TCaptionColor& part : parts) {
      const auto colors = [&panel, focused]() -> const TColors& {
        return focused ? panel.FocusedCaptionColors() : panel.CaptionColors();
      };
      PublishColor(
          std::string(focused ? "FocusedCaption" : "Caption") + part.name,
          [colors, member = part.member] { return colors().*member; },
          [&panel, colors, focused, member = part.member](const QColor& c) {
            TColors changed = colors();
            changed.*member = c;
            if (focused) {
              panel.SetFocusedCaptionColors(changed);
            } else {
              panel.SetCaptionColors(changed);
            }
          },
          colors().*part.member);
    }
  }
  PublishTabOrder();
}

TRotatedLabelControl::TRotatedLabelControl(TComponent* owner)
    : TWidgetControl(owner, new TRotatedLabel(QString(), HostWidget(owner))) {
  TRotatedLabel& label = Control();
  PublishText(
      "Caption", [&label] { return label.Text(); },
      [&label](const QString& text) { label.SetText(text); });
  PublishValue(
      "Angle", [&label] { return TPropertyValue(int64_t{label.AngleDegrees()}); },
      [&label](const TPropertyValue& v) {
        label.SetAngleDegrees(static_cast<int>(AsInteger(v) % 360));
      },
      int64_t{label.AngleDegrees()});
  PublishFont();
}

void TRotatedLabelControl::FontChanged() {
  TControlComponent::FontChanged();
  const QColor color = Font().Color();
  Control().SetTextColor(color.isValid() ? color : QColor(Qt::black));
}

TSLWaterfallControl::TSLWaterfallControl(TComponent* owner)
    : TWidgetControl(owner, [owner](TComponent& self) -> QWidget* {
        return new TSLWaterfall(&self, HostWidget(owner));
      }) {
  for (const TPublishedProperty& property : Control().PublishedProperties()) {
    PublishForwarded(property);
  }
  PublishTabOrder();
}

void RegisterControlClasses(TClassRegistry& registry) {
  registry.Register<TLabelControl>("TLabel");
  registry.Register<TDropDownListControl>("TDropDownList");
  registry.Register<TSpinEditControl>("TSpinEdit");
  registry.Register<TCheckBoxControl>("TCheckBox");
  registry.Register<TGradientToolPanelControl>("TGradientToolPanel");
  registry.Register<TRotatedLabelControl>("TRotatedLabel");
  registry.Register<TSLWaterfallControl>("TSLWaterfall");
}

}  // namespace tardivox
