#pragma once
// TSLWaterfallImage: the picture of a waterfall's history at its natural resolution (one pixel
// per sample of each line), kept up to date incrementally, and its area-averaged reduction to
// the size of the data view.
//
// Store. Pixels are 32 bits, blue in the lowest byte, then green, red and 0 (QImage RGB32).
// Each line position (0 = the oldest shown line) owns one run of `length` pixels, sample 0
// first, in a ring of `depth` runs. When lines leave at the old end, the ring's start moves by
// their number: the picture shifts without moving a pixel, and only the new lines are
// converted. Everything is converted again when the geometry (depth, line length, orientation,
// reversal) changed, when the colour scale changed or a full redraw was asked, or when a whole
// depth of lines arrived since the last update.
//
// Lines shown. After lowering the depth the history may hold more lines than the image has
// positions until its next line; the image then shows the newest `depth` lines. Every line is
// drawn with the line length of the oldest held line: a shorter line's missing samples show the
// background colour, a longer line's surplus is not shown.
//
// Reduction. The view shows the visible lines (positions) and samples, mapped with the
// orientation rules: horizontal, line position p is column p (depth − 1 − p when reversed),
// sample k is k rows above the bottom; vertical, line position p is row p from the top
// (depth − 1 − p when reversed) and sample k is column k. Each view pixel is the average of the
// pixels of its area: the samples are averaged first, per line, into one reduced line of the
// view's extent (kept in a ring that moves with the store, so only new lines are reduced), then
// the reduced lines are averaged across the lines for every view pixel. A view larger than the
// source repeats source pixels instead.
//
// Ownership: owns its memory. Threads: the window's thread (the waterfall renders outside its
// history lock from references it copied under it). Failure: std::bad_alloc when memory runs
// out; no access outside the store, whatever the positions and ranges asked for.

#include <QImage>

#include <cstdint>
#include <vector>

#include "buffers/RealBuffer.h"
#include "display/LevelColors.h"

namespace tardivox {

struct TSLWaterfallGeometry {
  int depth = 0;   // line positions (XAxis.Samples)
  int length = 0;  // samples per line (the oldest held line's count)
  bool vertical = false;
  bool reversed = false;
  bool operator==(const TSLWaterfallGeometry&) const = default;
};

// The colour scale a line is converted with: pixel = colour(transform(v) − offset, range).
struct TSLWaterfallScale {
  double minimum = 0.0;
  double maximum = 0.0;
  bool logarithmic = false;
  bool operator==(const TSLWaterfallScale&) const = default;
  // Offset and range after the transform; a range of 0 (or not a number) becomes 1.
  void Transformed(double& offset, double& range) const;
  double Transform(double v) const;
};

class TSLWaterfallImage {
 public:
  // What an update must convert: lines [firstToRender, shown) of the shown lines.
  struct Plan {
    int shown = 0;          // lines the image shows after the update
    int firstToRender = 0;  // shown position of the first line to convert
    int skipped = 0;        // history lines before the first shown one (surplus after a depth cut)
    bool full = false;      // every position is converted (and the empty ones painted)
  };

  // Decides the update for a history of `lineCount` lines of which `newLines` arrived since
  // the last update, and shifts the picture by the lines that left. `scaleChanged` asks for a
  // full conversion. Allocates the store when the geometry changed.
  Plan Prepare(const TSLWaterfallGeometry& geometry, bool scaleChanged, int lineCount,
               int newLines);
  // Converts one line into shown position `position` (0 ≤ position < depth, else ignored).
  void RenderLine(int position, ISLRealBuffer& line, const TSLWaterfallScale& scale,
                  const TSLLevelPixelTable& colors, uint32_t background);
  // Paints positions [from, depth) with the background (no line there yet).
  void FillEmpty(int from, uint32_t background);

  // The view's picture: visible line positions [lineFirst, lineLast) and samples
  // [sampleFirst, sampleLast) (brought into the store) averaged onto `size` pixels.
  const QImage& Reduced(QSize size, int lineFirst, int lineLast, int sampleFirst, int sampleLast);

  // The natural picture as the orientation rules place it (a test and diagnostic view).
  QImage Picture() const;
  // The pixel of shown position `position`, sample `sample` (both inside the store).
  uint32_t PixelAt(int position, int sample) const;

  const TSLWaterfallGeometry& Geometry() const { return geometry_; }
  bool Allocated() const { return !pixels_.empty(); }
  // Lines the image showed after its last update.
  int LinesDrawn() const { return linesDrawn_; }
  // Lines converted by the last update, and by all updates.
  int LinesConvertedLastUpdate() const { return convertedLast_; }
  int64_t LinesConverted() const { return convertedTotal_; }
  // Lines reduced by the last Reduced call, and whether it averaged the view again.
  int LinesReducedLastCall() const { return reducedLast_; }
  bool ViewRebuiltLastCall() const { return viewRebuilt_; }
  // Forgets the picture: the next update converts everything.
  void Invalidate() {
    linesDrawn_ = 0;
    geometry_ = {};
  }

 private:
  int Slot(int position) const { return (head_ + position) % geometry_.depth; }
  // Averages the reduced lines across the line axis into view_.
  void AverageAcross(int lineFirst, int lineLast);
  void ReduceSlot(int slot);

  TSLWaterfallGeometry geometry_;
  std::vector<uint32_t> pixels_;  // depth runs of `length` pixels
  int head_ = 0;                  // slot of shown position 0
  int linesDrawn_ = 0;
  int convertedLast_ = 0;
  int64_t convertedTotal_ = 0;

  // Reduction: per slot, `extent_` averaged pixels along the sample axis.
  struct ReduceKey {
    TSLWaterfallGeometry geometry;
    int extent = 0;
    int sampleFirst = 0, sampleLast = 0;
    bool operator==(const ReduceKey&) const = default;
  };
  ReduceKey reduceKey_;
  std::vector<uint32_t> reduced_;
  std::vector<uint8_t> dirty_;  // per slot: converted since it was last reduced
  std::vector<int> binStart_;   // sample-axis bins: [binStart_[d], binEnd_[d])
  std::vector<int> binEnd_;
  int reducedLast_ = 0;
  // The view is averaged again only when a reduced line, the ring's start or the request
  // changed.
  struct ViewKey {
    QSize size;
    int lineFirst = 0, lineLast = 0, head = 0;
    bool operator==(const ViewKey&) const = default;
  };
  ViewKey viewKey_;
  bool viewStale_ = true;
  bool viewRebuilt_ = false;
  std::vector<const uint32_t*> spanLines_;
  QImage view_;
};

}  // namespace tardivox
