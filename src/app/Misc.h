#pragma once
// Waiting on the window's thread without freezing the window.
//
// WaitProcessingMessages lets the window process its events until at least the given number of
// milliseconds has passed on the millisecond tick count. It processes the pending events at
// least once (also for 0 ms), so a handler that waits 0 ms still lets queued paints and timers
// run. Between events it sleeps in the event loop: a precise timer set for the time that is left
// wakes it at the deadline, so a wait costs the thread almost no processor time. The tick count
// is a wrapping 32-bit value compared by unsigned difference, so a wrap of the counter during a
// wait is harmless. An Exception raised by a handler that runs while events are processed is
// swallowed: the wait goes on. The wait does not end early when the application is asked to
// quit: the caller's sequence gets the time it asked for and decides itself whether to go on.
//
// Because events are processed, other window handlers may run in the middle of the caller's
// sequence; the caller must tolerate that re-entry.
//
// Threads: the thread that runs the Qt event loop (the window's thread) only.

#include <cstdint>
#include <functional>

namespace tardivox {

// The wait the controller and the device routines make between two steps; replaceable in tests.
using TWaitFunction = std::function<void(uint32_t milliseconds)>;

// Milliseconds of a monotonic clock, wrapping at 2^32.
uint32_t TickCount();

void WaitProcessingMessages(uint32_t milliseconds);

// The same loop over a given tick source and event pump (for tests of the loop itself). The
// pump is called with 0 first (process what is pending, do not sleep), then with the
// milliseconds left (process events, sleeping until one arrives or that time has passed).
void WaitProcessingMessages(uint32_t milliseconds, const std::function<uint32_t()>& tickCount,
                            const std::function<void(uint32_t maxSleepMs)>& processEvents);

}  // namespace tardivox
