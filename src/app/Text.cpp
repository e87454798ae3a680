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

}  // namespace qrb
