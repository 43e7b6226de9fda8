#include "display/LevelColors.h"

#include "display/SetIfChanged.h"

#include <algorithm>
#include <cmath>

namespace tardivox {

namespace {

// Nearest integer, halves to even, independent of the floating-point environment's mode.
int RoundHalfEven(double x) {
  const double floor = std::floor(x);
  const double diff = x - floor;
  double result = floor;
  if (diff > 0.5 || (diff == 0.5 && std::fmod(floor, 2.0) != 0.0)) result = floor + 1.0;
  return static_cast<int>(result);
}

// v / r brought into 0 … 1; not-a-number counts as 0.
double ScaleFraction(double v, double r) {
  const double t = v / r;
  if (!(t > 0.0)) return 0.0;
  return t < 1.0 ? t : 1.0;
}

TColor Rgb(int red, int green, int blue) {
  return static_cast<TColor>(red & 0xFF) | (static_cast<TColor>(green & 0xFF) << 8) |
         (static_cast<TColor>(blue & 0xFF) << 16);
}

}  // namespace

TColor DefaultPaletteColor(int k) {
  k = std::clamp(k, 0, 1408);
  const int j = k % 256;
  if (k < 256) return Rgb(0, 0, j);
  if (k < 512) return Rgb(0, j, 255);
  if (k < 768) return Rgb(0, 255, 255 - j);
  if (k < 1024) return Rgb(j, 255, 0);
  if (k < 1280) return Rgb(255, 255 - j, 0);
  return Rgb(255, 0, j);
}

TColor LevelColorOf(double v, double r, bool grayScale, std::span<const TColor> stops) {
  if (r == 0.0) r = 1.0;
  const double t = ScaleFraction(v, r);
  if (grayScale) {
    const int c = RoundHalfEven(t * 255.0);
    return Rgb(c, c, c);
  }
  const int n = static_cast<int>(stops.size());
  if (n >= 2) {
    const int i = t == 1.0 ? n - 2 : static_cast<int>(t * (n - 1));
    const double f = t * (n - 1) - i;
    const TColor from = stops[i];
    const TColor to = stops[i + 1];
    const auto channel = [&](int shift) {
      const int a = static_cast<int>((from >> shift) & 0xFF);
      const int b = static_cast<int>((to >> shift) & 0xFF);
      return a + RoundHalfEven((b - a) * f);
    };
    return Rgb(channel(0), channel(8), channel(16));
  }
  return DefaultPaletteColor(RoundHalfEven(t * 1408.0));
}

void TSLLevelPixelTable::Build(bool grayScale, std::span<const TColor> stops) {
  if (grayScale) {
    steps_ = 255;
  } else if (stops.size() >= 2) {
    steps_ = 4095;
  } else {
    steps_ = 1408;
  }
  table_.resize(static_cast<size_t>(steps_) + 1);
  for (size_t i = 0; i < table_.size(); ++i) {
    table_[i] = grayScale || stops.size() < 2
                    ? LevelPixelOf(static_cast<double>(i), steps_, grayScale, stops)
                    : LevelPixelOf(static_cast<double>(i) / steps_, 1.0, false, stops);
  }
}

TSLLevelDisplayColor::TSLLevelDisplayColor() {
  PublishValue(
      "Color", [this] { return TPropertyValue(static_cast<int64_t>(color_)); },
      [this](const TPropertyValue& v) { SetColor(static_cast<TColor>(AsInteger(v))); },
      static_cast<int64_t>(clBlack));
}

void TSLLevelDisplayColor::Assign(const TOWExtCollectionItem& source) {
  if (const auto* other = dynamic_cast<const TSLLevelDisplayColor*>(&source)) {
    SetColor(other->Color());
    return;
  }
  TOWExtCollectionItem::Assign(source);
}

void TSLLevelDisplayColor::SetColor(TColor color) {
  if (!SetIfChanged(color_, color)) return;
  if (auto* colors = dynamic_cast<TSLLevelDisplayColors*>(Collection())) colors->Changed();
}

TSLLevelDisplayColors::TSLLevelDisplayColors(TPersistent* owner, std::function<void()> changed)
    : TOWExtCollectionOf<TSLLevelDisplayColor>(owner), changed_(std::move(changed)) {}

const std::vector<TColor>& TSLLevelDisplayColors::DefaultStopColors() {
  static const std::vector<TColor> colors = {0,        16711680, 65280,    65535,    255,
                                             16776960, 15793151, 32896,    16777215, 12632256,
                                             8388736,  16711935, 16776960, 8421376,  8388608};
  return colors;
}

void TSLLevelDisplayColors::ItemAdded(TOWExtCollectionItem& item) {
  const auto& defaults = DefaultStopColors();
  // The first default colour that the fewest of the other stops already use.
  size_t best = 0;
  int bestUses = Count() + 1;
  for (size_t c = 0; c < defaults.size(); ++c) {
    int uses = 0;
    for (int i = 0; i < Count(); ++i) {
      if (&Items(i) != &item && Items(i).Color() == defaults[c]) ++uses;
    }
    if (uses < bestUses) {
      best = c;
      bestUses = uses;
    }
  }
  auto& stop = static_cast<TSLLevelDisplayColor&>(item);
  if (stop.Color() == defaults[best]) {
    Changed();  // the colour is already right; the new stop still changes the scale
  } else {
    stop.SetColor(defaults[best]);
  }
}

void TSLLevelDisplayColors::Delete(int index) {
  TOWExtCollectionOf<TSLLevelDisplayColor>::Delete(index);
  Changed();
}

void TSLLevelDisplayColors::Clear() {
  if (Count() == 0) return;
  TOWExtCollectionOf<TSLLevelDisplayColor>::Clear();
  Changed();
}

std::vector<TColor> TSLLevelDisplayColors::PlainColors() const {
  std::vector<TColor> colors;
  colors.reserve(static_cast<size_t>(Count()));
  for (int i = 0; i < Count(); ++i) colors.push_back(ColorToRGB(Items(i).Color()));
  return colors;
}

void TSLLevelDisplayColors::Changed() {
  if (changed_) changed_();
}

}  // namespace tardivox
