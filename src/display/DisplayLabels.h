#pragma once
// Fonts and optional labels of the display views: small persistent settings objects that tell
// their owner after every change (the owner relayouts and repaints its display).
//
// `TSLDisplayFont`: `Name` (default Arial), `Height` (character height in pixels, default 11),
// `Bold`, `Color` (colour form, default white). Labels: `TSLBasicOptionalLabel` (`Font`,
// `Visible` True), `TSLOptionalLabel` (+ `Text`); `TSLDisplayLabel`, `TSLMeasurementLabel` and
// `TSLLevelDisplayLabel` are optional labels with their own defaults.
//
// Ownership: owned by the view that publishes them; `changed` is borrowed from it.
// Threads: the window's thread. Failure: none; a height below 1 is brought to 1.

#include <QFont>
#include <QFontMetrics>
#include <QString>

#include <functional>
#include <optional>
#include <string>

#include "display/DisplayColor.h"
#include "model/Persistent.h"

namespace tardivox {

class TSLDisplayFont : public TPersistent {
 public:
  explicit TSLDisplayFont(std::function<void()> changed, int heightPx = 11, bool bold = false,
                          TColor color = clWhite);

  const std::string& Name() const { return name_; }
  void SetName(std::string name);
  int Height() const { return heightPx_; }
  void SetHeight(int heightPx);
  bool Bold() const { return bold_; }
  void SetBold(bool bold);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  void Assign(const TSLDisplayFont& source);

  // The font and its metrics are built once per change of the settings: views measure texts
  // on every layout and paint.
  const QFont& ToQFont() const;
  const QFontMetrics& Metrics() const;
  // Height of the text "Xg" in this font, the measure views size their bands with.
  int TextHeight() const;
  int TextWidth(const QString& text) const { return Metrics().horizontalAdvance(text); }

 private:
  void Changed();

  std::string name_ = "Arial";
  int heightPx_;
  bool bold_;
  TColor color_;
  std::function<void()> changed_;
  struct Cache {
    QFont font;
    QFontMetrics metrics{QFont()};
    int textHeight = 0;
  };
  mutable std::optional<Cache> cache_;
};

class TSLBasicOptionalLabel : public TPersistent {
 public:
  explicit TSLBasicOptionalLabel(std::function<void()> changed, bool bold = false,
                                 int heightPx = 11);

  TSLDisplayFont& Font() { return font_; }
  const TSLDisplayFont& Font() const { return font_; }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);

 protected:
  void Changed() {
    if (changed_) changed_();
  }

 private:
  std::function<void()> changed_;
  TSLDisplayFont font_;
  bool visible_ = true;
};

class TSLOptionalLabel : public TSLBasicOptionalLabel {
 public:
  explicit TSLOptionalLabel(std::function<void()> changed, std::string text = {}, bool bold = false,
                            int heightPx = 11);

  const std::string& Text() const { return text_; }
  void SetText(std::string text);

 private:
  std::string text_;
};

class TSLDisplayLabel : public TSLOptionalLabel {
 public:
  using TSLOptionalLabel::TSLOptionalLabel;
};

class TSLMeasurementLabel : public TSLOptionalLabel {
 public:
  using TSLOptionalLabel::TSLOptionalLabel;
};

// The level view's rotated caption: "Levels", bold, by default.
class TSLLevelDisplayLabel : public TSLOptionalLabel {
 public:
  explicit TSLLevelDisplayLabel(std::function<void()> changed)
      : TSLOptionalLabel(std::move(changed), "Levels", true, 13) {}
};

}  // namespace tardivox
