// Linked into the suites that run the PulseAudio client library. The library is not built with
// ThreadSanitizer and synchronises some of its own objects with lock-free primitives the tool
// cannot see (for instance mutexes created on first use and published by an atomic exchange),
// so its own use of those objects can look like a race. Only races with a frame inside that
// helper library are silenced: races in this program's code, and the client library's access
// to this program's buffers, stay reported.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libpulsecommon\n";
}
