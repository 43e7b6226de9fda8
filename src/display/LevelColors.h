#pragma once
// The colour scale of the level view: the colour of a value, and the ordered colour stops that
// may replace the default palette.
//
// The colour of a value takes its distance v above the scale's lower end and the scale's range
// r (the caller has applied any logarithmic transform and replaced a range of 0 by 1). It is
// chosen, in order of precedence, by gray scale (v / r × 255 in every channel), by at least two
// colour stops spread evenly from the lower end (first stop) to the upper end (last stop), or by
// the default palette: black, blue, cyan, green, yellow, red, ending in red-magenta
// (255, 0, 128), 1408 steps in all. Roundings go to the nearest integer, halves to even. A value
// outside the scale takes the colour of the nearer end in every mode, and a value that is not a
// number takes the lower end's colour: no value wraps into a wrong colour.
//
// Ownership: the collection owns its stops; `changed` (given at creation) is told after every
// addition, removal or recolouring, so that the owner can tell its display.
// Threads: LevelColorOf and LevelPixelOf are pure (any thread; the waterfall calls them while
// rendering). The collection belongs to the window's thread.
// Failure: none; an index outside the stops raises ERangeError from the collection.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "display/DisplayColor.h"
#include "pins/ExtCollection.h"

namespace tardivox {

// Colour form. `stops` are plain colours (system colours already resolved); fewer than two are
// ignored.
TColor LevelColorOf(double v, double r, bool grayScale, std::span<const TColor> stops);
// Pixel form of the same colour (red and blue exchanged).
inline uint32_t LevelPixelOf(double v, double r, bool grayScale, std::span<const TColor> stops) {
  return ColorToPixel(LevelColorOf(v, r, grayScale, stops));
}
// The default palette alone, at palette step k (brought into 0 … 1408).
TColor DefaultPaletteColor(int k);

// The pixels of a colour setting, tabulated for converting many values: the default palette
// and gray scale exactly (LevelPixelOf of the same value), colour stops at 4096 evenly spaced
// fractions of the scale (the nearest one; off by less than 1/8190 of the scale).
// Pure after Build: any thread may read a table that is not being built.
class TSLLevelPixelTable {
 public:
  TSLLevelPixelTable() { Build(false, {}); }
  void Build(bool grayScale, std::span<const TColor> stops);
  // As LevelPixelOf(v, r, …) for the settings built with; r must not be 0.
  uint32_t PixelOf(double v, double r) const {
    double t = v / r;
    if (!(t > 0.0)) t = 0.0;  // not a number counts as the lower end
    if (t > 1.0) t = 1.0;
    // Nearest step, halves to even, inline (this runs for every pixel of every line).
    const double x = t * steps_;
    auto step = static_cast<size_t>(x);
    const double fraction = x - static_cast<double>(step);
    if (fraction > 0.5 || (fraction == 0.5 && (step & 1) != 0)) ++step;
    return table_[step];
  }

 private:
  std::vector<uint32_t> table_;
  double steps_ = 0;
};

class TSLLevelDisplayColor : public TOWExtCollectionItem {
 public:
  TSLLevelDisplayColor();
  const char* ClassName() const override { return "TSLLevelDisplayColor"; }
  void Assign(const TOWExtCollectionItem& source) override;

  TColor Color() const { return color_; }
  void SetColor(TColor color);

 private:
  TColor color_ = clBlack;
};

class TSLLevelDisplayColors : public TOWExtCollectionOf<TSLLevelDisplayColor> {
 public:
  TSLLevelDisplayColors(TPersistent* owner, std::function<void()> changed);

  // The default colours new stops take: the first of these that the fewest other stops use.
  static const std::vector<TColor>& DefaultStopColors();

  void Delete(int index);
  void Clear();
  // The stops' colours in order, system colours resolved.
  std::vector<TColor> PlainColors() const;

 protected:
  void ItemAdded(TOWExtCollectionItem& item) override;

 private:
  friend class TSLLevelDisplayColor;
  void Changed();

  std::function<void()> changed_;
};

}  // namespace tardivox
