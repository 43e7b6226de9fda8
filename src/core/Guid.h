#pragma once
// A 128-bit identifier (stream types, interfaces, type negotiation) with the braced text
// form "{01621A5C-9936-4BEB-BF6F-5D6754E65786}". Plain value type, safe to share between
// threads once constructed.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tardivox {

struct Guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  std::array<uint8_t, 8> data4{};

  // Parses the braced form (braces optional, hex digits in either case); nullopt when malformed.
  static std::optional<Guid> Parse(std::string_view text);
  // Like Parse for identifiers written in the source: a malformed literal is a programming
  // error and throws std::invalid_argument.
  static Guid FromString(std::string_view text);

  // The braced upper-case form.
  std::string ToString() const;
  bool IsNull() const { return *this == Guid{}; }

  friend bool operator==(const Guid&, const Guid&) = default;
  friend auto operator<=>(const Guid&, const Guid&) = default;
};

}  // namespace tardivox
