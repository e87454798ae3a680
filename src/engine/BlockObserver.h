// What a front end learns of each block of a run, beyond the two lists: the
// read-back comparison of every block, and the bytes of every block read
// from the board.
#pragma once

#include <cstdint>
#include <vector>

namespace qrb {

// An address range to read, both ends included.
struct AddressRange {
  std::uint32_t First = 0;
  std::uint32_t Last = 0;
};

// Consecutive blocks: the addresses of the first and the last.
struct BlockSpan {
  std::uint32_t First = 0;
  std::uint32_t Last = 0;
  std::uint64_t Blocks() const { return ((Last - First) >> 8) + 1; }
};

// The blocks that the ranges touch, as spans in ascending order, each apart
// from the next.
std::vector<BlockSpan> BlockSpans(const std::vector<AddressRange>& ranges);

class BlockObserver {
 public:
  virtual ~BlockObserver() = default;
  // A block's read-back compared (program and verify): its mismatches.
  virtual void BlockCompared(std::int32_t address, std::int32_t mismatches) = 0;
  // A block read from the board (read): its 256 bytes and how many reads it
  // took to get two that agree (1 when read once); false when they could not
  // be kept, which ends the run.
  virtual bool BlockRead(std::int32_t address, const std::uint8_t* bytes, std::int32_t reads) = 0;
  // Every block read: the front end keeps them for good before the run
  // reports its success; false when it could not, which ends the run.
  virtual bool ReadComplete() { return true; }
};

}  // namespace qrb
