#include "display/WaterfallMarkers.h"

#include <algorithm>
#include <cctype>

#include "display/SetIfChanged.h"

namespace tardivox {

TSLWaterfallMarkerPosition::TSLWaterfallMarkerPosition() {
  PublishValue(
      "X", [this] { return TPropertyValue(static_cast<int64_t>(x_)); },
      [this](const TPropertyValue& v) {
        x_ = static_cast<int>(std::clamp<int64_t>(AsInteger(v), INT32_MIN, INT32_MAX));
      },
      static_cast<int64_t>(0));
  PublishValue(
      "Y", [this] { return TPropertyValue(y_); },
      [this](const TPropertyValue& v) { y_ = AsFloat(v); }, 0.0);
}

TSLWaterfallMarker::TSLWaterfallMarker() {
  PublishObject("Position", &position_);
}

void TSLWaterfallMarker::Assign(const TOWExtCollectionItem& source) {
  const auto* marker = dynamic_cast<const TSLWaterfallMarker*>(&source);
  if (!marker) {
    TSLDisplayMarker::Assign(source);
    return;
  }
  SetName(marker->Name());
  SetVisible(marker->Visible());
  position_.SetX(marker->position_.X());
  position_.SetY(marker->position_.Y());
}

TSLWaterfallMarkerGroup::TSLWaterfallMarkerGroup() : markers_(this) {
  PublishObject("Markers", &markers_);
}

void TSLWaterfallMarkerGroup::Assign(const TOWExtCollectionItem& source) {
  const auto* group = dynamic_cast<const TSLWaterfallMarkerGroup*>(&source);
  if (!group) {
    TSLDisplayMarkerGroup::Assign(source);
    return;
  }
  SetName(group->Name());
  SetVisible(group->Visible());
  SetPenColor(group->PenColor());
  SetPenWidth(group->PenWidth());
  SetBrushColor(group->BrushColor());
  SetBrushSolid(group->BrushSolid());
  SetShape(group->Shape());
  SetSize(group->Size());
  auto& labels = const_cast<TSLWaterfallMarkerGroup*>(group)->Labels();
  Labels().SetText(labels.Text());
  Labels().SetVisible(labels.Visible());
  Labels().Font().Assign(labels.Font());
  markers_.Assign(group->markers_);
}

const std::vector<TColor>& TSLWaterfallMarkerGroups::DefaultGroupColors() {
  // white, silver, lime, blue, yellow, aqua, cream, olive, purple, fuchsia, aqua, teal, navy, red
  static const std::vector<TColor> colors = {0xFFFFFF, 0xC0C0C0, 0x00FF00, 0xFF0000, 0x00FFFF,
                                             0xFFFF00, 0xF0FBFF, 0x008080, 0x800080, 0xFF00FF,
                                             0xFFFF00, 0x808000, 0x800000, 0x0000FF};
  return colors;
}

TColor TSLWaterfallMarkerGroups::NextGroupColor(const TOWExtCollectionItem* except) const {
  const auto& colors = DefaultGroupColors();
  TColor best = colors.front();
  int fewest = INT32_MAX;
  for (TColor color : colors) {
    int uses = 0;
    for (int i = 0; i < Count(); ++i) {
      if (&Items(i) != except && Items(i).PenColor() == color) ++uses;
    }
    if (uses < fewest) {
      fewest = uses;
      best = color;
    }
  }
  return best;
}

void TSLWaterfallMarkerGroups::ItemAdded(TOWExtCollectionItem& item) {
  TSLNamingCollection::ItemAdded(item);
  auto& group = static_cast<TSLWaterfallMarkerGroup&>(item);
  const TColor color = NextGroupColor(&item);
  group.SetPenColor(color);
  group.SetBrushColor(color);
  if (changed_) changed_();
}

TSLDisplayItemHighlighting::TSLDisplayItemHighlighting(std::function<void()> changed)
    : changed_(std::move(changed)) {
  const auto flag = [this](const char* name, bool* field) {
    PublishValue(
        name, [field] { return TPropertyValue(*field); },
        [this, field](const TPropertyValue& v) {
          if (SetIfChanged(*field, AsBool(v))) Changed();
        },
        true);
  };
  flag("HiglightLegendButton", &legendButton_);
  flag("HiglightFromLegend", &fromLegend_);
  flag("HiglightFromMouse", &fromMouse_);
  PublishValue(
      "Color", [this] { return TPropertyValue(static_cast<int64_t>(color_)); },
      [this](const TPropertyValue& v) { SetColor(static_cast<TColor>(AsInteger(v))); },
      static_cast<int64_t>(clLime));
}

void TSLDisplayItemHighlighting::SetColor(TColor color) {
  if (SetIfChanged(color_, color)) Changed();
}

void TSLDisplayItemHighlighting::Assign(const TSLDisplayItemHighlighting& source) {
  legendButton_ = source.legendButton_;
  fromLegend_ = source.fromLegend_;
  fromMouse_ = source.fromMouse_;
  color_ = source.color_;
  Changed();
}

TSLChannelMouseHitPoint::TSLChannelMouseHitPoint(std::function<void()> changed)
    : changed_(changed), pointLabel_(changed) {
  PublishValue(
      "Enabled", [this] { return TPropertyValue(enabled_); },
      [this](const TPropertyValue& v) { SetEnabled(AsBool(v)); }, true);
  PublishValue(
      "Color", [this] { return TPropertyValue(static_cast<int64_t>(color_)); },
      [this](const TPropertyValue& v) { SetColor(static_cast<TColor>(AsInteger(v))); },
      static_cast<int64_t>(clRed));
  PublishValue(
      "UseChannelColor", [this] { return TPropertyValue(useChannelColor_); },
      [this](const TPropertyValue& v) { SetUseChannelColor(AsBool(v)); }, true);
  PublishObject("PointLabel", &pointLabel_);
}

void TSLChannelMouseHitPoint::SetEnabled(bool enabled) {
  if (SetIfChanged(enabled_, enabled)) Changed();
}

void TSLChannelMouseHitPoint::SetColor(TColor color) {
  if (SetIfChanged(color_, color)) Changed();
}

void TSLChannelMouseHitPoint::SetUseChannelColor(bool use) {
  if (SetIfChanged(useChannelColor_, use)) Changed();
}

void TSLChannelMouseHitPoint::Assign(const TSLChannelMouseHitPoint& source) {
  enabled_ = source.enabled_;
  color_ = source.color_;
  useChannelColor_ = source.useChannelColor_;
  pointLabel_.SetText(source.pointLabel_.Text());
  pointLabel_.SetVisible(source.pointLabel_.Visible());
  pointLabel_.Font().Assign(source.pointLabel_.Font());
  Changed();
}

TSLWaterfallHighlighting::TSLWaterfallHighlighting(std::function<void()> changed)
    : markers_(changed), mouseHitPoint_(changed) {
  PublishObject("Markers", &markers_);
  PublishObject("MouseHitPoint", &mouseHitPoint_);
}

void TSLWaterfallHighlighting::Assign(const TSLWaterfallHighlighting& source) {
  markers_.Assign(source.markers_);
  mouseHitPoint_.Assign(source.mouseHitPoint_);
}

std::string FormatPointLabel(const std::string& pattern, const std::string& x, const std::string& y,
                             const std::string& z) {
  const std::string& text = pattern.empty() ? std::string(kDefaultPointLabel) : pattern;
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 1 >= text.size()) break;  // a "%" at the very end ends the text
    switch (std::toupper(static_cast<unsigned char>(text[++i]))) {
      case 'X':
        out += x;
        break;
      case 'Y':
        out += y;
        break;
      case 'Z':
        out += z;
        break;
      case 'D':
        out += FormatPointLabel(kDefaultPointLabel, x, y, z);
        break;
      case '%':
        out += '%';
        break;
      default:
        break;  // an unknown placeholder vanishes
    }
  }
  return out;
}

}  // namespace tardivox
