#pragma once
// Runs a callable when the scope is left, normally or by an exception. Used where a structural
// change must be completed even when a receiver raises during it.

#include <utility>

namespace tardivox {

template <class F>
class TScopeExit {
 public:
  explicit TScopeExit(F f) : f_(std::move(f)) {}
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;
  ~TScopeExit() { f_(); }

 private:
  F f_;
};

}  // namespace tardivox
