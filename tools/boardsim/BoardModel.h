// The QRB board's side of the byte protocol, without any transport: feed it
// the bytes the PC sent (packets split or joined in any way), it answers with
// the bytes the board sends back. Its FLASH is a sparse map of 256-byte
// blocks that reads 0xFF where it was never written.
//
// Faults can be injected to exercise the PC side's error paths. Replies and
// read-backs are counted from 1 over the board's life (across connections).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace qrb::sim {

inline constexpr std::uint32_t FlashBlockSize = 256;
using FlashBlock = std::array<std::uint8_t, FlashBlockSize>;

enum class BoardMode { StartupIdle, Flash };

struct BoardFaults {
  // Reply number WrongByteReply has its byte at WrongByteIndex replaced by
  // WrongByteValue (or, without a value, by the right byte XOR 0xFF).
  std::optional<int> WrongByteReply;
  int WrongByteIndex = 0;
  std::optional<std::uint8_t> WrongByteValue;
  // From this reply on the board sends nothing (it still takes every packet).
  std::optional<int> SilentFromReply;
  // The read-back number CorruptReadBack comes back with its first
  // CorruptByteCount data bytes inverted (the FLASH itself stays intact).
  std::optional<int> CorruptReadBack;
  int CorruptByteCount = 1;
  // Reply number SplitReply is sent in two halves, SplitDelayMs apart.
  std::optional<int> SplitReply;
  int SplitDelayMs = 0;
  // Sent before every status reply to the opening packet 0xF1 0xA5.
  std::vector<std::uint8_t> StrayBeforeStatus;
  // The link is dropped right after the reply to this read-back number.
  std::optional<int> DropAfterReadBacks;
  // In place of this reply the board starts to flood the link with 0x00.
  std::optional<int> FloodFromReply;
};

// A piece of the board's answer: send Bytes after waiting DelayMs.
struct ReplySegment {
  std::vector<std::uint8_t> Bytes;
  int DelayMs = 0;
};

struct BoardReply {
  std::vector<ReplySegment> Segments;
  bool DropLink = false;  // close the link after the segments went out
  bool Flood = false;     // flood the link with 0x00 after the segments

  std::vector<std::uint8_t> Bytes() const;  // all segments joined
  bool Empty() const { return Segments.empty(); }
};

class BoardModel {
 public:
  explicit BoardModel(BoardMode mode = BoardMode::StartupIdle, std::uint8_t version = 0x15,
                      BoardFaults faults = {});

  // Takes the received bytes; answers every packet they complete.
  BoardReply Feed(std::span<const std::uint8_t> received);

  // Forgets a partly received packet (the link went down, or went quiet in
  // the middle of a packet).
  void ResetLink() { pending_.clear(); }
  // Bytes of a packet not yet complete.
  std::size_t PendingBytes() const { return pending_.size(); }

  BoardMode Mode() const { return mode_; }
  std::uint8_t Version() const { return version_; }

  // FLASH contents.
  std::uint8_t ReadByte(std::uint32_t address) const;
  void Write(std::uint32_t address, std::span<const std::uint8_t> bytes);
  const std::map<std::uint32_t, FlashBlock>& Blocks() const { return flash_; }

  // Counters over the board's life.
  int BlocksProgrammed() const { return programmed_; }
  // The addresses of the blocks programmed since the last call.
  std::vector<std::uint32_t> TakeProgrammed() { return std::exchange(programmedSince_, {}); }
  int ReadBacks() const { return readBacks_; }

 private:
  enum class Command { None, Status, EnterFlash, Program, ReadBack };
  // Length of the packet that starts the pending bytes, 0 while unknown, or
  // -1 when the first pending byte starts no packet the board knows.
  static long PacketLength(std::span<const std::uint8_t> pending);
  void Answer(std::span<const std::uint8_t> packet, BoardReply& reply);
  void AddReply(std::vector<std::uint8_t> bytes, Command command, BoardReply& reply);
  std::vector<std::uint8_t> StatusAndVersion() const;

  BoardMode mode_;
  std::uint8_t version_;
  BoardFaults faults_;
  std::vector<std::uint8_t> pending_;
  std::map<std::uint32_t, FlashBlock> flash_;
  int replies_ = 0;
  int programmed_ = 0;
  std::vector<std::uint32_t> programmedSince_;
  int readBacks_ = 0;
};

}  // namespace qrb::sim
