#pragma once
// TSLWaterfallBuffers: the history of a waterfall display — the lines (real buffers, oldest
// first, never more than the depth after an addition), the largest and smallest value of each
// line, the running extremes over all lines, the buffers held back while the display is on
// hold, and the count of lines added since the image was last brought up to date.
//
// Adding a line costs two appends and two comparisons; only when the line that holds an extreme
// leaves the history is one queue of line extremes scanned (depth values) to find the new one.
// The rings only grow: once they have reached the depth, adding and dropping lines allocates
// nothing.
//
// Ownership: holds a reference to every line and held buffer (buffers are shared, never
// copied). Threads: not thread-safe; the waterfall guards it with its history lock. The new-line
// count may besides be read without that lock (the refresh tick), so it is atomic.
// Failure: nothing is raised besides std::bad_alloc while a ring grows.

#include <atomic>
#include <cstdint>

#include "buffers/RealBuffer.h"
#include "buffers/RealQueue.h"
#include "core/RefCounted.h"
#include "core/RingQueue.h"

namespace tardivox {

class TSLWaterfallBuffers {
 public:
  TSLWaterfallBuffers() = default;
  TSLWaterfallBuffers(const TSLWaterfallBuffers&) = delete;
  TSLWaterfallBuffers& operator=(const TSLWaterfallBuffers&) = delete;

  // Makes room for `depth` lines and held buffers, so that a history of that depth never
  // allocates while it runs.
  void Reserve(int depth);

  // Appends `line` (not null) and drops the oldest lines beyond `depth` (at least 1). Answers
  // whether the history's maximum or minimum changed other than by the first line (the level
  // scale must be told).
  bool AddLine(TRef<ISLRealBuffer> line, int depth);
  // Keeps `buffer` back while the display holds; at most `depth` are kept, the oldest dropped.
  void HoldBuffer(TRef<ISLRealBuffer> buffer, int depth);
  // The start of a new stream: forgets the held buffers, the extremes and the new-line count;
  // clears the lines at once, or, when `onHold`, when the hold ends (the old lines stay visible
  // until then).
  void Reset(bool onHold);
  // The hold ended: clears the lines when a reset asked for it, then adds the held buffers as
  // lines, oldest first. Answers whether the lines were cleared (the image must be rebuilt,
  // since what it shows left the history), and in `scaleChanged` whether an extreme changed.
  bool Flush(int depth, bool& scaleChanged);

  int LineCount() const { return static_cast<int>(lines_.size()); }
  int HeldCount() const { return static_cast<int>(held_.size()); }
  // The line `index` places from the oldest (index < LineCount()).
  const TRef<ISLRealBuffer>& Line(int index) const { return lines_.at(static_cast<size_t>(index)); }
  // Sample count of the oldest line, 0 without lines.
  int OldestLength() const;
  double Maximum() const { return maximum_; }
  double Minimum() const { return minimum_; }
  bool ClearAtFlush() const { return clearAtFlush_; }

  // Lines added since ClearNewLineCount.
  // Thread: any (atomic read). Locks: none.
  int32_t NewLineCount() const { return newLineCount_.load(std::memory_order_acquire); }
  void ClearNewLineCount() { newLineCount_.store(0, std::memory_order_release); }

 private:
  void ClearLines();
  // Drops the oldest line; answers whether an extreme was recomputed.
  bool DropOldest();

  TSLRealQueue maxima_;
  TSLRealQueue minima_;
  TRingQueue<TRef<ISLRealBuffer>> held_;
  TRingQueue<TRef<ISLRealBuffer>> lines_;
  std::atomic<int32_t> newLineCount_{0};
  double maximum_ = 0.0;
  double minimum_ = 0.0;
  bool clearAtFlush_ = false;
};

}  // namespace tardivox
