#pragma once
// The play position of a stream whose server answers with the read index of its last
// processing cycle rather than of the moment it answers (PipeWire's PulseAudio service: an
// answer given late in a cycle carries a position up to a cycle old). Of the recent answers,
// each extrapolated to now at the stream's rate, the one given nearest its cycle goes
// furthest: that is the position. A mean of them, or the latest alone, is biased by where in
// their cycles the answers fell, and that changes when the server misses a cycle.
// Answers older than the extrapolation limit count no more: only a new answer tells that the
// server ran dry or stopped, so no position runs on past the limit.
//
// The same answers tell how far the server moves the position at a time: a server that reads in
// whole cycles (PipeWire's graph, on a stream it does not resample) moves the read index by
// multiples of one cycle, and a cycle it misses loses exactly that many frames.
//
// Owned by one stream; not thread-safe (the wave service calls it under its state lock, on the
// thread that asks for the position, the capture thread among them). No allocation: it keeps
// the last kAnswers answers. It cannot fail: with no recent answer the caller's own estimate
// stands.

#include <array>
#include <cstddef>
#include <cstdint>

namespace tardivox {

class TALRecentPositions {
 public:
  static constexpr size_t kAnswers = 16;

  // Forgets every answer (the stream's positions start afresh).
  void Clear() {
    count_ = 0;
    moves_ = 0;
  }
  // An answer: the read index (bytes) the server gave at `atUsec`.
  void Add(uint64_t atUsec, int64_t readIndex);
  // The furthest of the answers at most `maxAgeUsec` old at `nowUsec`, each extrapolated at
  // `bytesPerSecond` and rounded down to a whole frame of `bytesPerFrame`; `fallback` when
  // there is none, and never less than it.
  int64_t Furthest(uint64_t nowUsec, double bytesPerSecond, uint32_t bytesPerFrame,
                   uint64_t maxAgeUsec, int64_t fallback) const;
  // The frames (of `bytesPerFrame`) of one cycle: the greatest common divisor of the last
  // kAnswers moves of the read index from one answer to the next. 0 until kMinMoves moves are
  // known; 1 (or 0) when the server reads any number of frames at a time, as a resampled
  // stream does.
  uint32_t CycleFrames(uint32_t bytesPerFrame) const;

  static constexpr size_t kMinMoves = 8;

 private:
  struct TAnswer {
    uint64_t atUsec = 0;
    int64_t readIndex = 0;
  };
  std::array<TAnswer, kAnswers> answers_{};
  size_t count_ = 0;
  size_t next_ = 0;
  int64_t lastIndex_ = 0;  // the read index of the latest answer, when count_ > 0
  // The last moves (bytes, > 0) of the read index between answers that differ.
  std::array<uint64_t, kAnswers> moveBytes_{};
  size_t moves_ = 0;
  size_t nextMove_ = 0;
};

}  // namespace tardivox
