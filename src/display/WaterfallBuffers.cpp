#include "display/WaterfallBuffers.h"

#include <algorithm>
#include <cmath>

namespace tardivox {

namespace {

// A line whose samples are not numbers must not make the colour scale one: its extreme counts
// as 0.
double Extreme(double value) {
  return std::isnan(value) ? 0.0 : value;
}

}  // namespace

void TSLWaterfallBuffers::Reserve(int depth) {
  // One more than the depth: a line is appended before the oldest one leaves.
  const auto slots = static_cast<size_t>(std::max(depth, 1)) + 1;
  lines_.reserve(slots);
  held_.reserve(slots);
  maxima_.Reserve(static_cast<uint32_t>(slots));
  minima_.Reserve(static_cast<uint32_t>(slots));
}

bool TSLWaterfallBuffers::AddLine(TRef<ISLRealBuffer> line, int depth) {
  depth = std::max(depth, 1);
  const double lineMax = Extreme(line->Maximum());
  const double lineMin = Extreme(line->Minimum());
  lines_.push_back(std::move(line));
  maxima_.Push(lineMax);
  minima_.Push(lineMin);
  bool changed = false;
  if (lines_.size() == 1) {
    maximum_ = lineMax;
    minimum_ = lineMin;
  } else {
    if (lineMin < minimum_) {
      minimum_ = lineMin;
      changed = true;
    }
    if (lineMax > maximum_) {
      maximum_ = lineMax;
      changed = true;
    }
  }
  while (lines_.size() > static_cast<size_t>(depth)) changed = DropOldest() || changed;
  newLineCount_.fetch_add(1, std::memory_order_acq_rel);
  return changed;
}

bool TSLWaterfallBuffers::DropOldest() {
  lines_.pop_front();
  bool changed = false;
  // The extremes leave with their line: rescan the queued extremes after the oldest one.
  if (maxima_.Items(0) == maximum_ && maxima_.Count() > 1) {
    double largest = maxima_.Items(1);
    for (uint32_t i = 2; i < maxima_.Count(); ++i) {
      if (maxima_.Items(i) > largest) largest = maxima_.Items(i);
    }
    maximum_ = largest;
    changed = true;
  }
  maxima_.DropFirst();
  if (minima_.Items(0) == minimum_ && minima_.Count() > 1) {
    double smallest = minima_.Items(1);
    for (uint32_t i = 2; i < minima_.Count(); ++i) {
      if (minima_.Items(i) < smallest) smallest = minima_.Items(i);
    }
    minimum_ = smallest;
    changed = true;
  }
  minima_.DropFirst();
  return changed;
}

void TSLWaterfallBuffers::HoldBuffer(TRef<ISLRealBuffer> buffer, int depth) {
  held_.push_back(std::move(buffer));
  while (held_.size() > static_cast<size_t>(std::max(depth, 1))) held_.pop_front();
}

void TSLWaterfallBuffers::ClearLines() {
  lines_.clear();
  maxima_.Clear();
  minima_.Clear();
}

void TSLWaterfallBuffers::Reset(bool onHold) {
  held_.clear();
  ClearNewLineCount();
  maximum_ = 0.0;
  minimum_ = 0.0;
  if (onHold) {
    // The extremes of the kept lines stay queued: they leave with their lines as long as the
    // lines are shown, and all go at the flush.
    clearAtFlush_ = true;
  } else {
    ClearLines();
  }
}

bool TSLWaterfallBuffers::Flush(int depth, bool& scaleChanged) {
  const bool cleared = clearAtFlush_;
  if (clearAtFlush_) {
    ClearLines();
    clearAtFlush_ = false;
  }
  scaleChanged = false;
  while (!held_.empty()) scaleChanged = AddLine(held_.take_front(), depth) || scaleChanged;
  return cleared;
}

int TSLWaterfallBuffers::OldestLength() const {
  return lines_.empty() ? 0 : static_cast<int>(lines_.front()->Count());
}

}  // namespace tardivox
