#pragma once
// The marks drawn over a waterfall's history: marker groups with their markers (each placed at
// a line, `Position.X`, and a sample, `Position.Y`), the highlighting of markers, and the
// hit-point settings with the point label's pattern language.
//
// `TSLWaterfallMarkerGroups`: a new group takes, as its pen and brush colour, the first of
// white, silver, lime, blue, yellow, aqua, cream, olive, purple, fuchsia, aqua, teal, navy, red
// that the fewest other groups use. `TSLWaterfallHighlighting`: `Markers`
// (`TSLDisplayItemHighlighting`: `HiglightLegendButton`, `HiglightFromLegend`,
// `HiglightFromMouse`, all True, `Color` lime) and `MouseHitPoint` (`TSLChannelMouseHitPoint`:
// `Enabled` True, `Color` red, `UseChannelColor` True, `PointLabel` hidden).
//
// Ownership: collections own their items; `changed` callbacks are the display's.
// Threads: the window's thread. Failure: FormatPointLabel never fails; unknown placeholders
// vanish.

#include <functional>
#include <string>
#include <vector>

#include "display/DisplayMarkers.h"

namespace tardivox {

class TSLWaterfallMarkerPosition : public TPersistent {
 public:
  TSLWaterfallMarkerPosition();
  int X() const { return x_; }
  void SetX(int x) { x_ = x; }
  double Y() const { return y_; }
  void SetY(double y) { y_ = y; }

 private:
  int x_ = 0;
  double y_ = 0.0;
};

class TSLWaterfallMarker : public TSLDisplayMarker {
 public:
  TSLWaterfallMarker();
  const char* ClassName() const override { return "TSLWaterfallMarker"; }
  void Assign(const TOWExtCollectionItem& source) override;
  TSLWaterfallMarkerPosition& Position() { return position_; }
  const TSLWaterfallMarkerPosition& Position() const { return position_; }

 private:
  TSLWaterfallMarkerPosition position_;
};

class TSLWaterfallMarkers : public TSLNamingCollection<TSLWaterfallMarker> {
 public:
  explicit TSLWaterfallMarkers(TPersistent* owner) : TSLNamingCollection(owner, "Marker") {}
};

class TSLWaterfallMarkerGroup : public TSLDisplayMarkerGroup {
 public:
  TSLWaterfallMarkerGroup();
  const char* ClassName() const override { return "TSLWaterfallMarkerGroup"; }
  void Assign(const TOWExtCollectionItem& source) override;
  TSLWaterfallMarkers& Markers() { return markers_; }
  const TSLWaterfallMarkers& Markers() const { return markers_; }

 private:
  TSLWaterfallMarkers markers_;
};

class TSLWaterfallMarkerGroups : public TSLNamingCollection<TSLWaterfallMarkerGroup> {
 public:
  TSLWaterfallMarkerGroups(TPersistent* owner, std::function<void()> changed)
      : TSLNamingCollection(owner, "MarkerGroup"), changed_(std::move(changed)) {}

  // The colours new groups take, in order of preference.
  static const std::vector<TColor>& DefaultGroupColors();
  // The colour a new group gets beside the groups present (but `except`).
  TColor NextGroupColor(const TOWExtCollectionItem* except = nullptr) const;

 protected:
  void ItemAdded(TOWExtCollectionItem& item) override;

 private:
  std::function<void()> changed_;
};

class TSLDisplayItemHighlighting : public TPersistent {
 public:
  explicit TSLDisplayItemHighlighting(std::function<void()> changed);
  void Assign(const TSLDisplayItemHighlighting& source);

  bool HiglightLegendButton() const { return legendButton_; }
  bool HiglightFromLegend() const { return fromLegend_; }
  bool HiglightFromMouse() const { return fromMouse_; }
  TColor Color() const { return color_; }
  void SetColor(TColor color);

 private:
  void Changed() {
    if (changed_) changed_();
  }
  std::function<void()> changed_;
  bool legendButton_ = true;
  bool fromLegend_ = true;
  bool fromMouse_ = true;
  TColor color_ = clLime;
};

class TSLChannelMouseHitPoint : public TPersistent {
 public:
  explicit TSLChannelMouseHitPoint(std::function<void()> changed);
  void Assign(const TSLChannelMouseHitPoint& source);

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  bool UseChannelColor() const { return useChannelColor_; }
  void SetUseChannelColor(bool use);
  TSLMeasurementLabel& PointLabel() { return pointLabel_; }
  const TSLMeasurementLabel& PointLabel() const { return pointLabel_; }

 private:
  void Changed() {
    if (changed_) changed_();
  }
  std::function<void()> changed_;
  bool enabled_ = true;
  TColor color_ = clRed;
  bool useChannelColor_ = true;
  TSLMeasurementLabel pointLabel_;
};

class TSLWaterfallHighlighting : public TPersistent {
 public:
  explicit TSLWaterfallHighlighting(std::function<void()> changed);
  void Assign(const TSLWaterfallHighlighting& source);

  TSLDisplayItemHighlighting& Markers() { return markers_; }
  TSLChannelMouseHitPoint& MouseHitPoint() { return mouseHitPoint_; }
  const TSLChannelMouseHitPoint& MouseHitPoint() const { return mouseHitPoint_; }

 private:
  TSLDisplayItemHighlighting markers_;
  TSLChannelMouseHitPoint mouseHitPoint_;
};

// The default point-label pattern.
inline constexpr const char* kDefaultPointLabel = "%X : %Y : %Z";

// Expands a point-label pattern (the default one when `pattern` is empty): "%X", "%Y" and "%Z"
// (any letter case) become the three texts, "%D" the default pattern expanded in place, "%%"
// a percent sign; "%" with any other character is dropped with it, and a "%" at the very end
// ends the text.
std::string FormatPointLabel(const std::string& pattern, const std::string& x, const std::string& y,
                             const std::string& z);

}  // namespace tardivox
