#include "ReferenceImage.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace qrb::fuzz {
namespace {

std::optional<int> Digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return std::nullopt;
}

class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}
  std::size_t Left() const { return text_.size() - pos_; }
  std::string_view Take(std::size_t n) {
    const std::string_view s = text_.substr(pos_, n);
    pos_ += s.size();
    return s;
  }
  // One byte as two hexadecimal digits; nullopt at the end of the file.
  std::optional<std::uint8_t> Byte(bool& clean) {
    const std::string_view pair = Take(2);
    if (pair.size() < 2) return std::nullopt;
    const auto hi = Digit(pair[0]), lo = Digit(pair[1]);
    if (!hi || !lo) clean = false;
    return static_cast<std::uint8_t>(hi.value_or(0) << 4 | lo.value_or(0));
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

void Store(ReferenceImage& image, std::uint32_t address, std::uint8_t value) {
  auto [it, fresh] = image.Blocks.try_emplace(address & ~0xFFu);
  if (fresh) it->second.fill(0xFF);
  it->second[address & 0xFFu] = value;
}

}  // namespace

ReferenceImage ReadReferenceImage(std::string_view file) {
  ReferenceImage image;
  Cursor in(file);
  for (;;) {
    const std::string_view type = in.Take(2);
    if (in.Left() == 0) return image;  // end of the file ends the data
    const auto count = in.Byte(image.Clean);
    if (!count) return image;
    int addressSize = 0;
    if (type == "S1") addressSize = 2;
    else if (type == "S2") addressSize = 3;
    else if (type == "S3") addressSize = 4;
    else if (type == "S5" || type == "S7" || type == "S8" || type == "S9") return image;
    else {
      image.Clean = false;  // unexpected record
      return image;
    }
    std::uint32_t address = 0;
    for (int i = 0; i < addressSize; ++i) {
      const auto b = in.Byte(image.Clean);
      if (!b) {
        image.Clean = false;
        return image;
      }
      address = address << 8 | *b;
    }
    const int dataBytes = *count - addressSize - 1;
    if (dataBytes < 0 || address > 0x7FFFFFFFu ||
        (dataBytes > 0 && address + static_cast<std::uint32_t>(dataBytes - 1) > 0x7FFFFFFFu)) {
      image.Clean = false;
      return image;
    }
    ++image.DataRecords;
    for (int i = 0; i < dataBytes; ++i) {
      const auto b = in.Byte(image.Clean);
      if (!b) {
        image.Clean = false;  // the file ends inside the data
        return image;
      }
      Store(image, address + static_cast<std::uint32_t>(i), *b);
    }
    in.Take(4);  // checksum pair and line end, never examined
  }
}

std::string S3Records(std::uint32_t first, std::size_t length, std::size_t perRecord) {
  std::string text;
  char pair[3];
  auto put = [&](unsigned byte, unsigned& sum) {
    std::snprintf(pair, sizeof pair, "%02X", byte & 0xFFu);
    text += pair;
    sum += byte;
  };
  for (std::size_t done = 0; done < length;) {
    const std::size_t n = std::min(perRecord, length - done);
    const std::uint32_t address = first + static_cast<std::uint32_t>(done);
    unsigned sum = 0;
    text += "S3";
    put(static_cast<unsigned>(n + 5), sum);
    for (int shift = 24; shift >= 0; shift -= 8) put(address >> shift, sum);
    for (std::size_t i = 0; i < n; ++i) put((address + static_cast<std::uint32_t>(i)) * 7 + 3, sum);
    unsigned ignored = 0;
    put(~sum, ignored);
    text += "\r\n";
    done += n;
  }
  return text;
}

}  // namespace qrb::fuzz
