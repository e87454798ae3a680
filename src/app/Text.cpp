#include "app/Text.h"

namespace qrb {

std::string Hex(std::int64_t value) {
  auto v = static_cast<std::uint32_t>(value);
  static constexpr char Digits[] = "0123456789ABCDEF";
  std::string out;
  do {
    out.insert(out.begin(), Digits[v & 0xF]);
    v >>= 4;
  } while (v != 0);
  return out;
}

std::string Dec(std::int64_t value) { return std::to_string(value); }

int HexDigit(unsigned char code) {
  if (code >= 0x30 && code <= 0x39) return code - 48;
  if (code >= 0x41 && code <= 0x46) return code - 55;
  return -1;
}

}  // namespace qrb
