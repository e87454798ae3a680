#include "BoardModel.h"

#include <algorithm>

namespace qrb::sim {
namespace {

// Packets from the PC. The low four bits of a packet's first byte count the
// header bytes after it.
constexpr std::uint8_t OpenCmd = 0xF1, OpenArg = 0xA5;
constexpr std::uint8_t FlashCmd = 0xE1, FlashArg = 0x96;
constexpr std::uint8_t BlockCmd = 0x57, ProgramArg = 0x3A, ReadBackArg = 0x37;
constexpr long BlockHeaderLength = 8;  // 0x57, sub-command, 4 address bytes, 2 length bytes

// Replies of the board.
constexpr std::uint8_t StatusCode = 0x91, StatusIdle = 0x12, StatusFlash = 0x2E;
constexpr std::uint8_t VersionCode = 0x92, VersionLength = 0x04;
constexpr std::uint8_t BlockReplyCode = 0x61;

std::uint32_t BlockBase(std::uint32_t address) { return address & ~(FlashBlockSize - 1); }

}  // namespace

std::vector<std::uint8_t> BoardReply::Bytes() const {
  std::vector<std::uint8_t> all;
  for (const ReplySegment& s : Segments) all.insert(all.end(), s.Bytes.begin(), s.Bytes.end());
  return all;
}

BoardModel::BoardModel(BoardMode mode, std::uint8_t version, BoardFaults faults)
    : mode_(mode), version_(version), faults_(std::move(faults)) {}

long BoardModel::PacketLength(std::span<const std::uint8_t> pending) {
  if (pending.empty()) return 0;
  const std::uint8_t first = pending[0];
  if (first != OpenCmd && first != FlashCmd && first != BlockCmd) return -1;
  if (pending.size() < 2) return 0;
  const std::uint8_t second = pending[1];
  if (first == OpenCmd) return second == OpenArg ? 2 : -1;
  if (first == FlashCmd) return second == FlashArg ? 2 : -1;
  if (second == ReadBackArg) return BlockHeaderLength;
  if (second != ProgramArg) return -1;
  if (pending.size() < BlockHeaderLength) return 0;
  return BlockHeaderLength + (long{pending[6]} << 8 | pending[7]);
}

BoardReply BoardModel::Feed(std::span<const std::uint8_t> received) {
  pending_.insert(pending_.end(), received.begin(), received.end());
  BoardReply reply;
  // Packets and noise are consumed from the front by moving a start index;
  // the consumed bytes are erased once, so any amount of noise costs linear time.
  std::size_t start = 0;
  while (!reply.DropLink) {
    const std::span<const std::uint8_t> pending = std::span(pending_).subspan(start);
    const long length = PacketLength(pending);
    if (length < 0) {  // not a packet start: drop the byte and resynchronise
      ++start;
      continue;
    }
    if (length == 0 || pending.size() < static_cast<std::size_t>(length)) break;
    Answer(pending.first(static_cast<std::size_t>(length)), reply);
    start += static_cast<std::size_t>(length);
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(start));
  if (reply.DropLink) pending_.clear();  // what followed never reached the board
  return reply;
}

std::vector<std::uint8_t> BoardModel::StatusAndVersion() const {
  return {StatusCode, mode_ == BoardMode::Flash ? StatusFlash : StatusIdle, VersionCode,
          VersionLength, version_};
}

void BoardModel::Answer(std::span<const std::uint8_t> packet, BoardReply& reply) {
  switch (packet[0]) {
    case OpenCmd:
      AddReply(StatusAndVersion(), Command::Status, reply);
      return;
    case FlashCmd:
      mode_ = BoardMode::Flash;
      AddReply(StatusAndVersion(), Command::EnterFlash, reply);
      return;
    default:
      break;
  }
  // Block commands are taken in FLASH mode only; a board at start-up idle
  // ignores them.
  if (mode_ != BoardMode::Flash) return;
  const std::uint32_t address = std::uint32_t{packet[2]} << 24 | std::uint32_t{packet[3]} << 16 |
                                std::uint32_t{packet[4]} << 8 | packet[5];
  const std::size_t length = std::size_t{packet[6]} << 8 | packet[7];
  if (packet[1] == ProgramArg) {
    Write(address, packet.subspan(BlockHeaderLength, length));
    ++programmed_;
    programmedSince_.push_back(address);
    AddReply({BlockReplyCode, ProgramArg}, Command::Program, reply);
    return;
  }
  ++readBacks_;
  std::vector<std::uint8_t> bytes{BlockReplyCode, ReadBackArg};
  for (std::size_t i = 0; i < length; ++i)
    bytes.push_back(ReadByte(address + static_cast<std::uint32_t>(i)));
  if (faults_.CorruptReadBack == readBacks_) {
    const std::size_t count = std::min<std::size_t>(std::max(faults_.CorruptByteCount, 0), length);
    for (std::size_t i = 0; i < count; ++i) bytes[2 + i] ^= 0xFF;
  }
  AddReply(std::move(bytes), Command::ReadBack, reply);
  if (faults_.DropAfterReadBacks == readBacks_) reply.DropLink = true;
}

void BoardModel::AddReply(std::vector<std::uint8_t> bytes, Command command, BoardReply& reply) {
  const int number = ++replies_;
  if (faults_.FloodFromReply && number >= *faults_.FloodFromReply) {
    reply.Flood = true;
    return;
  }
  if (faults_.SilentFromReply && number >= *faults_.SilentFromReply) return;
  if (command == Command::Status && !faults_.StrayBeforeStatus.empty())
    reply.Segments.push_back({faults_.StrayBeforeStatus, 0});
  if (faults_.WrongByteReply == number && faults_.WrongByteIndex >= 0 &&
      static_cast<std::size_t>(faults_.WrongByteIndex) < bytes.size()) {
    std::uint8_t& b = bytes[static_cast<std::size_t>(faults_.WrongByteIndex)];
    b = faults_.WrongByteValue.value_or(static_cast<std::uint8_t>(b ^ 0xFF));
  }
  if (faults_.SplitReply == number && bytes.size() > 1) {
    const auto half = bytes.begin() + static_cast<long>(bytes.size() / 2);
    reply.Segments.push_back({{bytes.begin(), half}, 0});
    reply.Segments.push_back({{half, bytes.end()}, faults_.SplitDelayMs});
    return;
  }
  reply.Segments.push_back({std::move(bytes), 0});
}

std::uint8_t BoardModel::ReadByte(std::uint32_t address) const {
  const auto it = flash_.find(BlockBase(address));
  return it == flash_.end() ? 0xFF : it->second[address - it->first];
}

void BoardModel::Write(std::uint32_t address, std::span<const std::uint8_t> bytes) {
  for (const std::uint8_t b : bytes) {
    auto [it, fresh] = flash_.try_emplace(BlockBase(address));
    if (fresh) it->second.fill(0xFF);
    it->second[address - it->first] = b;
    ++address;  // wraps at the top of the 32-bit space, like the address lines
  }
}

}  // namespace qrb::sim
