#include "core/Exceptions.h"

namespace tardivox {

EAssertionFailed::EAssertionFailed(const std::string& message, const std::string& unit, int line)
    : Exception(FormatMessage("%s (%s, ligne %d)", {message, unit, std::to_string(line)})) {}

std::string FormatMessage(const char* format, std::initializer_list<std::string> args) {
  std::string out;
  auto next = args.begin();
  for (const char* p = format; *p; ++p) {
    if (*p != '%' || p[1] == '\0') {
      out += *p;
      continue;
    }
    const char conversion = *++p;
    if (conversion == '%') {
      out += '%';
    } else if (next != args.end()) {
      out += *next++;
    }
  }
  return out;
}

}  // namespace tardivox
