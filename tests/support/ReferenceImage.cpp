#include "ReferenceImage.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "S19Text.h"

namespace qrb::test {
namespace {

int Digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

ReferenceImage ReadReferenceImage(std::string_view file) {
  ReferenceImage image;
  std::size_t pos = 0;
  auto take = [&](std::size_t n) {
    const std::string_view s = file.substr(pos, n);
    pos += s.size();
    return s;
  };
  // One byte as two hexadecimal digits; nullopt at the end of the file.
  auto byte = [&]() -> std::optional<std::uint8_t> {
    const std::string_view pair = take(2);
    if (pair.size() < 2) return std::nullopt;
    const int hi = Digit(pair[0]), lo = Digit(pair[1]);
    if (hi < 0 || lo < 0) image.Clean = false;
    return static_cast<std::uint8_t>(std::max(hi, 0) << 4 | std::max(lo, 0));
  };
  auto unclean = [&] {
    image.Clean = false;
    return image;
  };
  for (;;) {
    const std::string_view type = take(2);
    if (pos >= file.size()) return image;  // end of the file ends the data
    const auto count = byte();
    if (!count || type == "S5" || type == "S7" || type == "S8" || type == "S9") return image;
    const int addressSize = type == "S1" ? 2 : type == "S2" ? 3 : type == "S3" ? 4 : 0;
    std::uint32_t address = 0;
    for (int i = 0; i < addressSize; ++i) {
      const auto b = byte();
      if (!b) return unclean();
      address = address << 8 | *b;
    }
    const int dataBytes = *count - addressSize - 1;
    // An unexpected record type, a count too small, or data beyond 0x7FFFFFFF.
    if (addressSize == 0 || dataBytes < 0 || address > 0x7FFFFFFFu ||
        (dataBytes > 0 && address + static_cast<std::uint32_t>(dataBytes - 1) > 0x7FFFFFFFu))
      return unclean();
    for (int i = 0; i < dataBytes; ++i) {
      const auto b = byte();
      if (!b) return unclean();  // the file ends inside the data
      const std::uint32_t at = address + static_cast<std::uint32_t>(i);
      auto [block, fresh] = image.Blocks.try_emplace(at & ~0xFFu);
      if (fresh) block->second.fill(0xFF);
      block->second[at & 0xFFu] = *b;
    }
    take(4);  // checksum pair and line end, never examined
  }
}

std::string S3Records(std::uint32_t first, std::size_t length, std::size_t perRecord) {
  Bytes data(length);
  for (std::size_t i = 0; i < length; ++i) data[i] = static_cast<std::uint8_t>((first + i) * 7 + 3);
  return S19Data(first, data, perRecord, '3');
}

}  // namespace qrb::test
