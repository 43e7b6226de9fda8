#pragma once
// The program's ordinary error hierarchy. Every error a component raises derives from
// Exception; the controller's guarded calls catch exactly this hierarchy, so anything else
// (std::bad_alloc, logic errors of the standard library) still reaches the error sink.

#include <stdexcept>
#include <string>

namespace tardivox {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// Errors of the pin framework ("The pin depends on itself…", notification nesting).
class EOWException : public Exception {
 public:
  using Exception::Exception;
};

// Index and channel range errors of buffers.
class ERangeError : public Exception {
 public:
  using Exception::Exception;
};

// A failed internal assertion, e.g. EndWrite by a thread that does not hold the write lock.
// The message is composed as "%s (%s, ligne %d)".
class EAssertionFailed : public Exception {
 public:
  EAssertionFailed(const std::string& message, const std::string& unit, int line);
};

// Memory could not be obtained (block store) or a request was larger than it serves.
class EOutOfMemory : public Exception {
 public:
  using Exception::Exception;
};

// Whole-object assignment between incompatible persistent objects.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// Formats like the platform's Format(): only %s, %d, %u and %% are understood.
std::string FormatMessage(const char* format, std::initializer_list<std::string> args);

}  // namespace tardivox
