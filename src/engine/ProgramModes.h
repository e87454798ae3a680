// What the front ends may ask about ProgramMode without knowing the state
// numbers, which live in the engine's state table.
#pragma once

#include <cstdint>

namespace qrb {

// A block has been sent (or asked for) and its answer is being taken: the
// states a progress display counts blocks in.
bool IsBlockState(std::int16_t mode);

}  // namespace qrb
