// S19 text for tests: records with right counts and checksums.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace qrb::test {

using Bytes = std::vector<std::uint8_t>;

// One record with a correct count and checksum.
inline std::string SRecord(char type, std::uint32_t address, const Bytes& data = {}, const char* eol = "\r\n") {
  const int size = type == '2' || type == '8' ? 3 : type == '3' || type == '7' ? 4 : 2;
  Bytes body{static_cast<std::uint8_t>(size + static_cast<int>(data.size()) + 1)};
  for (int i = size - 1; i >= 0; --i) body.push_back(static_cast<std::uint8_t>(address >> (8 * i)));
  body.insert(body.end(), data.begin(), data.end());
  unsigned sum = 0;
  for (const auto b : body) sum += b;
  body.push_back(static_cast<std::uint8_t>(~sum));
  std::string out = std::string("S") + type;
  for (const auto b : body) out += {"0123456789ABCDEF"[b >> 4], "0123456789ABCDEF"[b & 15]};
  return out + eol;
}

// A shorter pattern is the start of a longer one.
inline Bytes Pattern(std::size_t n, unsigned offset = 0) {
  Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>((i * 7 + offset + i / 256) & 0xFF);
  return out;
}

inline Bytes Slice(const Bytes& b, std::size_t from, std::size_t to) {
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from), b.begin() + static_cast<std::ptrdiff_t>(to));
}

// Records of at most `perRecord` bytes from `start`, without an end record.
inline std::string S19Data(std::uint32_t start, const Bytes& bytes, std::size_t perRecord = 16, char type = '1') {
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += perRecord)
    out += SRecord(type, start + static_cast<std::uint32_t>(i), Slice(bytes, i, std::min(bytes.size(), i + perRecord)));
  return out;
}

inline std::string S9() { return SRecord('9', 0); }

}  // namespace qrb::test
