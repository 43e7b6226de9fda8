#include "app/ControlComponent.h"

#include <algorithm>
#include <limits>

#include "core/Exceptions.h"

namespace tardivox {

namespace {

// Geometry and counts come from text: keep them within what Qt's int geometry can hold.
int ToInt(const TPropertyValue& value, int min, int max) {
  return static_cast<int>(std::clamp<int64_t>(TPersistent::AsInteger(value), min, max));
}

constexpr int kMaxCoordinate = 32767;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

struct TFontStyle {
  const char* name;
  void (QFont::*set)(bool);
};
const TFontStyle kFontStyles[] = {{"fsBold", &QFont::setBold},
                                  {"fsItalic", &QFont::setItalic},
                                  {"fsUnderline", &QFont::setUnderline},
                                  {"fsStrikeOut", &QFont::setStrikeOut}};

}  // namespace

QColor ColorFromText(const std::string& text) {
  if (text.empty()) return {};
  int digits[6] = {};
  bool valid = text.size() == 7 && text[0] == '#';
  for (size_t i = 0; valid && i < 6; ++i) valid = (digits[i] = HexDigit(text[i + 1])) >= 0;
  if (!valid) throw Exception("Invalid colour '" + text + "': #RRGGBB expected");
  return QColor(digits[0] * 16 + digits[1], digits[2] * 16 + digits[3], digits[4] * 16 + digits[5]);
}

std::string ColorToText(const QColor& color) {
  if (!color.isValid()) return {};
  return color.name(QColor::HexRgb).toUpper().toStdString();
}

// ---------------------------------------------------------------------------------------------

TFontProperties::TFontProperties(std::function<void()> changed) : changed_(std::move(changed)) {
  auto notify = [this] {
    if (changed_) changed_();
  };
  PublishValue(
      "Name", [this] { return TPropertyValue(name_); },
      [this, notify](const TPropertyValue& v) {
        name_ = AsString(v);
        notify();
      },
      std::string());
  PublishValue(
      "Height", [this] { return TPropertyValue(height_); },
      [this, notify](const TPropertyValue& v) {
        height_ = std::clamp<int64_t>(AsInteger(v), -1000, 1000);
        notify();
      },
      int64_t{0});
  PublishSet(
      "Style", [this] { return style_; },
      [this, notify](const std::string& v) {
        style_ = v;
        notify();
      },
      std::string(), {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"}, "font style");
  PublishValue(
      "Color", [this] { return TPropertyValue(color_); },
      [this, notify](const TPropertyValue& v) {
        ColorFromText(AsString(v));  // refuses what is not a colour before anything changes
        color_ = AsString(v);
        notify();
      },
      std::string());
}

void TFontProperties::ApplyTo(QWidget& widget) const {
  // A fresh font resolves only the attributes set here; Qt fills in the rest from the parent.
  QFont font;
  if (!name_.empty()) {
    font.setFamilies({QString::fromStdString(name_)});
    font.setStyleHint(QFont::SansSerif);
  }
  if (height_ != 0) font.setPixelSize(static_cast<int>(height_ < 0 ? -height_ : height_));
  for (const std::string& name : SplitSet(style_)) {
    for (const TFontStyle& s : kFontStyles) {
      if (name == s.name) (font.*s.set)(true);
    }
  }
  widget.setFont(font);
  if (!color_.empty()) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::WindowText, Color());
    palette.setColor(QPalette::Text, Color());
    widget.setPalette(palette);
  }
}

// ---------------------------------------------------------------------------------------------

TControlComponent::TControlComponent(TComponent* owner, QWidget* widget)
    : TControlComponent(owner, [widget](TComponent&) { return widget; }) {}

TControlComponent::TControlComponent(TComponent* owner,
                                     const std::function<QWidget*(TComponent& self)>& make)
    : TComponent(owner), font_([this] { FontChanged(); }) {
  widget_ = make(*this);
  // A new control sits at the origin with no size until its layout places it.
  widget_->setGeometry(0, 0, 0, 0);
  PublishValue(
      "Left", [this] { return TPropertyValue(int64_t{widget_->x()}); },
      [this](const TPropertyValue& v) {
        widget_->move(ToInt(v, -kMaxCoordinate, kMaxCoordinate), widget_->y());
      },
      int64_t{0});
  PublishValue(
      "Top", [this] { return TPropertyValue(int64_t{widget_->y()}); },
      [this](const TPropertyValue& v) {
        widget_->move(widget_->x(), ToInt(v, -kMaxCoordinate, kMaxCoordinate));
      },
      int64_t{0});
  PublishValue(
      "Width", [this] { return TPropertyValue(int64_t{widget_->width()}); },
      [this](const TPropertyValue& v) {
        widget_->resize(ToInt(v, 0, kMaxCoordinate), widget_->height());
      },
      int64_t{0});
  PublishValue(
      "Height", [this] { return TPropertyValue(int64_t{widget_->height()}); },
      [this](const TPropertyValue& v) {
        widget_->resize(widget_->width(), ToInt(v, 0, kMaxCoordinate));
      },
      int64_t{0});
}

TControlComponent::~TControlComponent() {
  delete widget_.data();
}

QWidget* TControlComponent::HostWidget(TComponent* owner) {
  auto* container = dynamic_cast<TWidgetContainer*>(owner);
  return container ? container->ContainerWidget() : nullptr;
}

void TControlComponent::SetName(std::string name) {
  const QString objectName = QString::fromStdString(name);
  TComponent::SetName(std::move(name));
  widget_->setObjectName(objectName);
}

void TControlComponent::SetParentComponent(TComponent* parent) {
  auto* container = dynamic_cast<TWidgetContainer*>(parent);
  QWidget* target = container ? container->ContainerWidget() : nullptr;
  if (!target) {
    throw Exception(Name() + " cannot be placed in " +
                    (parent ? parent->Name() : std::string("nil")));
  }
  if (target == widget_ || widget_->isAncestorOf(target)) {
    throw Exception(Name() + " cannot be placed in itself");
  }
  // Reparenting hides a widget; one that was not hidden on purpose shows with its new parent.
  const bool hiddenOnPurpose =
      widget_->isHidden() && widget_->testAttribute(Qt::WA_WState_ExplicitShowHide);
  const QRect geometry = widget_->geometry();
  widget_->setParent(target);
  widget_->setGeometry(geometry);
  if (!hiddenOnPurpose && target->isVisible()) widget_->show();
  parent_ = parent;
}

void TControlComponent::PublishFont() {
  PublishObject("Font", &font_);
}

void TControlComponent::PublishHint() {
  PublishValue(
      "Hint", [this] { return TPropertyValue(hint_); },
      [this](const TPropertyValue& v) {
        hint_ = AsString(v);
        ApplyHint();
      },
      std::string());
  PublishValue(
      "ShowHint", [this] { return TPropertyValue(showHint_); },
      [this](const TPropertyValue& v) {
        showHint_ = AsBool(v);
        ApplyHint();
      },
      false);
}

void TControlComponent::PublishTabOrder() {
  PublishValue(
      "TabOrder", [this] { return TPropertyValue(int64_t{tabOrder_}); },
      [this](const TPropertyValue& v) { tabOrder_ = ToInt(v, -1, 32767); }, int64_t{-1});
}

void TControlComponent::PublishControlColor() {
  PublishValue(
      "Color", [this] { return TPropertyValue(color_); },
      [this](const TPropertyValue& v) {
        const QColor color = ColorFromText(AsString(v));
        color_ = AsString(v);
        if (!color.isValid()) return;
        QPalette palette = widget_->palette();
        palette.setColor(QPalette::Base, color);
        palette.setColor(QPalette::Button, color);
        widget_->setPalette(palette);
      },
      std::string());
}

void TControlComponent::PublishText(std::string name, std::function<QString()> get,
                                    std::function<void(const QString&)> set) {
  PublishValue(
      std::move(name), [get] { return TPropertyValue(get().toStdString()); },
      [set](const TPropertyValue& v) { set(QString::fromStdString(AsString(v))); }, std::string());
}

void TControlComponent::PublishColor(std::string name, std::function<QColor()> get,
                                     std::function<void(const QColor&)> set,
                                     const QColor& defaultColor) {
  PublishValue(
      std::move(name), [get] { return TPropertyValue(ColorToText(get())); },
      [set](const TPropertyValue& v) {
        const QColor color = ColorFromText(AsString(v));
        if (!color.isValid()) throw Exception("A colour cannot be empty");
        set(color);
      },
      ColorToText(defaultColor));
}

void TControlComponent::FontChanged() {
  font_.ApplyTo(*widget_);
}

void TControlComponent::ApplyHint() {
  widget_->setToolTip(showHint_ ? QString::fromStdString(hint_) : QString());
}

// ---------------------------------------------------------------------------------------------

std::vector<QWidget*> TabChain(const TComponent& root) {
  std::vector<TControlComponent*> controls;
  for (int i = 0; i < root.ComponentCount(); ++i) {
    auto* control = dynamic_cast<TControlComponent*>(root.Components(i));
    if (control && control->Widget() && control->TabOrder() >= 0) controls.push_back(control);
  }
  std::vector<QWidget*> chain;
  std::vector<const TComponent*> visiting;  // parents on the current path, against circles
  std::function<void(const TComponent*)> visit = [&](const TComponent* container) {
    if (std::find(visiting.begin(), visiting.end(), container) != visiting.end()) return;
    visiting.push_back(container);
    std::vector<TControlComponent*> inside;
    for (TControlComponent* control : controls) {
      const TComponent* parent = control->ParentComponent();
      if (parent == container || (container == &root && parent == nullptr)) {
        inside.push_back(control);
      }
    }
    std::stable_sort(inside.begin(), inside.end(),
                     [](const TControlComponent* a, const TControlComponent* b) {
                       return a->TabOrder() < b->TabOrder();
                     });
    for (TControlComponent* control : inside) {
      if (control->Widget()->focusPolicy() & Qt::TabFocus) chain.push_back(control->Widget());
      visit(control);
    }
    visiting.pop_back();
  };
  visit(&root);
  return chain;
}

}  // namespace tardivox
