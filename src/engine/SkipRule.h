// When a block is worth reading back before it is written, on a run that
// skips the blocks the board already holds.
//
// A pre-read costs half a write: the read-back request and its 258-byte
// answer against the 264-byte block, its reply and the read-back after the
// write. Reading first pays when fewer than half of the blocks differ. Blocks
// that differ come in stretches (a changed function, the rest of a run that
// dropped, an image changed everywhere), so a second differing block in a row
// starts writing without reading first, for a stretch that doubles while the
// sample read after it still differs (1, 2, 4 ... 32 blocks) and ends at the
// first sample that matches. A single differing block among unchanged ones
// (scattered changes) costs no blind write at all.
#pragma once

#include <algorithm>
#include <cstdint>

namespace qrb {

class SkipRule {
 public:
  // The longest stretch written without a pre-read: one sample per 33 blocks
  // costs 1.5% of a run that changed everywhere.
  static constexpr std::int32_t MaxBlind = 32;

  // Whether the next block is read first.
  bool PreReadNext() const { return blind_ == 0; }
  // A pre-read found the block as the image has it.
  void Matched() { differed_ = 0; }
  // A pre-read found the block different.
  void Differed() {
    ++differed_;
    blind_ = differed_ < 2 ? 0 : std::min(std::int32_t{1} << std::min(differed_ - 2, 30), MaxBlind);
  }
  // A block was written without a pre-read.
  void WroteBlind() {
    if (blind_ > 0) --blind_;
  }

 private:
  std::int32_t differed_ = 0;  // pre-reads in a row that differed
  std::int32_t blind_ = 0;     // blocks still to write without a pre-read
};

}  // namespace qrb
