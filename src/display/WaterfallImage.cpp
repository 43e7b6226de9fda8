#include "display/WaterfallImage.h"

#include <algorithm>
#include <cmath>

#include "display/AxisTicks.h"

namespace tardivox {

namespace {

// Bin i of `bins` equal bins over n items: [start, end), never empty, inside [0, n) for n ≥ 1.
// Fewer items than bins repeat items (nearest below).
void Bin(int i, int bins, int n, int& start, int& end) {
  start = static_cast<int>(static_cast<int64_t>(i) * n / bins);
  end = static_cast<int>(static_cast<int64_t>(i + 1) * n / bins);
  if (end <= start) end = start + 1;
  if (end > n) end = n;
}

struct ChannelSum {
  uint32_t b = 0, g = 0, r = 0;
  void Add(uint32_t pixel) {
    b += pixel & 0xFF;
    g += (pixel >> 8) & 0xFF;
    r += (pixel >> 16) & 0xFF;
  }
  uint32_t Average(uint32_t count) const {
    const uint32_t half = count / 2;
    return ((r + half) / count) << 16 | ((g + half) / count) << 8 | ((b + half) / count);
  }
};

}  // namespace

double TSLWaterfallScale::Transform(double v) const {
  return logarithmic ? LevelLogTransform(v) : v;
}

void TSLWaterfallScale::Transformed(double& offset, double& range) const {
  offset = Transform(minimum);
  range = Transform(maximum) - offset;
  if (range == 0 || !std::isfinite(range)) range = 1.0;
}

TSLWaterfallImage::Plan TSLWaterfallImage::Prepare(const TSLWaterfallGeometry& geometry,
                                                   bool scaleChanged, int lineCount, int newLines) {
  convertedLast_ = 0;
  Plan plan;
  const bool usable = geometry.depth > 0 && geometry.length > 0;
  // A new geometry is a new picture: the old pixels sit at places the new rules do not give
  // them, whatever the memory's size.
  const bool fresh = geometry != geometry_ || (usable && pixels_.empty());
  if (fresh) {
    geometry_ = geometry;
    pixels_.clear();
    if (usable) {
      pixels_.assign(static_cast<size_t>(geometry.depth) * static_cast<size_t>(geometry.length), 0);
    }
    head_ = 0;
    linesDrawn_ = 0;
    viewStale_ = true;
    dirty_.assign(static_cast<size_t>(std::max(geometry.depth, 0)), 1);
    reduceKey_ = {};
  }
  if (!usable) {
    linesDrawn_ = 0;
    return plan;
  }
  const int depth = geometry.depth;
  lineCount = std::max(lineCount, 0);
  newLines = std::clamp(newLines, 0, lineCount);
  plan.shown = std::min(lineCount, depth);
  plan.skipped = lineCount - plan.shown;
  plan.full = fresh || scaleChanged || newLines >= depth;
  if (!plan.full) {
    // The lines the image showed are still the oldest shown ones, less those that left at the
    // old end: the picture moves by their number. A count that does not add up means the
    // image shows lines that are no longer held: convert everything.
    const int left = linesDrawn_ + newLines - plan.shown;
    if (left < 0 || left > linesDrawn_) {
      plan.full = true;
    } else {
      head_ = (head_ + left) % depth;
      plan.firstToRender = plan.shown - newLines;
    }
  }
  if (plan.full) plan.firstToRender = 0;
  linesDrawn_ = plan.shown;
  return plan;
}

void TSLWaterfallImage::RenderLine(int position, ISLRealBuffer& line,
                                   const TSLWaterfallScale& scale, const TSLLevelPixelTable& colors,
                                   uint32_t background) {
  if (pixels_.empty() || position < 0 || position >= geometry_.depth) return;
  const int slot = Slot(position);
  uint32_t* run = pixels_.data() + static_cast<size_t>(slot) * geometry_.length;
  const int available = std::min(static_cast<int>(line.Count()), geometry_.length);
  const double* samples = available > 0 ? line.ReadData() : nullptr;
  double offset = 0, range = 1;
  scale.Transformed(offset, range);
  if (scale.logarithmic) {
    for (int k = 0; k < available; ++k) {
      run[k] = colors.PixelOf(LevelLogTransform(samples[k]) - offset, range);
    }
  } else {
    for (int k = 0; k < available; ++k) run[k] = colors.PixelOf(samples[k] - offset, range);
  }
  std::fill(run + available, run + geometry_.length, background);
  dirty_[static_cast<size_t>(slot)] = 1;
  ++convertedLast_;
  ++convertedTotal_;
}

void TSLWaterfallImage::FillEmpty(int from, uint32_t background) {
  if (pixels_.empty()) return;
  for (int position = std::max(from, 0); position < geometry_.depth; ++position) {
    const int slot = Slot(position);
    uint32_t* run = pixels_.data() + static_cast<size_t>(slot) * geometry_.length;
    std::fill(run, run + geometry_.length, background);
    dirty_[static_cast<size_t>(slot)] = 1;
  }
}

uint32_t TSLWaterfallImage::PixelAt(int position, int sample) const {
  return pixels_[static_cast<size_t>(Slot(position)) * geometry_.length +
                 static_cast<size_t>(sample)];
}

void TSLWaterfallImage::ReduceSlot(int slot) {
  const int extent = reduceKey_.extent;
  const uint32_t* run =
      pixels_.data() + static_cast<size_t>(slot) * geometry_.length + reduceKey_.sampleFirst;
  uint32_t* out = reduced_.data() + static_cast<size_t>(slot) * extent;
  for (int d = 0; d < extent; ++d) {
    ChannelSum sum;
    for (int k = binStart_[d]; k < binEnd_[d]; ++k) sum.Add(run[k]);
    out[d] = sum.Average(static_cast<uint32_t>(binEnd_[d] - binStart_[d]));
  }
  dirty_[static_cast<size_t>(slot)] = 0;
}

const QImage& TSLWaterfallImage::Reduced(QSize size, int lineFirst, int lineLast, int sampleFirst,
                                         int sampleLast) {
  reducedLast_ = 0;
  if (pixels_.empty() || size.width() <= 0 || size.height() <= 0) {
    view_ = QImage();
    return view_;
  }
  const int depth = geometry_.depth;
  const int length = geometry_.length;
  lineFirst = std::clamp(lineFirst, 0, depth - 1);
  lineLast = std::clamp(lineLast, lineFirst + 1, depth);
  sampleFirst = std::clamp(sampleFirst, 0, length - 1);
  sampleLast = std::clamp(sampleLast, sampleFirst + 1, length);
  const bool vertical = geometry_.vertical;
  const int extent = vertical ? size.width() : size.height();

  const ReduceKey key{geometry_, extent, sampleFirst, sampleLast};
  if (!(key == reduceKey_)) {
    reduceKey_ = key;
    reduced_.assign(static_cast<size_t>(depth) * extent, 0);
    binStart_.resize(static_cast<size_t>(extent));
    binEnd_.resize(static_cast<size_t>(extent));
    for (int d = 0; d < extent; ++d)
      Bin(d, extent, sampleLast - sampleFirst, binStart_[d], binEnd_[d]);
    std::fill(dirty_.begin(), dirty_.end(), 1);
  }
  for (int slot = 0; slot < depth; ++slot) {
    if (!dirty_[static_cast<size_t>(slot)]) continue;
    ReduceSlot(slot);
    ++reducedLast_;
  }
  const ViewKey viewKey{size, lineFirst, lineLast, head_};
  viewRebuilt_ = viewStale_ || reducedLast_ > 0 || !(viewKey == viewKey_) || view_.size() != size ||
                 view_.format() != QImage::Format_RGB32;
  if (!viewRebuilt_) return view_;
  viewKey_ = viewKey;
  viewStale_ = false;

  if (view_.size() != size || view_.format() != QImage::Format_RGB32) {
    view_ = QImage(size, QImage::Format_RGB32);
  }
  AverageAcross(lineFirst, lineLast);
  return view_;
}

void TSLWaterfallImage::AverageAcross(int lineFirst, int lineLast) {
  const bool vertical = geometry_.vertical;
  const int extent = reduceKey_.extent;
  const int across = vertical ? view_.height() : view_.width();
  auto* bits = reinterpret_cast<uint32_t*>(view_.bits());
  const auto stride = static_cast<size_t>(view_.bytesPerLine() / 4);
  const int lines = lineLast - lineFirst;
  for (int e = 0; e < across; ++e) {
    int start = 0, end = 0;
    Bin(e, across, lines, start, end);
    spanLines_.clear();
    for (int offset = start; offset < end; ++offset) {
      const int position = geometry_.reversed ? lineLast - 1 - offset : lineFirst + offset;
      spanLines_.push_back(reduced_.data() + static_cast<size_t>(Slot(position)) * extent);
    }
    const auto count = static_cast<uint32_t>(spanLines_.size());
    // Vertical: view row e, sample bins left to right; horizontal: view column e, the lowest
    // sample bin at the bottom.
    uint32_t* out = vertical ? bits + static_cast<size_t>(e) * stride
                             : bits + static_cast<size_t>(extent - 1) * stride + e;
    const ptrdiff_t step = vertical ? 1 : -static_cast<ptrdiff_t>(stride);
    for (int d = 0; d < extent; ++d, out += step) {
      if (count == 1) {
        *out = spanLines_[0][d];
        continue;
      }
      if (count == 2) {
        // Per channel (a + b + 1) / 2, as ChannelSum rounds, without unpacking.
        const uint32_t a = spanLines_[0][d], b = spanLines_[1][d];
        *out = (a | b) - (((a ^ b) & 0xFEFEFEFEu) >> 1);
        continue;
      }
      ChannelSum sum;
      for (const uint32_t* line : spanLines_) sum.Add(line[d]);
      *out = sum.Average(count);
    }
  }
}

QImage TSLWaterfallImage::Picture() const {
  if (pixels_.empty()) return {};
  const int depth = geometry_.depth;
  const int length = geometry_.length;
  QImage picture = geometry_.vertical ? QImage(length, depth, QImage::Format_RGB32)
                                      : QImage(depth, length, QImage::Format_RGB32);
  for (int p = 0; p < depth; ++p) {
    const int placed = geometry_.reversed ? depth - 1 - p : p;
    for (int k = 0; k < length; ++k) {
      const uint32_t pixel = PixelAt(p, k);
      if (geometry_.vertical) {
        picture.setPixel(k, placed, pixel);
      } else {
        picture.setPixel(placed, length - 1 - k, pixel);
      }
    }
  }
  return picture;
}

}  // namespace tardivox
