#include "core/Guid.h"

#include <cstdio>
#include <stdexcept>

namespace tardivox {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ReadHex(std::string_view& text, int digits, uint64_t& value) {
  if (text.size() < static_cast<size_t>(digits)) return false;
  value = 0;
  for (int i = 0; i < digits; ++i) {
    const int v = HexValue(text[i]);
    if (v < 0) return false;
    value = value * 16 + static_cast<uint64_t>(v);
  }
  text.remove_prefix(digits);
  return true;
}

bool Expect(std::string_view& text, char c) {
  if (text.empty() || text.front() != c) return false;
  text.remove_prefix(1);
  return true;
}

}  // namespace

std::optional<Guid> Guid::Parse(std::string_view text) {
  const bool braced = !text.empty() && text.front() == '{';
  if (braced) {
    if (text.back() != '}') return std::nullopt;
    text = text.substr(1, text.size() - 2);
  }
  Guid g;
  uint64_t v = 0;
  if (!ReadHex(text, 8, v)) return std::nullopt;
  g.data1 = static_cast<uint32_t>(v);
  if (!Expect(text, '-') || !ReadHex(text, 4, v)) return std::nullopt;
  g.data2 = static_cast<uint16_t>(v);
  if (!Expect(text, '-') || !ReadHex(text, 4, v)) return std::nullopt;
  g.data3 = static_cast<uint16_t>(v);
  if (!Expect(text, '-')) return std::nullopt;
  for (int i = 0; i < 8; ++i) {
    if (i == 2 && !Expect(text, '-')) return std::nullopt;
    if (!ReadHex(text, 2, v)) return std::nullopt;
    g.data4[i] = static_cast<uint8_t>(v);
  }
  if (!text.empty()) return std::nullopt;
  return g;
}

Guid Guid::FromString(std::string_view text) {
  auto g = Parse(text);
  if (!g) throw std::invalid_argument("malformed identifier: " + std::string(text));
  return *g;
}

std::string Guid::ToString() const {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", data1, data2,
                data3, data4[0], data4[1], data4[2], data4[3], data4[4], data4[5], data4[6],
                data4[7]);
  return buf;
}

}  // namespace tardivox
