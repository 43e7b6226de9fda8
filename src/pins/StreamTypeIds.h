#pragma once
// The fixed identifiers of stream types and pin interfaces. Pins offer stream types (most
// specific last) and implement interfaces; two pins connect on a stream type that one offers
// and the other implements.

#include <cstdint>

#include "core/Guid.h"

namespace tardivox {

namespace detail {
consteval uint32_t HexDigit(char c) {
  return c >= '0' && c <= '9'   ? static_cast<uint32_t>(c - '0')
         : c >= 'a' && c <= 'f' ? static_cast<uint32_t>(c - 'a' + 10)
         : c >= 'A' && c <= 'F' ? static_cast<uint32_t>(c - 'A' + 10)
                                : throw "not a hexadecimal digit";
}
consteval uint32_t HexAt(const char* s, int at, int digits) {
  uint32_t v = 0;
  for (int i = 0; i < digits; ++i) v = v * 16 + HexDigit(s[at + i]);
  return v;
}
}  // namespace detail

// A compile-time identifier from its braced form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
consteval Guid GuidLiteral(const char (&s)[39]) {
  if (s[0] != '{' || s[9] != '-' || s[14] != '-' || s[19] != '-' || s[24] != '-' || s[37] != '}') {
    throw "malformed identifier";
  }
  Guid g;
  g.data1 = detail::HexAt(s, 1, 8);
  g.data2 = static_cast<uint16_t>(detail::HexAt(s, 10, 4));
  g.data3 = static_cast<uint16_t>(detail::HexAt(s, 15, 4));
  g.data4[0] = static_cast<uint8_t>(detail::HexAt(s, 20, 2));
  g.data4[1] = static_cast<uint8_t>(detail::HexAt(s, 22, 2));
  for (int i = 0; i < 6; ++i)
    g.data4[2 + i] = static_cast<uint8_t>(detail::HexAt(s, 25 + 2 * i, 2));
  return g;
}

// Interfaces of pins.
// Every pin's basic interface: the target of every delivery.
inline constexpr Guid kBasicPinInterface = GuidLiteral("{2BFF1BE1-1698-4CFA-A427-9E0801C5B357}");
// The receive interface of the signal pins (Receive(type, operation, flags)).
inline constexpr Guid kReceiveInterface = GuidLiteral("{20ACBC6D-DA0D-4359-8C78-CE0067D009A0}");

// Stream types (each also names the interface of the pins that take it).
inline constexpr Guid kClockStreamType = GuidLiteral("{48CDAF9F-00C7-4B45-999D-4EE25353A952}");
inline constexpr Guid kSignalStreamType = GuidLiteral("{949B7FD0-421F-4F1B-B8D2-87969D3E66E0}");
inline constexpr Guid kAudioStreamType = GuidLiteral("{1D5BD085-492E-4979-8F76-9C97D5C3C5B6}");
inline constexpr Guid kIntegerSingleType = GuidLiteral("{92F6B47E-B46E-49BB-9A8E-676D3C2F2E66}");
inline constexpr Guid kFloatSingleType = GuidLiteral("{67F6997B-7EB4-4E2F-8320-4A512B5F2BC7}");
inline constexpr Guid kRealSingleType = GuidLiteral("{208F9564-3C20-4C97-BB77-2FC5AE6E4194}");
inline constexpr Guid kRealComplexSingleType =
    GuidLiteral("{4CC4ADE6-E5AE-4E27-A9E7-42C14E062F41}");
inline constexpr Guid kBooleanSingleType = GuidLiteral("{7AA677AE-F983-4714-8E64-EC6F3D17695B}");
inline constexpr Guid kCharacterSingleType = GuidLiteral("{3241B885-95E1-495F-ACEC-4A1C98872B63}");
inline constexpr Guid kStringType = GuidLiteral("{25C048B4-89D4-4277-AA98-A835EB29F5C1}");
inline constexpr Guid kSingleValueType = GuidLiteral("{CFDF94D7-5134-49D9-AC65-902BBC1CD140}");
inline constexpr Guid kBlockBufferType = GuidLiteral("{DB6DD866-611D-4DC4-B46F-459CF8F02ECD}");
inline constexpr Guid kBlockBufferType2 = GuidLiteral("{BD807B57-05AE-44E0-A99F-3D9BAD83395E}");
inline constexpr Guid kRealBufferType = GuidLiteral("{58041272-EF20-4696-87E6-9EE46ABFBD89}");
inline constexpr Guid kIntegerBufferType = GuidLiteral("{473B965F-AB43-4493-B9E3-BEE9CF0803D4}");
inline constexpr Guid kComplexBufferType = GuidLiteral("{BD797143-D7C6-4033-B686-9ABA658346CF}");

}  // namespace tardivox
