#include "app/WindowComponent.h"

#include <algorithm>
#include <functional>

#include "core/Exceptions.h"

namespace tardivox {

namespace {

constexpr int kMaxClientSize = 16384;

bool Contains(const std::vector<std::string>& names, const char* name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

TWindowComponent::TWindowComponent(QWidget* window)
    : TComponent(nullptr),
      ownWindow_(window ? nullptr : std::make_unique<QWidget>()),
      window_(window ? window : ownWindow_.get()),
      clientWidth_(window_->width()),
      clientHeight_(window_->height()),
      font_([this] { font_.ApplyTo(*window_); }) {
  QPalette palette = window_->palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::Button));
  window_->setPalette(palette);
  window_->setAutoFillBackground(true);

  // Integer settings brought into [min, max] before they are applied.
  auto publishInt = [this](const char* name, std::function<int()> get, std::function<void(int)> set,
                           int min, int max) {
    PublishValue(
        name, [get] { return TPropertyValue(int64_t{get()}); },
        [set, min, max](const TPropertyValue& v) {
          set(static_cast<int>(std::clamp<int64_t>(AsInteger(v), min, max)));
        },
        int64_t{0});
  };
  publishInt(
      "Left", [this] { return window_->x(); },
      [this](int left) { window_->move(left, window_->y()); }, -kMaxClientSize, kMaxClientSize);
  publishInt(
      "Top", [this] { return window_->y(); }, [this](int top) { window_->move(window_->x(), top); },
      -kMaxClientSize, kMaxClientSize);
  publishInt(
      "ClientWidth", [this] { return clientWidth_; },
      [this](int width) {
        clientWidth_ = width;
        ApplyFrame();
      },
      0, kMaxClientSize);
  publishInt(
      "ClientHeight", [this] { return clientHeight_; },
      [this](int height) {
        clientHeight_ = height;
        ApplyFrame();
      },
      0, kMaxClientSize);
  PublishValue(
      "Caption", [this] { return TPropertyValue(window_->windowTitle().toStdString()); },
      [this](const TPropertyValue& v) {
        window_->setWindowTitle(QString::fromStdString(AsString(v)));
      },
      std::string());
  PublishIdentifier(
      "BorderStyle", [this] { return borderStyle_; },
      [this](const std::string& v) {
        if (v != "bsSizeable" && v != "bsSingle") throw Exception("Unknown border style " + v);
        borderStyle_ = v;
        ApplyFrame();
      },
      "bsSizeable");
  PublishSet(
      "BorderIcons", [this] { return borderIcons_; },
      [this](const std::string& v) {
        borderIcons_ = v;
        ApplyFrame();
      },
      "biSystemMenu,biMinimize,biMaximize", {"biSystemMenu", "biMinimize", "biMaximize"},
      "border icon");
  PublishObject("Font", &font_);
  PublishIdentifier(
      "ActiveControl", [this] { return activeControl_; },
      [this](const std::string& v) { activeControl_ = v; }, std::string());
}

TWindowComponent::~TWindowComponent() = default;

void TWindowComponent::SetName(std::string name) {
  const QString objectName = QString::fromStdString(name);
  TComponent::SetName(std::move(name));
  window_->setObjectName(objectName);
}

void TWindowComponent::ApplyFrame() {
  const bool fixed = borderStyle_ == "bsSingle";
  if (fixed) {
    window_->setFixedSize(clientWidth_, clientHeight_);
  } else {
    window_->setMinimumSize(0, 0);
    window_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    window_->resize(clientWidth_, clientHeight_);
  }
  // Frame buttons belong to top-level windows only.
  if (!window_->isWindow()) return;
  const std::vector<std::string> icons = SplitSet(borderIcons_);
  Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (Contains(icons, "biSystemMenu")) {
    flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  }
  if (Contains(icons, "biMinimize")) flags |= Qt::WindowMinimizeButtonHint;
  if (Contains(icons, "biMaximize") && !fixed) flags |= Qt::WindowMaximizeButtonHint;
  if (flags == window_->windowFlags()) return;
  const bool visible = window_->isVisible();
  window_->setWindowFlags(flags);
  if (visible) window_->show();  // changing the flags hides a window
}

void TWindowComponent::Loaded() {
  TComponent::Loaded();
  const std::vector<QWidget*> chain = TabChain(*this);
  for (size_t i = 0; i + 1 < chain.size(); ++i) QWidget::setTabOrder(chain[i], chain[i + 1]);
  if (!activeControl_.empty()) {
    ControlWidget<QWidget>(activeControl_.c_str())->setFocus(Qt::OtherFocusReason);
  }
}

void TWindowComponent::ThrowNoControl(const char* name) {
  throw Exception(std::string("The window has no control ") + name);
}

}  // namespace tardivox
