#include "S19Writer.h"

namespace qrb::cli {
namespace {

constexpr int BytesPerRecord = 32;

}  // namespace

S19Writer::S19Writer(const std::string& path, std::uint32_t highestAddress)
    : file_(path), addressBytes_(highestAddress <= 0xFFFF ? 2 : highestAddress <= 0xFFFFFF ? 3 : 4) {}

bool S19Writer::Open(std::string& error) { return file_.Open(error); }

bool S19Writer::Record(char type, std::uint32_t address, const std::uint8_t* data, int count) {
  static const char Digits[] = "0123456789ABCDEF";
  QByteArray line;
  line.reserve(4 + 2 * (1 + addressBytes_ + count + 1) + 2);
  line += 'S';
  line += type;
  unsigned sum = 0;
  const auto put = [&](std::uint8_t byte) {
    line += Digits[byte >> 4];
    line += Digits[byte & 0xF];
    sum += byte;
  };
  put(static_cast<std::uint8_t>(addressBytes_ + count + 1));
  for (int i = addressBytes_ - 1; i >= 0; --i) put(static_cast<std::uint8_t>(address >> (8 * i)));
  for (int i = 0; i < count; ++i) put(data[i]);
  put(static_cast<std::uint8_t>(~sum & 0xFF));
  line += "\r\n";
  return file_.Write(line);
}

bool S19Writer::Block(std::uint32_t address, const std::uint8_t* bytes) {
  const char type = static_cast<char>('0' + addressBytes_ - 1);  // S1, S2, S3
  for (int offset = 0; offset < 256; offset += BytesPerRecord)
    if (!Record(type, address + static_cast<std::uint32_t>(offset), bytes + offset, BytesPerRecord)) return false;
  return true;
}

bool S19Writer::Commit(std::string& error) {
  const char end = static_cast<char>('0' + 11 - addressBytes_);  // S9, S8, S7
  Record(end, 0, nullptr, 0);  // a failed write is reported by the commit
  return file_.Commit(error);
}

}  // namespace qrb::cli
