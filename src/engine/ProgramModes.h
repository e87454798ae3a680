// What the front ends may ask about ProgramMode without knowing the state
// numbers, which live in the engine's state table.
#pragma once

#include <cstdint>

namespace qrb {

// A block has been sent (or asked for) and its answer is being taken: the
// states a progress display counts blocks in.
bool IsBlockState(std::int16_t mode);

// What a run does in a state, for tools that measure each kind of tick.
enum class StateKind {
  Idle,          // no run
  Handshake,     // status, FLASH mode and version bytes
  FlushDelay,    // the pause after asking for FLASH mode
  BuildBlock,    // a block built and sent (or a read-back asked for)
  BlockReply,    // the board's acknowledgement of a programmed block
  ReadBackReply  // a block read back: its reply header and 256 bytes
};
StateKind KindOfState(std::int16_t mode);

}  // namespace qrb
