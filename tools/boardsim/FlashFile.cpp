#include "FlashFile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace qrb::sim {
namespace {

constexpr std::size_t SRecordDataBytes = 32;
// Far more than any board's FLASH; a bigger file is a mistake, not an image.
constexpr std::uintmax_t MaxLoadBytes = 64u << 20;

std::string SystemReason() { return errno != 0 ? std::strerror(errno) : "unknown error"; }

// A file to load must be a regular, readable file of a sensible size: a
// directory or a device (/dev/zero) never ends or cannot be read at all.
std::string CheckLoadPath(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (status.type() == fs::file_type::not_found) return "cannot open " + path + ": " + std::strerror(ENOENT);
  if (ec) return "cannot open " + path + ": " + ec.message();
  if (!fs::is_regular_file(status)) return "cannot load " + path + ": not a regular file";
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec) return "cannot open " + path + ": " + ec.message();
  if (size > MaxLoadBytes)
    return "cannot load " + path + ": " + std::to_string(size) + " bytes, more than the " +
           std::to_string(MaxLoadBytes >> 20) + " MiB a FLASH image may have";
  errno = 0;
  if (!std::ifstream(path, std::ios::binary)) return "cannot open " + path + ": " + SystemReason();
  return {};
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes a whole line of hexadecimal pairs; false on any other character.
bool DecodeHex(const std::string& text, std::vector<std::uint8_t>& bytes) {
  if (text.size() % 2 != 0) return false;
  bytes.clear();
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
  }
  return true;
}

std::string LoadSRecords(BoardModel& board, const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "cannot open " + path;
  std::string line;
  std::vector<std::uint8_t> bytes;
  for (int number = 1; std::getline(in, line); ++number) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty()) continue;
    const std::string where = path + ":" + std::to_string(number) + ": ";
    if (line.size() < 4 || (line[0] != 'S' && line[0] != 's') || !DecodeHex(line.substr(2), bytes) ||
        bytes.empty() || bytes[0] + 1u != bytes.size())
      return where + "not an S-record";
    std::uint8_t sum = 0;
    for (const std::uint8_t b : bytes) sum = static_cast<std::uint8_t>(sum + b);
    if (sum != 0xFF) return where + "bad checksum";
    const char type = line[1];
    if (type < '1' || type > '3') continue;  // header, count and end records carry no data
    const std::size_t addressLength = static_cast<std::size_t>(type - '0') + 1;
    if (bytes.size() < addressLength + 2) return where + "record too short";
    std::uint32_t address = 0;
    for (std::size_t i = 1; i <= addressLength; ++i) address = address << 8 | bytes[i];
    board.Write(address, std::span(bytes).subspan(1 + addressLength, bytes.size() - addressLength - 2));
  }
  return {};
}

std::string LoadBinary(BoardModel& board, const std::string& path, std::uint32_t base) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "cannot open " + path;
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  board.Write(base, bytes);
  return {};
}

std::string HexPairs(std::span<const std::uint8_t> bytes) {
  static constexpr char Digits[] = "0123456789ABCDEF";
  std::string text;
  for (const std::uint8_t b : bytes) {
    text += Digits[b >> 4];
    text += Digits[b & 15];
  }
  return text;
}

// One S3 (or S7) record with its checksum and a CR LF line end.
std::string SRecord(char type, std::uint32_t address, std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> body{static_cast<std::uint8_t>(4 + data.size() + 1),
                                 static_cast<std::uint8_t>(address >> 24),
                                 static_cast<std::uint8_t>(address >> 16),
                                 static_cast<std::uint8_t>(address >> 8),
                                 static_cast<std::uint8_t>(address)};
  body.insert(body.end(), data.begin(), data.end());
  std::uint8_t sum = 0;
  for (const std::uint8_t b : body) sum = static_cast<std::uint8_t>(sum + b);
  body.push_back(static_cast<std::uint8_t>(~sum));
  return std::string{'S', type} + HexPairs(body) + "\r\n";
}

std::string SaveSRecords(const BoardModel& board, const std::string& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return "cannot write " + path;
  for (const auto& [address, block] : board.Blocks())
    for (std::size_t i = 0; i < block.size(); i += SRecordDataBytes)
      out << SRecord('3', address + static_cast<std::uint32_t>(i),
                     std::span(block).subspan(i, SRecordDataBytes));
  out << SRecord('7', 0, {});
  return out ? std::string{} : "cannot write " + path;
}

std::string SaveBinary(const BoardModel& board, const std::string& path, std::uint32_t base) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return "cannot write " + path;
  const auto& blocks = board.Blocks();
  if (!blocks.empty() && blocks.rbegin()->first + FlashBlockSize > base) {
    const std::uint64_t end = std::uint64_t{blocks.rbegin()->first} + FlashBlockSize;
    for (std::uint64_t a = base; a < end; ++a)
      out.put(static_cast<char>(board.ReadByte(static_cast<std::uint32_t>(a))));
  }
  return out ? std::string{} : "cannot write " + path;
}

}  // namespace

FlashFormat FormatForPath(const std::string& path) {
  static const char* const Extensions[] = {".s19", ".s28", ".s37", ".srec", ".mot"};
  const std::string lower = Lower(path);
  for (const char* ext : Extensions) {
    const std::string e = ext;
    if (lower.size() >= e.size() && lower.compare(lower.size() - e.size(), e.size(), e) == 0)
      return FlashFormat::SRecord;
  }
  return FlashFormat::Binary;
}

std::string LoadFlash(BoardModel& board, const std::string& path, std::uint32_t base) {
  if (std::string error = CheckLoadPath(path); !error.empty()) return error;
  return FormatForPath(path) == FlashFormat::SRecord ? LoadSRecords(board, path)
                                                     : LoadBinary(board, path, base);
}

std::string SaveFlash(const BoardModel& board, const std::string& path, std::uint32_t base) {
  return FormatForPath(path) == FlashFormat::SRecord ? SaveSRecords(board, path)
                                                     : SaveBinary(board, path, base);
}

std::string CheckSavePath(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const bool existed = fs::exists(path, ec);
  if (existed && fs::is_directory(path, ec)) return "cannot write " + path + ": Is a directory";
  errno = 0;
  std::ofstream probe(path, std::ios::binary | std::ios::app);  // leaves an existing file as it is
  if (!probe) return "cannot write " + path + ": " + SystemReason();
  probe.close();
  if (!existed) fs::remove(path, ec);
  return {};
}

std::uint32_t LowestWrittenAddress(const BoardModel& board) {
  return board.Blocks().empty() ? 0 : board.Blocks().begin()->first;
}

}  // namespace qrb::sim
